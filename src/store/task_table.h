#pragma once
// CTaskTable: the task-record and category operations over the system tables. Failures leave a
// message in g_strDbError and return the failure value.
//
// Locks: the operations that read a row and then write from what they read (AllocateTaskId,
// SetTaskScriptValue, UpdateTaskRunStats, AllocateCategoryId, NewCategory) take g_csDatabase
// themselves. The others take no lock: a caller that may run while tasks are active and needs
// several of them to be seen as one holds g_csDatabase around them (it is recursive).

#include <ctime>
#include <string>
#include <string_view>

#include "store/db_access.h"
#include "store/task_state.h"

namespace sorvik {

// The run-time state of a queued run that the statistics update reads and writes.
struct TaskRunEntry {
    std::string keywordList;         // CR LF separated keywords of the run
    int searchKeyIndexPre = 0;       // keyword cursor (iSearchKeyIndexPre)
    int searchKeyIndex = 0;          // keyword cursor (iSearchKeyIndex)
    long long rangeValue = 0;        // where in its "(*)" range the run stopped (iRangeValue; 0: none)
    long long pageRecord = 0;        // matches of the resume page already stored (iPageRecord)
    std::time_t runStart = 0;        // start of the current run, set by a start (status 0 or 1)
    bool keywordFileFailed = false;  // set when the keyword file could not be saved
};

// Increments of one run's statistics.
struct TaskRunStats {
    long long records = 0;
    long long recordBytes = 0;
    long long pages = 0;
    long long pageBytes = 0;
};

// The list that shows a task for a status: kStoppedForDeletion -> 5 (stored as kPaused),
// kFinished or kEnded -> 4, else 3.
int TaskListForStatus(TaskState status);

// Dates as the database stores them: "%Y-%m-%d %H:%M:%S" (local time).
std::string FormatDbTime(std::time_t t);
// Parses "%Y-%m-%d %H:%M:%S" (also "%Y-%m-%d"); false when it is not a date.
bool ParseDbTime(std::string_view text, std::time_t& out);
// A running time held as a date counted from the zero date 1899-12-30: 3720 s -> "1899-12-30 01:02:00".
std::string FormatSpanAsDate(long long seconds);
// The seconds of such a value (days past the zero date included); 0 when unreadable.
long long ParseSpanFromDate(std::string_view text);

class CTaskTable : public CDbAccess {
  public:
    // New task ID, strictly larger than every earlier one; 0 on failure ("取ID号失败！").
    int AllocateTaskId();
    bool InsertTask(int id, std::string_view name, TaskState status, std::string_view firstUrl, int list,
                    std::string_view script);
    // cSetInfo when settings is true, else cSearchScript; empty on failure ("取脚本失败！").
    std::string ReadTaskText(int id, bool settings);
    std::string ReadTaskScript(int id);
    // Any column of the task row as text; empty when absent ("读取表失败！" on failure).
    std::string ReadTaskField(std::string_view column, int id);
    int ReadTaskInt(std::string_view column, int id);
    bool TaskExists(int id);
    bool SaveTaskScript(int id, std::string_view script);
    // 1 stored, 0 failed ("更新任务表失败！"), -1 no task (ID 0: "请先选择任务！").
    int SetTaskScriptValue(int id, std::string_view keyWithoutEquals, std::string_view value, bool settings);
    bool DeleteTask(int id);
    // Stores the status and its list (TaskListForStatus); false ("更新任务表失败！") on failure.
    bool SetTaskStatus(int id, TaskState status);
    // Writes the run columns for a start (kWaiting, kRunning) or a stop (the others): the run's counts
    // are added to the row's (a start after an ended run begins them afresh), the running time
    // grows by the time since the run started, and the keyword cursor and list come from entry
    // (cleared for kEnded). entry may be null. False when the row can't be read
    // ("读取任务表失败！") or written ("更新任务表失败！"). A keyword file that can't be saved sets
    // entry->keywordFileFailed; the row is written all the same, and its cMemo keeps the list.
    bool UpdateTaskRunStats(int id, TaskState status, std::string_view nextUrl, int startPage,
                            const TaskRunStats& stats, TaskRunEntry* entry);
    int GetCategoryTaskId(int nodeId);
    // New category ID from the TreeItems_ID counter; 0 on failure (the reason in m_strError).
    int AllocateCategoryId();
    // New category node under parent with the icon; its ID, or 0 ("新建类别失败!").
    int NewCategory(std::string_view name, int parentId, int icon);
    bool RenameCategory(int nodeId, std::string_view name);
};

}  // namespace sorvik
