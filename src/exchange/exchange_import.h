#pragma once
// Import of seed and fruit files into this installation.
//
// A file's statements are all parsed and checked first (see exchange_statement.h): a file with
// any statement outside the exporter's families is refused before anything runs. Category and
// task IDs are matched to this installation (import_id_map.h). The statements then run in file
// order; one that fails (an insert of a row that is already here) does not stop the others, and
// the successes are counted. The binary part unpacks into "<home>/download" without ever
// overwriting a file or writing outside that folder. An import is all or nothing: its statements
// share one transaction and its files are moved into place at the end, so a stopped, failed or
// killed import leaves nothing behind and importing the file again gives one copy.

#include <string>
#include <string_view>
#include <vector>

#include "exchange/exchange_header.h"
#include "exchange/exchange_prompt.h"

namespace sorvik {

struct ImportResult {
    bool ok = false;
    bool stopped = false;        // the prompt asked to stop
    bool restartNeeded = false;  // a fruit was read: the program should be started again
    ExchangeKind kind = ExchangeKind::kSeed;
    // The text to show (GB18030): "导入完成！" (with "\r\n请退出重新运行软件！" after a fruit) or why
    // the import failed.
    std::string message;
    int statements = 0;  // non-empty statements in the file
    int succeeded = 0;   // statements that ran without error
    int filesWritten = 0;
    int filesSkipped = 0;            // files that were already there
    std::vector<std::string> notes;  // files left out because of their names (GB18030)
    std::string lastDbError;
};

// Imports the plain content of a seed or fruit file. The prompt (may be null: every question is
// answered Cancel) receives the version question, progress texts and the stop checks.
ImportResult ImportExchangeFile(std::string_view content, ExchangePrompt* prompt);

// Unscrambles the file at path into the working copy "<home>/temp99", imports it and removes the
// working copy again, whatever happened.
ImportResult ImportExchangeFilePath(const std::string& path, ExchangePrompt* prompt);

// The working copy's path.
std::string WorkingCopyPath();

}  // namespace sorvik
