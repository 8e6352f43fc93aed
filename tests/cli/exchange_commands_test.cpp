// sorvik-cli categories, category ..., export-seed, export-fruit and import, run as a real process
// between two home folders.

#include <gtest/gtest.h>

#include "exchange/exchange_header.h"
#include "exchange/file_scramble.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/strings.h"

using sorvik::test::ProcessResult;
using sorvik::test::RunCliGb;
using sorvik::test::TempDir;

namespace {

std::string Ok(const std::string& home, const std::vector<std::string>& args) {
    const ProcessResult result = RunCliGb(home, args);
    EXPECT_EQ(result.exitCode, 0) << sorvik::GbToUtf8(sorvik::Join(args, " ") + "\n" + result.err);
    return result.out;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A source home with 新闻 (101, task 1 with two result rows and a page) and 体育 (102) below it.
void BuildSource(const std::string& home) {
    EXPECT_EQ(Ok(home, {"category", "new", "新闻"}), "101\n");
    EXPECT_EQ(Ok(home, {"category", "new", "体育", "--parent", "101"}), "102\n");
    Ok(home, {"sql",
              "insert into Task(ID,cTask,iStatus,iType,cSearchScript) values(1,'新闻任务',4,4,"
              "'#任务名称=新闻任务\r\n#表名=T_新闻\r\n#类别号=101\r\n')"});
    Ok(home, {"sql", "update TreeItems set iTask=1,iImage=3 where ID=101"});
    Ok(home,
       {"sql",
        "Create Table T_新闻(ID_ IDENTITY CONSTRAINT PK_T_新闻 PRIMARY KEY,iNode_ int,标题 varchar(100))"});
    Ok(home, {"sql", "insert into T_新闻 (iNode_,标题) values (1,'第一')"});
    Ok(home, {"sql", "insert into T_新闻 (iNode_,标题) values (1,'第二')"});
    ASSERT_TRUE(sorvik::MakeDirectories(home + "/download/1/files"));
    ASSERT_TRUE(sorvik::WriteWholeFile(home + "/download/1/Source1.htm", "<p>page</p>"));
    ASSERT_TRUE(sorvik::WriteWholeFile(home + "/download/1/files/a.pdf", "pdf"));
}

}  // namespace

TEST(CliExchange, SeedAndFruitTravelBetweenTwoHomes) {
    TempDir source, target, files;
    BuildSource(source.path());

    EXPECT_EQ(RunCliGb(source.path(), {"export-seed", "101"}).exitCode, 1);  // no seed codes yet
    EXPECT_EQ(Ok(source.path(), {"category", "assign-seed", "101"}), "分配了3个种子号\n");
    const std::string listing = Ok(source.path(), {"categories"});
    EXPECT_TRUE(Contains(listing, "101\t0\t1\t新闻任务\tG")) << sorvik::GbToUtf8(listing);

    const std::string seedFile = files.file("news.grm");
    const std::string fruitFile = files.file("news.fru");
    EXPECT_EQ(Ok(source.path(), {"export-seed", "101", "--out", seedFile}), "导出成功！\n" + seedFile + "\n");
    EXPECT_EQ(Ok(source.path(), {"export-fruit", "101", "--out", fruitFile}),
              "导出成功！\n" + fruitFile + "\n共导出2条数据,文件共有9条数据\n");
    // Without --out the file goes into the home folder, named after the category.
    Ok(source.path(), {"export-seed", "102"});
    EXPECT_TRUE(sorvik::FileExists(source.path() + sorvik::GbToUtf8("/体育.grm")));

    EXPECT_EQ(Ok(target.path(), {"import", seedFile}),
              "导入完成！\n语句4条，成功4条；文件写入1个，已存在跳过0个\n");
    // Imported tasks (status 6) stay out of the task lists.
    EXPECT_EQ(Ok(target.path(), {"tasks", "--list", "4"}).find("新闻任务"), std::string::npos);

    const std::string fruit = Ok(target.path(), {"import", fruitFile});
    EXPECT_EQ(fruit.rfind("导入完成！\n请退出重新运行软件！\n", 0), 0u) << sorvik::GbToUtf8(fruit);
    // What a fruit brings (rows, files) is checked by the library's round trip.
    EXPECT_TRUE(sorvik::FileExists(target.path() + "/download/1/files/a.pdf"));
}

TEST(CliExchange, RefusedFilesAndQuestionsGiveNonZeroStatus) {
    TempDir home, files;
    ASSERT_TRUE(sorvik::WriteWholeFile(files.file("plain.grm"), "not scrambled"));
    const ProcessResult plain = RunCliGb(home.path(), {"import", files.file("plain.grm")});
    EXPECT_EQ(plain.exitCode, 1);
    EXPECT_TRUE(Contains(plain.err, "文件格式不对！")) << sorvik::GbToUtf8(plain.err);

    // An older seed: Cancel by default, imported with --yes.
    const std::string row = "insert into TreeItems(ID,Name,ParentItemID,cGerm) values(301,'乙',42,'GV')";
    ASSERT_TRUE(sorvik::WriteWholeFile(
        files.file("old.grm"),
        sorvik::ScrambleBytes(sorvik::BuildSeedHeader("GV", row.size()) + row, "germ")));
    Ok(home.path(),
       {"sql", "insert into TreeItems(ID,Name,ParentItemID,cGerm,iVer) values(400,'已有',42,'GV',12)"});
    const ProcessResult cancelled = RunCliGb(home.path(), {"import", files.file("old.grm")});
    EXPECT_EQ(cancelled.exitCode, 1);
    EXPECT_TRUE(Contains(cancelled.err, "当前文件的版本(1.0)比系统(1.2)的低，确定导入吗？"))
        << sorvik::GbToUtf8(cancelled.err);
    EXPECT_EQ(Ok(home.path(), {"sql", "select count(*) as n from TreeItems where Name='乙'"}), "n\n0\n");
    EXPECT_EQ(RunCliGb(home.path(), {"import", files.file("old.grm"), "--yes"}).exitCode, 0);

    EXPECT_EQ(RunCliGb(home.path(), {"import"}).exitCode, 2);
    EXPECT_EQ(RunCliGb(home.path(), {"export-seed", "abc"}).exitCode, 2);
    EXPECT_EQ(RunCliGb(home.path(), {"export-fruit", "9999"}).exitCode, 1);
    EXPECT_EQ(RunCliGb(home.path(), {"import", files.file("missing.grm")}).exitCode, 1);
}

TEST(CliExchange, KeywordFilesGoIntoATask) {
    TempDir home, files;
    Ok(home.path(), {"sql",
                     "insert into Task(ID,cTask,iStatus,iType,cSearchScript) values(3,'搜',0,3,"
                     "'#表名=T_kw\r\n#搜索关键字标题=关键字\r\n')"});
    Ok(home.path(),
       {"sql",
        "Create Table T_kw(ID_ IDENTITY CONSTRAINT PK_T_kw PRIMARY KEY,iNode_ int,关键字 varchar(50))"});
    // A UTF-8 keyword file.
    ASSERT_TRUE(sorvik::WriteWholeFile(files.file("k.txt"), sorvik::GbToUtf8("苹果\r\n香蕉\r\n苹果\r\n")));
    Ok(home.path(), {"import", files.file("k.txt"), "--task", "3"});
    EXPECT_EQ(Ok(home.path(), {"sql", "select iNode_,关键字 from T_kw order by ID_"}),
              "iNode_\t关键字\n3\t苹果\n3\t香蕉\n");
    EXPECT_EQ(RunCliGb(home.path(), {"import", files.file("k.txt"), "--task", "99"}).exitCode, 1);
}

TEST(CliCategories, NewRenameAndDeleteFollowTheTreeRules) {
    TempDir home;
    EXPECT_EQ(Ok(home.path(), {"category", "new", "一\n二"}), "101\n102\n");
    EXPECT_EQ(Ok(home.path(), {"category", "new", "子", "--parent", "101"}), "103\n");
    EXPECT_EQ(Ok(home.path(), {"category", "rename", "102", "  改名  "}), "类别102已改名为“改名”\n");
    // Refusals (a category with children, an unknown ID) are the category tree's, tested there.
    EXPECT_EQ(RunCliGb(home.path(), {"category", "delete", "101"}).exitCode, 1);
    EXPECT_EQ(Ok(home.path(), {"category", "delete", "103"}), "类别103已删除\n");
    const std::string listing = Ok(home.path(), {"categories"});
    EXPECT_TRUE(Contains(listing, "102\t0\t\t\t\t  改名\n")) << sorvik::GbToUtf8(listing);
    EXPECT_FALSE(Contains(listing, "103\t"));
    EXPECT_EQ(RunCliGb(home.path(), {"category", "frobnicate"}).exitCode, 2);
}
