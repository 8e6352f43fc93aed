// sorvik-cli view and favourite, run as real processes over a home prepared through sorvik-cli sql.

#include <gtest/gtest.h>

#include "support/run_process.h"
#include "support/temp_dir.h"
#include "text/code_page.h"
#include "text/file_helpers.h"

using sorvik::test::RunCliGb;

namespace {

TEST(RecordCommands, ViewWritesThePageAndFavouriteCopiesTheRecords) {
    sorvik::test::TempDir home;
    const std::string h = home.path();
    for (const char* sql :
         {"insert into Task(ID,cTask,iStatus,cWeb,iType,cSearchScript,cSetInfo) values(5,'五',4,'',4,"
          "'#表名=Goods\r\n#字段名列表=名称\r\n#唯一字段=名称\r\n#加亮关键字字段标题=名称\r\n',"
          "'#浏览记录每页记录数=1\r\n')",
          "Create Table Goods(ID_ IDENTITY CONSTRAINT PK_Goods PRIMARY KEY,iNode_ int,名称 varchar(50))",
          "insert into Goods(iNode_,名称) values(5,'甲')",
          "insert into Goods(iNode_,名称) values(5,'乙<>')"}) {
        const auto result = RunCliGb(h, {"sql", sql});
        ASSERT_EQ(result.exitCode, 0) << result.err;
    }
    auto result = RunCliGb(h, {"view", "5", "--browse", "--page", "2"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, h + "/download/5/index_brow.htm\n");
    std::string html;
    ASSERT_TRUE(sorvik::ReadWholeFile(h + "/download/5/index_brow.htm", html));
    EXPECT_NE(html.find("共 2 条记录 第 2/2 页"), std::string::npos);
    EXPECT_NE(html.find("<font size=2>乙&lt;&gt;</font>"), std::string::npos);
    EXPECT_EQ(RunCliGb(h, {"view", "5", "--page", "x"}).exitCode, 2);
    // A filter-bar condition narrows the records and its term is highlighted.
    result = RunCliGb(h, {"view", "5", "--where", "名称", "超包含", "乙"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    ASSERT_TRUE(sorvik::ReadWholeFile(h + "/download/5/index.htm", html));
    EXPECT_NE(html.find("共 1 条记录 第 1/1 页"), std::string::npos);
    EXPECT_NE(html.find("<font color=#FF0000>乙</font>&lt;&gt;"), std::string::npos);

    result = RunCliGb(h, {"category", "new", "收藏"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string category = result.out.substr(0, result.out.find('\n'));
    EXPECT_EQ(RunCliGb(h, {"favourite", "add", "5", category}).exitCode, 2);
    result = RunCliGb(h, {"favourite", "add", "5", category, "--all"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "收藏了 2 条记录（类别" + category + "，收藏任务1）\n");
    result = RunCliGb(h, {"favourite", "add", "5", "42", "--ids", "1"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "不能选择该类别！\n");
    result = RunCliGb(h, {"favourite", "list", "--task", "5"});
    EXPECT_NE(result.out.find(category + "\t1\t2\t  * 收藏\n"), std::string::npos) << result.out;
    EXPECT_EQ(RunCliGb(h, {"sql", "select 名称 from Goods_me where iNode_=1"}).out, "名称\n甲\n乙<>\n");
}

}  // namespace
