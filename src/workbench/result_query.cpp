#include "workbench/result_query.h"

#include <mutex>

#include "engine/result_table.h"
#include "script/script_keys.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "text/strings.h"

namespace sorvik {

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

bool PrepareResultQuery(int taskId, std::string_view filter, ResultQuery& query, std::string& error,
                        bool& filterRefused) {
    query = ResultQuery{};
    filterRefused = false;
    std::scoped_lock lock(g_csDatabase);
    CTaskTable tasks;
    if (!tasks.TaskExists(taskId)) {
        error = Format("任务%d不存在！", taskId);
        return false;
    }
    const std::string script = tasks.ReadTaskScript(taskId);
    query.taskId = taskId;
    query.script = script;
    query.table = Trim(ScriptValue(key::kTable, script));
    if (query.table.empty()) {
        error = Format("任务%d没有设置结果表（#表名=）！", taskId);
        return false;
    }
    const std::vector<ResultColumn> scriptColumns = ReadResultColumns(script);
    query.tableExists = ResultTableExists(query.table);
    if (!query.tableExists) {
        query.columns = scriptColumns;
    } else {
        CDbAccess db;
        auto sample = db.OpenRecordset("select top 1 * from " + query.table);
        if (!sample) {
            error = db.m_strError + "\r\n" + db.m_strProviderError;
            return false;
        }
        const std::vector<std::string>& present = sample->Columns();
        for (const ResultColumn& column : scriptColumns) {
            for (const std::string& existing : present) {
                if (EqualsNoCase(existing, column.column)) {
                    query.columns.push_back(column);
                    break;
                }
            }
        }
        if (query.columns.empty()) {
            // A table the script does not describe (its lists changed): show what it holds.
            for (const std::string& existing : present) {
                if (!EqualsNoCase(existing, "ID_") && !EqualsNoCase(existing, "iNode_"))
                    query.columns.push_back({existing, existing, "", existing});
            }
        }
    }
    if (query.columns.empty()) {
        error = Format("任务%d的结果表没有字段！", taskId);
        return false;
    }
    const std::string condition = Trim(filter);
    if (!IsSingleCondition(condition)) {
        filterRefused = true;
        error = "the filter must be one SQL condition (no \";\", comments or unbalanced parentheses)";
        return false;
    }
    query.condition = TaskRecordCondition(script, taskId);
    if (!condition.empty())
        query.condition += " and (" + condition + ")";
    return true;
}

namespace {

std::string OrderBy(const ResultQuery& query) {
    return query.orderBy.empty() ? std::string(" order by ID_") : query.orderBy + ",ID_";
}

std::string ColumnList(const ResultQuery& query, bool titles) {
    std::vector<std::string> names;
    for (const ResultColumn& column : query.columns)
        names.push_back(titles ? column.title : column.column);
    return Join(names, ",");
}

}  // namespace

std::string ResultStatement(const ResultQuery& query, int limit) {
    std::string sql = "select ";
    if (limit >= 0)
        sql += Format("top %d ", limit);
    return sql + ColumnList(query, false) + ",ID_ from " + query.table + " where " + query.condition +
           OrderBy(query);
}

std::string ResultPageStatement(const ResultQuery& query, long long offset, int count) {
    return "select " + ColumnList(query, false) + ",ID_ from " + query.table + " where " + query.condition +
           OrderBy(query) + Format(" limit %d offset %lld", count, offset);
}

std::string ResultIdPageStatement(const ResultQuery& query, bool fromEnd, long long bound, long long offset,
                                  int count) {
    std::string where = " where (" + query.condition + ")";
    if (bound > 0)
        where += Format(" and ID_%s%lld", fromEnd ? "<" : ">", bound);
    return "select " + ColumnList(query, false) + ",ID_ from " + query.table + where + " order by ID_" +
           (fromEnd ? " desc" : "") + Format(" limit %d offset %lld", count, offset);
}

std::string ResultCountStatement(const ResultQuery& query) {
    return "select count(*) from " + query.table + " where " + query.condition;
}

std::string ResultAliasedStatement(const ResultQuery& query, bool firstOnly) {
    std::vector<std::string> aliased;
    for (const ResultColumn& column : query.columns)
        aliased.push_back(column.column + " as " + column.title);
    const std::string derived = "(select " + Join(aliased, ",") + ",iNode_ from " + query.table + ") aa";
    return "select " + std::string(firstOnly ? " top 1 " : "") + ColumnList(query, true) + " from " +
           derived + " where " + query.condition + query.orderBy;
}

}  // namespace sorvik
