#pragma once
// Export of a category subtree as a seed (.grm: categories, tasks and their page templates) or
// a fruit (.fru: the same plus the tasks' result rows, the rows of their "#建表" tables and every
// file of their download folders), and the upgrade package made from "sc_升级.txt".
//
// Files go to "<home>/<category name>.grm|.fru" unless the caller names a path; characters of
// the name that can't be part of a file name ("/", "\", control characters) become "_".
// Every exported category must have a seed code ("“%s”没有分配种子号！" otherwise; see
// AssignSeedCodes). A task without a seed code of its own is written with its category's code
// followed by "-" and the task number, so that the importer can find it again.
//
// The core asks no questions here; the result carries the text of the result box.

#include <string>
#include <vector>

#include "exchange/exchange_prompt.h"

namespace sorvik {

struct ExportResult {
    bool ok = false;
    std::string path;       // the file written (UTF-8 file system path)
    std::string message;    // the result box text, GB18030: "导出成功！\r\n..." or the reason of failure
    long long records = 0;  // fruit: data rows exported
    long long statements = 0;        // statements in the file
    int files = 0;                   // file records in the binary part
    std::vector<std::string> notes;  // files left out (unreadable, name or size too large), GB18030
};

ExportResult ExportSeed(int nodeId, const std::string& outputPath = {}, ExchangePrompt* prompt = nullptr);
ExportResult ExportFruit(int nodeId, const std::string& outputPath = {}, ExchangePrompt* prompt = nullptr);

// "<home>/sc_升级.txt" -> "<home>/sc_升级.fru": every line of the text is one statement. present is
// false (and nothing happens) when the text file is missing.
ExportResult ExportUpgradePackage(bool& present);

// The file name part made of a category name.
std::string ExportFileName(const std::string& categoryName);

}  // namespace sorvik
