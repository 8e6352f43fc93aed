// The records query of the result grid and `sorvik-cli results`: columns, rows and filter guard.

#include "workbench/result_query.h"

#include <gtest/gtest.h>

#include "store/db_access.h"
#include "store/task_table.h"
#include "support/core_fixture.h"

using namespace sorvik;

namespace {

class ResultQueryTest : public sorvik::test::CoreTest {
  protected:
    void AddTask(int id, const std::string& script) {
        ASSERT_TRUE(CTaskTable().InsertTask(id, "t", TaskState::kEnded, "", 3, script));
    }
    // The titles and statement of a task's query, or "error: ..." / "refused: ...".
    std::string Query(int id, const std::string& filter = "") {
        ResultQuery query;
        std::string error;
        bool refused = false;
        if (!PrepareResultQuery(id, filter, query, error, refused))
            return (refused ? "refused: " : "error: ") + error;
        std::string titles;
        for (const ResultColumn& column : query.columns)
            titles += column.title + "|";
        return titles + (query.tableExists ? " " : " (none) ") + ResultStatement(query, 2);
    }
};

TEST_F(ResultQueryTest, ColumnsAreTheWritersAndRowsTheTasks) {
    ASSERT_TRUE(CDbAccess().ExecuteSql(
        "Create Table Goods(ID_ IDENTITY CONSTRAINT PK_Goods PRIMARY KEY,iNode_ int,标题 varchar(100),"
        "价格 int,备注 memo)"));
    // Aliases name the columns; one the table lacks is not shown; the shared number is the node.
    AddTask(7, "#表名=Goods\r\n#字段名列表=t,p,n\r\n#字段别名列表=标题,价格,数量\r\n#共用任务号=-3\r\n");
    EXPECT_EQ(Query(7, " 价格 > 1 "),
              "标题|价格| select top 2 标题,价格,ID_ from Goods where iNode_=-3 and (价格 > 1) order by ID_");
    // A base condition selects the rows instead of the node.
    AddTask(8, "#表名=Goods\r\n#字段名列表=价格\r\n#表数据过滤条件=价格>0 or 价格<0\r\n");
    EXPECT_EQ(Query(8), "价格| select top 2 价格,ID_ from Goods where (价格>0 or 价格<0) order by ID_");
    // A table the script does not describe shows what it holds; one not made yet, the script's.
    AddTask(9, "#表名=Goods\r\n#字段名列表=x\r\n");
    EXPECT_EQ(Query(9),
              "标题|价格|备注| select top 2 标题,价格,备注,ID_ from Goods where iNode_=9 order by ID_");
    AddTask(10, "#表名=Later\r\n#字段名列表=甲,乙\r\n");
    EXPECT_EQ(Query(10), "甲|乙| (none) select top 2 甲,乙,ID_ from Later where iNode_=10 order by ID_");

    AddTask(11, "#字段名列表=a\r\n");
    AddTask(12, "#表名=Later\r\n");
    EXPECT_EQ(Query(99), "error: 任务99不存在！");
    EXPECT_EQ(Query(11), "error: 任务11没有设置结果表（#表名=）！");
    EXPECT_EQ(Query(12), "error: 任务12的结果表没有字段！");
}

TEST_F(ResultQueryTest, TheFilterStaysOneCondition) {
    AddTask(7, "#表名=Goods\r\n#字段名列表=标题\r\n");
    for (const char* filter : {"1=1; drop table Goods", "1=1 -- x", "a /* x", "1=1) or (1=1", "(1=1",
                               "标题='a", "标题=[x", "标题=\"x"}) {
        EXPECT_EQ(Query(7, filter).rfind("refused: ", 0), 0u) << filter;
    }
    // Inside literals and bracketed names these characters are part of the value.
    for (const char* filter : {"标题 <> 'a;b'", "[a--b] = '(' ", "(标题='x') or (标题=\"--)\")"})
        EXPECT_EQ(Query(7, filter).rfind("标题|", 0), 0u) << filter;
}

}  // namespace
