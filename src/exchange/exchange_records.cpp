#include "exchange/exchange_records.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/gb_text.h"
#include "text/strings.h"

namespace sorvik {

namespace {

constexpr size_t kMaxName = 255;
constexpr std::uint64_t kMaxFile = 0xFFFFFFFFull;

bool AppendNamed(std::string& out, char type, std::string_view name) {
    if (name.empty() || name.size() > kMaxName)
        return false;
    out += type;
    out += static_cast<char>(name.size());
    out.append(name);
    return true;
}

// The levels of a sub-folder name, split at "\" between whole characters.
std::vector<std::string> SplitLevels(std::string_view path) {
    std::vector<std::string> levels(1);
    for (size_t i = 0; i < path.size();) {
        const size_t n = GbCharLength(path, i);
        if (n == 1 && path[i] == '\\') {
            levels.emplace_back();
        } else {
            levels.back().append(path.substr(i, n));
        }
        i += n;
    }
    return levels;
}

// A folder below an existing one: created when missing; an existing entry must be a real folder
// (not a link that could lead elsewhere).
bool EnsureRealFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) == 0)
        return true;
    if (errno != EEXIST)
        return false;
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The progress form of a name: at most 48 characters, else its beginning and "..."; control
// bytes are shown as "?".
std::string ShortName(std::string_view name) {
    const std::string_view head = GbPrefixChars(name, 48);
    std::string shown = head.size() == name.size() ? std::string(name) : std::string(head) + "...";
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    }
    return shown;
}

// Writes a new file; false when it exists (exists=true) or can't be written (partial file removed).
bool WriteNewFile(const std::string& path, std::string_view data, bool& exists) {
    exists = false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        exists = errno == EEXIST;
        return false;
    }
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    const bool ok = ::close(fd) == 0 && done == data.size();
    if (!ok)
        ::unlink(path.c_str());
    return ok;
}

// Files unpacked under a temporary name beside their place, moved into place together once
// every record was read; removed when the unpacking ends early, so that a stopped or killed
// import leaves no file of its own under a real name.
class PendingFiles {
  public:
    PendingFiles() = default;
    ~PendingFiles() {
        for (const auto& file : files_)
            ::unlink(file.first.c_str());
    }
    PendingFiles(const PendingFiles&) = delete;
    PendingFiles& operator=(const PendingFiles&) = delete;

    static constexpr std::string_view kSuffix = ".sorvik-part";
    static std::string TemporaryName(const std::string& path) { return path + std::string(kSuffix); }
    // Removes the parts a killed import left below folder (once per folder and import, before
    // this import writes any there). Links are not followed.
    void RemoveStaleParts(const std::string& folder) {
        if (!cleaned_.insert(folder).second)
            return;
        std::error_code error;
        for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
             !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
            const std::string path = it->path().string();
            if (!it->is_symlink(error) && it->is_regular_file(error) && path.ends_with(kSuffix))
                ::unlink(path.c_str());
        }
    }
    bool Has(const std::string& path) const {
        return std::any_of(files_.begin(), files_.end(),
                           [&](const auto& file) { return file.second == path; });
    }
    // Writes the data under the temporary name of path (a leftover of an earlier import replaced).
    bool Write(const std::string& path, std::string_view data) {
        const std::string temporary = TemporaryName(path);
        ::unlink(temporary.c_str());
        bool exists = false;
        if (!WriteNewFile(temporary, data, exists))
            return false;
        files_.emplace_back(temporary, path);
        return true;
    }
    // Moves every file into place without replacing one that appeared meanwhile (that one is
    // skipped). False with the name of the file that could not be moved.
    bool MoveIntoPlace(UnpackResult& result, std::string& failed) {
        for (const auto& [temporary, path] : files_) {
            if (::link(temporary.c_str(), path.c_str()) != 0) {
                if (errno != EEXIST) {
                    failed = path;
                    return false;
                }
                --result.written;
                ++result.skipped;
            }
            ::unlink(temporary.c_str());
        }
        files_.clear();
        return true;
    }

  private:
    std::vector<std::pair<std::string, std::string>> files_;  // temporary name, place
    std::set<std::string> cleaned_;                           // folders RemoveStaleParts went through
};

class RecordReader {
  public:
    RecordReader(std::string_view content, size_t pos) : content_(content), pos_(pos) {}
    bool AtEnd() const { return pos_ >= content_.size(); }
    char Type() { return content_[pos_++]; }
    bool Name(std::string& name) {
        if (pos_ >= content_.size())
            return false;
        const auto n = static_cast<unsigned char>(content_[pos_]);
        if (content_.size() - pos_ - 1 < n)
            return false;
        name.assign(content_.substr(pos_ + 1, n));
        pos_ += 1 + n;
        return true;
    }
    bool Data(std::string_view& data) {
        if (content_.size() - pos_ < 4)
            return false;
        std::uint32_t m = 0;
        for (int i = 3; i >= 0; --i)
            m = (m << 8) | static_cast<unsigned char>(content_[pos_ + static_cast<size_t>(i)]);
        if (content_.size() - pos_ - 4 < m)
            return false;
        data = content_.substr(pos_ + 4, m);
        pos_ += 4 + m;
        return true;
    }

  private:
    std::string_view content_;
    size_t pos_;
};

}  // namespace

bool AppendFolderRecord(std::string& out, std::string_view name) {
    return AppendNamed(out, kRecordFolder, name);
}

bool AppendSubFolderRecord(std::string& out, std::string_view relativePath) {
    return AppendNamed(out, kRecordSubFolder, relativePath);
}

bool AppendFileRecords(std::string& out, std::string_view name, std::string_view content) {
    if (content.size() > kMaxFile || name.empty() || name.size() > kMaxName)
        return false;
    AppendNamed(out, kRecordFileName, name);
    out += kRecordFileData;
    const auto m = static_cast<std::uint32_t>(content.size());
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((m >> (8 * i)) & 0xFF);
    out.append(content);
    return true;
}

bool IsSafeRecordName(std::string_view name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    for (size_t i = 0; i < name.size();) {
        // A byte that starts no character is taken alone: it is >= 0x80, never a separator.
        const size_t n = std::max<size_t>(1, GbValidCharLength(name, i));
        if (n == 1) {
            const auto c = static_cast<unsigned char>(name[i]);
            if (c < 0x20 || c == 0x7F || c == '/' || c == '\\')
                return false;
        }
        i += n;
    }
    return true;
}

bool UnpackExchangeRecords(std::string_view content, size_t begin, const std::string& downloadRoot,
                           const std::function<std::string(const std::string&)>& mapFolder,
                           ExchangePrompt* prompt, UnpackResult& result) {
    result = UnpackResult();
    const size_t first = content.find(kRecordFolder, begin);
    if (first == std::string_view::npos)
        return true;
    if (!MakeDirectories(downloadRoot)) {
        result.error = Format("不能建立文件夹%s", Utf8ToGb(downloadRoot).c_str());
        return false;
    }
    auto fail = [&](std::string reason) {
        result.error = std::move(reason);
        return false;
    };
    PendingFiles pending;
    RecordReader reader(content, first);
    std::string topFolder;  // disk path of the current top-level folder
    std::string folder;     // disk path of the current folder
    std::string fileName;   // GB name of the file the next 0x04 fills
    std::string filePath;
    bool skipTop = false;     // the current top-level folder was refused: its records are skipped
    bool skipFolder = false;  // the current folder (or its top-level folder) was refused
    bool skipFile = false;    // the next 0x04 belongs to a refused or skipped name
    while (!reader.AtEnd()) {
        if (result.records > 0 && result.records % 50 == 0 && prompt && !prompt->KeepGoing()) {
            result.stopped = true;
            return fail("已停止");
        }
        const char type = reader.Type();
        ++result.records;
        std::string name;
        switch (type) {
            case kRecordFolder: {
                if (!reader.Name(name))
                    return fail("文件记录超出文件末尾，文件被截断或已损坏");
                if (mapFolder)
                    name = mapFolder(name);
                fileName.clear();
                skipFile = false;
                skipTop = skipFolder = !IsSafeRecordName(name);
                if (skipTop) {
                    topFolder.clear();
                    folder.clear();
                    result.notes.push_back(
                        Format("文件夹名“%s”不安全，其中的文件未解压", ShortName(name).c_str()));
                    break;
                }
                topFolder = JoinPath(downloadRoot, FileSystemPath(name));
                if (!EnsureRealFolder(topFolder))
                    return fail(Format("不能建立文件夹download/%s", name.c_str()));
                pending.RemoveStaleParts(topFolder);
                folder = topFolder;
                break;
            }
            case kRecordSubFolder: {
                if (!reader.Name(name))
                    return fail("文件记录超出文件末尾，文件被截断或已损坏");
                fileName.clear();
                skipFile = false;
                if (skipTop)
                    break;
                if (topFolder.empty())
                    return fail("子文件夹记录前没有文件夹记录");
                const std::vector<std::string> levels = SplitLevels(name);
                skipFolder = !std::all_of(levels.begin(), levels.end(), IsSafeRecordName);
                if (skipFolder) {
                    folder.clear();
                    result.notes.push_back(
                        Format("文件夹名“%s”不安全，其中的文件未解压", ShortName(name).c_str()));
                    break;
                }
                std::string path = topFolder;
                for (const std::string& level : levels) {
                    path = JoinPath(path, FileSystemPath(level));
                    if (!EnsureRealFolder(path))
                        return fail(Format("不能建立文件夹%s", name.c_str()));
                }
                folder = path;
                break;
            }
            case kRecordFileName: {
                if (!reader.Name(name))
                    return fail("文件记录超出文件末尾，文件被截断或已损坏");
                fileName.clear();
                skipFile = skipFolder;
                if (skipFile)
                    break;
                if (folder.empty())
                    return fail("文件名记录前没有文件夹记录");
                if (!IsSafeRecordName(name)) {
                    skipFile = true;
                    result.notes.push_back(Format("文件名“%s”不安全，未解压", ShortName(name).c_str()));
                    break;
                }
                fileName = name;
                filePath = JoinPath(folder, FileSystemPath(name));
                break;
            }
            case kRecordFileData: {
                std::string_view data;
                if (!reader.Data(data))
                    return fail("文件内容超出文件末尾，文件被截断或已损坏");
                if (skipFile) {
                    skipFile = false;
                    break;
                }
                if (fileName.empty())
                    return fail("文件内容记录前没有文件名记录");
                if (FileExists(filePath) || pending.Has(filePath)) {
                    ++result.skipped;
                } else if (pending.Write(filePath, data)) {
                    ++result.written;
                } else {
                    return fail(Format("写文件%s失败", fileName.c_str()));
                }
                if (prompt) {
                    prompt->Progress(Format("正解压文件:%10d(%d) %s", result.records, result.written,
                                            ShortName(fileName).c_str()));
                }
                fileName.clear();
                break;
            }
            default:
                return fail(Format("未知的文件记录类型0x%02X，文件已损坏", static_cast<unsigned char>(type)));
        }
    }
    std::string failed;
    if (!pending.MoveIntoPlace(result, failed))
        return fail(Format("写文件%s失败", Utf8ToGb(failed).c_str()));
    return true;
}

}  // namespace sorvik
