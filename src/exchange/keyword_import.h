#pragma once
// Import of a keyword list (one search keyword per line) into a task's result table: a keyword
// that is there already gets the script's "#已存在关键字时的更新=" set clause; a new one becomes a
// row filed under the task's shared number, with the "_初始值" values of the other fields.
//
// Script settings used: "#表名=" (the table, its columns by ReadResultColumns), "#搜索关键字标题="
// (the keyword column's title), "#已存在关键字时的更新=" (set clause; empty: existing keywords are
// left alone), "<field>_初始值=" (initial values), "#共用任务号=".

#include <string>
#include <string_view>

#include "exchange/exchange_prompt.h"

namespace sorvik {

struct KeywordImportResult {
    bool ok = false;
    bool stopped = false;
    // "引入完成！\r\n共引入%d条数据,文件共有%d条数据" (new keywords, lines), or why nothing could be
    // imported (GB18030)
    std::string message;
    int lines = 0;  // non-empty lines
    int inserted = 0;
    int updated = 0;
    int unchanged = 0;  // already there, and the script gives no update
    int failed = 0;
    std::string lastDbError;
};

// text: GB18030 lines separated by CR LF (LF alone is accepted too).
KeywordImportResult ImportKeywordText(int taskId, std::string_view text, ExchangePrompt* prompt);

// Reads a keyword file (UTF-8 or GB18030) and imports it.
KeywordImportResult ImportKeywordFile(int taskId, const std::string& path, ExchangePrompt* prompt);

}  // namespace sorvik
