// Favourites: records copied into a leaf category's "_me" table on a real home.

#include "workbench/favourites.h"

#include <gtest/gtest.h>

#include "script/script_text.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "support/core_fixture.h"
#include "text/strings.h"
#include "workbench/category_tree.h"

using namespace sorvik;

namespace {

class FavouritesTest : public sorvik::test::CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        ASSERT_TRUE(
            db.ExecuteSql("Create Table Goods(ID_ IDENTITY CONSTRAINT PK_Goods PRIMARY KEY,iNode_ int,名称 "
                          "varchar(50),价格 int)"));
        for (const char* values : {"(5,'甲',1)", "(5,'乙',2)", "(6,'丙',3)"})
            ASSERT_TRUE(db.ExecuteSql(std::string("insert into Goods(iNode_,名称,价格) values") + values));
        const std::string script =
            "#表名=Goods\r\n#字段名列表=n,p\r\n#字段别名列表=名称,价格\r\n#唯一字段=名称\r\n"
            "#要搜索网址=http://h/\r\n";
        ASSERT_TRUE(CTaskTable().InsertTask(5, "五", TaskState::kEnded, "", 4, script));
        ASSERT_TRUE(CTaskTable().InsertTask(6, "六", TaskState::kEnded, "", 4, script));
        std::string error;
        parent = NewCategories("收藏", 42, error).at(0);
        leaf = NewCategories("水果", parent, error).at(0);
        leaf2 = NewCategories("再收藏", 42, error).at(0);
        ASSERT_TRUE(db.ExecuteSql(Format("update TreeItems set iTask=6 where ID=%d", leaf2)));
    }
    std::string Collect(int task, std::vector<long long> ids, int category) {
        std::string message;
        return CollectRecords(task, ids, category, result, message) ? "ok" : message;
    }
    CDbAccess db;
    CollectResult result;
    int parent = 0, leaf = 0, leaf2 = 0;
};

TEST_F(FavouritesTest, FirstCollectionMakesTheTaskAndTableAndRepeatsAddNothing) {
    EXPECT_EQ(Collect(5, {1, 2}, parent), "请选择最末级的类别！");
    EXPECT_EQ(Collect(5, {1}, 9999), "请选择要收藏的类别！");
    EXPECT_EQ(Collect(5, {}, leaf), "没有记录或没有选择记录！");
    // A leaf bound to an ordinary task of the same table is no favourites collection.
    EXPECT_EQ(Collect(5, {1}, leaf2), "不能选择该类别！");
    // A task list's node takes only tables listed in "#收藏表名列表".
    EXPECT_EQ(Collect(5, {1}, 44), "不能选择该类别！");

    // Record 3 is not one of task 5's records.
    ASSERT_EQ(Collect(5, {1, 2, 3}, leaf), "ok");
    EXPECT_TRUE(result.createdTask);
    EXPECT_TRUE(result.imageChanged);
    EXPECT_EQ(result.copied, 2);
    const int fav = result.destinationTaskId;
    EXPECT_EQ(
        db.SelectJoinedEx("名称 || ':' || 价格 || ':' || iNode_", "Goods_me", "1=1 order by ID_", ",", false),
        Format("甲:1:%d,乙:2:%d", fav, fav));
    EXPECT_EQ(db.SelectJoined("iTask || ',' || iImage", "TreeItems", Format("ID=%d", leaf)),
              Format("%d,3", fav));
    CTaskTable tasks;
    EXPECT_EQ(tasks.ReadTaskField("cTask", fav), "水果");
    EXPECT_EQ(tasks.ReadTaskInt("iStatus", fav), 6);
    EXPECT_EQ(tasks.ReadTaskField("cWeb", fav), "http://h/");
    EXPECT_TRUE(IsFavouritesTask(fav));
    EXPECT_EQ(GetKeyValue("#表名", tasks.ReadTaskScript(fav)), "Goods_me");
    EXPECT_EQ(DefaultFavouritesCategory(5, 44), leaf);
    EXPECT_EQ(DefaultFavouritesCategory(6, 44), 44);

    // Again: the unique field keeps the copies single; the new record joins them.
    ASSERT_TRUE(db.ExecuteSql("insert into Goods(iNode_,名称,价格) values(5,'丁',4)"));
    ASSERT_EQ(Collect(5, {1, 2, 4}, leaf), "ok");
    EXPECT_FALSE(result.createdTask);
    EXPECT_EQ(result.copied, 1);
    EXPECT_EQ(db.SelectCount("Goods_me", "1=1"), 3);

    // Favourites of favourites stay in Goods_me, under the new task; no temporary table remains.
    std::string error;
    const int leaf3 = NewCategories("三", 42, error).at(0);
    ASSERT_EQ(Collect(fav, {1}, leaf3), "ok");
    EXPECT_EQ(GetKeyValue("#表名", tasks.ReadTaskScript(result.destinationTaskId)), "Goods_me");
    EXPECT_EQ(db.SelectCount("Goods_me", Format("iNode_=%d", result.destinationTaskId)), 1);
    EXPECT_EQ(db.SelectCount("sqlite_master", "name like '%tmp%'"), 0);
}

}  // namespace

TEST_F(FavouritesTest, ListedTablesKeepTheNodeAndAFailedCopyLeavesNothing) {
    // A listed table of another favourites task gets the columns both tables have, under that task.
    ASSERT_TRUE(
        db.ExecuteSql("update Task set cSearchScript=cSearchScript || '#收藏表名列表=Archive' where ID=5"));
    ASSERT_TRUE(db.ExecuteSql(
        "Create Table Archive(ID_ IDENTITY CONSTRAINT PK_Archive PRIMARY KEY,iNode_ int,名称 varchar(50))"));
    ASSERT_TRUE(CTaskTable().InsertTask(8, "档案", TaskState::kHidden, "", 3,
                                        "#表名=Archive\r\n#字段名列表=名称\r\n"));
    ASSERT_EQ(CTaskTable().SetTaskScriptValue(8, "#任务类别", "收藏夹", true), 1);
    ASSERT_TRUE(db.ExecuteSql(Format("update TreeItems set iTask=8 where ID=%d", leaf)));
    ASSERT_EQ(Collect(5, {2}, leaf), "ok");
    EXPECT_EQ(db.SelectJoined("名称 || ':' || iNode_", "Archive", "1=1"), "乙:8");

    // The temporary table's name is taken: nothing is made, and the user's table stays.
    ASSERT_TRUE(db.ExecuteSql("Create Table Goods_tmp(x int)"));
    std::string error;
    const int empty = NewCategories("空", 42, error).at(0);
    EXPECT_EQ(Collect(5, {1}, empty).rfind("收藏记录失败！", 0), 0u);
    EXPECT_EQ(CTaskTable().GetCategoryTaskId(empty), 0);
    EXPECT_FALSE(db.RecordExists("sqlite_master", "name='Goods_me'"));
    EXPECT_TRUE(db.RecordExists("sqlite_master", "name='Goods_tmp'"));
    ASSERT_TRUE(db.ExecuteSql("drop table Goods_tmp"));
    EXPECT_EQ(Collect(5, {1}, empty), "ok");
}
