#include "workbench/task_actions.h"

#include <mutex>

#include "engine/result_table.h"
#include "script/script_keys.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/task_table.h"
#include "store/transaction.h"
#include "text/strings.h"

namespace sorvik {

namespace {

// The database's reason after a failed call, put under the system's message.
std::string WithReason(std::string message, const CDbAccess& db) {
    const std::string reason = db.m_strProviderError.empty() ? db.m_strError : db.m_strProviderError;
    if (!reason.empty() && reason != message)
        message += "\r\n" + reason;
    return message;
}

}  // namespace

bool TaskIsRunning(int id) {
    std::scoped_lock lock(g_csDatabase);
    const auto status = static_cast<TaskState>(CTaskTable().ReadTaskInt("iStatus", id));
    return status == TaskState::kWaiting || status == TaskState::kRunning;
}

bool ReplaceTaskScript(int id, std::string_view script, std::string& error) {
    const std::string name = Trim(ScriptValue(key::kTaskName, script));
    if (name.empty()) {
        error = "请先指定任务名称!";
        return false;
    }
    std::scoped_lock lock(g_csDatabase);
    CTaskTable db;
    if (!db.ExecuteSql(Format(
            "update Task set cTask='%s',cWeb='%s',cSearchScript='%s' where ID=%d", SqlQuote(name).c_str(),
            SqlQuote(Trim(ScriptValue(key::kStartUrl, script))).c_str(), SqlQuote(script).c_str(), id))) {
        error = WithReason("保存失败！", db);
        return false;
    }
    return true;
}

int AddTaskFromScript(std::string_view script, std::string& error) {
    const std::string name = Trim(ScriptValue("#任务名称=", script));
    if (name.empty()) {
        error = "请先指定任务名称!";
        return 0;
    }
    std::scoped_lock lock(g_csDatabase);
    CTaskTable table;
    const int id = table.AllocateTaskId();
    if (id <= 0 || !table.InsertTask(id, name, TaskState::kEnded, Trim(ScriptValue("#要搜索网址=", script)),
                                     3, script)) {
        error = g_strDbError.Get();
        return 0;
    }
    const int category = ToInt(ScriptValue("#类别号=", script));
    if (category > 0 &&
        !table.ExecuteSql(Format("update TreeItems set iTask=%d,iImage=3 where ID=%d", id, category)))
        error = "更新类别表失败！";
    return id;
}

bool RenameTask(int id, std::string_view name, std::string& error) {
    const std::string trimmed = Trim(name);
    if (trimmed.empty()) {
        error = "请先指定任务名称!";
        return false;
    }
    std::scoped_lock lock(g_csDatabase);
    CTaskTable db;
    std::string script = db.ReadTaskScript(id);
    SetScriptValue(key::kTaskName, script, trimmed);
    if (!db.ExecuteSql(Format("update Task set cTask='%s',cSearchScript='%s' where ID=%d",
                              SqlQuote(trimmed).c_str(), SqlQuote(script).c_str(), id))) {
        error = WithReason("更新任务表失败！", db);
        return false;
    }
    return true;
}

bool MoveTaskToDeleted(int id, std::string& error) {
    std::scoped_lock lock(g_csDatabase);
    CTaskTable db;
    const std::string name = db.ReadTaskField("cTask", id);
    const std::string failed = Format("更新任务数据失败！(任务：%s)", name.c_str());
    std::string reason;
    Transaction transaction(reason);
    if (!transaction.IsOpen() || !db.DeleteRecords("PlanTask", Format("where iTaskID=%d", id)) ||
        !db.ExecuteSql(Format("update Task set iType=5 where ID=%d", id))) {
        error = reason.empty() ? WithReason(failed, db) : failed + "\r\n" + reason;
        return false;
    }
    if (!transaction.Commit(reason)) {
        error = failed + "\r\n" + reason;
        return false;
    }
    return true;
}

bool DeleteTaskForGood(int id, bool deleteResults, bool deleteSharedResults, PurgeResult& result,
                       std::string& error) {
    result = PurgeResult();
    std::scoped_lock lock(g_csDatabase);
    CTaskTable db;
    const std::string name = db.ReadTaskField("cTask", id);
    if (db.ReadTaskInt("iMod", id) != 0) {
        error = Format("系统的内置任务不能删除！(任务：%s)", name.c_str());
        return false;
    }
    const std::string script = db.ReadTaskScript(id);
    const std::string table = Trim(ScriptValue(key::kTable, script));
    std::string condition = Trim(ScriptValue(key::kRecordCondition, script));
    const bool shared = !condition.empty();
    if (!shared)
        condition = Format("iNode_=%d", id);
    const bool deleteRows =
        deleteResults && !table.empty() && (!shared || deleteSharedResults) && ResultTableExists(table);
    result.sharedResultsKept = deleteResults && shared && !deleteSharedResults;

    // What was deleted before a failure comes back when the transaction ends uncommitted.
    std::string reason;
    auto fail = [&](const std::string& message) {
        error = reason.empty() ? WithReason(message, db) : message + "\r\n" + reason;
        result = PurgeResult();
        return false;
    };
    Transaction transaction(reason);
    if (!transaction.IsOpen())
        return fail(Format("删除任务数据失败！(任务：%s)", name.c_str()));
    const std::string outbox = Trim(ScriptValue(key::kOutbox, script));
    if (deleteResults && Trim(ScriptValue(key::kTaskType, script)) == "发送邮件" && !outbox.empty()) {
        if (!db.DeleteRecords("sc_ReceiveBox", Format("where ID_=%d", ToInt(outbox))))
            return fail(Format("删除搜索结果数据失败！(任务：%s)", name.c_str()));
    }
    if (deleteRows) {
        result.resultRows = db.SelectCount(table, condition);
        if (!db.DeleteRecords(table, "where " + condition))
            return fail(Format("删除搜索结果数据失败！(任务：%s)", name.c_str()));
    }
    if (!db.ExecuteSql(Format("update TreeItems set iTask=0,iImage=2 where iTask=%d", id)))
        return fail("更新类别表失败！");
    if (!db.DeleteRecords("PlanTask", Format("where iTaskID=%d", id)))
        return fail("删除失败！");
    if (!db.DeleteRecords("Task", Format("where ID=%d", id)))
        return fail(Format("删除任务数据失败！(任务：%s)", name.c_str()));
    if (!transaction.Commit(reason))
        return fail(Format("删除任务数据失败！(任务：%s)", name.c_str()));
    return true;
}

bool ResetTaskForRestart(int id, std::string& error) {
    std::scoped_lock lock(g_csDatabase);
    CTaskTable db;
    // Status 4 in the active list: the next start begins afresh (counters, running time, start time).
    if (!db.ExecuteSql(
            Format("update Task set iStatus=4,iType=3,cNextSite='',iStartPage=0,iSearchKeyIndexPre=0,"
                   "iSearchKeyIndex=0,iRecordCount=0,iRecordSize=0,iConnCount=0,iWebBytes=0,"
                   "iUseTime='%s',cMemo='' where ID=%d",
                   FormatSpanAsDate(0).c_str(), id))) {
        error = WithReason("更新任务表失败！", db);
        return false;
    }
    return true;
}

}  // namespace sorvik
