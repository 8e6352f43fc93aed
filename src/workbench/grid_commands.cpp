#include "workbench/grid_commands.h"

#include <ctime>
#include <map>
#include <mutex>

#include "engine/page_fetcher.h"
#include "engine/result_table.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "text/gb_text.h"
#include "text/strings.h"
#include "text/url_coding.h"
#include "workbench/result_query.h"

namespace sorvik {

namespace {

const char kMenuKey[] = "#表格_右键菜单_";
const char kMenuListKey[] = "#表格_右键菜单_#追加=";
const char kSubmitWord[] = "#提交";
// A placeholder's title is shorter than this many bytes; a longer "<@...>" stays as written.
constexpr size_t kMaxPlaceholderTitle = 50;

std::string CommandValue(std::string_view script, std::string_view name, std::string_view suffix) {
    return ScriptValue(std::string(kMenuKey) + std::string(name) + std::string(suffix) + "=", script);
}

// The address template of a submit definition: what follows "#提交" and the one character after it.
std::string SubmitAddress(std::string_view definition) {
    std::string_view rest = definition;
    if (rest.starts_with(kSubmitWord)) {
        rest.remove_prefix(sizeof kSubmitWord - 1);
        if (!rest.empty())
            rest.remove_prefix(GbCharLength(rest, 0));
    }
    return Trim(rest);
}

std::string SqlTypeOf(const ResultColumn& column) {
    std::string sqlType, size, message;
    if (column.type.empty() || !ParseFieldType(0, 1, column.type, sqlType, size, message))
        return {};
    return sqlType;
}

// The stored date plus days, "%Y-%m-%d"; empty when the stored value is no date.
std::string AddDays(std::string_view stored, int days) {
    std::time_t t = 0;
    if (!ParseDbTime(Trim(stored), t))
        return {};
    std::tm parts{};
    localtime_r(&t, &parts);
    parts.tm_mday += days;
    parts.tm_hour = 12;  // noon: a daylight-saving change never moves the day
    parts.tm_min = parts.tm_sec = 0;
    parts.tm_isdst = -1;
    const std::time_t moved = std::mktime(&parts);
    if (moved == static_cast<std::time_t>(-1))
        return {};
    std::tm out{};
    localtime_r(&moved, &out);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &out);
    return text;
}

// The grid of the task: its table and shown columns. False with the message.
bool ReadGrid(int taskId, ResultQuery& query, std::string& message) {
    bool refused = false;
    if (!PrepareResultQuery(taskId, "", query, message, refused))
        return false;
    if (!query.tableExists || !IsPlainName(query.table)) {
        message = "更新表失败！";
        return false;
    }
    return true;
}

// Each row's shown cells by column index, read under g_csDatabase. False when the rows can't be read.
bool ReadRowCells(const ResultQuery& query, const std::vector<int>& rowIds,
                  std::map<int, std::vector<std::string>>& cells) {
    std::vector<std::string> names;
    for (const ResultColumn& column : query.columns) {
        if (!IsPlainName(column.column))
            return false;
        names.push_back(column.column);
    }
    std::vector<std::string> ids;
    for (int id : rowIds)
        ids.push_back(std::to_string(id));
    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    auto rows = db.OpenRecordset("select " + Join(names, ",") + ",ID_ from " + query.table +
                                 " where ID_ in (" + Join(ids, ",") + ")");
    if (!rows)
        return false;
    while (!rows->IsEof()) {
        std::vector<std::string>& row = cells[rows->Int(names.size())];
        for (size_t i = 0; i < names.size(); ++i)
            row.push_back(GridDisplayValue(query.columns[i], rows->Text(i)));
        rows->MoveNext();
    }
    return true;
}

// The address with every "<@title>" replaced by the row's cell of that column, encoded. False
// with missing set to the first title no column has.
bool ExpandPlaceholders(std::string_view address, const ResultQuery& query,
                        const std::vector<std::string>& row, std::string& out, std::string& missing) {
    out.clear();
    size_t pos = 0;
    while (true) {
        const size_t open = GbFind(address, "<@", pos);
        const size_t close = open == std::string_view::npos ? open : address.find('>', open + 2);
        if (close == std::string_view::npos) {
            out.append(address.substr(pos));
            return true;
        }
        const std::string_view title = address.substr(open + 2, close - open - 2);
        out.append(address.substr(pos, open - pos));
        if (title.size() >= kMaxPlaceholderTitle) {
            out.append("<@");
            pos = open + 2;
            continue;
        }
        const int column = FindResultColumn(query.columns, title);
        if (column < 0) {
            missing = std::string(title);
            return false;
        }
        out += EncodeSubmitValue(static_cast<size_t>(column) < row.size() ? row[column] : std::string());
        pos = close + 1;
    }
}

bool RunSubmit(const GridCommand& command, const ResultQuery& query, const std::vector<int>& rowIds,
               GridCommandResult& result) {
    std::map<int, std::vector<std::string>> cells;
    if (!ReadRowCells(query, rowIds, cells)) {
        result.message = "取数据失败！";
        return false;
    }
    // Every request is composed before the first one is sent: a wrong title sends none.
    std::vector<std::pair<std::string, std::string>> requests;  // address, form body
    for (const std::string& address : command.submits) {
        for (int id : rowIds) {
            const auto row = cells.find(id);
            if (row == cells.end())
                continue;  // deleted meanwhile
            std::string expanded, missing;
            if (!ExpandPlaceholders(address, query, row->second, expanded, missing)) {
                result.message = Format("%s不存在！", missing.c_str());
                return false;
            }
            std::string body;
            const size_t question = expanded.find('?');
            if (command.post && question != std::string::npos) {
                body = expanded.substr(question + 1);
                expanded.resize(question);
            }
            requests.emplace_back(std::move(expanded), std::move(body));
        }
    }
    // The answers are not used, and a failed request is not reported.
    for (const auto& [address, body] : requests) {
        GetSourceOfUrl(address, body);
        ++result.submitted;
    }
    return true;
}

bool RunSendMail(int taskId, const GridCommand& command, const std::vector<int>& rowIds,
                 GridCommandResult& result) {
    SendMailTaskRequest& request = result.mailRequest;
    request.sourceTaskId = taskId;
    request.addressColumn = command.sourceColumn;
    request.flagColumn = command.column;
    request.allRows = command.allRows;
    request.rowIds = command.allRows ? std::vector<int>() : rowIds;
    return CollectSendMailAddresses(request, result.recipients, result.message);
}

}  // namespace

std::vector<std::string> GridCommandMenu(std::string_view script) {
    const std::string list = ScriptValue(kMenuListKey, script);
    std::vector<std::string> names;
    if (Trim(list).empty())
        return names;
    for (const std::string& name : SplitAll(list, ",")) {
        if (names.size() == static_cast<size_t>(kMaxGridCommands))
            break;
        names.push_back(Trim(name));
    }
    return names;
}

bool ReadGridCommand(std::string_view script, int position, GridCommand& command) {
    command = GridCommand{};
    const std::vector<std::string> names = GridCommandMenu(script);
    if (position < 0 || static_cast<size_t>(position) >= names.size() || names[position].empty())
        return false;
    command.name = names[position];
    std::string definition = Trim(CommandValue(script, command.name, ""));
    if (definition.empty())
        definition = Trim(CommandValue(script, command.name, "1"));
    if (definition.empty())
        return false;

    if (definition.starts_with(kSubmitWord)) {
        command.kind = GridCommandKind::kSubmit;
        command.post = EqualsNoCase(Trim(CommandValue(script, command.name, "1_设置")), "POST");
        command.submits.push_back(SubmitAddress(definition));
        for (int n = 2;; ++n) {
            const std::string next = Trim(CommandValue(script, command.name, std::to_string(n)));
            if (next.empty())
                break;
            command.submits.push_back(SubmitAddress(next));
        }
        return true;
    }
    std::vector<std::string> items = SplitAll(definition, ",");
    for (std::string& item : items)
        item = Trim(item);
    items.resize(std::max<size_t>(items.size(), 4));
    command.column = items[0];
    if (items[1] == "AddDay") {
        command.kind = GridCommandKind::kAddDay;
        command.sourceColumn = items[2];
        command.days = ToInt(items[3]);
    } else if (items[1] == "SendMail") {
        command.kind = GridCommandKind::kSendMail;
        command.sourceColumn = items[2];
        command.allRows = items[3] == "<全部>";
    } else {
        command.kind = GridCommandKind::kSetValue;
        command.value = items[1];
    }
    return true;
}

bool GridCommandNeedsSelection(const GridCommand& command) {
    return command.kind != GridCommandKind::kSendMail;
}

std::string GridDisplayValue(const ResultColumn& column, std::string_view stored) {
    if (SqlTypeOf(column) == "bit") {
        const std::string value = Trim(stored);
        return value == "1" || value == "-1" ? "√" : "";
    }
    return std::string(stored);
}

std::string EncodeSubmitValue(std::string_view value) {
    const std::string encoded = UrlEncodeText(value);
    std::string out;
    for (unsigned char c : encoded) {
        if (c == '&' || c == '=' || c == '+' || c == '#' || c == '?' || c < 0x20 || c == 0x7f)
            out += Format("%%%02x", c);
        else
            out += static_cast<char>(c);
    }
    return out;
}

bool RunGridCommand(int taskId, const GridCommand& command, const std::vector<int>& selectedRowIds,
                    GridCommandResult& result) {
    result = GridCommandResult{};
    if (GridCommandNeedsSelection(command) && selectedRowIds.empty()) {
        result.message = "请选择记录!";
        return false;
    }
    ResultQuery query;
    if (!ReadGrid(taskId, query, result.message))
        return false;
    if (command.kind == GridCommandKind::kSubmit)
        return RunSubmit(command, query, selectedRowIds, result);
    if (command.kind == GridCommandKind::kSendMail) {
        // The address column must be there; the sent-flag column when one is named.
        for (const std::string* title : {&command.sourceColumn, &command.column}) {
            if ((title == &command.sourceColumn || !title->empty()) &&
                FindResultColumn(query.columns, *title) < 0) {
                result.message = Format("%s不存在！", title->c_str());
                return false;
            }
        }
        return RunSendMail(taskId, command, selectedRowIds, result);
    }

    result.columnIndex = FindResultColumn(query.columns, command.column);
    if (result.columnIndex < 0) {
        result.message = Format("%s不存在！", command.column.c_str());
        return false;
    }
    const ResultColumn& column = query.columns[result.columnIndex];
    int source = -1;
    if (command.kind == GridCommandKind::kAddDay) {
        source = FindResultColumn(query.columns, command.sourceColumn);
        if (source < 0) {
            result.message = Format("%s不存在！", command.sourceColumn.c_str());
            return false;
        }
    }
    if (!IsPlainName(column.column) || (source >= 0 && !IsPlainName(query.columns[source].column))) {
        result.message = "更新表失败！";
        return false;
    }
    const bool dateColumn = SqlTypeOf(column) == "datetime";

    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    for (int id : selectedRowIds) {
        std::string value = command.value;
        if (command.kind == GridCommandKind::kAddDay) {
            value =
                AddDays(db.SelectTopString(query.columns[source].column, query.table, Format("ID_=%d", id)),
                        command.days);
        }
        const std::string sql =
            value.empty() && dateColumn
                ? Format("update %s set %s=null where ID_=%d", query.table.c_str(), column.column.c_str(), id)
                : Format("update %s set %s='%s' where ID_=%d", query.table.c_str(), column.column.c_str(),
                         SqlQuote(value).c_str(), id);
        if (!db.ExecuteSql(sql)) {
            result.message = "更新表失败！";
            return false;
        }
        result.updates.push_back({id, GridDisplayValue(column, value)});
    }
    return true;
}

}  // namespace sorvik
