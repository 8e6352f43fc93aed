#include "workbench/task_list.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>

#include "engine/run_queue.h"
#include "store/database.h"
#include "store/db_access.h"
#include "text/strings.h"

namespace sorvik {

const std::vector<std::string>& TaskListTitles() {
    static const std::vector<std::string> titles = {"任务",   "网址",     "开始时间", "结束时间",    "用时",
                                                    "记录数", "大小(KB)", "链接数",   "网页大小(KB)"};
    return titles;
}

std::string FormatListDate(const std::string& dbDate) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (std::sscanf(dbDate.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) < 3)
        return {};
    if (y == 1899 && mo == 12 && d == 30 && h == 0 && mi == 0 && s == 0)
        return {};
    return Format("%02d:%02d:%02d %04d-%02d-%02d", h, mi, s, y, mo, d);
}

std::string FormatListSpan(const std::string& dbSpan) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (std::sscanf(dbSpan.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) < 3)
        return "00:00:00";
    return Format("%02d:%02d:%02d", h, mi, s);
}

std::string FormatListCount(long long count) {
    if (count == 0)
        return {};
    return Format("%u", static_cast<unsigned>(count));
}

std::string FormatListKilobytes(long long bytes) {
    if (bytes == 0)
        return {};
    return Format("%u", static_cast<unsigned>(bytes / 1024));
}

bool LoadTaskList(int list, std::vector<TaskListRow>& rows, std::string& error) {
    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    auto recordset =
        db.OpenRecordset(Format("select * from Task where iStatus<>6 and iType=%d order by ID", list));
    if (!recordset) {
        error = db.m_strError;
        return false;
    }
    rows.clear();
    for (; !recordset->IsEof(); recordset->MoveNext()) {
        TaskListRow row;
        row.id = static_cast<int>(recordset->Int("ID"));
        row.status = static_cast<int>(recordset->Int("iStatus"));
        row.list = list;
        row.columns = {recordset->Text("cTask"),
                       recordset->Text("cWeb"),
                       FormatListDate(recordset->Text("dStartTime")),
                       FormatListDate(recordset->Text("dEndTime")),
                       FormatListSpan(recordset->Text("iUseTime")),
                       FormatListCount(recordset->Int("iRecordCount")),
                       FormatListKilobytes(recordset->Int("iRecordSize")),
                       FormatListCount(recordset->Int("iConnCount")),
                       FormatListKilobytes(recordset->Int("iWebBytes"))};
        rows.push_back(std::move(row));
    }
    return true;
}

TaskIcon TaskIconFor(int status, int list, std::optional<QueueState> entryState) {
    if (list == 5)
        return TaskIcon::kDeleted;
    if (entryState == QueueState::kRunning)
        return TaskIcon::kRunning;
    if (entryState == QueueState::kWaiting)
        return TaskIcon::kWaiting;
    switch (static_cast<TaskState>(status)) {
        case TaskState::kWaiting:
            return TaskIcon::kWaiting;
        case TaskState::kRunning:
            return TaskIcon::kRunning;
        case TaskState::kPaused:
            return TaskIcon::kPaused;
        default:
            return list == 4 ? TaskIcon::kFinished : TaskIcon::kNew;
    }
}

std::string TaskIconWord(TaskIcon icon) {
    switch (icon) {
        case TaskIcon::kNew:
            return "未运行";
        case TaskIcon::kWaiting:
            return "等待中";
        case TaskIcon::kRunning:
            return "运行中";
        case TaskIcon::kPaused:
            return "已暂停";
        case TaskIcon::kFinished:
            return "已完成";
        case TaskIcon::kDeleted:
            return "已删除";
    }
    return {};
}

std::vector<int> TaskListColumnWidths(int clientWidth, int dateWidth) {
    const int date = std::max(80, dateWidth);
    std::vector<int> widths = {20, clientWidth / 4, clientWidth / 2, date, date, 64, 64, 64, 48, 88};
    // The URL gives way, down to 100 pixels, so that the statistics fit beside it.
    int others = 0;
    for (size_t i = 0; i < widths.size(); ++i)
        others += i == 2 ? 0 : widths[i];
    widths[2] = std::max(std::min(widths[2], clientWidth - others), std::min(widths[2], 100));
    return widths;
}

void MoveTaskRows(std::vector<TaskListRow>& rows, const std::set<int>& ids, bool toTop) {
    std::stable_partition(rows.begin(), rows.end(),
                          [&](const TaskListRow& row) { return (ids.count(row.id) != 0) == toTop; });
}

void ApplyTaskOrder(std::vector<TaskListRow>& rows, const std::vector<int>& order) {
    std::map<int, size_t> place;
    for (size_t i = 0; i < order.size(); ++i)
        place.emplace(order[i], i);
    std::stable_sort(rows.begin(), rows.end(), [&](const TaskListRow& a, const TaskListRow& b) {
        const auto pa = place.find(a.id), pb = place.find(b.id);
        const size_t ka = pa == place.end() ? order.size() : pa->second;
        const size_t kb = pb == place.end() ? order.size() : pb->second;
        return ka < kb;
    });
}

}  // namespace sorvik
