// sorvik-cli results: the records of a task, as TSV, CSV (RFC 4180) or JSON, in UTF-8.

#include <iostream>
#include <mutex>

#include "cli/cli_command.h"
#include "cli/cli_messages.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "text/code_page.h"
#include "text/strings.h"
#include "workbench/result_filter.h"
#include "workbench/result_query.h"
#include "workbench/saved_filters.h"

namespace sorvik::cli {

namespace {

constexpr const char* kUsage =
    "results ID [--filter EXPR] [--where FIELD_TITLE OPERATOR VALUE] [--condition N] [--format tsv|csv|json] "
    "[--limit N]";

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
    TakeOption(context.args, "--filter", filter, ok);
    FilterCondition where;
    const bool hasWhere = TakeWhere(context.args, where, ok);
    std::string conditionText;
    const bool hasCondition = TakeOption(context.args, "--condition", conditionText, ok);
    TakeOption(context.args, "--format", format, ok);
    const bool hasLimit = TakeOption(context.args, "--limit", limitText, ok);
    if (!ok || context.args.size() > 1)
        return UsageOf(kUsage);
    if (format != "tsv" && format != "csv" && format != "json")
        return ArgumentError(Text(Msg::kFormatWords));
    int slot = 0;
    if (hasCondition && (!ParseIdArgument(conditionText, slot) || slot >= kSavedFilterSlots))
        return ArgumentError(Text(Msg::kConditionSlot));
    if (hasWhere) {
        bool known = false;
        for (const char* op : kFilterOperators)
            known = known || where.op == op;
        if (!known)
            return ArgumentError(Text(Msg::kWhereOperator));
    }
    int limit = 0;
    if (hasLimit && !ParseIdArgument(limitText, limit))
        return ArgumentError(Format(Text(Msg::kNotANumber).c_str(), "--limit"));
    int id = 0;
    if (const int status = FirstTaskId(context.args, kUsage, id); status != 0)
        return status;

    ResultQuery query;
    std::string error;
    bool filterRefused = false;
    if (!PrepareResultQuery(id, ExternalTextToGb(filter), query, error, filterRefused)) {
        PrintError(filterRefused ? Text(Msg::kFilterOneCondition) : error);
        return filterRefused ? 2 : 1;
    }
    // The bar's conditions go through the bar's own compiler.
    std::vector<FilterCondition> conditions;
    if (hasCondition) {
        FilterCondition saved;
        std::string settings;
        {
            std::scoped_lock lock(g_csDatabase);
            settings = CTaskTable().ReadTaskText(id, true);
        }
        if (!ReadSavedFilter(settings, slot, saved)) {
            PrintError(Format(Text(Msg::kNoSavedCondition).c_str(), slot, id));
            return 1;
        }
        conditions.push_back(saved);
    }
    if (hasWhere)
        conditions.push_back(where);
    for (const FilterCondition& condition : conditions) {
        CompiledFilter compiled;
        if (!ApplyFilter(query, condition, compiled, error)) {
            PrintError(error);
            return 1;
        }
    }
    std::vector<std::string> titles;
    for (const ResultColumn& column : query.columns)
        titles.push_back(column.title);
    Recordset rows(titles, {});
    if (query.tableExists && !(hasLimit && limit == 0)) {
        std::scoped_lock lock(g_csDatabase);
        CDbAccess db;
        auto result = db.OpenRecordset(ResultStatement(query, hasLimit ? limit : -1));
        if (!result) {
            PrintError(db.m_strError + "\r\n" + db.m_strProviderError);
            return 1;
        }
        rows = std::move(*result);
    }
    PrintRows(format, titles, rows);
    return 0;
}

const CliCommandRegistrar kResults({"results", kUsage, false, RunResults});

}  // namespace

}  // namespace sorvik::cli
