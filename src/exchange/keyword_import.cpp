#include "exchange/keyword_import.h"

#include <mutex>
#include <vector>

#include "engine/result_columns.h"
#include "engine/result_table.h"
#include "script/script_keys.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/task_table.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik {

KeywordImportResult ImportKeywordText(int taskId, std::string_view text, ExchangePrompt* prompt) {
    KeywordImportResult result;
    CTaskTable db;
    std::string script;
    {
        std::scoped_lock lock(g_csDatabase);
        if (!db.TaskExists(taskId)) {
            result.message = Format("任务%d不存在！", taskId);
            return result;
        }
        script = db.ReadTaskScript(taskId);
    }
    const std::string table = Trim(ScriptValue(key::kTable, script));
    const std::vector<ResultColumn> columns = ReadResultColumns(script);
    // "#搜索关键字标题=" is a title (or field name); a word that is neither is taken as a column.
    std::string keyColumn = Trim(ScriptValue(key::kKeywordTitle, script));
    const int keyIndex = FindResultColumn(columns, keyColumn);
    if (keyIndex >= 0)
        keyColumn = columns[keyIndex].column;
    if (table.empty() || keyColumn.empty()) {
        result.message = "该任务的脚本没有“#表名=”或“#搜索关键字标题=”，不能导入关键字！";
        return result;
    }
    const std::string updateClause = Trim(ScriptValue(key::kKeywordUpdate, script));
    const int node = SharedTaskNumber(script, taskId);

    // Initial values of the other columns: "<field>_初始值=".
    std::string extraColumns, extraValues;
    for (const ResultColumn& column : columns) {
        if (EqualsNoCase(column.column, keyColumn))
            continue;
        const std::string initial = GetFieldKeyValue(column.name, "初始值", script);
        if (initial.empty())
            continue;
        extraColumns += "," + column.column;
        extraValues += ",'" + SqlQuote(initial) + "'";
    }

    std::string normalized(text);
    ReplaceAll(normalized, "\r\n", "\n");
    std::vector<std::string> lines;
    for (const std::string& line : SplitAll(normalized, "\n")) {
        std::string keyword = Trim(line);
        if (!keyword.empty())
            lines.push_back(SqlQuote(keyword));
    }
    result.lines = static_cast<int>(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0 && i % 50 == 0 && prompt && !prompt->KeepGoing()) {
            result.stopped = true;
            break;
        }
        const std::string& keyword = lines[i];
        std::scoped_lock lock(g_csDatabase);
        auto found = db.OpenRecordset(Format("select top 1  iNode_ from %s where %s='%s'", table.c_str(),
                                             keyColumn.c_str(), keyword.c_str()));
        bool ok = true;
        if (!found) {
            ok = false;
        } else if (!found->IsEof()) {
            if (updateClause.empty()) {
                ++result.unchanged;
            } else if ((ok = db.ExecuteSql(Format("update %s set %s where %s='%s'", table.c_str(),
                                                  updateClause.c_str(), keyColumn.c_str(),
                                                  keyword.c_str())))) {
                ++result.updated;
            }
        } else if ((ok = db.ExecuteSql(Format("Insert into %s (iNode_,%s%s) values(%d,'%s'%s)", table.c_str(),
                                              keyColumn.c_str(), extraColumns.c_str(), node, keyword.c_str(),
                                              extraValues.c_str())))) {
            ++result.inserted;
        }
        if (!ok) {
            ++result.failed;
            result.lastDbError = db.m_strProviderError.empty() ? db.m_strError : db.m_strProviderError;
        }
        if (prompt) {
            prompt->Progress(Format("正处理:%20s %10zu/%zu %s", keyword.c_str(), i + 1, lines.size(),
                                    result.lastDbError.c_str()));
        }
    }
    result.ok = !result.stopped && (result.failed == 0 || result.failed < result.lines);
    result.message =
        result.stopped ? "导入已停止！"
        : result.ok ? Format("引入完成！\r\n共引入%d条数据,文件共有%d条数据", result.inserted, result.lines)
                    : Format("导入关键字失败！\r\n%s", result.lastDbError.c_str());
    return result;
}

KeywordImportResult ImportKeywordFile(int taskId, const std::string& path, ExchangePrompt* prompt) {
    std::string text;
    if (!ReadWholeFile(path, text)) {
        KeywordImportResult result;
        result.message = Format("打开文件%s失败！", Utf8ToGb(path).c_str());
        return result;
    }
    return ImportKeywordText(taskId, ExternalTextToGb(text), prompt);
}

}  // namespace sorvik
