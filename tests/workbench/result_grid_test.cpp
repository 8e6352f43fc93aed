// The result grid on a real home: statements, paging, saved conditions and the grid's commands.

#include "workbench/result_grid.h"

#include <gtest/gtest.h>

#include "store/db_access.h"
#include "store/task_table.h"
#include "support/core_fixture.h"
#include "text/file_helpers.h"
#include "text/strings.h"
#include "workbench/recording_prompt.h"
#include "workbench/result_grid_commands.h"
#include "workbench/saved_filters.h"

using namespace sorvik;

namespace {

constexpr const char* kScript =
    "#表名=Goods\r\n#字段名列表=t,p,l,f,k,s\r\n#字段别名列表=标题,价格,级别,文件,关键字,已搜索\r\n"
    "#字段类型=文本,数字,数字\r\n#级别字段=级别\r\n#表格栏_删除记录_删除文件=文件\r\n"
    "#搜索关键字标题=关键字\r\n#已搜索字段标题=已搜索\r\n";

class ResultGridTest : public sorvik::test::CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        ASSERT_TRUE(CTaskTable().InsertTask(7, "t", TaskState::kEnded, "", 4, kScript));
        ASSERT_TRUE(CDbAccess().ExecuteSql(
            "Create Table Goods(ID_ IDENTITY CONSTRAINT PK_Goods PRIMARY KEY,iNode_ int,标题 varchar(100),"
            "价格 int,级别 int,文件 varchar(255),关键字 varchar(255),已搜索 varchar(255))"));
    }
    // Records 1..count of task 7: 标题 "r<i>", 价格 i.
    void AddRecords(int count) {
        ASSERT_TRUE(CDbAccess().ExecuteSql(
            Format("with recursive n(i) as (select 1 union all select i+1 from n where i<%d) "
                   "insert into Goods (iNode_,标题,价格) select 7,'r'||i,i from n",
                   count)));
    }
    void SetSettings(const std::string& settings) {
        ASSERT_TRUE(
            CDbAccess().ExecuteSql("update Task set cSetInfo='" + SqlQuote(settings) + "' where ID=7"));
    }
    std::string Settings() { return CTaskTable().ReadTaskText(7, true); }
    std::string Cell(long long id, const std::string& column) {
        return CDbAccess().SelectTopString(column, "Goods", "ID_=" + std::to_string(id));
    }
};

TEST_F(ResultGridTest, StatementsOfBothForms) {
    ResultQuery query;
    std::string error;
    bool refused = false;
    ASSERT_TRUE(PrepareResultQuery(7, "", query, error, refused)) << error;
    CompiledFilter compiled;
    ASSERT_TRUE(ApplyFilter(query, {"标题", "包含", "a'b", "降序", false}, compiled, error)) << error;
    const std::string columns = "标题,价格,级别,文件,关键字,已搜索";
    EXPECT_EQ(ResultPageStatement(query, 10000, 5000),
              "select " + columns +
                  ",ID_ from Goods where iNode_=7 and 标题 like '%a''b%' order by 标题 desc,ID_" +
                  " limit 5000 offset 10000");
    EXPECT_EQ(ResultCountStatement(query),
              "select count(*) from Goods where iNode_=7 and 标题 like '%a''b%'");
    query.condition = "(价格>0) and (标题 like'%x%')";
    query.orderBy.clear();
    EXPECT_EQ(ResultAliasedStatement(query, true),
              "select  top 1 " + columns +
                  " from (select 标题 as 标题,价格 as 价格,级别 as 级别,文件 as 文件,关键字 as 关键字,已搜索 "
                  "as 已搜索,"
                  "iNode_ from Goods) aa where (价格>0) and (标题 like'%x%')");
    EXPECT_TRUE(CDbAccess().OpenRecordset(ResultAliasedStatement(query, true)).has_value());
}

TEST_F(ResultGridTest, PagesOfTheSettingsPageSize) {
    AddRecords(5000);
    ResultGrid grid;
    std::string error;
    ASSERT_TRUE(grid.Open(7, {}, error)) << error;
    EXPECT_FALSE(grid.Paging().paged);
    EXPECT_EQ(grid.Paging().pages, 1);
    EXPECT_EQ(grid.Rows().size(), 5000u);

    AddRecords(1);  // 5001 records: a second page with one row, the last record
    SetSettings("#表格每页记录数=0\r\n");
    ASSERT_TRUE(grid.Open(7, {}, error)) << error;
    EXPECT_TRUE(grid.Paging().paged);
    EXPECT_EQ(grid.Paging().pages, 2);
    EXPECT_EQ(grid.Rows().size(), 5000u);
    ASSERT_TRUE(grid.GoToPage(2, error));
    ASSERT_EQ(grid.Rows().size(), 1u);
    EXPECT_EQ(grid.Ids()[0], 5001);
    EXPECT_EQ(*grid.Rows()[0][0], "r1");

    // A page size of 2000 over a filter sorted by price, descending.
    SetSettings("#表格每页记录数=2000\r\n");
    ASSERT_TRUE(grid.Open(7, {"价格", "超包含", ">100 //贵", "降序", false}, error)) << error;
    EXPECT_EQ(grid.Paging().total, 4900);
    EXPECT_EQ(grid.Paging().pages, 3);
    ASSERT_TRUE(grid.GoToPage(3, error));
    EXPECT_EQ(grid.Rows().size(), 900u);
    EXPECT_EQ(*grid.Rows().back()[1], "101");
    EXPECT_EQ(grid.Filter().name, "贵");
}

TEST_F(ResultGridTest, PageTurnsReadTheRowsOfTheirPlaceAndCountOnlyOnReload) {
    AddRecords(5500);
    // Another task's rows at the end of the table: a read from the end must pass over them.
    ASSERT_TRUE(CDbAccess().ExecuteSql("update Goods set iNode_=8 where ID_>5001"));
    SetSettings("#表格每页记录数=1000\r\n");
    ResultGrid grid;
    std::string error;
    ASSERT_TRUE(grid.Open(7, {}, error)) << error;
    ASSERT_EQ(grid.Paging().pages, 6);
    for (const int page : {2, 3, 6, 5, 4, 1, 4, 2, 5}) {
        ASSERT_TRUE(grid.GoToPage(page, error)) << error;
        const long long first = (page - 1) * 1000LL + 1;
        const size_t rows = page == 6 ? 1 : 1000;
        ASSERT_EQ(grid.Ids().size(), rows) << page;
        EXPECT_EQ(grid.Ids().front(), first) << page;
        EXPECT_EQ(grid.Ids().back(), first + static_cast<long long>(rows) - 1) << page;
        EXPECT_EQ(*grid.Rows().front()[0], "r" + std::to_string(first)) << page;
    }
    ASSERT_TRUE(CDbAccess().ExecuteSql("update Goods set iNode_=7 where ID_=5002"));
    ASSERT_TRUE(grid.GoToPage(6, error));
    EXPECT_EQ(grid.Paging().total, 5001);
    ASSERT_TRUE(grid.Reload(error));
    EXPECT_EQ(grid.Paging().total, 5002);
    EXPECT_EQ(grid.Ids(), (std::vector<long long>{5001, 5002}));
}

TEST_F(ResultGridTest, AFailingQueryIsReportedNotShown) {
    AddRecords(3);
    ResultGrid grid;
    std::string error;
    EXPECT_FALSE(grid.Open(7, {"标题", "超包含", "(a", "", false}, error));
    EXPECT_TRUE(grid.QueryFailed());
    EXPECT_EQ(g_strDbError.Get(), "打开表失败！");
    // A base condition the database rejects.
    ASSERT_EQ(CTaskTable().SetTaskScriptValue(7, "#表数据过滤条件", "没有这列=1", false), 1);
    EXPECT_FALSE(grid.Open(7, {}, error));
    EXPECT_TRUE(grid.QueryFailed());
    EXPECT_TRUE(grid.Rows().empty());
    // A task without a table name is not a query failure: its message is shown.
    ASSERT_TRUE(CTaskTable().InsertTask(8, "t", TaskState::kEnded, "", 4, "#字段名列表=a\r\n"));
    EXPECT_FALSE(grid.Open(8, {}, error));
    EXPECT_FALSE(grid.QueryFailed());
    EXPECT_EQ(error, "任务8没有设置结果表（#表名=）！");
}

TEST_F(ResultGridTest, ColumnWidthsGoBackIntoTheSettings) {
    SetSettings("#字段宽度=80, 0,x,120\r\n");
    EXPECT_EQ(ReadColumnWidths(Settings()), (std::vector<int>{80, 0, -1, 120}));
    std::string error;
    ASSERT_TRUE(WriteColumnWidths(7, {90, 0, 40}, error)) << error;
    EXPECT_EQ(ReadColumnWidths(Settings()), (std::vector<int>{90, 0, 40}));
    EXPECT_TRUE(ReadColumnWidths("").empty());
}

TEST_F(ResultGridTest, SavedConditionsFillFiftySlots) {
    const FilterCondition first{"标题", "超包含", "a & b //两者", "升序", true};
    int slot = kNoSavedFilter;
    std::string error;
    ASSERT_TRUE(MakeDefaultSavedFilter(7, first, slot, error)) << error;
    EXPECT_EQ(slot, 0);
    FilterCondition read;
    ASSERT_TRUE(ReadSavedFilter(Settings(), 0, read));
    EXPECT_EQ(read, first);
    EXPECT_EQ(DefaultSavedFilter(Settings()), 0);
    EXPECT_EQ(SavedFilterMenuLabel(1, read, true, true), "&1. 两者(当前)(默认)");
    EXPECT_EQ(SavedFilterMenuLabel(2, {"标题", "包含", "x", "", false}, false, false),
              "&2. <未命名>(如输入“//查询1”)");

    // Saving writes the loaded slot; a line break can't start a key of its own.
    ASSERT_TRUE(SaveSavedFilter(7, {"价格", ">", "1\r\n#查询模版号=9", "", false}, slot, error));
    ASSERT_TRUE(ReadSavedFilter(Settings(), 0, read));
    EXPECT_EQ(read.value, "1  #查询模版号=9");
    for (int i = 1; i < kSavedFilterSlots; ++i) {
        ASSERT_TRUE(AddSavedFilter(7, first, slot, error)) << error;
        EXPECT_EQ(slot, i);
    }
    EXPECT_FALSE(AddSavedFilter(7, first, slot, error));
    EXPECT_EQ(error, "过滤条件个数不能大于50！");
    EXPECT_EQ(SavedFilterSlots(Settings()).size(), 50u);
    EXPECT_TRUE(Settings().find("#查询字段名49=标题\r\n") != std::string::npos);

    test::RecordingWorkbenchPrompt prompt;
    int none = kNoSavedFilter;
    EXPECT_FALSE(DeleteSavedFilter(7, none, prompt));
    prompt.okCancel = {false, true};
    slot = 0;
    EXPECT_FALSE(DeleteSavedFilter(7, slot, prompt));
    EXPECT_TRUE(DeleteSavedFilter(7, slot, prompt));
    EXPECT_EQ(prompt.said,
              (std::vector<std::string>{"没有要删除的过滤条件或没有选择要删除的过滤条件！",
                                        "确定删除当前过滤条件吗？", "确定删除当前过滤条件吗？"}));
    EXPECT_EQ(slot, kNoSavedFilter);
    EXPECT_FALSE(ReadSavedFilter(Settings(), 0, read));
    EXPECT_EQ(DefaultSavedFilter(Settings()), kNoSavedFilter);
    // The freed slot is the next one added.
    ASSERT_TRUE(AddSavedFilter(7, first, slot, error));
    EXPECT_EQ(slot, 0);
}

TEST_F(ResultGridTest, LevelsAndKeywords) {
    AddRecords(3);
    std::string error;
    ASSERT_TRUE(SetRecordLevel(7, {1, 3}, 4, error)) << error;
    EXPECT_EQ(Cell(1, "级别"), "4");
    ASSERT_TRUE(SetRecordLevel(7, {1}, 0, error));
    EXPECT_EQ(CDbAccess().SelectCount("Goods", "级别 is null"), 2);
    EXPECT_EQ(LevelMenuTexts().front(), "1级");
    EXPECT_EQ(LevelMenuTexts().back(), "0级");

    ASSERT_TRUE(
        CDbAccess().ExecuteSql("update Goods set 关键字='k'||ID_, 已搜索=case when ID_=2 then '1' end"));
    std::string list;
    const std::vector<long long> selected{3, 1};
    ASSERT_TRUE(GridKeywordList(7, &selected, list, error)) << error;
    EXPECT_EQ(list, "k3\r\nk1");
    ASSERT_TRUE(GridKeywordList(7, nullptr, list, error)) << error;
    EXPECT_EQ(list, "k1\r\nk3");
    ASSERT_TRUE(CDbAccess().ExecuteSql("update Goods set 已搜索='1'"));
    EXPECT_FALSE(GridKeywordList(7, nullptr, list, error));
    EXPECT_EQ(error, "所有关键字都已搜索！");

    ASSERT_EQ(CTaskTable().SetTaskScriptValue(7, "#级别字段", "没有", false), 1);
    EXPECT_FALSE(SetRecordLevel(7, {1}, 2, error));
    EXPECT_EQ(error, "找不到级别字段！");
}

TEST_F(ResultGridTest, DeletingRecordsDeletesTheirFilesInsideTheDownloadFolder) {
    AddRecords(4);
    const std::string folder = home() + "/download/7";
    ASSERT_TRUE(MakeDirectories(folder + "/files"));
    ASSERT_TRUE(WriteWholeFile(FileSystemPath(folder + "/files/价目表.txt"), "x"));
    ASSERT_TRUE(WriteWholeFile(home() + "/outside.txt", "keep"));
    ASSERT_TRUE(CDbAccess().ExecuteSql(
        "update Goods set 文件=case ID_ when 1 then 'files/价目表.txt' when 2 then 'missing.txt' "
        "when 3 then '../../outside.txt' end"));
    test::RecordingWorkbenchPrompt prompt;
    RecordDeleteOutcome outcome;
    prompt.okCancel = {false};
    EXPECT_FALSE(DeleteResultRecords(7, {1}, prompt, outcome));
    EXPECT_EQ(CDbAccess().SelectCount("Goods", "1=1"), 4);

    ASSERT_TRUE(DeleteResultRecords(7, {1, 2, 3}, prompt, outcome));
    EXPECT_EQ(outcome.deleted, 3);
    EXPECT_EQ(outcome.filesDeleted, 1);
    EXPECT_FALSE(FileExists(FileSystemPath(folder + "/files/价目表.txt")));
    EXPECT_TRUE(FileExists(home() + "/outside.txt"));
    EXPECT_EQ(CDbAccess().SelectCount("Goods", "1=1"), 1);
    EXPECT_EQ(prompt.said, (std::vector<std::string>{"确定删除选定的记录吗？", "确定删除选定的记录吗？"}));
}

}  // namespace
