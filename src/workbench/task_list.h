#pragma once
// The task list: the rows of one list (3 active, 4 finished, 5 deleted) with their run
// statistics, formatted as the list shows them.

#include <string>
#include <vector>

namespace sorvik {

struct TaskListRow {
    int id = 0;
    int status = 0;
    int list = 0;  // iType: 3 active, 4 finished, 5 deleted
    // Column texts in order: 任务, 网址, 开始时间, 结束时间, 用时, 记录数, 大小(KB), 链接数, 网页大小(KB).
    std::vector<std::string> columns;
};

// The column titles, in order.
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

}  // namespace sorvik
