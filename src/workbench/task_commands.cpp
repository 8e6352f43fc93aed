#include "workbench/task_commands.h"

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

bool IsActive(const RunController& controller, int id) {
    const int state = controller.EntryState(id);
    return state == kEntryWaiting || state == kEntryRunning;
}

}  // namespace

int StartTasks(RunController& controller, const std::vector<int>& ids) {
    int started = 0;
    for (const int id : ids) {
        if (IsActive(controller, id))
            continue;
        int status = 0;
        {
            std::scoped_lock lock(g_csDatabase);
            CTaskTable tasks;
            status = tasks.ReadTaskInt("iStatus", id);
        }
        const bool paused = controller.EntryState(id) == kEntryPaused || status == 2;
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
        if (IsActive(controller, id) && controller.StopTask(id, kStopForPause))
            ++asked;
    }
    return asked;
}

bool WaitForRunsToEnd(RunController& controller, const std::vector<int>& ids,
                      std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        controller.PumpMessages();
        bool running = false;
        for (const int id : ids)
            running = running || IsActive(controller, id);
        if (!running)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        controller.WaitForMessages(std::chrono::milliseconds(100));
    }
}

bool StopTasksToFinished(RunController& controller, const std::vector<int>& ids, std::string& error) {
    PauseTasks(controller, ids);
    WaitForRunsToEnd(controller, ids, kStopWait);
    for (const int id : ids) {
        std::scoped_lock lock(g_csDatabase);
        CTaskTable tasks;
        if (!tasks.SetTaskStatus(id, 4)) {
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
