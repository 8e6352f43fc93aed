#pragma once
// Deleting tasks from the task list: to the deleted list (list 5), or for good (Shift held, or
// from the deleted list) with the task's results, its category binding, its schedule rows and
// its row.

#include <vector>

#include "workbench/workbench_prompt.h"

namespace sorvik {

class RunController;

struct TaskDeleteOutcome {
    bool permanent = false;
    std::vector<int> removed;  // tasks gone from the current list, in order
    bool reload = false;       // the list no longer matches the database: reload it
};

// Deletes the selected tasks of the list currentList.
// 1. When a selected task waits or runs in controller (may be null), asks
//    "所选的任务中有正在执行的，确定删除吗？" (Cancel ends), stops those runs with the deletion
//    reason and waits for them to end (their runs end in list 5).
// 2. For good when shiftHeld or currentList is 5, after ConfirmPermanentDelete. Per task, in
//    order: a task that is gone ("删除失败，可能任务已完成！") or built in ("系统的内置任务不能删除！
//    (任务：%s)") ends the command with a reload; with the box ticked the results go: a send-mail
//    task's outbox row, then the rows of "#表名=" matching "#表数据过滤条件=" (after the Yes/No
//    question about tasks sharing the data) or "iNode_=<task ID>" ("删除搜索结果数据失败！(任务：%s)");
//    then the categories showing it get iTask 0 and icon 2 ("更新类别表失败！"), its schedule rows
//    and its row go ("删除任务数据失败！(任务：%s)"). Each task's changes are one transaction.
// 3. Otherwise each task's schedule rows go and it moves to list 5 ("更新任务数据失败！(任务：%s)").
// A failure shows its text and stops at that task; earlier tasks stay processed.
TaskDeleteOutcome DeleteTasks(const std::vector<int>& ids, int currentList, bool shiftHeld,
                              RunController* controller, WorkbenchPrompt& prompt);

}  // namespace sorvik
