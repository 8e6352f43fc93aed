#pragma once
// Task scheduling: planned start times of tasks, kept in PlanTask and in the schedule list, and
// the 2-second tick that starts a task whose time has come.
//
// A plan time is the 19-character text "yyyy-mm-dd hh:mm:ss"; any digit of the date part may be
// "?" (any digit), so "????-??-?? 07:00:00" is every day at seven. An entry fires when the clock's
// date matches its date pattern and the clock's time of day is less than 30 seconds from its time.
// It fires at most once per day: it remembers the date it fired on, so a daily plan fires again
// the next day (and not twice inside one window).
//
// No timer and no clock live here: the host (the workbench's QTimer, `sorvik-cli serve`, a test)
// calls Scheduler::Tick every 2000 ms, and the clock is passed in. Everything runs on the run
// controller's host thread; database work takes g_csDatabase.

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

class RunController;

// A reading of the local clock.
struct LocalTime {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The system's local time now.
LocalTime LocalTimeNow();
// "%Y-%m-%d %H:%M:%S".
std::string FormatLocalTime(const LocalTime& time);
// A plan text without "?" as a time; false for anything else (format or calendar).
bool ParsePlanTime(std::string_view text, LocalTime& time);
// time plus seconds, carried into minutes, hours, days, months and years on the calendar.
LocalTime AddSeconds(const LocalTime& time, long long seconds);

inline constexpr size_t kPlanTimeLength = 19;

// The dialog's format check of a plan time ("?" allowed in the date only): true when it is valid;
// otherwise message is "时分秒处不可以输入?号，不能加入!" or "时间格式不对(格式应为“yyyy-mm-dd
// hh:mm:ss”，如“<now>”)！".
bool CheckPlanTime(std::string_view text, const LocalTime& now, std::string& message);

// True when the plan time matches the clock: its date pattern matches now's date ("?" any
// digit) and its time of day is less than 30 seconds from now's.
bool PlanTimeDue(std::string_view planTime, const LocalTime& now);

// The presets of the dialog's ".." menu: the menu text and the time it puts into the time box.
struct PlanPreset {
    const char* text;
    const char* time;
};
std::span<const PlanPreset> PlanPresets();

// The plan of one task as the dialog "计划" edits it: the list "计划搜索时间列表" with its selection.
class TaskPlanList {
  public:
    explicit TaskPlanList(std::vector<std::string> entries = {});

    const std::vector<std::string>& Entries() const { return entries_; }
    int Selected() const { return selected_; }  // -1: none
    void Select(int index);

    // "+" with the time box's text (cut to 19 characters and written back). The series form "N,S"
    // with a selected entry appends N times, each S seconds after the one before, from the selected
    // entry on (at most 10000; a selected entry with "?" can't start a series). Otherwise the text
    // is checked (CheckPlanTime) and must not be listed already ("开始搜索时间已重复，不能加入！").
    // True when something was added (the last added entry is selected); false with message (empty
    // for an empty box).
    bool Add(std::string& box, const LocalTime& now, std::string& message);

    // "-": with a list and a box text; with "N,S" in the box and a selected entry the first N
    // entries go first. Removes the selected entry (the last when none is selected; none when the
    // selected one went with the first N) and selects the last. True when something was removed.
    bool Remove(std::string& box);

  private:
    std::vector<std::string> entries_;
    int selected_ = -1;
};

// The plan of a task, in the order entered (PlanTask rows "iTaskID=%d"). False with the database's
// reason.
bool ReadTaskPlan(int taskId, std::vector<std::string>& times, std::string& error);
// Replaces the task's PlanTask rows with times, all or nothing (a failure keeps the old rows):
// false with "可能是时间格式不对，保存失败！" and the database's reason.
bool SaveTaskPlan(int taskId, const std::vector<std::string>& times, std::string& error);
// Deletes the task's PlanTask rows; false with "删除计划数据失败！" and the database's reason.
bool DeleteTaskPlan(int taskId, std::string& error);

// One entry of the schedule list.
struct ScheduleEntry {
    int taskId = 0;
    std::string planTime;  // the first 19 characters of dPlanDateTime
    std::string firedOn;   // "yyyy-mm-dd" of the day it last fired; empty: not yet
};

// How a scheduled start went.
enum class ScheduledStart {
    kStarted,        // a fresh run ("重新搜索": from the start, statistics cleared)
    kResumed,        // a paused task continues where it stopped
    kAlreadyActive,  // its run waits or runs already
    kGone,           // the task no longer exists or is in the deleted list
    kFailed,         // the controller or the database refused (said through the front end or error)
};

// Starts a task whose planned time has come, whatever else the run controller holds.
ScheduledStart StartScheduledTask(RunController& controller, int taskId, std::string& error);

// The schedule list and its tick.
class Scheduler {
  public:
    using Clock = std::function<LocalTime()>;
    // Called for each start with the task and how it went (error: the database's reason).
    using StartNote = std::function<void(int taskId, ScheduledStart result, const std::string& error)>;

    Scheduler(RunController& controller, Clock clock, StartNote note = {});

    // LoadSchedule: the schedule list from every PlanTask row. An entry that is still listed keeps
    // the day it fired on, so reloading after a plan was saved (by the dialog, or `sorvik-cli
    // schedule` while `serve` runs) never fires an entry twice on one day. False with the
    // database's reason; the list is then unchanged.
    bool Load(std::string& error);

    // The 2-second tick: reloads the list (a failed reload keeps the old one), takes the entries
    // that are due and have not fired today, marks them fired and starts their tasks (each task
    // once). A tick that comes while one is being handled (a front end's nested event loop) does
    // nothing. Returns the tasks it tried to start.
    std::vector<int> Tick();

    const std::vector<ScheduleEntry>& Entries() const { return entries_; }

  private:
    RunController& controller_;
    Clock clock_;
    StartNote note_;
    std::vector<ScheduleEntry> entries_;
    bool ticking_ = false;
};

}  // namespace sorvik
