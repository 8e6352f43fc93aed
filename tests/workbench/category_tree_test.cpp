// The category tree: loading in display order and the new, rename and delete commands.

#include "workbench/category_tree.h"

#include <gtest/gtest.h>

#include "store/db_access.h"
#include "store/system_tables.h"
#include "store/task_table.h"
#include "support/core_fixture.h"
#include "text/code_page.h"
#include "text/strings.h"

using namespace sorvik;

namespace {

class CategoryTreeTest : public sorvik::test::CoreTest {
  protected:
    void Sql(const std::string& statement) {
        CDbAccess db;
        ASSERT_TRUE(db.ExecuteSql(statement)) << GbToUtf8(db.m_strError + db.m_strProviderError);
    }
    long long Count(const std::string& table, const std::string& where) {
        CDbAccess db;
        return db.SelectCount(table, where);
    }
    std::vector<std::string> Outline() {
        std::vector<CategoryNode> nodes;
        std::string error;
        EXPECT_TRUE(LoadCategoryTree(nodes, error)) << error;
        std::vector<std::string> lines;
        for (const CategoryNode& node : nodes) {
            lines.push_back(std::string(static_cast<size_t>(node.depth) * 2, ' ') + node.name +
                            Format(" %d", node.id));
        }
        return lines;
    }
};

}  // namespace

TEST_F(CategoryTreeTest, TheTreeLoadsInDisplayOrderAndNeverLoops) {
    std::string error;
    const std::vector<int> ids = NewCategories("乙\r\n甲", kNodeResults, error);
    ASSERT_EQ(ids.size(), 2u) << error;
    Sql(Format("update TreeItems set iOrder=0 where ID=%d", ids[1]));  // 甲 moves first
    // Rows that no walk from the top can reach: filed under themselves, or in a circle.
    Sql("insert into TreeItems(ID,Name,ParentItemID,iOrder) values(900,'自己',900,1)");
    Sql("insert into TreeItems(ID,Name,ParentItemID,iOrder) values(901,'圈一',902,1)");
    Sql("insert into TreeItems(ID,Name,ParentItemID,iOrder) values(902,'圈二',901,1)");
    EXPECT_EQ(Outline(),
              (std::vector<std::string>{"任务管理 40", "  正在执行 44", "  已完成 45", "  已删除 46",
                                        "新建任务 41", "搜索结果 42", Format("  甲 %d", ids[1]),
                                        "  默认类别 43", Format("  乙 %d", ids[0])}));
    CategoryNode node;
    EXPECT_FALSE(ReadCategory(12345, node, error));
    EXPECT_EQ(error, "类别12345不存在！");
}

TEST_F(CategoryTreeTest, NewCategoriesComeOnePerLineInOrder) {
    std::string error;
    const std::vector<int> ids = NewCategories("一\r\n\r\n  三 ", kNodeDefaultResults, error);
    ASSERT_EQ(ids.size(), 3u) << error;
    EXPECT_LT(ids[0], ids[1]);
    EXPECT_EQ(Outline().back(), Format("    三 %d", ids[2]));
    CategoryNode empty;
    ASSERT_TRUE(ReadCategory(ids[1], empty, error));
    EXPECT_EQ(empty.name, "");
}

TEST_F(CategoryTreeTest, RenameTrimsAndKeepsFiftyCharacters) {
    std::string error;
    const int id = NewCategories("旧", kNodeResults, error).at(0);
    std::string sixty;
    for (int i = 0; i < 60; ++i)
        sixty += (i % 2 ? "字" : "a");
    ASSERT_TRUE(RenameCategoryNode(id, "  " + sixty + " ", error)) << error;
    CategoryNode node;
    ASSERT_TRUE(ReadCategory(id, node, error));
    EXPECT_EQ(node.name, sixty.substr(0, 75));  // 25 letters and 25 two-byte characters
    EXPECT_FALSE(RenameCategoryNode(4242, "x", error));
    EXPECT_EQ(error, "类别4242不存在！");
}

TEST_F(CategoryTreeTest, OnlyChildlessResultCategoriesOfOrdinaryTasksCanBeDeleted) {
    std::string reason;
    EXPECT_FALSE(CanDeleteCategory(kNodeTaskManager, reason));
    EXPECT_EQ(reason, "只能删除结果类别！");
    const int parent = NewCategories("父", kNodeResults, reason).at(0);
    NewCategories("子", parent, reason);
    EXPECT_FALSE(CanDeleteCategory(parent, reason));
    EXPECT_EQ(reason, "该类别下还有类别，不能删除！");
    CTaskTable tasks;
    ASSERT_TRUE(tasks.InsertTask(7, "内置", TaskState::kWaiting, "", 3, ""));
    Sql("update Task set iMod=1 where ID=7");
    const int builtIn = NewCategories("内置类", kNodeResults, reason).at(0);
    Sql(Format("update TreeItems set iTask=7 where ID=%d", builtIn));
    EXPECT_FALSE(CanDeleteCategory(builtIn, reason));
    EXPECT_EQ(reason, "系统的内置任务不能删除！(任务：内置)");
    EXPECT_TRUE(CanDeleteCategory(kNodeDefaultResults, reason)) << reason;
    EXPECT_FALSE(CanDeleteCategory(999, reason));
}

TEST_F(CategoryTreeTest, DeletingACategoryTakesItsTaskResultsAndScheduleAlong) {
    std::string error;
    const int node = NewCategories("采集", kNodeResults, error).at(0);
    const int below = NewCategories("下级", node, error).at(0);
    CTaskTable tasks;
    ASSERT_TRUE(tasks.InsertTask(3, "采集任务", TaskState::kEnded, "", 4, "#表名=T_r\r\n#共用任务号=-2\r\n"));
    Sql(Format("update TreeItems set iTask=3,iImage=3 where ID=%d", node));
    Sql("Create Table T_r(ID_ IDENTITY CONSTRAINT PK_T_r PRIMARY KEY,iNode_ int,v varchar(10))");
    Sql("insert into T_r (iNode_,v) values (-2,'shared')");
    Sql("insert into T_r (iNode_,v) values (3,'own')");
    Sql("insert into T_r (iNode_,v) values (8,'other')");
    Sql("insert into PlanTask (iTaskID,dPlanDateTime) values (3,'2024-01-01 07:00:00')");
    ASSERT_TRUE(DeleteCategory(node, error)) << GbToUtf8(error);
    EXPECT_EQ(Count("TreeItems", Format("ID=%d or ID=%d", node, below)), 0);
    EXPECT_EQ(Count("Task", "ID=3"), 0);
    EXPECT_EQ(Count("PlanTask", "iTaskID=3"), 0);
    // Results go by the shared task number, as the run files them (a negative one too).
    EXPECT_EQ(Count("T_r", "1=1"), 2);
    EXPECT_EQ(Count("T_r", "v='shared'"), 0);

    // A custom filter condition; and a task whose table was never made.
    const int custom = NewCategories("自定", kNodeResults, error).at(0);
    ASSERT_TRUE(tasks.InsertTask(4, "自定任务", TaskState::kEnded, "", 4,
                                 "#表名=T_r\r\n#表数据过滤条件=v='other'\r\n"));
    Sql(Format("update TreeItems set iTask=4 where ID=%d", custom));
    ASSERT_TRUE(DeleteCategory(custom, error)) << GbToUtf8(error);
    EXPECT_EQ(Count("T_r", "1=1"), 1);
    const int fresh = NewCategories("新", kNodeResults, error).at(0);
    ASSERT_TRUE(tasks.InsertTask(5, "未运行", TaskState::kWaiting, "", 3, "#表名=T_never\r\n"));
    Sql(Format("update TreeItems set iTask=5 where ID=%d", fresh));
    ASSERT_TRUE(DeleteCategory(fresh, error)) << GbToUtf8(error);
    EXPECT_EQ(Count("Task", "ID=5"), 0);

    // A broken filter condition: nothing is deleted.
    const int broken = NewCategories("坏", kNodeResults, error).at(0);
    ASSERT_TRUE(tasks.InsertTask(6, "坏任务", TaskState::kEnded, "", 4,
                                 "#表名=T_r\r\n#表数据过滤条件=no_such_column=1\r\n"));
    Sql(Format("update TreeItems set iTask=6 where ID=%d", broken));
    EXPECT_FALSE(DeleteCategory(broken, error));
    EXPECT_EQ(error.rfind("删除失败！", 0), 0u);
    EXPECT_EQ(Count("TreeItems", Format("ID=%d", broken)), 1);
    EXPECT_EQ(Count("Task", "ID=6"), 1);
}
