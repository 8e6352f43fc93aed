#pragma once
// The binary part of seed and fruit files: folder and file records that unpack into the
// download folder.
//   0x05 n name   a top-level folder "download/<name>"; the following records belong to it
//   0x02 n name   a sub-folder of the current top-level folder; nested levels are separated by
//                 "\" in the name ("images\2024"), as the folders are named on the exporting side
//   0x03 n name   the name of the next file in the current folder
//   0x04 m bytes  its content; m is 4 bytes, little-endian, unsigned
// Names are GB18030 bytes (1 to 255), without terminator; on disk they are UTF-8 (FileSystemPath).

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/exchange_prompt.h"

namespace sorvik {

inline constexpr char kRecordFolder = '\x05';
inline constexpr char kRecordSubFolder = '\x02';
inline constexpr char kRecordFileName = '\x03';
inline constexpr char kRecordFileData = '\x04';

// Appends records; each returns false (and appends nothing) when a name is empty or longer
// than 255 bytes, or a file is 4 GiB or larger.
bool AppendFolderRecord(std::string& out, std::string_view name);
bool AppendSubFolderRecord(std::string& out, std::string_view relativePath);
bool AppendFileRecords(std::string& out, std::string_view name, std::string_view content);

// One level of a record name is safe when it is not empty, not "." or "..", and holds no "/" or
// "\" (which would make it a path) and no control byte: such a name stays inside its folder.
// Bytes that are not GB18030 characters are allowed (a name from a disk in another encoding).
bool IsSafeRecordName(std::string_view name);

struct UnpackResult {
    int records = 0;  // records read
    int written = 0;  // files created
    int skipped = 0;  // files left untouched because they existed
    bool stopped = false;
    std::vector<std::string> notes;  // refused names whose files were skipped (GB18030)
    std::string error;               // why the unpacking ended early (GB18030); empty when it reached the end
};

// Unpacks the records of content from offset begin (the first 0x05 at or after it starts the
// records) into downloadRoot, which is created when missing. mapFolder may rename a top-level
// folder (the importer maps task numbers). Existing files are never overwritten; nothing is
// written outside downloadRoot. A file or folder with an unsafe name is skipped (with everything
// in that folder) and named in result.notes; a record running past the end, an unknown record
// type or a file that can't be written end the unpacking with the reason in result.error.
// Returns true when the records were read to the end.
bool UnpackExchangeRecords(std::string_view content, size_t begin, const std::string& downloadRoot,
                           const std::function<std::string(const std::string&)>& mapFolder,
                           ExchangePrompt* prompt, UnpackResult& result);

}  // namespace sorvik
