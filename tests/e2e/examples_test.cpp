// The example scripts of examples/scripts harvest the demo site of examples/site, served by a real
// HTTP server on loopback, into result tables with the expected rows: through sorvik-cli (add,
// run, results) and through the library (the run controller and its workers). Their test runs
// (sorvik-cli test) print the trace.

#include <functional>

#include "e2e/e2e_support.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace sorvik::e2e {
namespace {

using test::ProcessResult;
using test::RunCli;

struct Example {
    std::string script;  // in examples/scripts
    std::string table;
    std::string keywords;  // typed keywords of the run; empty: none
    std::string rows;      // `results --format tsv` of the task; "{site}" is the server
};

std::vector<Example> Examples() {
    auto tab = [](std::initializer_list<std::string> cells) {
        std::vector<std::string> items(cells);
        return Join(items, "\t");
    };
    std::vector<Example> examples;
    examples.push_back(
        {"levels.txt", "Demo_Levels", "",
         U8(u8"分类\t名称\t价格\n"
            u8"热带水果\t香蕉\t4.50\n热带水果\t芒果\t16.50\n热带水果\t椰子\t30.50\n"
            u8"温带水果\t苹果\t2.50\n温带水果\t梨子\t26.50\n浆果\t草莓\t12.50\n浆果\t葡萄\t8.50\n")});
    examples.push_back(
        {"next_page.txt", "Demo_NextPage", "", Rows(U8(u8"名称\t链接\t日期\t价格"), kFruitCount, [&](int i) {
             return tab({Fruit(i), Format("{site}/detail_%d.htm", i), Date(i), Price(i)});
         })});
    examples.push_back({"ranges.txt", "Demo_Ranges", "", Rows(U8(u8"名称\t简介"), kFruitCount, [&](int i) {
                            return tab({Fruit(i), Content(i)});
                        })});
    examples.push_back(
        {"keywords.txt", "Demo_Keywords", "apple|pear",
         U8(u8"关键字\t标题\t链接\n"
            u8"apple\tApple pie\t{site}/detail_1.htm\napple\tApple juice\t{site}/detail_2.htm\n"
            u8"apple\tApple tree\t{site}/detail_3.htm\napple\tApple cider\t{site}/detail_9.htm\n"
            u8"pear\tPear cake\t{site}/detail_1.htm\n")});
    examples.push_back(
        {"linked_pages.txt", "Demo_Linked", "", Rows(U8(u8"名称\t正文\t邮箱"), kFruitCount, [&](int i) {
             return tab({Fruit(i), Content(i), Format("seller%d@example.com", i)});
         })});
    examples.push_back({"downloads.txt", "Demo_Downloads", "", Rows(U8(u8"名称"), kFruitCount, Fruit)});
    examples.push_back(
        {"variables.txt", "Demo_Variables", "", Rows(U8(u8"名称\t页标题\t页码\t单位"), 5, [&](int i) {
             return tab({Fruit(i), U8(u8"水果列表 第1页"), "1", U8(u8"元/斤")});
         })});
    examples.push_back({"operations.txt", "Demo_Operations", "",
                        Rows(U8(u8"名称\t链接\t日期\t旬\t价格档\t页别\t备注"), kFruitCount, [&](int i) {
                            std::string name = Fruit(i);
                            ReplaceAll(name, U8(u8"子"), "");
                            return tab({name, Format("{site}/detail_%d.htm", i), Format("01-%02d", i),
                                        U8(i >= 10 ? u8"中旬" : u8"上旬"), U8(i == 1 ? u8"最便宜" : u8"其他"),
                                        U8(i <= 5 ? u8"首页" : u8"后页"), U8(u8"无")});
                        })});
    examples.push_back(
        {"update_modes.txt", "Demo_Update", "", Rows(U8(u8"名称\t价格"), kFruitCount, [&](int i) {
             return tab({Fruit(i), Price(i)});
         })});
    return examples;
}

class ExampleTest : public SiteTest, public ::testing::WithParamInterface<Example> {};

TEST_P(ExampleTest, HarvestsTheDemoSiteThroughTheCommandLine) {
    const Example& example = GetParam();
    Cli cli;
    const std::string id = cli.Add(ExampleScript(example.script, SiteUrl()));
    ASSERT_FALSE(id.empty());
    ProcessResult run = cli.Run(id, example.keywords);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(cli.Results(id), WithSite(example.rows));
}

TEST_P(ExampleTest, HarvestsTheDemoSiteThroughTheLibrary) {
    const Example& example = GetParam();
    const int id = AddTask(AsScript(ExampleScript(example.script, SiteUrl())));
    EXPECT_EQ(Harvest(id, example.keywords), 4);
    EXPECT_EQ(TableTsv(example.table, id), WithSite(example.rows));
}

INSTANTIATE_TEST_SUITE_P(Scripts, ExampleTest, ::testing::ValuesIn(Examples()),
                         [](const ::testing::TestParamInfo<Example>& info) {
                             return info.param.script.substr(0, info.param.script.find('.'));
                         });

using ExamplesTest = SiteTest;

TEST_F(ExamplesTest, TestRunsPrintTheTraceOfEveryRecordAndNextPageWithinTheirLimits) {
    Cli cli;
    std::string expected;
    std::string firstPage;
    std::string sevenRecords;
    for (int i = 1; i <= kFruitCount; ++i) {
        if (i == 6)
            firstPage = expected;
        if (i == 8)
            sevenRecords = expected;
        if (i % 5 == 1 && i > 1)
            expected += Format(U8(u8"\r\n第%d页 下一页网址：{site}/list_%d.htm\r\n"), i / 5 + 1, i / 5 + 1);
        expected += Format(U8(u8"第%d条记录(层号:1)：\r\n"), i) + U8(u8"名称:") + Fruit(i) + "\r\n" +
                    Format(U8(u8"链接:{site}/detail_%d.htm\r\n"), i) + U8(u8"日期:") + Date(i) + "\r\n" +
                    U8(u8"价格:") + Price(i) + "\r\n\r\n";
    }
    const std::string nextPage = ExampleScript("next_page.txt", SiteUrl());
    EXPECT_EQ(cli.Test(nextPage, {"--pages", "3"}), WithSite(expected));
    // By default the start page only; a record limit ends the test inside a page.
    EXPECT_EQ(cli.Test(nextPage), WithSite(firstPage));
    EXPECT_EQ(cli.Test(nextPage, {"--pages", "9", "--records", "7"}), WithSite(sevenRecords));

    const std::string levels =
        U8(u8"第1条记录(层号:2)：\r\n分类:热带水果\r\n名称:香蕉\r\n价格:4.50\r\n\r\n"
           u8"第2条记录(层号:2)：\r\n分类:热带水果\r\n名称:芒果\r\n价格:16.50\r\n\r\n");
    EXPECT_EQ(cli.Test(ExampleScript("levels.txt", SiteUrl())).substr(0, levels.size()), levels);
    // The keyword test takes "<搜索关键字>=apple" from the script.
    const std::string keywords = cli.Test(ExampleScript("keywords.txt", SiteUrl()), {"--pages", "2"});
    EXPECT_NE(keywords.find(U8(u8"第1条记录(层号:1)：\r\n关键字:apple\r\n标题:Apple pie\r\n")),
              std::string::npos)
        << keywords;
    EXPECT_NE(keywords.find(
                  WithSite(U8(u8"\r\n第2页 下一页网址：{site}/search/apple_2.htm\r\n第4条记录(层号:1)："))),
              std::string::npos)
        << keywords;
    EXPECT_EQ(keywords.find("pear"), std::string::npos);
}

TEST_F(ExamplesTest, HarvestingTwiceKeepsOneRowPerUniqueValueInEveryUpdateMode) {
    // Through sorvik-cli, without "#更新模式=": the rows of the first run are replaced.
    Cli cli;
    const std::string id = cli.Add(ExampleScript("update_modes.txt", SiteUrl()));
    ASSERT_EQ(cli.Run(id).exitCode, 0);
    ASSERT_EQ(cli.Run(id).exitCode, 0);
    const std::string expected = WithSite(Examples().back().rows);
    EXPECT_EQ(cli.Results(id), expected);
    EXPECT_EQ(RunCli(cli.home.path(), {"sql", "select min(ID_),max(ID_) from Demo_Update"}).out,
              "min(ID_)\tmax(ID_)\n16\t30\n");

    // Through the library, with each mode and two tasks filing into one table.
    const std::string plain = ExampleScript("update_modes.txt", SiteUrl());
    auto withMode = [&](const std::string& mode, const std::string& table) {
        std::string script = plain;
        ReplaceAll(script, U8(u8"#表名=Demo_Update"), U8(u8"#表名=") + table + U8(u8"\n#更新模式=") + mode);
        return AsScript(script);
    };
    CDbAccess db;
    // Mode 1 ("只是插入"): the task's own rows are updated in place; another task has its own rows.
    const int insertOnly = AddTask(withMode(U8(u8"只是插入"), "Demo_Mode1"));
    ASSERT_EQ(Harvest(insertOnly), 4);
    ASSERT_EQ(Harvest(insertOnly), 4);
    EXPECT_EQ(TableTsv("Demo_Mode1", insertOnly), expected);
    EXPECT_EQ(db.SelectCount("Demo_Mode1", "ID_<=15"), 15);
    const int otherInsertOnly = AddTask(withMode(U8(u8"只是插入"), "Demo_Mode1"));
    ASSERT_EQ(Harvest(otherInsertOnly), 4);
    EXPECT_EQ(db.SelectCount("Demo_Mode1", "1=1"), 30);
    // Mode 2 ("只是插入和更新"): rows of any task that match are updated.
    const int update = AddTask(withMode(U8(u8"只是插入和更新"), "Demo_Mode2"));
    ASSERT_EQ(Harvest(update), 4);
    const int otherUpdate = AddTask(withMode(U8(u8"只是插入和更新"), "Demo_Mode2"));
    ASSERT_EQ(Harvest(otherUpdate), 4);
    EXPECT_EQ(TableTsv("Demo_Mode2", update), expected);
    EXPECT_EQ(db.SelectCount("Demo_Mode2", "1=1"), 15);
}

TEST_F(ExamplesTest, DownloadsSaveLinkedFilesAndCopiesBelowTheTaskFolderOnce) {
    const int id = AddTask(AsScript(ExampleScript("downloads.txt", SiteUrl())));
    ASSERT_EQ(Harvest(id), 4);
    const std::string folder = home() + "/download/" + std::to_string(id) + "/";
    const std::string site = std::string(SORVIK_SOURCE_DIR) + "/examples/site/";
    for (int i = 1; i <= kFruitCount; ++i) {
        std::string original, file, detail, copy, head;
        ASSERT_TRUE(ReadWholeFile(site + Format("files/info_%d.txt", i), original));
        ASSERT_TRUE(ReadWholeFile(folder + Format("files/info_%d.txt", i), file)) << i;
        EXPECT_EQ(file, original);
        // Page copies hold the content of the detail page, numbered in record order.
        ASSERT_TRUE(ReadWholeFile(site + Format("detail_%d.htm", i), detail));
        const size_t begin = detail.find("<div class=\"content\">");
        const size_t end = detail.find("</div>", begin) + 6;
        ASSERT_TRUE(ReadWholeFile(folder + Format("Source1_%d.htm", i), copy)) << i;
        EXPECT_EQ(copy, detail.substr(begin, end - begin));
        ASSERT_TRUE(ReadWholeFile(folder + Format("head%d.htm", i), head)) << i;
        EXPECT_EQ(GbToUtf8(head), Format("<a href=\"detail_%d.htm\">", i) + Fruit(i) + "</a>");
    }
    EXPECT_FALSE(FileExists(folder + "Source1_16.htm"));
    EXPECT_EQ(server.CountRequests("/files/info_1.txt"), 1);
    // A second harvest finds the files and copies saved: it fetches and writes none of them again.
    ASSERT_EQ(Harvest(id), 4);
    EXPECT_EQ(server.CountRequests("/files/info_1.txt"), 1);
    EXPECT_EQ(server.CountRequests("/files/info_15.txt"), 1);
    EXPECT_FALSE(FileExists(folder + "Source1_16.htm"));
    EXPECT_FALSE(FileExists(folder + "head16.htm"));
}

TEST_F(ExamplesTest, UtfEightAndGbkPagesGiveTheSameCharacters) {
    Cli cli;
    auto script = [&](const std::string& page) {
        return std::string(
                   U8(u8"#任务名称=编码\n#表名=Words\n#字段名列表=字\n1=<div class=\"word\">.*?</div>\n"
                      u8"字_1=~<div class=\"word\">(.*?)</div>\n#要搜索网址=")) +
               SiteUrl() + page + "\n";
    };
    EXPECT_EQ(cli.Test(script("utf8.htm")), U8(u8"第1条记录(层号:1)：\r\n字:汉字测试 ✓ €\r\n\r\n"));
    EXPECT_EQ(cli.Test(script("gbk.htm")), U8(u8"第1条记录(层号:1)：\r\n字:汉字测试\r\n\r\n"));
    const std::string id = cli.Add(script("utf8.htm"));
    ASSERT_EQ(cli.Run(id).exitCode, 0);
    EXPECT_EQ(cli.Results(id), U8(u8"字\n汉字测试 ✓ €\n"));
}

}  // namespace
}  // namespace sorvik::e2e
