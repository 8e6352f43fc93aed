// The schedule driven with a clock of the test's own: a daily plan harvests the demo site on two
// days running (once per day, inside its 30-second window), while the run controller holds
// another task; a deleted plan and a deleted task start nothing.

#include "workbench/schedule.h"

#include "e2e/e2e_support.h"
#include "workbench/task_actions.h"

namespace sorvik::e2e {
namespace {

using ScheduleTest = SiteTest;

TEST_F(ScheduleTest, DailyPlanHarvestsOnTwoDaysBesideAnotherTask) {
    const int daily = AddTask(AsScript(ExampleScript("next_page.txt", SiteUrl())));
    const int other = AddTask(AsScript(ExampleScript("ranges.txt", SiteUrl())));
    test::RecordingObserver observer;
    test::RecordingPrompt prompt;
    RunController controller(observer, prompt);
    auto runToEnd = [&] {
        ASSERT_TRUE(controller.RunUntilIdle(std::chrono::steady_clock::now() + std::chrono::minutes(2)));
    };
    // The controller's list holds another task's finished run.
    StartRequest request;
    request.taskNumber = other;
    ASSERT_TRUE(controller.StartTask(request));
    runToEnd();

    std::string error;
    ASSERT_TRUE(SaveTaskPlan(daily, {"?\?\?\?-?\?-?? 07:00:00"}, error)) << error;
    LocalTime now{2030, 1, 1, 6, 59, 0};
    std::vector<std::pair<int, ScheduledStart>> starts;
    Scheduler scheduler(
        controller, [&] { return now; },
        [&](int task, ScheduledStart result, const std::string&) { starts.emplace_back(task, result); });
    ASSERT_TRUE(scheduler.Load(error)) << error;

    EXPECT_TRUE(scheduler.Tick().empty());  // a minute early
    now.second = 31;                        // 29 seconds early: inside the window
    EXPECT_EQ(scheduler.Tick(), std::vector<int>{daily});
    now = {2030, 1, 1, 7, 0, 20};
    EXPECT_TRUE(scheduler.Tick().empty());  // fired today already
    runToEnd();
    EXPECT_EQ(observer.EndOf(daily), TaskState::kEnded);
    const std::string rows = TableTsv("Demo_NextPage", daily);
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), kFruitCount + 1) << rows;

    now = {2030, 1, 2, 7, 0, 0};  // the next day
    EXPECT_EQ(scheduler.Tick(), std::vector<int>{daily});
    runToEnd();
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0], std::make_pair(daily, ScheduledStart::kStarted));
    EXPECT_EQ(starts[1], std::make_pair(daily, ScheduledStart::kStarted));
    EXPECT_EQ(
        std::count_if(observer.ended.begin(), observer.ended.end(),
                      [&](const auto& end) { return end.first == daily && end.second == TaskState::kEnded; }),
        2);

    // Deleting the plan empties the schedule at the next tick; a deleted task never starts.
    ASSERT_TRUE(DeleteTaskPlan(daily, error)) << error;
    now = {2030, 1, 3, 7, 0, 0};
    EXPECT_TRUE(scheduler.Tick().empty());
    EXPECT_TRUE(scheduler.Entries().empty());
    ASSERT_TRUE(SaveTaskPlan(other, {"2030-01-03 07:00:10"}, error));
    {
        std::scoped_lock lock(g_csDatabase);
        ASSERT_TRUE(CTaskTable().ExecuteSql(Format("update Task set iType=5 where ID=%d", other)));
    }
    EXPECT_EQ(scheduler.Tick(), std::vector<int>{other});
    EXPECT_EQ(starts.back(), std::make_pair(other, ScheduledStart::kGone));
    EXPECT_FALSE(controller.TaskActive(other));
}

}  // namespace
}  // namespace sorvik::e2e
