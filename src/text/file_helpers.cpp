#include "text/file_helpers.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "text/code_page.h"
#include "text/gb_text.h"

namespace sorvik {

std::string FileSystemPath(std::string_view gbPath) {
    std::string out;
    size_t runStart = 0;  // start of the run of whole characters not yet converted
    for (size_t i = 0; i < gbPath.size();) {
        const size_t n = GbValidCharLength(gbPath, i);
        if (n > 0) {
            i += n;
            continue;
        }
        out += GbToUtf8(gbPath.substr(runStart, i - runStart));
        out += gbPath[i];
        runStart = ++i;
    }
    out += GbToUtf8(gbPath.substr(runStart));
    return out;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool ReadWholeFile(const std::string& path, std::string& out) {
    out.clear();
    // Only regular files: a folder opens fine but reports a bogus huge size, and a special file
    // (/proc, a pipe) reports none; reading those "whole" would allocate wildly or never end.
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0)
        return false;
    in.seekg(0, std::ios::beg);
    std::string data(static_cast<size_t>(size), '\0');
    if (size > 0 && !in.read(data.data(), size))
        return false;
    out = std::move(data);
    return true;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes) {
    std::ofstream outFile(path, std::ios::binary | std::ios::trunc);
    if (!outFile)
        return false;
    outFile.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    outFile.close();
    return static_cast<bool>(outFile);
}

void AppendBytes(std::string& buffer, std::string_view bytes) {
    buffer.append(bytes.data(), bytes.size());
}

bool MakeDirectories(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return std::filesystem::is_directory(path, ec);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    while (!out.empty() && out.back() == '/')
        out.pop_back();
    size_t start = 0;
    while (start < name.size() && name[start] == '/')
        ++start;
    out += '/';
    out.append(name.substr(start));
    return out;
}

}  // namespace sorvik
