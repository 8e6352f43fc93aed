#include "store/task_table.h"

#include <cstdio>
#include <mutex>

#include "script/script_text.h"
#include "store/database.h"
#include "store/keyword_file.h"
#include "store/transaction.h"
#include "text/strings.h"

namespace sorvik {

namespace {

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, long long& y, unsigned& m, unsigned& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp + (mp < 10 ? 3 : -9);
    y += m <= 2;
}

const long long kZeroDateDays = DaysFromCivil(1899, 12, 30);

bool ParseDateParts(std::string_view text, int& y, int& mo, int& d, int& h, int& mi, int& s) {
    const std::string copy(text);
    y = mo = d = h = mi = s = 0;
    const int n = std::sscanf(copy.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
    if (n < 3) {
        y = mo = d = h = mi = s = 0;
        return false;
    }
    return mo >= 1 && mo <= 12 && d >= 1 && d <= 31 && h >= 0 && h < 24 && mi >= 0 && mi < 60 && s >= 0 &&
           s < 61;
}

}  // namespace

int TaskListForStatus(TaskState status) {
    if (status == TaskState::kStoppedForDeletion)
        return 5;
    if (status == TaskState::kFinished || status == TaskState::kEnded)
        return 4;
    return 3;
}

namespace {

// The iStatus number written for a status: a task stopped for deletion is stored as paused.
int StoredStatus(TaskState status) {
    return static_cast<int>(status == TaskState::kStoppedForDeletion ? TaskState::kPaused : status);
}

}  // namespace

std::string FormatDbTime(std::time_t t) {
    std::tm parts{};
    localtime_r(&t, &parts);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &parts);
    return buffer;
}

bool ParseDbTime(std::string_view text, std::time_t& out) {
    int y, mo, d, h, mi, s;
    if (!ParseDateParts(text, y, mo, d, h, mi, s))
        return false;
    std::tm parts{};
    parts.tm_year = y - 1900;
    parts.tm_mon = mo - 1;
    parts.tm_mday = d;
    parts.tm_hour = h;
    parts.tm_min = mi;
    parts.tm_sec = s;
    parts.tm_isdst = -1;
    out = std::mktime(&parts);
    return out != static_cast<std::time_t>(-1);
}

std::string FormatSpanAsDate(long long seconds) {
    if (seconds < 0)
        seconds = 0;
    long long y;
    unsigned m, d;
    CivilFromDays(kZeroDateDays + seconds / 86400, y, m, d);
    const long long rest = seconds % 86400;
    return Format("%04lld-%02u-%02u %02lld:%02lld:%02lld", y, m, d, rest / 3600, rest / 60 % 60, rest % 60);
}

long long ParseSpanFromDate(std::string_view text) {
    int y, mo, d, h, mi, s;
    if (!ParseDateParts(text, y, mo, d, h, mi, s))
        return 0;
    const long long days =
        DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) - kZeroDateDays;
    const long long total = days * 86400 + h * 3600 + mi * 60 + s;
    return total < 0 ? 0 : total;
}

int CTaskTable::AllocateTaskId() {
    // The transaction holds g_csDatabase: two allocations never interleave between the insert and
    // the select.
    std::string error;
    Transaction transaction(error);
    CDbAccess db;
    if (transaction.IsOpen())
        db.ExecuteSql("delete from Task_ID");
    if (!transaction.IsOpen() || !db.ExecuteSql("insert into Task_ID(i) values(0)")) {
        g_strDbError.Set("取ID号失败！");
        return 0;
    }
    auto rows = db.OpenRecordset("select top 1 ID  from Task_ID order by ID desc");
    if (!rows) {
        g_strDbError.Set("取ID号失败！");
        return 0;
    }
    const int id = rows->IsEof() ? 0 : ToInt(rows->Text(size_t{0}));
    if (!transaction.Commit(error)) {
        g_strDbError.Set(error);
        return 0;
    }
    return id;
}

bool CTaskTable::InsertTask(int id, std::string_view name, TaskState status, std::string_view firstUrl,
                            int list, std::string_view script) {
    const std::string sql = Format(
        "insert into Task(ID,cTask,iStatus,cWeb,cMemo,iType,cSearchScript,dStartTime) "
        "values(%d,'%s',%d,'%s','%s',%d,'%s','%s')",
        id, SqlQuote(name).c_str(), static_cast<int>(status), SqlQuote(firstUrl).c_str(), "", list,
        SqlQuote(script).c_str(), FormatDbTime(std::time(nullptr)).c_str());
    if (!ExecuteSql(sql)) {
        g_strDbError.Set("保存失败！");
        return false;
    }
    return true;
}

std::string CTaskTable::ReadTaskText(int id, bool settings) {
    auto rows = OpenRecordset(
        Format("select top 1 %s from Task where ID=%d", settings ? "cSetInfo" : "cSearchScript", id));
    if (!rows) {
        g_strDbError.Set("取脚本失败！");
        return {};
    }
    return rows->Text(size_t{0});
}

std::string CTaskTable::ReadTaskScript(int id) {
    return ReadTaskText(id, false);
}

std::string CTaskTable::ReadTaskField(std::string_view column, int id) {
    auto rows = OpenRecordset(Format("select top 1 %.*s from Task where ID=%d",
                                     static_cast<int>(column.size()), column.data(), id));
    if (!rows) {
        g_strDbError.Set("读取表失败！");
        return {};
    }
    return rows->Text(size_t{0});
}

int CTaskTable::ReadTaskInt(std::string_view column, int id) {
    return ToInt(ReadTaskField(column, id));
}

bool CTaskTable::TaskExists(int id) {
    auto rows = OpenRecordset(Format("select top 1 ID from Task where ID=%d", id));
    if (!rows) {
        g_strDbError.Set("读取表失败！");
        return false;
    }
    return !rows->IsEof();
}

bool CTaskTable::SaveTaskScript(int id, std::string_view script) {
    if (!ExecuteSql(Format("update Task set cSearchScript='%s' where ID=%d", SqlQuote(script).c_str(), id))) {
        g_strDbError.Set("保存失败！");
        return false;
    }
    return true;
}

int CTaskTable::SetTaskScriptValue(int id, std::string_view keyWithoutEquals, std::string_view value,
                                   bool settings) {
    if (id == 0) {
        g_strDbError.Set("请先选择任务！");
        return -1;
    }
    std::scoped_lock lock(g_csDatabase);
    if (!TaskExists(id))
        return -1;
    std::string text = ReadTaskText(id, settings);
    std::string key(keyWithoutEquals);
    key += '=';
    SetScriptValue(key, text, value);
    if (!ExecuteSql(Format("update Task set %s='%s' where ID=%d", settings ? "cSetInfo" : "cSearchScript",
                           SqlQuote(text).c_str(), id))) {
        g_strDbError.Set("更新任务表失败！");
        return 0;
    }
    return 1;
}

bool CTaskTable::DeleteTask(int id) {
    if (!ExecuteSql(Format("delete from Task where ID=%d", id))) {
        g_strDbError.Set("删除失败！");
        return false;
    }
    return true;
}

bool CTaskTable::SetTaskStatus(int id, TaskState status) {
    const int list = TaskListForStatus(status);
    const int stored = StoredStatus(status);
    if (!ExecuteSql(Format("update Task set iStatus=%d,iType=%d where ID=%d", stored, list, id))) {
        g_strDbError.Set("更新任务表失败！");
        return false;
    }
    return true;
}

bool CTaskTable::UpdateTaskRunStats(int id, TaskState status, std::string_view nextUrl, int startPage,
                                    const TaskRunStats& stats, TaskRunEntry* entry) {
    std::scoped_lock lock(g_csDatabase);
    auto rows = OpenRecordset(
        Format("select top 1 iRecordCount,iRecordSize,iConnCount,iWebBytes,iUseTime,dStartTime,iStatus,iType "
               "from Task "
               "where ID=%d",
               id));
    if (!rows || rows->IsEof()) {
        g_strDbError.Set("读取任务表失败！");
        return false;
    }
    int list = TaskListForStatus(status);
    if (entry && rows->Int("iType") == 5)
        list = 5;
    const int storedStatus = StoredStatus(status);

    long long records = rows->Int("iRecordCount") + stats.records;
    long long recordBytes = rows->Int("iRecordSize") + stats.recordBytes;
    long long pages = rows->Int("iConnCount") + stats.pages;
    long long pageBytes = rows->Int("iWebBytes") + stats.pageBytes;
    long long useTime = ParseSpanFromDate(rows->Text("iUseTime"));
    const std::time_t now = std::time(nullptr);

    if (status != TaskState::kWaiting && status != TaskState::kRunning) {
        std::time_t start = 0;
        if (entry && entry->runStart != 0) {
            start = entry->runStart;
        } else if (!ParseDbTime(rows->Text("dStartTime"), start)) {
            start = now;
        }
        if (now > start)
            useTime += now - start;
    } else {
        if (entry)
            entry->runStart = now;
        if (rows->Int("iStatus") > static_cast<int>(TaskState::kPaused)) {
            // The previous run had ended: this start begins afresh.
            records = recordBytes = pages = pageBytes = 0;
            useTime = 0;
            ExecuteSql(Format("update Task set dStartTime='%s' where ID=%d", FormatDbTime(now).c_str(), id));
        }
    }

    int keyPre = entry ? entry->searchKeyIndexPre : 0;
    int key = entry ? entry->searchKeyIndex : 0;
    std::string memo = entry ? entry->keywordList : std::string();
    long long rangeValue = entry ? entry->rangeValue : 0;
    long long pageRecord = entry ? entry->pageRecord : 0;
    if (status == TaskState::kEnded) {
        keyPre = 0;
        key = 0;
        memo.clear();
        rangeValue = 0;
        pageRecord = 0;
    }
    const std::string sql = Format(
        "update Task set dEndTime='%s',iUseTime='%s',iRecordCount=%lld,iRecordSize=%lld,iConnCount=%lld,"
        "iWebBytes=%lld,iSearchKeyIndexPre=%d,iSearchKeyIndex=%d,cMemo='%s',iStartPage=%d,cNextSite='%s',"
        "iRangeValue=%lld,iPageRecord=%lld,iStatus=%d,iType=%d where ID=%d",
        FormatDbTime(now).c_str(), FormatSpanAsDate(useTime).c_str(), records, recordBytes, pages, pageBytes,
        keyPre, key, SqlQuote(memo).c_str(), startPage, SqlQuote(nextUrl).c_str(), rangeValue, pageRecord,
        storedStatus, list, id);
    if (!ExecuteSql(sql)) {
        g_strDbError.Set("更新任务表失败！");
        return false;
    }
    if (entry && !entry->keywordList.empty() && !SaveTaskKeywords(id, entry->keywordList))
        entry->keywordFileFailed = true;
    return true;
}

int CTaskTable::GetCategoryTaskId(int nodeId) {
    auto rows = OpenRecordset(Format("select top 1 iTask  from TreeItems where ID=%d", nodeId));
    if (!rows) {
        g_strDbError.Set("打开表iTask失败！");
        return 0;
    }
    return ToInt(rows->Text(size_t{0}));
}

int CTaskTable::AllocateCategoryId() {
    std::scoped_lock lock(g_csDatabase);
    ExecuteSql("delete from TreeItems_ID");
    if (!ExecuteSql("insert into TreeItems_ID(i) values(0)"))
        return 0;
    auto rows = OpenRecordset("select top 1 ID from TreeItems_ID");
    if (!rows || rows->IsEof())
        return 0;
    return ToInt(rows->Text(size_t{0}));
}

int CTaskTable::NewCategory(std::string_view name, int parentId, int icon) {
    std::scoped_lock lock(g_csDatabase);
    const std::string quoted = SqlQuote(name);
    auto orderRows = OpenRecordset(
        Format("select top 1 iOrder  from TreeItems where ParentItemID=%d order by iOrder desc", parentId));
    if (!orderRows) {
        g_strDbError.Set(m_strError.empty() ? std::string("新建类别失败!") : m_strError);
        return 0;
    }
    const int order = orderRows->IsEof() ? 1 : ToInt(orderRows->Text(size_t{0})) + 1;
    const int id = AllocateCategoryId();
    if (id <= 0 || !ExecuteSql(Format(
                       "insert into TreeItems(ID,Name,ParentItemID,iOrder,iImage) values(%d,'%s',%d,%d,%d)",
                       id, quoted.c_str(), parentId, order, icon))) {
        g_strDbError.Set(m_strError.empty() ? std::string("新建类别失败!") : m_strError);
        return 0;
    }
    return id;
}

bool CTaskTable::RenameCategory(int nodeId, std::string_view name) {
    if (!ExecuteSql(Format("update TreeItems set Name='%s' where ID=%d", SqlQuote(name).c_str(), nodeId))) {
        g_strDbError.Set("类别改名失败！");
        return false;
    }
    return true;
}

}  // namespace sorvik
