#include "store/keyword_file.h"

#include "store/app_home.h"
#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik {

bool SaveTaskKeywords(int taskId, std::string_view keywordList, std::string* error) {
    const std::string folder = AppPath("SearchKey");
    if (!MakeDirectories(folder) ||
        !WriteWholeFile(JoinPath(folder, Format("%d.txt", taskId)), keywordList)) {
        if (error)
            *error = "保存搜索关键字失败！";
        return false;
    }
    return true;
}

std::string LoadTaskKeywords(int taskId) {
    std::string text;
    ReadWholeFile(AppPath(Format("SearchKey/%d.txt", taskId)), text);
    return text;
}

}  // namespace sorvik
