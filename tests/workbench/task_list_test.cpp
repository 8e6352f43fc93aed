// The task list: row formats, status icons, column widths, reordering and deleting tasks.

#include "workbench/task_list.h"

#include <gtest/gtest.h>

#include "engine/run_queue.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "support/core_fixture.h"
#include "text/strings.h"
#include "workbench/recording_prompt.h"
#include "workbench/task_delete.h"

using namespace sorvik;

namespace {

class TaskListTest : public sorvik::test::CoreTest {
  protected:
    void Sql(const std::string& statement) {
        CDbAccess db;
        ASSERT_TRUE(db.ExecuteSql(statement)) << db.m_strError;
    }
    long long Count(const std::string& table, const std::string& where) {
        CDbAccess db;
        return db.SelectCount(table, where);
    }
    void AddTask(int id, const std::string& name, const std::string& script, int list = 3) {
        CTaskTable tasks;
        ASSERT_TRUE(tasks.InsertTask(id, name, TaskState::kEnded, "http://h/", list, script));
    }
    std::vector<int> Ids(int list) {
        std::vector<TaskListRow> rows;
        std::string error;
        EXPECT_TRUE(LoadTaskList(list, rows, error)) << error;
        std::vector<int> ids;
        for (const TaskListRow& row : rows)
            ids.push_back(row.id);
        return ids;
    }
    sorvik::test::RecordingWorkbenchPrompt prompt;
};

std::vector<int> RowIds(const std::vector<TaskListRow>& rows) {
    std::vector<int> ids;
    for (const TaskListRow& row : rows)
        ids.push_back(row.id);
    return ids;
}

}  // namespace

TEST_F(TaskListTest, RowsShowTheirStatisticsIconAndWidths) {
    AddTask(1, "任务一", "");
    Sql("update Task set iStatus=2,iRecordCount=7,iRecordSize=2048,iConnCount=0,iWebBytes=500,"
        "dStartTime='2024-03-05 06:07:08',dEndTime='1899-12-30 00:00:00',iUseTime='1899-12-30 01:02:03' "
        "where ID=1");
    std::vector<TaskListRow> rows;
    std::string error;
    ASSERT_TRUE(LoadTaskList(3, rows, error)) << error;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].columns, (std::vector<std::string>{"任务一", "http://h/", "06:07:08 2024-03-05", "",
                                                         "01:02:03", "7", "2", "", "0"}));
    EXPECT_EQ(TaskIconFor(rows[0].status, rows[0].list, std::nullopt), TaskIcon::kPaused);
    // A live run wins over the stored status; the deleted list over both.
    EXPECT_EQ(TaskIconFor(4, 3, QueueState::kRunning), TaskIcon::kRunning);
    EXPECT_EQ(TaskIconFor(2, 3, QueueState::kWaiting), TaskIcon::kWaiting);
    EXPECT_EQ(TaskIconFor(4, 4, QueueState::kPaused), TaskIcon::kFinished);
    EXPECT_EQ(TaskIconFor(4, 3, std::nullopt), TaskIcon::kNew);
    EXPECT_EQ(TaskIconFor(1, 5, QueueState::kRunning), TaskIcon::kDeleted);
    EXPECT_EQ(TaskIconWord(TaskIcon::kFinished), "已完成");
    EXPECT_EQ(TaskListColumnWidths(2400), (std::vector<int>{20, 600, 1200, 80, 80, 64, 64, 64, 48, 88}));
    EXPECT_EQ(TaskListColumnWidths(1200)[2], 1200 - 300 - 508);
    EXPECT_EQ(TaskListColumnWidths(400)[2], 100);
    EXPECT_EQ(TaskListColumnWidths(1200, 130),
              (std::vector<int>{20, 300, 292, 130, 130, 64, 64, 64, 48, 88}));
}

TEST_F(TaskListTest, MovedRowsKeepTheirOrderAcrossReloads) {
    std::vector<TaskListRow> rows(5);
    for (int i = 0; i < 5; ++i)
        rows[i].id = i + 1;
    MoveTaskRows(rows, {2, 4}, false);
    EXPECT_EQ(RowIds(rows), (std::vector<int>{1, 3, 5, 2, 4}));
    MoveTaskRows(rows, {5, 4}, true);
    EXPECT_EQ(RowIds(rows), (std::vector<int>{5, 4, 1, 3, 2}));
    // A reload comes in ID order with a new task 6 and without the deleted 3.
    std::vector<TaskListRow> loaded(5);
    const int loadedIds[] = {1, 2, 4, 5, 6};
    for (int i = 0; i < 5; ++i)
        loaded[i].id = loadedIds[i];
    ApplyTaskOrder(loaded, RowIds(rows));
    EXPECT_EQ(RowIds(loaded), (std::vector<int>{5, 4, 1, 2, 6}));
}

TEST_F(TaskListTest, DeletingMovesToTheDeletedListThenRemovesForGoodWithResults) {
    AddTask(1, "一", "#表名=T_d\r\n");
    AddTask(2, "二", "#表名=T_d\r\n");
    Sql("create table T_d (ID_ integer primary key autoincrement, iNode_ int, v text)");
    Sql("insert into T_d (iNode_,v) values (1,'a')");
    Sql("insert into T_d (iNode_,v) values (2,'b')");
    Sql("insert into PlanTask (iTaskID,dPlanDateTime) values (1,'2024-01-01 07:00:00')");
    Sql("update TreeItems set iTask=1,iImage=3 where ID=43");

    TaskDeleteOutcome outcome = DeleteTasks({1, 2}, 3, false, nullptr, prompt);
    EXPECT_FALSE(outcome.permanent);
    EXPECT_EQ(outcome.removed, (std::vector<int>{1, 2}));
    EXPECT_EQ(Ids(3), std::vector<int>{});
    EXPECT_EQ(Ids(5), (std::vector<int>{1, 2}));
    EXPECT_EQ(Count("PlanTask", "1=1"), 0);
    EXPECT_EQ(Count("T_d", "1=1"), 2);

    // From the deleted list: the dialog, then results, binding and row go. Cancel does nothing.
    prompt.confirmDelete = false;
    EXPECT_TRUE(DeleteTasks({1}, 5, false, nullptr, prompt).removed.empty());
    prompt.confirmDelete = true;
    outcome = DeleteTasks({1}, 5, false, nullptr, prompt);
    EXPECT_TRUE(outcome.permanent);
    EXPECT_EQ(outcome.removed, std::vector<int>{1});
    EXPECT_EQ(Count("Task", "ID=1"), 0);
    EXPECT_EQ(Count("T_d", "iNode_=1"), 0);
    EXPECT_EQ(Count("T_d", "iNode_=2"), 1);
    EXPECT_EQ(Count("TreeItems", "ID=43 and iTask=0 and iImage=2"), 1);

    // Shift from the active list without the box: the results stay.
    AddTask(3, "三", "#表名=T_d\r\n");
    Sql("insert into T_d (iNode_,v) values (3,'c')");
    prompt.tickResults = false;
    EXPECT_EQ(DeleteTasks({3}, 3, true, nullptr, prompt).removed, std::vector<int>{3});
    EXPECT_EQ(Count("Task", "ID=3"), 0);
    EXPECT_EQ(Count("T_d", "iNode_=3"), 1);
}

TEST_F(TaskListTest, PermanentDeleteStopsAtBuiltInOrSharedDataAnswers) {
    AddTask(1, "共享", "#表名=T_s\r\n#表数据过滤条件=v='x'\r\n", 5);
    AddTask(2, "内置", "", 5);
    AddTask(3, "后面", "", 5);
    Sql("update Task set iMod=1 where ID=2");
    Sql("create table T_s (ID_ integer primary key autoincrement, iNode_ int, v text)");
    Sql("insert into T_s (iNode_,v) values (9,'x')");
    prompt.yesNo = {false};  // keep the shared results
    const TaskDeleteOutcome outcome = DeleteTasks({1, 2, 3}, 5, false, nullptr, prompt);
    EXPECT_EQ(outcome.removed, std::vector<int>{1});
    EXPECT_TRUE(outcome.reload);
    EXPECT_EQ(Count("T_s", "1=1"), 1);
    EXPECT_EQ(prompt.said.back(), "系统的内置任务不能删除！(任务：内置)");
    EXPECT_EQ(Count("Task", "ID=2 or ID=3"), 2);
    // A row deleted meanwhile.
    EXPECT_TRUE(DeleteTasks({77}, 5, false, nullptr, prompt).removed.empty());
    EXPECT_EQ(prompt.said.back(), "删除失败，可能任务已完成！");
}
