#pragma once
// DownloadFolder: the download folder of one task, "<home>/download/<task>", where the download
// step saves the files linked from pages and the page copies of records, and where the record
// views read them.
//
// Names inside the folder:
//   - a linked file keeps the path of its URL below the folder, its names in UTF-8 as file names
//     are: "http://h/files/a.pdf" is
//     "files/a.pdf"; a query is kept in the last name after "_" ("get.php?id=3" is
//     "get.php_id=3"); a URL naming a folder ("http://h/dir/") saves "dir/index.htm".
//   - a page copy of a record of level L is "Source<L>_<n>.htm", a header copy "head<n>.htm".
//     n counts from the first number whose file does not exist yet and goes up by one per copy,
//     so copies are numbered without gaps, never overwrite an earlier copy, and the copy cleanup
//     of the task list (which walks Source<L>_1, Source<L>_2, ... up to the first missing one)
//     finds them all. A text that an existing copy of the same kind and level already holds is
//     not written again, so a rerun over the same pages adds no copies.
//   - "Source<L>.htm" for L >= 2 is written once, with the first copy of a record of level L or
//     deeper: the text the records of level L were cut from (the current record of level L-1).
//     The cleanup goes on from level L-1 to level L only when that file exists.
//
// Nothing from a page can name a file outside the folder: ".." and "." path parts are dropped,
// a leading "/" is ignored, and backslashes, ":" (drive letters), control characters and NUL
// become "_". A file that already exists is neither fetched nor written again.
//
// One object belongs to one run and is used on its worker thread only.

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>

namespace sorvik {

// Fetches url into the file path (created or truncated). False when nothing usable was written;
// the callee deletes a partly written file.
using FileFetchCallback = std::function<bool(const std::string& url, const std::string& path)>;

enum class PageCopyKind { kSource, kHead };

// The longest name of one path part and of a whole relative path that a link can give, in bytes
// of the file-system (UTF-8) name.
inline constexpr size_t kMaxSavedNameBytes = 200;
inline constexpr size_t kMaxSavedPathBytes = 1000;

class DownloadFolder {
  public:
    // The folder of task taskNumber below the home folder in force (AppPath).
    explicit DownloadFolder(int taskNumber);
    // A folder given directly (tests, tools).
    explicit DownloadFolder(std::string folder);

    const std::string& Path() const { return folder_; }

    // The relative file-system path (UTF-8) a link is saved under (see above), or empty when the
    // URL yields no usable name. url is an absolute URL ("scheme://host/path?query") in the
    // system's text; a text without "://" is taken as a path.
    static std::string LinkedFilePath(std::string_view url);

    // The file-system path of the file below folder that a stored name gives (a file's link or
    // its relative path, as LinkedFilePath reads it), or empty when it names nothing that stays
    // inside the folder (a symbolic link that leads out of it included). The file need not exist.
    static std::string FileOfName(const std::string& folder, std::string_view name);

    enum class SaveOutcome { kSaved, kExists, kFailed };

    // Saves the file that url names below the folder, creating missing sub-folders; a file that
    // exists already is left alone and not fetched. kFailed when the URL gives no name, a folder
    // can't be made or the fetch fails.
    SaveOutcome SaveLinkedFile(const std::string& url, const FileFetchCallback& fetch);

    // Writes text as the next page copy of the kind (level: the level of the record, 1..9; not
    // used for header copies), unless a copy of that kind and level holds the text already. False
    // when the file can't be written. *writtenPath gets the path of the copy (new or existing).
    bool WritePageCopy(PageCopyKind kind, int level, std::string_view text,
                       std::string* writtenPath = nullptr);

    // Writes "Source<level>.htm" with text unless it exists (see above). level >= 2.
    bool EnsureLevelMarker(int level, std::string_view text);

  private:
    bool EnsureFolder();
    int NextCopyNumber(PageCopyKind kind, int level);
    // The copy of the kind and level that holds text already, or 0.
    int FindCopy(PageCopyKind kind, int level, std::string_view text);

    std::string folder_;
    std::map<int, int> nextNumber_;  // by level (0: header copies): the next copy number to try
    // By level (0: header copies): the copies in the folder by the hash of their text, read at
    // the first copy of that level.
    std::map<int, std::unordered_multimap<size_t, int>> copies_;
};

}  // namespace sorvik
