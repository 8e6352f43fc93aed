#include "store/db_access.h"

#include "store/database.h"
#include "text/strings.h"

namespace sorvik {

SharedText g_strDbError;

namespace {

constexpr const char* kOpenTableFailed = "打开表失败！";

}  // namespace

bool CDbAccess::ExecuteSql(std::string_view sql) {
    ClearError();
    if (!TheDatabase().Execute(sql, m_strProviderError)) {
        m_strError = "执行SQL失败!\r\n";
        m_strError.append(sql);
        return false;
    }
    return true;
}

bool CDbAccess::ExecuteSqlScript(std::string_view sql) {
    ClearError();
    if (!TheDatabase().ExecuteScript(sql, m_strProviderError)) {
        m_strError = "执行SQL失败!\r\n";
        m_strError.append(sql);
        return false;
    }
    return true;
}

std::optional<Recordset> CDbAccess::ExecuteQuery(std::string_view sql) {
    ClearError();
    Recordset rows;
    if (!TheDatabase().Execute(sql, m_strProviderError, &rows)) {
        m_strError = "执行SQL失败!\r\n";
        m_strError.append(sql);
        return std::nullopt;
    }
    return rows;
}

std::optional<Recordset> CDbAccess::OpenRecordset(std::string_view sql) {
    ClearError();
    Recordset rows;
    if (!TheDatabase().Execute(sql, m_strProviderError, &rows)) {
        m_strError = "打开一个记录集失败!";
        return std::nullopt;
    }
    return rows;
}

long long CDbAccess::SelectCount(std::string_view table, std::string_view where) {
    auto rows = OpenRecordset(Format("select count(*) from %.*s where %.*s", static_cast<int>(table.size()),
                                     table.data(), static_cast<int>(where.size()), where.data()));
    if (!rows) {
        m_strError = kOpenTableFailed;
        return 0;
    }
    if (rows->IsEof())
        return 0;
    return rows->Int(size_t{0});
}

bool CDbAccess::RecordExists(std::string_view table, std::string_view where, bool lock) {
    std::unique_lock<std::recursive_mutex> guard(g_csDatabase, std::defer_lock);
    if (lock)
        guard.lock();
    auto rows = OpenRecordset(Format("select top 1 * from %.*s where %.*s", static_cast<int>(table.size()),
                                     table.data(), static_cast<int>(where.size()), where.data()));
    if (!rows) {
        m_strError = kOpenTableFailed;
        return false;
    }
    return !rows->IsEof();
}

int CDbAccess::SelectTopInt(std::string_view column, std::string_view table, std::string_view where,
                            int defaultValue, bool lock) {
    std::unique_lock<std::recursive_mutex> guard(g_csDatabase, std::defer_lock);
    if (lock)
        guard.lock();
    auto rows = OpenRecordset(
        Format("select top 1 %.*s from %.*s where %.*s", static_cast<int>(column.size()), column.data(),
               static_cast<int>(table.size()), table.data(), static_cast<int>(where.size()), where.data()));
    if (!rows) {
        m_strError = kOpenTableFailed;
        return defaultValue;
    }
    if (rows->IsEof())
        return defaultValue;
    const auto value = rows->Get(size_t{0});
    if (!value)
        return defaultValue;
    return ToInt(*value);
}

std::string CDbAccess::SelectTopString(std::string_view column, std::string_view table,
                                       std::string_view where) {
    auto rows = OpenRecordset(
        Format("select top 1 %.*s from %.*s where %.*s", static_cast<int>(column.size()), column.data(),
               static_cast<int>(table.size()), table.data(), static_cast<int>(where.size()), where.data()));
    if (!rows) {
        m_strError = kOpenTableFailed;
        return {};
    }
    return rows->Text(size_t{0});
}

std::string CDbAccess::SelectJoined(std::string_view column, std::string_view table, std::string_view where) {
    return SelectJoinedEx(column, table, where, ",", false);
}

std::string CDbAccess::SelectJoinedEx(std::string_view column, std::string_view table, std::string_view where,
                                      std::string_view separator, bool distinct) {
    auto rows =
        OpenRecordset(Format("select %s %.*s from %.*s where %.*s", distinct ? "distinct" : "",
                             static_cast<int>(column.size()), column.data(), static_cast<int>(table.size()),
                             table.data(), static_cast<int>(where.size()), where.data()));
    if (!rows) {
        m_strError = kOpenTableFailed;
        return {};
    }
    std::string joined;
    for (; !rows->IsEof(); rows->MoveNext()) {
        joined += rows->Text(size_t{0});
        joined.append(separator);
    }
    // Exactly one final character goes, whatever the separator's length.
    if (!joined.empty())
        joined.pop_back();
    return joined;
}

bool CDbAccess::SelectToArray(std::string_view columns, std::string_view table, std::vector<std::string>& out,
                              std::string_view where, bool distinct, int limit, std::string_view orderBy) {
    const std::string top = limit >= 0 ? Format(" top %d ", limit) : std::string();
    const std::string whereText = where.empty() ? std::string() : "where " + std::string(where);
    const std::string orderText = orderBy.empty() ? std::string() : " order by " + std::string(orderBy) + " ";
    auto rows =
        OpenRecordset(Format("select %s %s%.*s from %.*s %s%s", distinct ? "distinct" : "", top.c_str(),
                             static_cast<int>(columns.size()), columns.data(), static_cast<int>(table.size()),
                             table.data(), whereText.c_str(), orderText.c_str()));
    if (!rows) {
        m_strError = kOpenTableFailed;
        return false;
    }
    for (; !rows->IsEof(); rows->MoveNext())
        out.push_back(rows->Text(size_t{0}));
    return true;
}

bool CDbAccess::DeleteRecords(std::string_view table, std::string_view clause) {
    ClearError();
    if (!TheDatabase().Execute(Format("delete from %.*s %.*s", static_cast<int>(table.size()), table.data(),
                                      static_cast<int>(clause.size()), clause.data()),
                               m_strProviderError)) {
        m_strError = "删除失败！";
        return false;
    }
    return true;
}

void CDbAccess::BeginTrans() {
    ClearError();
    TheDatabase().Begin(m_strProviderError);
}

void CDbAccess::CommitTrans() {
    ClearError();
    if (!TheDatabase().Commit(m_strProviderError))
        m_strError = "提交失败!";
}

void CDbAccess::RollbackTrans() {
    ClearError();
    TheDatabase().Rollback(m_strProviderError);
}

std::string CDbAccess::GetSetValue(std::string_view key) {
    auto rows = OpenRecordset("select cValue from [Set] where cKey='" + SqlQuote(key) + "'");
    if (!rows) {
        g_strDbError.Set(m_strError);
        return {};
    }
    return rows->Text(size_t{0});
}

bool CDbAccess::SetSetValue(std::string_view key, std::string_view value) {
    std::scoped_lock lock(g_csDatabase);
    const std::string quotedKey = SqlQuote(key);
    const std::string quotedValue = SqlQuote(value);
    auto rows = OpenRecordset("select cValue from [Set] where cKey='" + quotedKey + "'");
    const bool ok =
        rows &&
        ExecuteSql(rows->IsEof()
                       ? "insert into [Set] (cKey,cValue) values('" + quotedKey + "','" + quotedValue + "')"
                       : "update [Set] set cValue='" + quotedValue + "' where cKey='" + quotedKey + "'");
    // Success leaves the last error of other operations as it was.
    if (!ok)
        g_strDbError.Set(m_strError);
    return ok;
}

}  // namespace sorvik
