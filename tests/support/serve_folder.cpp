#include "support/serve_folder.h"

#include <filesystem>
#include <system_error>

#include "text/file_helpers.h"

namespace sorvik::test {

namespace {

std::string ContentTypeOf(const std::filesystem::path& file) {
    const std::string extension = file.extension().string();
    if (extension == ".htm" || extension == ".html")
        return "text/html";
    if (extension == ".txt")
        return "text/plain";
    return "application/octet-stream";
}

}  // namespace

int ServeFolder(HttpTestServer& server, const std::string& folder, const std::string& urlPath) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, error);
    if (error)
        return -1;
    int served = 0;
    for (const fs::directory_entry& entry : it) {
        if (!entry.is_regular_file())
            continue;
        std::string body;
        if (!ReadWholeFile(entry.path().string(), body))
            return -1;
        const std::string relative = fs::relative(entry.path(), folder, error).generic_string();
        if (error)
            return -1;
        server.AddPage(urlPath + relative, std::move(body), ContentTypeOf(entry.path()));
        ++served;
    }
    return served;
}

}  // namespace sorvik::test
