// sorvik-cli init, sql and tasks, run as a real process.

#include <gtest/gtest.h>

#include "support/run_process.h"
#include "support/temp_dir.h"
#include "text/code_page.h"
#include "text/file_helpers.h"

using sorvik::test::ProcessResult;
using sorvik::test::RunCliGb;
using sorvik::test::TempDir;

namespace {

std::string Sql(const std::string& home, const std::string& statement) {
    const auto result = RunCliGb(home, {"sql", statement});
    EXPECT_EQ(result.exitCode, 0) << statement << "\n" << result.err;
    return result.out;
}

}  // namespace

TEST(CliStore, InitCreatesTheDatabaseOnceAndAgainChangesNothing) {
    TempDir home;
    const std::string rows =
        "select (select count(*) from TreeItems) || ',' || (select count(*) from TaskMod)";
    ASSERT_EQ(RunCliGb(home.path(), {"init"}).exitCode, 0);
    EXPECT_TRUE(sorvik::FileExists(home.file("DataBase/SearchResult.ddd")));
    const std::string before = Sql(home.path(), rows);
    ASSERT_EQ(RunCliGb(home.path(), {"init"}).exitCode, 0);
    EXPECT_EQ(Sql(home.path(), rows), before);
    EXPECT_EQ(Sql(home.path(), "select ID,cTask,iType from Task"), "ID\tcTask\tiType\n0\t(测试任务)\t3\n");
}

TEST(CliStore, SqlRunsTheStatementFormsOfTheSystem) {
    TempDir home;
    const std::string h = home.path();
    Sql(h,
        "Create Table T(ID_ IDENTITY CONSTRAINT PK_T PRIMARY KEY,iNode_ int,标题 varchar(100),价格 "
        "decimal(10,2))");
    Sql(h, "insert into T (iNode_,标题,价格) values (7,'O''Neil 的书',12.5)");
    Sql(h, "insert into T (iNode_,标题,价格) values (7,'第二',3)");
    Sql(h, "insert into T (iNode_,标题) values (8,'别的')");
    EXPECT_EQ(Sql(h, "select top 1 标题 from T where iNode_=7 order by ID_ desc"), "标题\n第二\n");
    EXPECT_EQ(Sql(h, "select 标题 from T where ID_=1"), "标题\nO'Neil 的书\n");
    Sql(h, "select 标题,iNode_ into T_tmp from T where iNode_=7");
    Sql(h, "insert into T_tmp select 标题,iNode_ from T where iNode_=8");
    EXPECT_EQ(Sql(h, "select count(*) as n from t_TMP"), "n\n3\n");
    Sql(h, "alter table T add column 备注 memo");
    Sql(h, "update T set 备注='00123' where ID_=2");
    EXPECT_EQ(Sql(h, "select 备注 from T where ID_=2"), "备注\n00123\n");
    Sql(h, "drop table T_tmp");
    Sql(h, "delete from T where iNode_=8");
    Sql(h, "insert into T (iNode_,标题) values (9,'新')");
    // The auto-number keeps counting after deletes.
    EXPECT_EQ(Sql(h, "select ID_ from T where iNode_=9"), "ID_\n4\n");
    EXPECT_EQ(Sql(h, "select count(*) as n from T where ID_ not in (select top 1 ID_ from T order by ID_)"),
              "n\n2\n");
    EXPECT_EQ(Sql(h, "select top 1 aa.标题 from (select 标题,iNode_ from T) aa where iNode_=9"),
              "标题\n新\n");
    Sql(h, "insert into [Set] (cKey,cValue) values('k','v')");
    EXPECT_EQ(Sql(h, "select cValue from [Set] where cKey='k'"), "cValue\nv\n");
}

TEST(CliStore, ErrorsAndUsageGiveNonZeroStatus) {
    TempDir home;
    auto bad = RunCliGb(home.path(), {"sql", "select * from NoSuchTable"});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.err.find("执行SQL失败!"), std::string::npos) << bad.err;
    EXPECT_EQ(RunCliGb(home.path(), {"sql"}).exitCode, 2);
    EXPECT_EQ(RunCliGb(home.path(), {"frobnicate"}).exitCode, 2);
    EXPECT_EQ(RunCliGb(home.path(), {"tasks", "--list", "9"}).exitCode, 2);
}

TEST(CliStore, TasksListsTheRowsOfAListWithTheirStatistics) {
    TempDir home;
    const std::string h = home.path();
    Sql(h,
        "insert into Task(ID,cTask,iStatus,cWeb,iType,iRecordCount,iRecordSize,iConnCount,iWebBytes,"
        "dStartTime,iUseTime) values(5,'任务五',4,'http://x/',4,3,2048,0,500,'2024-01-02 03:04:05',"
        "'1899-12-30 01:02:03')");
    sorvik::test::ScopedLang lang("zh_CN.UTF-8");
    auto result = RunCliGb(h, {"tasks", "--list", "4"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out,
              "ID\t状态\t任务\t网址\t开始时间\t结束时间\t用时\t记录数\t大小(KB)\t链接数\t网页大小(KB)\n"
              "5\t已完成\t任务五\thttp://x/\t03:04:05 2024-01-02\t\t01:02:03\t3\t2\t\t0\n");
    auto active = RunCliGb(h, {"tasks"});
    ASSERT_EQ(active.exitCode, 0);
    EXPECT_EQ(active.out.find("任务五"), std::string::npos);
}
