#include "engine/run_statistics_panel.h"

#include <mutex>

#include "store/database.h"
#include "store/task_table.h"
#include "text/strings.h"

namespace sorvik {
namespace {

std::string DateText(std::time_t t) {
    if (t == 0)
        return {};
    std::tm local{};
    localtime_r(&t, &local);
    char buffer[64];
    std::strftime(buffer, sizeof(buffer), "%H:%M:%S %Y-%m-%d", &local);
    return buffer;
}

}  // namespace

std::vector<std::string> RunStatisticsPanel(const RunStatisticsValues& values) {
    const long long seconds = values.useSeconds < 0 ? 0 : values.useSeconds;
    // The running time is a date-time value: only its time of day counts for the rates.
    long long rateSeconds = seconds % 86400;
    if (rateSeconds < 1)
        rateSeconds = 1;
    const auto u = [](long long n) { return static_cast<unsigned>(n < 0 ? 0 : n); };
    const long long recordKb = values.recordBytes / 1024;
    const long long pageKb = values.pageBytes / 1024;
    return {
        "开始时间：" + DateText(values.startTime),
        "结束时间：" + DateText(values.endTime),
        Format("用    时：%02lld:%02lld:%02lld", seconds / 3600 % 24, seconds / 60 % 60, seconds % 60),
        Format("记 录 数：%10u 条  (%10u条/秒)", u(values.records), u(values.records / rateSeconds)),
        Format("链 接 数：%10u 条  (%10u条/秒)", u(values.pages), u(values.pages / rateSeconds)),
        Format("大    小：%10u KB  (%10uKB/秒)", u(recordKb), u(recordKb / rateSeconds)),
        Format("网页大小：%10u KB  (%10uKB/秒)", u(pageKb), u(pageKb / rateSeconds)),
    };
}

bool ReadRunStatistics(int taskNumber, RunStatisticsValues& values) {
    values = RunStatisticsValues();
    CTaskTable table;
    std::scoped_lock lock(g_csDatabase);
    auto rows = table.OpenRecordset(Format(
        "select top 1 dStartTime,dEndTime,iUseTime,iRecordCount,iRecordSize,iConnCount,iWebBytes from Task "
        "where ID=%d",
        taskNumber));
    if (!rows || rows->IsEof())
        return false;
    ParseDbTime(rows->Text("dStartTime"), values.startTime);
    ParseDbTime(rows->Text("dEndTime"), values.endTime);
    values.useSeconds = ParseSpanFromDate(rows->Text("iUseTime"));
    values.records = rows->Int("iRecordCount");
    values.recordBytes = rows->Int("iRecordSize");
    values.pages = rows->Int("iConnCount");
    values.pageBytes = rows->Int("iWebBytes");
    return true;
}

}  // namespace sorvik
