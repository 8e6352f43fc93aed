#pragma once
// The task commands of the task list and the tree: start, pause, stop, start all, pause all,
// search again. They hand the tasks to the run controller and are called on its host thread.

#include <chrono>
#include <string>
#include <vector>

namespace sorvik {

class RunController;

// Starts each task: one that is paused (a paused queue entry, or stored status 2) resumes where
// it stopped; any other starts afresh. Tasks already waiting or running are left alone. Returns
// how many were handed over.
int StartTasks(RunController& controller, const std::vector<int>& ids);

// Asks the runs of the tasks to pause (reason 8). Returns how many were asked.
int PauseTasks(RunController& controller, const std::vector<int>& ids);

// "停止(&S)": pauses the tasks' runs, waits for them to end, then moves each task to the finished
// list (status 4). The question "停止任务（该任务将移到“已完成”类别中）" is the caller's. False with
// g_strDbError's text at the first task that can't be moved.
bool StopTasksToFinished(RunController& controller, const std::vector<int>& ids, std::string& error);

// "重新搜索(&S)": the task's resume point and statistics are cleared (ResetTaskForRestart) and a
// fresh run starts over its keyword file from the first keyword. False when nothing was started:
// error holds the database's message, or is empty when the controller has said why.
bool SearchAgain(RunController& controller, int id, std::string& error);

// Delivers the controller's messages until no run of the tasks waits or runs, or the timeout
// passes. True when they have all ended.
bool WaitForRunsToEnd(RunController& controller, const std::vector<int>& ids,
                      std::chrono::milliseconds timeout);

// The task's first URL (cWeb), opened by "浏览引用页(&B)" and "用默认浏览器打开(&O)"; empty when none.
std::string TaskFirstUrl(int id);

}  // namespace sorvik
