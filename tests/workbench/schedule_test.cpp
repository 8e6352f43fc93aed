// The plan dialog's rules and the schedule's match of a plan time with the clock.

#include "workbench/schedule.h"

#include <gtest/gtest.h>

namespace sorvik {
namespace {

const LocalTime kNow{2006, 5, 6, 7, 8, 9};
const std::string kFormatMessage = "时间格式不对(格式应为“yyyy-mm-dd hh:mm:ss”，如“2006-05-06 07:08:09”)！";

TEST(SchedulePlan, EveryRefusalOfTheTimeBox) {
    TaskPlanList plan;
    std::string message;
    struct Refused {
        std::string box;
        std::string message;
    };
    const Refused refused[] = {
        {"2006-02-30 10:00:00", kFormatMessage},  // no such day
        {"2006-1-1 00:00:00", kFormatMessage},
        {"2006-01-01 24:00:00", kFormatMessage},
        {"2006/01/01 00:00:00", kFormatMessage},
        {"2006-?\?-?? 07:?0:00", "时分秒处不可以输入?号，不能加入!"},
        {"1,3600", kFormatMessage},  // a series needs a selected entry
    };
    for (const Refused& r : refused) {
        std::string box = r.box;
        EXPECT_FALSE(plan.Add(box, kNow, message)) << r.box;
        EXPECT_EQ(message, r.message) << r.box;
    }
    std::string box = "2006-?\?-30 10:00:00 and more";  // cut to 19 characters; checked as 2006-11-30
    ASSERT_TRUE(plan.Add(box, kNow, message)) << message;
    EXPECT_EQ(box, "2006-?\?-30 10:00:00");
    EXPECT_FALSE(plan.Add(box, kNow, message));
    EXPECT_EQ(message, "开始搜索时间已重复，不能加入！");
    box.clear();
    EXPECT_FALSE(plan.Add(box, kNow, message));
    EXPECT_EQ(message, "");
    EXPECT_EQ(plan.Entries(), std::vector<std::string>{"2006-?\?-30 10:00:00"});
}

TEST(SchedulePlan, SeriesFormAddsFromTheSelectedEntryAcrossDaysAndMonths) {
    TaskPlanList plan({"2006-01-01 00:00:00", "2006-01-31 23:00:00"});
    std::string message;
    plan.Select(0);
    std::string box = "24,3600";
    ASSERT_TRUE(plan.Add(box, kNow, message)) << message;
    ASSERT_EQ(plan.Entries().size(), 26u);
    EXPECT_EQ(plan.Entries()[2], "2006-01-01 01:00:00");
    EXPECT_EQ(plan.Entries()[25], "2006-01-02 00:00:00");
    EXPECT_EQ(plan.Selected(), 25);
    plan.Select(1);
    box = "2,3600";
    ASSERT_TRUE(plan.Add(box, kNow, message));
    EXPECT_EQ(plan.Entries()[26], "2006-02-01 00:00:00");
    EXPECT_EQ(plan.Entries()[27], "2006-02-01 01:00:00");

    // "-" removes the selected entry, else the last one.
    box = "x";
    plan.Select(0);
    ASSERT_TRUE(plan.Remove(box));
    EXPECT_EQ(plan.Entries().front(), "2006-01-31 23:00:00");
    plan.Select(-1);
    ASSERT_TRUE(plan.Remove(box));
    EXPECT_EQ(plan.Entries().back(), "2006-02-01 00:00:00");
    EXPECT_EQ(plan.Selected(), static_cast<int>(plan.Entries().size()) - 1);
}

TEST(SchedulePlan, WildcardDatesAndTheThirtySecondWindow) {
    const std::string plan = "2006-?\?-28 23:59:59";
    EXPECT_TRUE(PlanTimeDue(plan, {2006, 3, 28, 23, 59, 30}));   // 29 s before
    EXPECT_FALSE(PlanTimeDue(plan, {2006, 3, 28, 23, 59, 29}));  // 30 s before
    EXPECT_TRUE(PlanTimeDue(plan, {2006, 12, 28, 23, 59, 59}));
    EXPECT_FALSE(PlanTimeDue(plan, {2007, 3, 28, 23, 59, 59}));
    EXPECT_FALSE(PlanTimeDue(plan, {2006, 3, 27, 23, 59, 59}));
    EXPECT_TRUE(PlanTimeDue("?\?\?\?-?\?-?? 07:00:00", {2031, 7, 4, 7, 0, 29}));
    EXPECT_FALSE(PlanTimeDue("?\?\?\?-?\?-?? 07:00:00", {2031, 7, 4, 7, 0, 30}));
    EXPECT_TRUE(PlanTimeDue("?\?\?\?-?\?-01 08:30:00", {2031, 7, 1, 8, 29, 45}));
}

}  // namespace
}  // namespace sorvik
