#pragma once
// Keyword files: the keyword list of task N is kept as "<home>/SearchKey/N.txt" (GB18030 bytes).

#include <string>
#include <string_view>

namespace sorvik {

// Writes the list as the whole file, creating SearchKey/ when missing. False (and
// "保存搜索关键字失败！" in error) when the file can't be written.
bool SaveTaskKeywords(int taskId, std::string_view keywordList, std::string* error = nullptr);

// The whole file; empty when it is missing.
std::string LoadTaskKeywords(int taskId);

}  // namespace sorvik
