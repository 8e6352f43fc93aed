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
//    order: a task that is gone ends the command with "删除失败，可能任务已完成！"; with the box
//    ticked, a task with "#表数据过滤条件=" first asks whether the rows it selects (which tasks
//    sharing the data may need) go too; then DeleteTaskForGood (task_actions.h).
// 3. Otherwise each task moves to list 5 (MoveTaskToDeleted).
// A failure shows its text and stops at that task; earlier tasks stay processed.
TaskDeleteOutcome DeleteTasks(const std::vector<int>& ids, int currentList, bool shiftHeld,
                              RunController* controller, WorkbenchPrompt& prompt);

}  // namespace sorvik
