// sorvik-cli results: the records of a task, as TSV, CSV (RFC 4180) or JSON, in UTF-8.

#include <iostream>
#include <set>

#include "cli/cli_command.h"
#include "engine/result_table.h"
#include "script/script_text.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "text/code_page.h"
#include "text/strings.h"

namespace sorvik::cli {

namespace {

constexpr const char* kUsage = "results ID [--filter EXPR] [--format tsv|csv|json] [--limit N]";

// The filter is pasted into the query as one condition: it may not end the statement, open a
// comment or close the parenthesis around it.
bool IsSingleCondition(std::string_view filter) {
    int depth = 0;
    char closing = 0;  // the character that ends the literal or bracketed name being read
    for (size_t i = 0; i < filter.size(); ++i) {
        const char c = filter[i];
        if (closing) {
            if (c == closing)
                closing = 0;
            continue;
        }
        const char next = i + 1 < filter.size() ? filter[i + 1] : '\0';
        if (c == '\'' || c == '"') {
            closing = c;
        } else if (c == '[') {
            closing = ']';
        } else if (c == ';' || (c == '-' && next == '-') || (c == '/' && next == '*')) {
            return false;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth < 0) {
            return false;
        }
    }
    return closing == 0 && depth == 0;
}

std::string CsvCell(const std::string& utf8) {
    if (utf8.find_first_of(",\"\r\n") == std::string::npos)
        return utf8;
    std::string cell = "\"";
    for (char c : utf8) {
        if (c == '"')
            cell += '"';
        cell += c;
    }
    return cell + "\"";
}

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    out += Format("\\u%04x", c);
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

// The columns to show: the script's columns that the table has, in list order; all columns but
// ID_ and iNode_ when the script names none of them.
std::vector<std::string> ShownColumns(const ResultTableLayout& layout,
                                      const std::vector<std::string>& present) {
    std::vector<std::string> shown;
    for (const std::string& column : layout.columns) {
        for (const std::string& existing : present) {
            if (EqualsNoCase(existing, column)) {
                shown.push_back(column);
                break;
            }
        }
    }
    if (!shown.empty())
        return shown;
    for (const std::string& existing : present) {
        if (!EqualsNoCase(existing, "ID_") && !EqualsNoCase(existing, "iNode_"))
            shown.push_back(existing);
    }
    return shown;
}

void PrintRows(const std::string& format, const std::vector<std::string>& titles, Recordset& rows) {
    std::vector<std::string> utf8Titles;
    for (const std::string& title : titles)
        utf8Titles.push_back(GbToUtf8(title));
    auto cellsOfRow = [&](auto&& cell) {
        std::vector<std::string> cells;
        for (size_t i = 0; i < titles.size(); ++i)
            cells.push_back(cell(rows.Get(i)));
        return cells;
    };
    if (format == "json") {
        std::cout << "[";
        bool first = true;
        for (; !rows.IsEof(); rows.MoveNext()) {
            const auto cells = cellsOfRow(
                [](const Recordset::Value& v) { return v ? JsonString(GbToUtf8(*v)) : std::string("null"); });
            std::cout << (first ? "\n" : ",\n") << "  {";
            for (size_t i = 0; i < cells.size(); ++i) {
                std::cout << (i ? ", " : "") << JsonString(utf8Titles[i]) << ": " << cells[i];
            }
            std::cout << "}";
            first = false;
        }
        std::cout << (first ? "]\n" : "\n]\n");
        return;
    }
    const bool csv = format == "csv";
    const char* separator = csv ? "," : "\t";
    const char* lineEnd = csv ? "\r\n" : "\n";
    auto printLine = [&](const std::vector<std::string>& cells) {
        for (size_t i = 0; i < cells.size(); ++i) {
            if (i)
                std::cout << separator;
            std::cout << (csv ? CsvCell(cells[i]) : TabSafe(cells[i]));
        }
        std::cout << lineEnd;
    };
    printLine(utf8Titles);
    for (; !rows.IsEof(); rows.MoveNext()) {
        printLine(cellsOfRow([](const Recordset::Value& v) { return v ? GbToUtf8(*v) : std::string(); }));
    }
}

int RunResults(CliContext& context) {
    std::string filter;
    std::string format = "tsv";
    std::string limitText;
    bool ok = true;
    const bool hasFilter = TakeOption(context.args, "--filter", filter, ok);
    TakeOption(context.args, "--format", format, ok);
    const bool hasLimit = TakeOption(context.args, "--limit", limitText, ok);
    if (!ok || context.args.size() != 1)
        return UsageError(kUsage);
    if (format != "tsv" && format != "csv" && format != "json")
        return UsageError("--format must be tsv, csv or json");
    int limit = 0;
    if (hasLimit && !ParseIdArgument(limitText, limit))
        return UsageError("--limit must be a number of records");
    int id = 0;
    if (!ParseIdArgument(context.args[0], id) || id <= 0)
        return UsageError("ID must be a task number");

    CTaskTable tasks;
    if (!tasks.TaskExists(id)) {
        PrintError(Format("任务%d不存在！", id));
        return 1;
    }
    const std::string script = tasks.ReadTaskScript(id);
    const ResultTableLayout layout = ReadResultTableLayout(script, 0);
    if (layout.table.empty()) {
        PrintError(Format("任务%d没有设置结果表（#表名=）！", id));
        return 1;
    }
    int node = ToInt(Trim(ScriptValue("#共用任务号=", script)));
    if (node == 0)
        node = id;

    std::vector<std::string> present;
    CDbAccess db;
    if (ResultTableExists(layout.table)) {
        auto sample = db.OpenRecordset("select top 1 * from " + layout.table);
        if (!sample) {
            PrintError(db.m_strError + "\r\n" + db.m_strProviderError);
            return 1;
        }
        present = sample->Columns();
    } else {
        // Nothing harvested yet: the script's columns with no rows.
        present = layout.columns;
    }
    const std::vector<std::string> columns = ShownColumns(layout, present);
    if (columns.empty()) {
        PrintError(Format("任务%d的结果表没有字段！", id));
        return 1;
    }

    filter = Trim(ExternalTextToGb(filter));
    if (hasFilter && !IsSingleCondition(filter)) {
        PrintError("--filter must be one SQL condition (no \";\", comments or unbalanced parentheses)");
        return 2;
    }
    Recordset rows(columns, {});
    if (ResultTableExists(layout.table) && !(hasLimit && limit == 0)) {
        std::string sql = "select ";
        if (hasLimit)
            sql += Format("top %d ", limit);
        sql += Join(columns, ",") + " from " + layout.table + Format(" where iNode_=%d", node);
        if (!filter.empty())
            sql += " and (" + filter + ")";
        sql += " order by ID_";
        auto result = db.OpenRecordset(sql);
        if (!result) {
            PrintError(db.m_strError + "\r\n" + db.m_strProviderError);
            return 1;
        }
        rows = std::move(*result);
    }
    PrintRows(format, columns, rows);
    return 0;
}

const CliCommandRegistrar kResults({"results", kUsage, false, RunResults});

}  // namespace

}  // namespace sorvik::cli
