#include "engine/download_folder.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "store/app_home.h"
#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik {

namespace {

// The cleanup of page copies looks at numbers below this.
constexpr int kMaxCopyNumber = 99999;

// A byte that must not reach a file name: control characters (NUL included), DEL, and the
// separators of other systems (backslash, the ":" of a drive letter).
bool IsUnsafeNameByte(unsigned char c) {
    return c < 0x20 || c == 0x7F || c == '\\' || c == ':';
}

// Cuts a UTF-8 name to at most maxBytes without splitting a character.
void CutUtf8(std::string& name, size_t maxBytes) {
    if (name.size() <= maxBytes)
        return;
    size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    name.resize(end);
}

// The file-system name (UTF-8) of one part of a link (the system's text).
std::string CleanName(std::string_view part, bool slashToo) {
    std::string name;
    name.reserve(part.size());
    for (unsigned char c : part)
        name += (IsUnsafeNameByte(c) || (slashToo && c == '/')) ? '_' : static_cast<char>(c);
    name = FileSystemPath(name);
    CutUtf8(name, kMaxSavedNameBytes);
    return name;
}

// The file name of page copy number of kind (a source copy also by its level).
std::string CopyName(PageCopyKind kind, int level, int number) {
    return kind == PageCopyKind::kHead ? Format("head%d.htm", number)
                                       : Format("Source%d_%d.htm", level, number);
}

}  // namespace

DownloadFolder::DownloadFolder(int taskNumber) : folder_(AppPath("download/" + std::to_string(taskNumber))) {}

DownloadFolder::DownloadFolder(std::string folder) : folder_(std::move(folder)) {}

std::string DownloadFolder::LinkedFilePath(std::string_view url) {
    std::string_view rest = url;
    const size_t scheme = rest.find("://");
    if (scheme != std::string_view::npos) {
        rest.remove_prefix(scheme + 3);
        const size_t pathStart = rest.find_first_of("/?#");
        rest = pathStart == std::string_view::npos ? std::string_view() : rest.substr(pathStart);
    }
    const size_t fragment = rest.find('#');
    if (fragment != std::string_view::npos)
        rest = rest.substr(0, fragment);
    std::string_view query;
    const size_t question = rest.find('?');
    if (question != std::string_view::npos) {
        query = rest.substr(question + 1);
        rest = rest.substr(0, question);
    }

    std::vector<std::string> parts;
    for (const std::string& piece : SplitAll(rest, "/")) {
        std::string name = CleanName(piece, false);
        // An empty, "." or ".." part names no place of its own: dropping it keeps every name
        // inside the folder.
        if (name.empty() || name == "." || name == "..")
            continue;
        parts.push_back(std::move(name));
    }
    const bool namesFolder = rest.empty() || rest.back() == '/' || parts.empty();
    if (namesFolder)
        parts.push_back("index.htm");
    if (!query.empty()) {
        std::string last = parts.back() + "_" + CleanName(query, true);
        CutUtf8(last, kMaxSavedNameBytes);
        parts.back() = std::move(last);
    }
    std::string path = Join(parts, "/");
    if (path.size() > kMaxSavedPathBytes)
        return {};
    return path;
}

bool DownloadFolder::EnsureFolder() {
    return MakeDirectories(folder_);
}

std::string DownloadFolder::FileOfName(const std::string& folder, std::string_view name) {
    const std::string relative = LinkedFilePath(Trim(name));
    if (relative.empty())
        return {};
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::weakly_canonical(folder, ec);
    if (ec)
        return {};
    const std::filesystem::path file = std::filesystem::weakly_canonical(JoinPath(folder, relative), ec);
    if (ec)
        return {};
    const std::string baseText = base.string() + "/";
    return file.string().rfind(baseText, 0) == 0 ? file.string() : std::string();
}

DownloadFolder::SaveOutcome DownloadFolder::SaveLinkedFile(const std::string& url,
                                                           const FileFetchCallback& fetch) {
    const std::string relative = LinkedFilePath(url);
    if (relative.empty())
        return SaveOutcome::kFailed;
    const std::string path = JoinPath(folder_, relative);
    if (FileExists(path))
        return SaveOutcome::kExists;
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && !MakeDirectories(path.substr(0, slash)))
        return SaveOutcome::kFailed;
    if (!fetch || !fetch(url, path))
        return SaveOutcome::kFailed;
    return FileExists(path) ? SaveOutcome::kSaved : SaveOutcome::kFailed;
}

int DownloadFolder::NextCopyNumber(PageCopyKind kind, int level) {
    const int key = kind == PageCopyKind::kHead ? 0 : level;
    int& next = nextNumber_[key];
    if (next < 1)
        next = 1;
    while (next <= kMaxCopyNumber) {
        if (!FileExists(JoinPath(folder_, CopyName(kind, level, next))))
            return next++;
        ++next;
    }
    return 0;
}

int DownloadFolder::FindCopy(PageCopyKind kind, int level, std::string_view text) {
    const int key = kind == PageCopyKind::kHead ? 0 : level;
    auto found = copies_.find(key);
    if (found == copies_.end()) {
        found = copies_.emplace(key, std::unordered_multimap<size_t, int>()).first;
        std::string content;
        for (int n = 1;
             n <= kMaxCopyNumber && ReadWholeFile(JoinPath(folder_, CopyName(kind, level, n)), content); ++n)
            found->second.emplace(std::hash<std::string>{}(content), n);
    }
    const auto [first, last] = found->second.equal_range(std::hash<std::string_view>{}(text));
    std::string content;
    for (auto it = first; it != last; ++it) {
        if (ReadWholeFile(JoinPath(folder_, CopyName(kind, level, it->second)), content) && content == text)
            return it->second;
    }
    return 0;
}

bool DownloadFolder::WritePageCopy(PageCopyKind kind, int level, std::string_view text,
                                   std::string* writtenPath) {
    if (level < 1)
        level = 1;
    if (!EnsureFolder())
        return false;
    if (const int existing = FindCopy(kind, level, text); existing > 0) {
        if (writtenPath)
            *writtenPath = JoinPath(folder_, CopyName(kind, level, existing));
        return true;
    }
    const int number = NextCopyNumber(kind, level);
    if (number == 0)
        return false;
    const std::string path = JoinPath(folder_, CopyName(kind, level, number));
    if (!WriteWholeFile(path, text))
        return false;
    copies_[kind == PageCopyKind::kHead ? 0 : level].emplace(std::hash<std::string_view>{}(text), number);
    if (writtenPath)
        *writtenPath = path;
    return true;
}

bool DownloadFolder::EnsureLevelMarker(int level, std::string_view text) {
    if (level < 2)
        return true;
    if (!EnsureFolder())
        return false;
    const std::string path = JoinPath(folder_, Format("Source%d.htm", level));
    if (FileExists(path))
        return true;
    return WriteWholeFile(path, text);
}

}  // namespace sorvik
