// sorvik-cli results, run as a real process over a home prepared through sorvik-cli sql.

#include <gtest/gtest.h>

#include "support/run_process.h"
#include "support/temp_dir.h"
#include "text/code_page.h"

using sorvik::test::ProcessResult;
using sorvik::test::RunCliGb;
using sorvik::test::TempDir;

namespace {

void Sql(const std::string& home, const std::string& statement) {
    const auto result = RunCliGb(home, {"sql", statement});
    ASSERT_EQ(result.exitCode, 0) << statement << "\n" << result.err;
}

class ResultsCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        // Task 7 files its records under the shared number 3; task 8 under its own number.
        Sql(h,
            "insert into Task(ID,cTask,iStatus,cWeb,iType,cSearchScript) values(7,'七',4,'',4,"
            "'#表名=Goods\r\n#字段名列表=t,p,n\r\n#字段别名列表=标题,价格,数量\r\n#共用任务号=3\r\n')");
        Sql(h,
            "insert into Task(ID,cTask,iStatus,cWeb,iType,cSearchScript) values(8,'八',4,'',4,"
            "'#表名=Goods\r\n#字段名列表=标题\r\n')");
        Sql(h,
            "insert into Task(ID,cTask,iStatus,cWeb,iType,cSearchScript) "
            "values(9,'九',4,'',4,'#字段名列表=a\r\n')");
        Sql(h,
            "Create Table Goods(ID_ IDENTITY CONSTRAINT PK_Goods PRIMARY KEY,iNode_ int,标题 varchar(100),"
            "价格 decimal(10,2),数量 int,备注 memo)");
        Sql(h, "insert into Goods (iNode_,标题,价格,数量,备注) values (3,'O''Neil, \"书\"',12.5,null,'x')");
        Sql(h, "insert into Goods (iNode_,标题,价格,数量) values (8,'别的',1,1)");
        Sql(h,
            "insert into Goods (iNode_,标题,价格,数量) values (3,'两行' || char(13) || char(10) || "
            "'第二\t行\\',3,4)");
    }
    TempDir home;
    const std::string h = home.path();
};

}  // namespace

TEST_F(ResultsCommand, TsvCsvAndJsonHoldTheRowsOfTheSharedNode) {
    auto result = RunCliGb(h, {"results", "7"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out,
              "标题\t价格\t数量\n"
              "O'Neil, \"书\"\t12.5\t\n"
              "两行  第二 行\\\t3\t4\n");
    // Without a shared number the task's own number is the node; columns come from its field list.
    result = RunCliGb(h, {"results", "8", "--format", "tsv"});
    EXPECT_EQ(result.out, "标题\n别的\n");
    result = RunCliGb(h, {"results", "7", "--format", "csv"});
    EXPECT_EQ(result.out,
              "标题,价格,数量\r\n"
              "\"O'Neil, \"\"书\"\"\",12.5,\r\n"
              "\"两行\r\n第二\t行\\\",3,4\r\n");
    result = RunCliGb(h, {"results", "7", "--format", "json"});
    EXPECT_EQ(result.out,
              "[\n"
              "  {\"标题\": \"O'Neil, \\\"书\\\"\", \"价格\": \"12.5\", \"数量\": null},\n"
              "  {\"标题\": \"两行\\r\\n第二\\t行\\\\\", \"价格\": \"3\", \"数量\": \"4\"}\n"
              "]\n");
}

TEST_F(ResultsCommand, FilterAndLimitNarrowTheRows) {
    auto result = RunCliGb(h, {"results", "7", "--filter", "价格 < 10", "--limit", "1"});
    EXPECT_EQ(result.out, "标题\t价格\t数量\n两行  第二 行\\\t3\t4\n");
    result = RunCliGb(h, {"results", "7", "--format", "json", "--filter", "价格 > 100"});
    EXPECT_EQ(result.out, "[]\n");
}

TEST_F(ResultsCommand, WhereAndSavedConditionsGoThroughTheFilterBar) {
    auto result =
        RunCliGb(h, {"results", "7", "--where", "标题", "超包含", "!两行 | nomatch", "--limit", "5"});
    EXPECT_EQ(result.out, "标题\t价格\t数量\nO'Neil, \"书\"\t12.5\t\n") << result.err;
    // The value is data: a number field compared with a text matches nothing.
    result = RunCliGb(h, {"results", "7", "--where", "价格", ">", "1 or 1=1"});
    EXPECT_EQ(result.out, "标题\t价格\t数量\n");
    Sql(h,
        "update Task set cSetInfo='#查询字段名3=价格\r\n#查询操作符3=<\r\n#超包含表达式3=10\r\n' where ID=7");
    result = RunCliGb(h, {"results", "7", "--condition", "3", "--filter", "数量=4"});
    EXPECT_EQ(result.out, "标题\t价格\t数量\n两行  第二 行\\\t3\t4\n") << result.err;
    result = RunCliGb(h, {"results", "7", "--condition", "4"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("4"), std::string::npos);
}

TEST_F(ResultsCommand, ATaskWhoseTableIsNotMadeYetHasNoRows) {
    Sql(h, "update Task set cSearchScript='#表名=Later\r\n#字段名列表=甲,乙\r\n' where ID=8");
    const auto result = RunCliGb(h, {"results", "8"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "甲\t乙\n");
}

TEST_F(ResultsCommand, ErrorsGoToStandardErrorWithANonZeroStatus) {
    auto result = RunCliGb(h, {"results", "99"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("99"), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty());
    EXPECT_EQ(RunCliGb(h, {"results", "9"}).exitCode, 1);  // no table name
    EXPECT_EQ(RunCliGb(h, {"results", "7", "--filter", "没有这列 = 1"}).exitCode, 1);

    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"results"},
                                               {"results", "x7"},
                                               {"results", "7", "8"},
                                               {"results", "7", "--format", "xml"},
                                               {"results", "7", "--limit", "-1"},
                                               {"results", "7", "--limit"},
                                               {"results", "7", "--filter", "1=1; drop table Goods"},
                                               {"results", "7", "--where", "标题", "包含"},
                                               {"results", "7", "--where", "标题", "like", "x"},
                                               {"results", "7", "--condition", "50"}}) {
        result = RunCliGb(h, args);
        EXPECT_EQ(result.exitCode, 2) << args.back();
        EXPECT_FALSE(result.err.empty());
    }
    // Nothing was dropped.
    EXPECT_EQ(RunCliGb(h, {"sql", "select count(*) as n from Goods"}).out, "n\n3\n");
}
