#pragma once
// The task list's commands on one task, free of any window: replace the script, rename, move to
// the deleted list, delete for good with the results, and prepare a search from the start
// ("重新搜索"). Each takes g_csDatabase for its database work; failures come back as the
// system's message texts.

#include <string>
#include <string_view>

namespace sorvik {

// Whether a task row is taken by a run (iStatus 0 waiting or 1 running).
bool TaskIsRunning(int id);

// Replaces the script and with it the name and first URL the list shows ("#任务名称=",
// "#要搜索网址="). False with "请先指定任务名称!" for a script without a name, or the database error.
bool ReplaceTaskScript(int id, std::string_view script, std::string& error);

// A new task from a script, as the editor's "加入任务(&A)" and `sorvik-cli add` make it: a Task row
// in the active list (3) named by "#任务名称=" with the first URL of "#要搜索网址=", and the category
// of "#类别号=" tied to it. Returns the ID; 0 with "请先指定任务名称!" or the database's error. A
// category that can't be tied leaves the task made and error "更新类别表失败！".
int AddTaskFromScript(std::string_view script, std::string& error);

// Renames the task: the name column and the script's "#任务名称=" line, trimmed. An empty name is
// refused ("请先指定任务名称!").
bool RenameTask(int id, std::string_view name, std::string& error);

// Moves the task to the deleted list (5) and drops its schedule rows; "更新任务数据失败！(任务：%s)".
bool MoveTaskToDeleted(int id, std::string& error);

struct PurgeResult {
    long long resultRows = 0;        // result records deleted
    bool sharedResultsKept = false;  // a "#表数据过滤条件=" task whose results were left (see below)
};

// Deletes the task for good, in one transaction: when deleteResults, its results (the rows of its
// "#表名=" table under "iNode_=<ID>", or under the script's "#表数据过滤条件=" only when
// deleteSharedResults, since those rows may belong to tasks sharing the table; a send-mail task's
// outbox row too), then its category binding (the category shows no task any more), its schedule
// rows and its row. A built-in task is refused ("系统的内置任务不能删除！(任务：%s)"). On failure
// nothing is deleted and error holds the message of the failed step.
bool DeleteTaskForGood(int id, bool deleteResults, bool deleteSharedResults, PurgeResult& result,
                       std::string& error);

// Prepares a search from the start: the resume point (next URL, page, keyword cursor) and the run
// statistics are cleared and the task returns to the active list as waiting to run. The records
// harvested so far stay.
bool ResetTaskForRestart(int id, std::string& error);

}  // namespace sorvik
