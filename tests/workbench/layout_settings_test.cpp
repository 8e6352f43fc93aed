// Layout settings: the profile and [Set] keys, the thread-limit field and the per-task layout.

#include "workbench/layout_settings.h"

#include <gtest/gtest.h>

#include <map>

#include "engine/run_globals.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "support/core_fixture.h"

using namespace sorvik;

namespace {

class MapProfile : public ProfileStore {
  public:
    std::string Read(std::string_view section, std::string_view key) override {
        return values[std::string(section) + "/" + std::string(key)];
    }
    void Write(std::string_view section, std::string_view key, std::string_view value) override {
        values[std::string(section) + "/" + std::string(key)] = value;
    }
    std::map<std::string, std::string> values;
};

class LayoutSettingsTest : public sorvik::test::CoreTest {};

TEST_F(LayoutSettingsTest, FirstStartGivesDefaultsAndSavedValuesComeBack) {
    MapProfile profile;
    LayoutSettings settings;
    settings.leftTreeWidth = 7;
    LoadLayoutSettings(settings, profile, "/home/x");
    EXPECT_EQ(settings.leftTreeWidth, -1);
    EXPECT_EQ(settings.rightBottDetailHeight, -1);
    EXPECT_TRUE(settings.showRightBottBrow);
    EXPECT_TRUE(settings.showFilterAndGrid);
    EXPECT_EQ(settings.currentSelectNode, 44);
    EXPECT_EQ(settings.maxThreadCount, 5);
    EXPECT_EQ(settings.directory, "/home/x");

    settings.leftTreeWidth = 250;
    settings.rightTopDataHeight = 30;
    settings.showRightBottBrow = false;
    settings.currentSelectNode = 45;
    settings.rightTaskHeight = 120;
    settings.showFilterAndGrid = false;
    settings.maxThreadCount = 12;
    ASSERT_TRUE(SaveLayoutSettings(settings, profile));
    EXPECT_EQ(profile.values["Home/iLeftTreeWidth"], "250");
    EXPECT_EQ(profile.values["Home/bShowRightBottBrow"], "0");
    EXPECT_EQ(profile.values["setting/m_bTextTips"], "1");
    CDbAccess db;
    EXPECT_EQ(db.GetSetValue("iCurrentSelectNode"), "45");
    EXPECT_EQ(db.GetSetValue("bShowFilterAndGrid"), "0");
    EXPECT_EQ(db.GetSetValue("iRightBottDetailHeight"), "-1");

    LayoutSettings loaded;
    LoadLayoutSettings(loaded, profile, "/elsewhere");
    EXPECT_EQ(loaded.directory, "/home/x");
    EXPECT_EQ(loaded.leftTreeWidth, 250);
    EXPECT_EQ(loaded.rightTopDataHeight, 30);
    EXPECT_FALSE(loaded.showRightBottBrow);
    EXPECT_EQ(loaded.currentSelectNode, 45);
    EXPECT_EQ(loaded.rightTaskHeight, 120);
    EXPECT_FALSE(loaded.showFilterAndGrid);
    EXPECT_EQ(loaded.maxThreadCount, 12);
    EXPECT_EQ(giMaxThreadCount.load(), 12);

    // An empty stored text keeps the default; a limit out of range is not taken.
    db.SetSetValue("iCurrentSelectNode", "");
    db.SetSetValue("giMaxThreadCount", "99");
    LoadLayoutSettings(loaded, profile, "/elsewhere");
    EXPECT_EQ(loaded.currentSelectNode, 44);
    EXPECT_EQ(loaded.maxThreadCount, 5);
}

TEST(ThreadLimitField, AcceptsOneToSixtyThree) {
    int count = 0;
    for (const char* refused : {"0", "64", "x", "", "-3", "6x", "99999999999"})
        EXPECT_FALSE(ParseThreadLimit(refused, count)) << refused;
    EXPECT_TRUE(ParseThreadLimit(" 63 ", count));
    EXPECT_EQ(count, 63);
    EXPECT_TRUE(ParseThreadLimit("1", count));
    EXPECT_EQ(count, 1);
}

TEST_F(LayoutSettingsTest, TaskLayoutFromTheTaskSettings) {
    CTaskTable tasks;
    const int plain = tasks.AllocateTaskId();
    ASSERT_TRUE(tasks.InsertTask(plain, "a", TaskState::kEnded, "", 4, "#任务名称=a\r\n"));
    const int sized = tasks.AllocateTaskId();
    ASSERT_TRUE(tasks.InsertTask(sized, "b", TaskState::kEnded, "", 4, "#任务名称=b\r\n"));
    std::string error;
    ASSERT_TRUE(WriteTaskLayoutValue(sized, kKeySearchBarHeight, " 80 ", error)) << error;
    ASSERT_TRUE(WriteTaskLayoutValue(sized, kKeyNonDetailHeight, "204", error)) << error;
    ASSERT_TRUE(WriteTaskLayoutValue(sized, kKeyShowDetail, "0", error)) << error;
    ASSERT_TRUE(WriteTaskLayoutValue(sized, kKeyShowFilterAndGrid, "1", error)) << error;

    // No stored height: the global one, 42 when there is none (which then becomes global).
    int global = -1;
    TaskLayoutPlan plan;
    ASSERT_TRUE(PlanTaskLayout(plain, global, plan, error)) << error;
    EXPECT_EQ(plan.searchBarHeight, 42);
    EXPECT_EQ(global, 42);
    EXPECT_EQ(plan.nonDetailHeight, -1);
    EXPECT_TRUE(plan.showDetail);
    EXPECT_TRUE(plan.showFilterAndGrid);
    global = 60;
    ASSERT_TRUE(PlanTaskLayout(plain, global, plan, error));
    EXPECT_EQ(plan.searchBarHeight, 60);

    ASSERT_TRUE(PlanTaskLayout(sized, global, plan, error));
    EXPECT_EQ(plan.searchBarHeight, 80);
    EXPECT_EQ(plan.nonDetailHeight, 200);
    EXPECT_FALSE(plan.showDetail);
    EXPECT_TRUE(plan.showFilterAndGrid);
    EXPECT_EQ(global, 60);

    EXPECT_FALSE(PlanTaskLayout(9999, global, plan, error));
    EXPECT_EQ(error, "保存临时数据出错！可能是内存不够！");

    EXPECT_TRUE(UsesTaskLayout(plain));
    const int mailbox = tasks.AllocateTaskId();
    ASSERT_TRUE(tasks.InsertTask(mailbox, "m", TaskState::kEnded, "", 4, "#任务类型=接收邮件\r\n"));
    EXPECT_FALSE(UsesTaskLayout(mailbox));
}

}  // namespace
