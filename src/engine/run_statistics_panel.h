#pragma once
// The texts of the run statistics panel that the task list shows for the selected task.

#include <ctime>
#include <string>
#include <vector>

namespace sorvik {

struct RunStatisticsValues {
    std::time_t startTime = 0;  // 0: not set
    std::time_t endTime = 0;
    long long useSeconds = 0;  // running time
    long long records = 0;
    long long recordBytes = 0;
    long long pages = 0;
    long long pageBytes = 0;
};

// Seven lines: "开始时间：" and "结束时间：" ("%H:%M:%S %Y-%m-%d", empty when not set),
// "用    时：" ("%H:%M:%S"), "记 录 数：" and "链 接 数：" ("%10u 条  (%10u条/秒)"), "大    小：" and
// "网页大小：" ("%10u KB  (%10uKB/秒)", bytes / 1024). A rate divides by the running time in whole
// seconds counting only its hours, minutes and seconds; below one second counts as one.
std::vector<std::string> RunStatisticsPanel(const RunStatisticsValues& values);

// The values of a task's Task row; false when the row can't be read.
bool ReadRunStatistics(int taskNumber, RunStatisticsValues& values);

}  // namespace sorvik
