#include "workbench/task_commands.h"

#include <algorithm>
#include <mutex>

#include "engine/run_controller.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/keyword_file.h"
#include "store/task_table.h"
#include "text/strings.h"
#include "workbench/task_actions.h"

namespace sorvik {

namespace {

constexpr int kStopForPause = 8;
constexpr auto kStopWait = std::chrono::seconds(10);

}  // namespace

int StartTasks(RunController& controller, const std::vector<int>& ids) {
    int started = 0;
    for (const int id : ids) {
        if (controller.TaskActive(id))
            continue;
        int status = 0;
        {
            std::scoped_lock lock(g_csDatabase);
            CTaskTable tasks;
            status = tasks.ReadTaskInt("iStatus", id);
        }
        const bool paused = controller.EntryState(id) == QueueState::kPaused ||
                            status == static_cast<int>(TaskState::kPaused);
        StartRequest request;
        request.taskNumber = id;
        if (paused ? controller.ResumeTask(id) : controller.StartTask(request))
            ++started;
    }
    return started;
}

int PauseTasks(RunController& controller, const std::vector<int>& ids) {
    int asked = 0;
    for (const int id : ids) {
        if (controller.TaskActive(id) && controller.StopTask(id, kStopForPause))
            ++asked;
    }
    return asked;
}

bool WaitForRunsToEnd(RunController& controller, const std::vector<int>& ids,
                      std::chrono::milliseconds timeout) {
    return controller.RunUntil(std::chrono::steady_clock::now() + timeout, [&] {
        return std::none_of(ids.begin(), ids.end(), [&](int id) { return controller.TaskActive(id); });
    });
}

bool StopTasksToFinished(RunController& controller, const std::vector<int>& ids, std::string& error) {
    PauseTasks(controller, ids);
    WaitForRunsToEnd(controller, ids, kStopWait);
    for (const int id : ids) {
        std::scoped_lock lock(g_csDatabase);
        CTaskTable tasks;
        if (!tasks.SetTaskStatus(id, TaskState::kEnded)) {
            error = g_strDbError.Get();
            return false;
        }
    }
    return true;
}

bool SearchAgain(RunController& controller, int id, std::string& error) {
    if (!ResetTaskForRestart(id, error))
        return false;
    StartRequest request;
    request.taskNumber = id;
    request.keywordList = LoadTaskKeywords(id);
    return controller.StartTask(request);
}

std::string TaskFirstUrl(int id) {
    std::scoped_lock lock(g_csDatabase);
    CTaskTable tasks;
    return Trim(tasks.ReadTaskField("cWeb", id));
}

}  // namespace sorvik
