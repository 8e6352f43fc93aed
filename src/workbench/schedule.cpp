#include "workbench/schedule.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <map>
#include <mutex>

#include "engine/run_controller.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/recordset.h"
#include "store/task_state.h"
#include "store/task_table.h"
#include "store/transaction.h"
#include "text/gb_text.h"
#include "text/strings.h"
#include "workbench/task_commands.h"

namespace sorvik {

namespace {

// The window around a planned second in which its entry fires.
constexpr int kWindowSeconds = 30;
// A series ("N,S") adds at most this many times at once.
constexpr int kMaxSeriesCount = 10000;
constexpr int kDeletedList = 5;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int Number(std::string_view text, size_t at, size_t length) {
    int value = 0;
    for (size_t i = at; i < at + length; ++i)
        value = value * 10 + (text[i] - '0');
    return value;
}

// The layout "dddd-dd-dd dd:dd:dd".
bool HasPlanLayout(std::string_view text) {
    if (text.size() != kPlanTimeLength)
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char expected = i == 4 || i == 7 ? '-' : i == 10 ? ' ' : i == 13 || i == 16 ? ':' : 0;
        if (expected ? text[i] != expected : !IsDigit(text[i]))
            return false;
    }
    return true;
}

std::chrono::year_month_day Date(const LocalTime& time) {
    return std::chrono::year{time.year} / std::chrono::month{static_cast<unsigned>(time.month)} /
           std::chrono::day{static_cast<unsigned>(time.day)};
}

std::string DateText(const LocalTime& time) {
    return FormatLocalTime(time).substr(0, 10);
}

int SecondOfDay(int hour, int minute, int second) {
    return hour * 3600 + minute * 60 + second;
}

// "N,S": two parts, both numbers.
bool ParseSeries(std::string_view text, long long& count, long long& step) {
    const std::vector<std::string> parts = SplitAll(text, ",");
    if (parts.size() != 2)
        return false;
    count = ParseLeadingInt(parts[0]);
    step = ParseLeadingInt(parts[1]);
    return true;
}

std::string CutToPlanLength(std::string_view text) {
    return std::string(GbPrefix(text, kPlanTimeLength));
}

const PlanPreset kPresets[] = {
    {"每天0点整", "?\?\?\?-?\?-?\? 00:00:00"},      {"每天上午7点整", "?\?\?\?-?\?-?\? 07:00:00"},
    {"每天中午12点整", "?\?\?\?-?\?-?\? 12:00:00"}, {"每天下午2点整", "?\?\?\?-?\?-?\? 14:00:00"},
    {"每天晚上5点整", "?\?\?\?-?\?-?\? 17:00:00"},  {"每月1号上午8点30分", "?\?\?\?-?\?-01 08:30:00"},
};

}  // namespace

std::span<const PlanPreset> PlanPresets() {
    return kPresets;
}

LocalTime LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

std::string FormatLocalTime(const LocalTime& time) {
    return Format("%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day, time.hour, time.minute,
                  time.second);
}

bool ParsePlanTime(std::string_view text, LocalTime& time) {
    if (!HasPlanLayout(text))
        return false;
    LocalTime parsed{Number(text, 0, 4),  Number(text, 5, 2),  Number(text, 8, 2),
                     Number(text, 11, 2), Number(text, 14, 2), Number(text, 17, 2)};
    if (parsed.month < 1 || parsed.month > 12 || parsed.day < 1 || !Date(parsed).ok() || parsed.hour > 23 ||
        parsed.minute > 59 || parsed.second > 59)
        return false;
    time = parsed;
    return true;
}

LocalTime AddSeconds(const LocalTime& time, long long seconds) {
    using namespace std::chrono;
    const sys_seconds start =
        sys_days(Date(time)) + hours(time.hour) + minutes(time.minute) + std::chrono::seconds(time.second);
    const sys_seconds end = start + std::chrono::seconds(seconds);
    const sys_days day = floor<days>(end);
    const year_month_day date(day);
    const long long rest = (end - day).count();
    return {static_cast<int>(date.year()),
            static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day())),
            static_cast<int>(rest / 3600),
            static_cast<int>(rest / 60 % 60),
            static_cast<int>(rest % 60)};
}

bool CheckPlanTime(std::string_view text, const LocalTime& now, std::string& message) {
    if (text.size() > 11 && text.find('?', 11) != std::string_view::npos) {
        message = "时分秒处不可以输入?号，不能加入!";
        return false;
    }
    std::string probe(text);
    std::replace(probe.begin(), probe.end(), '?', '1');
    LocalTime parsed;
    if (!ParsePlanTime(probe, parsed)) {
        message =
            Format("时间格式不对(格式应为“yyyy-mm-dd hh:mm:ss”，如“%s”)！", FormatLocalTime(now).c_str());
        return false;
    }
    return true;
}

bool PlanTimeDue(std::string_view planTime, const LocalTime& now) {
    if (planTime.size() < kPlanTimeLength)
        return false;
    const std::string today = DateText(now);
    for (size_t i = 0; i < 10; ++i) {
        if (planTime[i] != '?' && planTime[i] != '-' && planTime[i] != today[i])
            return false;
    }
    for (size_t i : {11, 12, 14, 15, 17, 18}) {
        if (!IsDigit(planTime[i]))
            return false;
    }
    const int plan = SecondOfDay(Number(planTime, 11, 2), Number(planTime, 14, 2), Number(planTime, 17, 2));
    return std::abs(plan - SecondOfDay(now.hour, now.minute, now.second)) < kWindowSeconds;
}

TaskPlanList::TaskPlanList(std::vector<std::string> entries) : entries_(std::move(entries)) {}

void TaskPlanList::Select(int index) {
    selected_ = index >= 0 && index < static_cast<int>(entries_.size()) ? index : -1;
}

bool TaskPlanList::Add(std::string& box, const LocalTime& now, std::string& message) {
    message.clear();
    box = CutToPlanLength(box);
    if (box.empty())
        return false;
    long long count = 0;
    long long step = 0;
    if (box.find(',') != std::string::npos && ParseSeries(box, count, step) && selected_ >= 0) {
        LocalTime time;
        if (!ParsePlanTime(entries_[selected_], time)) {
            message =
                Format("时间格式不对(格式应为“yyyy-mm-dd hh:mm:ss”，如“%s”)！", FormatLocalTime(now).c_str());
            return false;
        }
        count = std::min<long long>(count, kMaxSeriesCount);
        for (long long i = 0; i < count; ++i) {
            time = AddSeconds(time, step);
            entries_.push_back(FormatLocalTime(time));
        }
        if (count <= 0)
            return false;
        selected_ = static_cast<int>(entries_.size()) - 1;
        return true;
    }
    if (!CheckPlanTime(box, now, message))
        return false;
    if (std::find(entries_.begin(), entries_.end(), box) != entries_.end()) {
        message = "开始搜索时间已重复，不能加入！";
        return false;
    }
    entries_.push_back(box);
    selected_ = static_cast<int>(entries_.size()) - 1;
    return true;
}

bool TaskPlanList::Remove(std::string& box) {
    box = CutToPlanLength(box);
    if (entries_.empty() || box.empty())
        return false;
    int target = selected_ >= 0 ? selected_ : static_cast<int>(entries_.size()) - 1;
    long long count = 0;
    long long step = 0;
    if (box.find(',') != std::string::npos && ParseSeries(box, count, step) && selected_ >= 0 && count > 0) {
        const int first =
            static_cast<int>(std::min<long long>(count, static_cast<long long>(entries_.size())));
        entries_.erase(entries_.begin(), entries_.begin() + first);
        target = selected_ >= first ? selected_ - first : -1;
    }
    if (target >= 0)
        entries_.erase(entries_.begin() + target);
    selected_ = static_cast<int>(entries_.size()) - 1;
    return true;
}

bool ReadTaskPlan(int taskId, std::vector<std::string>& times, std::string& error) {
    times.clear();
    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    auto rows =
        db.ExecuteQuery(Format("select dPlanDateTime from PlanTask where iTaskID=%d order by rowid", taskId));
    if (!rows) {
        error = db.m_strError;
        return false;
    }
    for (; !rows->IsEof(); rows->MoveNext()) {
        const std::string time = Trim(rows->Text(0));
        if (!time.empty())
            times.push_back(time);
    }
    return true;
}

bool SaveTaskPlan(int taskId, const std::vector<std::string>& times, std::string& error) {
    auto fail = [&](const std::string& reason) {
        error = "可能是时间格式不对，保存失败！";
        if (!reason.empty())
            error += "\r\n" + reason;
        return false;
    };
    std::string reason;
    Transaction transaction(reason);
    if (!transaction.IsOpen())
        return fail(reason);
    CDbAccess db;
    if (!db.DeleteRecords("PlanTask", Format("where iTaskID=%d", taskId)))
        return fail(db.m_strError);
    for (const std::string& time : times) {
        if (!db.ExecuteSql(Format("insert into PlanTask(iTaskID,dPlanDateTime) values(%d,'%s')", taskId,
                                  SqlQuote(time).c_str())))
            return fail(db.m_strError);
    }
    if (!transaction.Commit(reason))
        return fail(reason);
    return true;
}

bool DeleteTaskPlan(int taskId, std::string& error) {
    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    if (!db.ExecuteSql(Format("delete from  PlanTask where iTaskID=%d", taskId))) {
        error = "删除计划数据失败！\r\n" + db.m_strError;
        return false;
    }
    return true;
}

ScheduledStart StartScheduledTask(RunController& controller, int taskId, std::string& error) {
    bool exists = false;
    int list = 0;
    int status = 0;
    {
        std::scoped_lock lock(g_csDatabase);
        CTaskTable tasks;
        exists = tasks.TaskExists(taskId);
        if (exists) {
            list = tasks.ReadTaskInt("iType", taskId);
            status = tasks.ReadTaskInt("iStatus", taskId);
        }
    }
    if (!exists || list == kDeletedList)
        return ScheduledStart::kGone;
    if (controller.TaskActive(taskId))
        return ScheduledStart::kAlreadyActive;
    if (controller.EntryState(taskId) == QueueState::kPaused ||
        status == static_cast<int>(TaskState::kPaused))
        return controller.ResumeTask(taskId) ? ScheduledStart::kResumed : ScheduledStart::kFailed;
    return SearchAgain(controller, taskId, error) ? ScheduledStart::kStarted : ScheduledStart::kFailed;
}

Scheduler::Scheduler(RunController& controller, Clock clock, StartNote note)
    : controller_(controller), clock_(std::move(clock)), note_(std::move(note)) {}

bool Scheduler::Load(std::string& error) {
    std::vector<ScheduleEntry> loaded;
    {
        std::scoped_lock lock(g_csDatabase);
        CDbAccess db;
        auto rows = db.ExecuteQuery("select iTaskID,dPlanDateTime from PlanTask order by rowid");
        if (!rows) {
            error = db.m_strError;
            return false;
        }
        for (; !rows->IsEof(); rows->MoveNext()) {
            ScheduleEntry entry;
            entry.taskId = ToInt(rows->Text(0));
            entry.planTime = CutToPlanLength(Trim(rows->Text(1)));
            if (entry.taskId > 0 && !entry.planTime.empty())
                loaded.push_back(std::move(entry));
        }
    }
    // What an entry that stays listed has fired on stays with it.
    std::multimap<std::pair<int, std::string>, std::string> fired;
    for (const ScheduleEntry& entry : entries_) {
        if (!entry.firedOn.empty())
            fired.emplace(std::make_pair(entry.taskId, entry.planTime), entry.firedOn);
    }
    for (ScheduleEntry& entry : loaded) {
        const auto it = fired.find(std::make_pair(entry.taskId, entry.planTime));
        if (it != fired.end()) {
            entry.firedOn = it->second;
            fired.erase(it);
        }
    }
    entries_ = std::move(loaded);
    return true;
}

std::vector<int> Scheduler::Tick() {
    std::vector<int> due;
    if (ticking_)
        return due;
    ticking_ = true;
    std::string error;
    Load(error);  // a failed reload keeps the list it had
    const LocalTime now = clock_();
    const std::string today = DateText(now);
    for (ScheduleEntry& entry : entries_) {
        if (entry.firedOn == today || !PlanTimeDue(entry.planTime, now))
            continue;
        entry.firedOn = today;
        if (std::find(due.begin(), due.end(), entry.taskId) == due.end())
            due.push_back(entry.taskId);
    }
    // The list is not touched while the controller and the front end are called.
    for (const int taskId : due) {
        error.clear();
        const ScheduledStart result = StartScheduledTask(controller_, taskId, error);
        if (note_)
            note_(taskId, result, error);
    }
    ticking_ = false;
    return due;
}

}  // namespace sorvik
