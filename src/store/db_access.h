#pragma once
// CDbAccess: the data-access operations every subsystem uses to run SQL. Each operation empties
// m_strError first and leaves the operation's error text there on failure; nothing throws.
// An object is cheap and holds no connection of its own; each caller makes its own, because
// m_strError is not shared safely between threads.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/recordset.h"
#include "store/shared_text.h"

namespace sorvik {

class CDbAccess {
  public:
    virtual ~CDbAccess() = default;

    // Runs a statement. Failure: "执行SQL失败!\r\n" + the SQL.
    bool ExecuteSql(std::string_view sql);
    // Runs every ";"-separated statement of a text the user wrote; failure as ExecuteSql.
    bool ExecuteSqlScript(std::string_view sql);
    // Runs a statement that returns rows. Failure: the same text, and no value.
    std::optional<Recordset> ExecuteQuery(std::string_view sql);
    // Opens a recordset. Failure: "打开一个记录集失败!" and no value.
    std::optional<Recordset> OpenRecordset(std::string_view sql);

    // "select count(*) from %s where %s"; 0 when no row, NULL or failure ("打开表失败！").
    long long SelectCount(std::string_view table, std::string_view where);
    // "select top 1 * from %s where %s" gives a row. lock: hold g_csDatabase for the call.
    bool RecordExists(std::string_view table, std::string_view where, bool lock = false);
    // "select top 1 %s from %s where %s" as atoi; the default for no row, NULL or failure.
    int SelectTopInt(std::string_view column, std::string_view table, std::string_view where,
                     int defaultValue, bool lock = false);
    // "select top 1 %s from %s where %s" as text; empty for no row, NULL or failure.
    std::string SelectTopString(std::string_view column, std::string_view table, std::string_view where);
    // First column of every row joined by "," (a NULL gives an empty item).
    std::string SelectJoined(std::string_view column, std::string_view table, std::string_view where);
    // The same with the given separator, optionally distinct; exactly one final character is cut.
    std::string SelectJoinedEx(std::string_view column, std::string_view table, std::string_view where,
                               std::string_view separator, bool distinct);
    // "select %s %s%s from %s %s%s" (distinct, " top %d " when limit >= 0, columns, table,
    // "where %s" when set, " order by %s " when set); first column of each row appended to out.
    bool SelectToArray(std::string_view columns, std::string_view table, std::vector<std::string>& out,
                       std::string_view where, bool distinct, int limit, std::string_view orderBy);
    // "delete from %s %s" (the clause includes "where", or is empty). Failure: "删除失败！".
    bool DeleteRecords(std::string_view table, std::string_view clause);

    // A transaction by hand; code that writes several statements together uses the Transaction
    // object (store/transaction.h), which rolls back unless committed and holds g_csDatabase.
    void BeginTrans();
    void CommitTrans();  // failure: "提交失败!"
    void RollbackTrans();

    // [Set] key/value table. A failure leaves its text in m_strError and in g_strDbError; a success
    // leaves g_strDbError alone.
    std::string GetSetValue(std::string_view key);
    bool SetSetValue(std::string_view key, std::string_view value);

    // The last error text of this object, and the database's own reason for it.
    std::string m_strError;
    std::string m_strProviderError;

  protected:
    void ClearError() {
        m_strError.clear();
        m_strProviderError.clear();
    }
};

// The last database error of the task-record and settings operations.
extern SharedText g_strDbError;

}  // namespace sorvik
