#include "store/task_table.h"

#include <gtest/gtest.h>

#include "store/app_home.h"
#include "support/core_fixture.h"
#include "text/file_helpers.h"
#include "text/strings.h"

using namespace sorvik;
using sorvik::test::CoreTest;

namespace {

class TaskTableTest : public CoreTest {
  protected:
    int NewTask(TaskState status = TaskState::kEnded) {
        const int id = tasks.AllocateTaskId();
        EXPECT_GT(id, 0);
        EXPECT_TRUE(tasks.InsertTask(id, "任务'一", status, "http://h/", 3, "#表名=T\r\n"));
        return id;
    }
    CTaskTable tasks;
};

}  // namespace

TEST_F(TaskTableTest, TaskRowsAreWrittenAndReadBack) {
    const int id = NewTask();
    EXPECT_EQ(tasks.SelectCount("Task_ID", "1=1"), 1);
    EXPECT_EQ(tasks.ReadTaskField("cTask", id), "任务'一");

    EXPECT_EQ(tasks.SetTaskScriptValue(id, "#字段宽度", "10,20", true), 1);
    EXPECT_EQ(tasks.SetTaskScriptValue(id, "#表名", "V", false), 1);
    EXPECT_EQ(tasks.ReadTaskText(id, true), "\r\n#字段宽度=10,20");
    EXPECT_EQ(tasks.ReadTaskScript(id), "#表名=V\r\n");
    EXPECT_EQ(tasks.SetTaskScriptValue(0, "#表名", "V", false), -1);
    EXPECT_EQ(g_strDbError.Get(), "请先选择任务！");

    ASSERT_TRUE(tasks.DeleteTask(id));
    EXPECT_FALSE(tasks.TaskExists(id));
}

TEST_F(TaskTableTest, StatusWritesFollowTheListRule) {
    const int id = NewTask(TaskState::kWaiting);
    tasks.SetTaskStatus(id, TaskState::kFinished);
    EXPECT_EQ(tasks.ReadTaskInt("iType", id), 4);
    EXPECT_EQ(tasks.ReadTaskInt("iStatus", id), 3);
    tasks.SetTaskStatus(id, TaskState::kStoppedForDeletion);
    EXPECT_EQ(tasks.ReadTaskInt("iType", id), 5);
    EXPECT_EQ(tasks.ReadTaskInt("iStatus", id), 2);
    tasks.SetTaskStatus(id, TaskState::kRunning);
    EXPECT_EQ(tasks.ReadTaskInt("iType", id), 3);
}

TEST_F(TaskTableTest, RestartAfterAnEndResetsTotalsWhileResumeAddsToThem) {
    const int id = NewTask(TaskState::kEnded);
    tasks.ExecuteSql(
        Format("update Task set iRecordCount=50,iWebBytes=900,dStartTime='2001-01-01 00:00:00',"
               "iUseTime='1899-12-30 01:00:00' where ID=%d",
               id));
    TaskRunEntry entry;
    entry.keywordList = "a\r\nb\r\n";
    entry.searchKeyIndexPre = 1;
    entry.searchKeyIndex = 3;
    // A start of a task whose last run ended begins afresh.
    tasks.UpdateTaskRunStats(id, TaskState::kWaiting, "", 0, {}, &entry);
    // (Reset record counts and grown totals after a resume are checked by the run controller's tests.)
    EXPECT_NE(entry.runStart, 0);
    EXPECT_EQ(tasks.ReadTaskField("iUseTime", id), "1899-12-30 00:00:00");
    EXPECT_NE(tasks.ReadTaskField("dStartTime", id), "2001-01-01 00:00:00");
    EXPECT_EQ(tasks.ReadTaskInt("iType", id), 3);

    // A pause adds the run's figures and keeps the resume point and the keywords.
    TaskRunStats run{10, 1000, 3, 3000};
    entry.runStart -= 3720;  // the run has taken 1 h 2 min
    tasks.UpdateTaskRunStats(id, TaskState::kPaused, "http://h/p2.htm", 2, run, &entry);
    EXPECT_EQ(tasks.ReadTaskInt("iStartPage", id), 2);
    EXPECT_EQ(tasks.ReadTaskInt("iSearchKeyIndex", id), 3);
    const std::string used = tasks.ReadTaskField("iUseTime", id);
    EXPECT_TRUE(used == "1899-12-30 01:02:00" || used == "1899-12-30 01:02:01") << used;

    // Resuming a paused task keeps adding.
    tasks.UpdateTaskRunStats(id, TaskState::kWaiting, "", 0, {}, &entry);
    tasks.UpdateTaskRunStats(id, TaskState::kEnded, "", 0, run, &entry);
    EXPECT_EQ(tasks.ReadTaskInt("iWebBytes", id), 6000);
    // The end clears the keyword position and list.
    EXPECT_EQ(tasks.ReadTaskInt("iSearchKeyIndex", id), 0);
    EXPECT_EQ(tasks.ReadTaskField("cMemo", id), "");
    EXPECT_EQ(tasks.ReadTaskInt("iType", id), 4);
}

TEST_F(TaskTableTest, NewCategoriesTakeTheNextOrderAndFreshIds) {
    const int parent = tasks.NewCategory("父", 0, 2);
    ASSERT_GT(parent, 46);  // above the default tree
    EXPECT_EQ(tasks.SelectTopInt("iOrder", "TreeItems", Format("ID=%d", parent), -1), 4);
    const int a = tasks.NewCategory("a", parent, 2);
    EXPECT_EQ(tasks.SelectTopInt("iOrder", "TreeItems", Format("ID=%d", a), -1), 1);
    tasks.ExecuteSql(Format("update TreeItems set iOrder=7 where ID=%d", a));
    tasks.NewCategory("b", parent, 2);
    const int c = tasks.NewCategory("c'd", parent, 2);
    EXPECT_EQ(tasks.SelectTopInt("iOrder", "TreeItems", Format("ID=%d", c), -1), 9);
    EXPECT_EQ(tasks.SelectTopString("Name", "TreeItems", Format("ID=%d", c)), "c'd");
}

TEST(TaskTimes, RunningTimeIsADateCountedFromTheZeroDate) {
    EXPECT_EQ(ParseSpanFromDate("1899-12-31 00:01:01"), 86461);
    EXPECT_EQ(ParseSpanFromDate("garbage"), 0);
    std::time_t t = 0;
    ASSERT_TRUE(ParseDbTime("2024-02-29 13:14:15", t));
    EXPECT_EQ(FormatDbTime(t), "2024-02-29 13:14:15");
    EXPECT_FALSE(ParseDbTime("2024-13-01", t));
}
