#include "workbench/task_delete.h"

#include <chrono>
#include <mutex>
#include <string>

#include "engine/run_controller.h"
#include "script/script_keys.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/task_table.h"
#include "text/strings.h"
#include "workbench/task_actions.h"
#include "workbench/task_commands.h"

namespace sorvik {

namespace {

constexpr int kStopForDeletion = 24;
// How long the command waits for stopped runs to end before it goes on regardless.
constexpr auto kStopWait = std::chrono::seconds(10);

// Stops the runs of the selected tasks; false when the user cancels.
bool StopRunningTasks(const std::vector<int>& ids, RunController& controller, WorkbenchPrompt& prompt) {
    std::vector<int> active;
    for (const int id : ids) {
        if (controller.TaskActive(id))
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

// One task for good; false (with the message shown) ends the command.
bool DeleteOneForGood(int id, bool deleteResults, WorkbenchPrompt& prompt, TaskDeleteOutcome& outcome) {
    bool exists = false;
    std::string condition;
    {
        std::scoped_lock lock(g_csDatabase);
        CTaskTable tasks;
        exists = id > 0 && tasks.TaskExists(id);
        if (exists)
            condition = Trim(ScriptValue(key::kRecordCondition, tasks.ReadTaskScript(id)));
    }
    if (!exists) {
        outcome.reload = true;
        prompt.ShowMessage("删除失败，可能任务已完成！");
        return false;
    }
    const bool shared =
        deleteResults && !condition.empty() &&
        prompt.AskYesNo("删除该任务可能会造成和它共享数据的任务丢失数据，是否删除搜索结果数据？");
    PurgeResult result;
    std::string error;
    if (!DeleteTaskForGood(id, deleteResults, shared, result, error)) {
        outcome.reload = true;
        prompt.ShowMessage(error);
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
        std::string error;
        if (outcome.permanent) {
            if (!DeleteOneForGood(id, deleteResults, prompt, outcome))
                break;
        } else if (MoveTaskToDeleted(id, error)) {
            outcome.removed.push_back(id);
        } else {
            outcome.reload = true;
            prompt.ShowMessage(error);
            break;
        }
    }
    return outcome;
}

}  // namespace sorvik
