#include "workbench/task_delete.h"

#include <chrono>
#include <mutex>
#include <string>

#include "engine/result_table.h"
#include "engine/run_controller.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/task_table.h"
#include "text/strings.h"
#include "workbench/task_commands.h"

namespace sorvik {

namespace {

constexpr int kStopForDeletion = 24;
// How long the command waits for stopped runs to end before it goes on regardless.
constexpr auto kStopWait = std::chrono::seconds(10);

bool IsActive(const RunController& controller, int id) {
    const int state = controller.EntryState(id);
    return state == kEntryWaiting || state == kEntryRunning;
}

// Stops the runs of the selected tasks; false when the user cancels.
bool StopRunningTasks(const std::vector<int>& ids, RunController& controller, WorkbenchPrompt& prompt) {
    std::vector<int> active;
    for (const int id : ids) {
        if (IsActive(controller, id))
            active.push_back(id);
    }
    if (active.empty())
        return true;
    if (!prompt.AskOkCancel("所选的任务中有正在执行的，确定删除吗？"))
        return false;
    for (const int id : active)
        controller.StopTask(id, kStopForDeletion);
    // The workers end at their next stop check; their done messages write the rows, which must
    // happen before the rows are deleted or moved.
    WaitForRunsToEnd(controller, active, kStopWait);
    return true;
}

// What the permanent delete needs of a task, read before any question is asked.
struct DoomedTask {
    bool exists = false;
    int builtIn = 0;
    std::string name;
    std::string table;
    std::string condition;  // "#表数据过滤条件=", empty when none
    int outboxId = 0;       // "#发送箱ID号=" of a send-mail task
};

DoomedTask ReadDoomedTask(int id) {
    std::scoped_lock lock(g_csDatabase);
    CTaskTable tasks;
    DoomedTask task;
    task.exists = id > 0 && tasks.TaskExists(id);
    if (!task.exists)
        return task;
    task.builtIn = tasks.ReadTaskInt("iMod", id);
    task.name = tasks.ReadTaskField("cTask", id);
    const std::string script = tasks.ReadTaskScript(id);
    task.table = Trim(ScriptValue("#表名=", script));
    task.condition = Trim(ScriptValue("#表数据过滤条件=", script));
    if (Trim(ScriptValue("#任务类型=", script)) == "发送邮件")
        task.outboxId = ToInt(Trim(ScriptValue("#发送箱ID号=", script)));
    return task;
}

// Deletes result rows; a table that was never made holds none.
bool DeleteResults(CDbAccess& db, const std::string& table, const std::string& condition) {
    return table.empty() || !ResultTableExists(table) || db.DeleteRecords(table, "where " + condition);
}

// One task for good; false (with the message shown) ends the command.
bool DeleteTaskForGood(int id, bool deleteResults, WorkbenchPrompt& prompt, TaskDeleteOutcome& outcome) {
    const DoomedTask task = ReadDoomedTask(id);
    if (!task.exists || task.builtIn != 0) {
        outcome.reload = true;
        prompt.ShowMessage(!task.exists ? std::string("删除失败，可能任务已完成！")
                                        : Format("系统的内置任务不能删除！(任务：%s)", task.name.c_str()));
        return false;
    }
    bool results = deleteResults;
    if (results && !task.condition.empty()) {
        results = prompt.AskYesNo("删除该任务可能会造成和它共享数据的任务丢失数据，是否删除搜索结果数据？");
    }
    std::string failure;
    {
        std::scoped_lock lock(g_csDatabase);
        CTaskTable db;
        db.BeginTrans();
        if (results && task.outboxId > 0 &&
            !db.DeleteRecords("sc_ReceiveBox", Format("where ID_=%d", task.outboxId)))
            failure = Format("删除搜索结果数据失败！(任务：%s)", task.name.c_str());
        const std::string condition = task.condition.empty() ? Format("iNode_=%d", id) : task.condition;
        if (failure.empty() && results && !DeleteResults(db, task.table, condition))
            failure = Format("删除搜索结果数据失败！(任务：%s)", task.name.c_str());
        if (failure.empty() &&
            !db.ExecuteSql(Format("update TreeItems set iTask=%d,iImage=2 where iTask=%d", 0, id)))
            failure = "更新类别表失败！";
        if (failure.empty() && !db.DeleteRecords("PlanTask", Format("where iTaskID=%d", id)))
            failure = db.m_strError;
        if (failure.empty() && !db.DeleteRecords("Task", Format("where ID=%d", id)))
            failure = Format("删除任务数据失败！(任务：%s)", task.name.c_str());
        if (failure.empty()) {
            db.CommitTrans();
            if (!db.m_strError.empty())
                failure = db.m_strError;
        }
        if (!failure.empty())
            db.RollbackTrans();
    }
    if (!failure.empty()) {
        outcome.reload = true;
        prompt.ShowMessage(failure);
        return false;
    }
    outcome.removed.push_back(id);
    return true;
}

bool MoveTaskToDeletedList(int id, WorkbenchPrompt& prompt, TaskDeleteOutcome& outcome) {
    std::string failure;
    {
        std::scoped_lock lock(g_csDatabase);
        CTaskTable db;
        if (!db.DeleteRecords("PlanTask", Format("where iTaskID=%d", id)))
            failure = db.m_strError;
        else if (!db.ExecuteSql(Format("update Task set iType=5 where ID=%d", id)))
            failure = Format("更新任务数据失败！(任务：%s)", db.ReadTaskField("cTask", id).c_str());
    }
    if (!failure.empty()) {
        outcome.reload = true;
        prompt.ShowMessage(failure);
        return false;
    }
    outcome.removed.push_back(id);
    return true;
}

}  // namespace

TaskDeleteOutcome DeleteTasks(const std::vector<int>& ids, int currentList, bool shiftHeld,
                              RunController* controller, WorkbenchPrompt& prompt) {
    TaskDeleteOutcome outcome;
    if (ids.empty())
        return outcome;
    if (controller && !StopRunningTasks(ids, *controller, prompt))
        return outcome;
    outcome.permanent = shiftHeld || currentList == 5;
    bool deleteResults = true;
    if (outcome.permanent && !prompt.ConfirmPermanentDelete(deleteResults))
        return outcome;
    for (const int id : ids) {
        const bool done = outcome.permanent ? DeleteTaskForGood(id, deleteResults, prompt, outcome)
                                            : MoveTaskToDeletedList(id, prompt, outcome);
        if (!done)
            break;
    }
    return outcome;
}

}  // namespace sorvik
