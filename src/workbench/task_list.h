#pragma once
// The task list: the rows of one list (3 active, 4 finished, 5 deleted) with their run
// statistics, formatted as the list shows them, the status icon of each row, the initial column
// widths, and the reordering of rows by "上移到顶部" / "下移到底部".

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/run_queue.h"

namespace sorvik {

// The status icon of column 0.
enum class TaskIcon { kNew, kWaiting, kRunning, kPaused, kFinished, kDeleted };

struct TaskListRow {
    int id = 0;
    int status = 0;
    int list = 0;  // iType: 3 active, 4 finished, 5 deleted
    // Column texts in order: 任务, 网址, 开始时间, 结束时间, 用时, 记录数, 大小(KB), 链接数, 网页大小(KB).
    std::vector<std::string> columns;
};

// The column titles, in order (column 0, the icon, has none and is not in the list).
const std::vector<std::string>& TaskListTitles();

// Reads "select * from Task where iStatus<>6 and iType=%d order by ID" under the database lock.
// False with the error in error.
bool LoadTaskList(int list, std::vector<TaskListRow>& rows, std::string& error);

// Cell formats: a date as "%H:%M:%S %Y-%m-%d" (empty for the zero date or an empty value), a
// running time as "%H:%M:%S", a count as "%u" (empty for 0), a byte count in whole KB (empty for 0).
std::string FormatListDate(const std::string& dbDate);
std::string FormatListSpan(const std::string& dbSpan);
std::string FormatListCount(long long count);
std::string FormatListKilobytes(long long bytes);

// The icon of a row. A live queue entry state (waiting, running; none for no entry) wins over the
// stored status, which lags behind a run by up to one statistics write: list 5 is deleted, then
// entry or status waiting, running, paused; any other status is finished in list 4 and new (never
// run, or reset for a fresh start) in the active list.
TaskIcon TaskIconFor(int status, int list, std::optional<QueueState> entryState);

// The word for an icon, for its tool tip and for readers of the list: "未运行", "等待中", "运行中",
// "已暂停", "已完成", "已删除".
std::string TaskIconWord(TaskIcon icon);

// Initial widths in pixels of the ten columns (icon first) for a list whose client width is
// clientWidth: 20, W/4, W/2, 80, 80, 64, 64, 64, 48, 88; the two dates get dateWidth when that is
// more (a larger font), and the URL column is narrowed (not below 100) so that all ten fit.
std::vector<int> TaskListColumnWidths(int clientWidth, int dateWidth = 80);

// Moves the rows whose IDs are in ids to the top (or the bottom), keeping the order among the
// moved rows and among the others.
void MoveTaskRows(std::vector<TaskListRow>& rows, const std::set<int>& ids, bool toTop);

// Puts freshly loaded rows into the order of an earlier list (IDs): rows named there come first,
// in that order; the others follow in their loaded order (new tasks go last).
void ApplyTaskOrder(std::vector<TaskListRow>& rows, const std::vector<int>& order);

}  // namespace sorvik
