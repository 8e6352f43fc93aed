// The extraction engine over pages served by a real HTTP server on loopback, storing into a real
// SQLite home: levels and field binding, next pages, ranges, keywords, batches and resume points,
// rejected records, the test trace, downloads, and malformed scripts and pages.

#include "engine/extraction.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>

#include "engine/extraction_settings.h"
#include "engine/keyword_cursor.h"
#include "engine/page_fetcher.h"
#include "engine/record_buffer.h"
#include "store/app_home.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "support/core_fixture.h"
#include "support/http_test_server.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik {
namespace {

using test::HttpReply;
using test::HttpRequestRecord;
using test::HttpTestServer;

constexpr int kTask = 12;

// A list page with `count` records "<li><b>P-i</b><i>i</i></li>" and an optional next link.
std::string ListPage(int page, int count, const std::string& nextLink = {}) {
    std::string body = "<html><body><ul>";
    for (int i = 1; i <= count; ++i)
        body += Format("<li><b>P%d-%d</b><i>%d</i></li>", page, i, i);
    body += "</ul>";
    if (!nextLink.empty())
        body += "<div class=\"pg\">" + nextLink + "</div>";
    return body + "</body></html>";
}

class ExtractionTest : public test::CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        ASSERT_TRUE(server.ok()) << server.error();
    }

    // A fresh run of the task (0: a test run) with the script.
    ThreadParams& NewRun(int task, const std::string& script) {
        run.emplace();
        fetcher.emplace();
        fetcher->SetPoliteness(politeness);
        run->maxPages = maxPages;
        run->taskNumber = task;
        run->sharedTaskNumber = task;
        run->taskName = "T";
        run->script = script;
        run->fetcher = &*fetcher;
        return *run;
    }

    // Fetches the first page as the worker does, then runs the engine.
    bool Harvest(int task, const std::string& script, const std::string& url,
                 const std::string& keywords = {}, int startPage = 0, long long pageRecord = 0) {
        ThreadParams& params = NewRun(task, script);
        params.url = url;
        params.keywordList = keywords;
        params.startPage = startPage;
        params.pageRecord = pageRecord;
        EXPECT_TRUE(fetcher->GetSource(params, {}, kFetchPrepare | kFetchNewSession | kFetchIntoMemory));
        return RunExtraction(params);
    }

    // A test run over a page of its own (no URL).
    std::string TestOn(const std::string& script, const std::string& page) {
        ThreadParams& params = NewRun(0, script);
        params.pageText = page;
        RunExtraction(params);
        return params.testOutput;
    }

    std::vector<std::string> Column(const std::string& sql) {
        CDbAccess db;
        std::vector<std::string> out;
        auto rows = db.ExecuteQuery(sql);
        EXPECT_TRUE(rows.has_value()) << sql << " " << db.m_strProviderError;
        for (; rows && !rows->IsEof(); rows->MoveNext())
            out.push_back(rows->Text(0));
        return out;
    }

    void AddTaskRow(int task) {
        CTaskTable tasks;
        ASSERT_TRUE(tasks.InsertTask(task, "T", TaskState::kWaiting, "", 3, "#表名=x\r\n"));
    }

    HttpTestServer server;
    FetchPoliteness politeness;  // one connection unless a test asks for more
    int maxPages = 0;
    std::optional<ThreadParams> run;
    std::optional<PageFetcher> fetcher;
};

const std::string kTwoLevelPage =
    "<div class=\"g\"><h2>G1</h2><li>a</li><li>b</li></div><div class=\"g\"><h2>G2</h2><li>c</li></div>";

TEST_F(ExtractionTest, LevelCountStopsAtTheFirstMissingKeyAndAMissingLevelOneTakesTheWholePage) {
    EXPECT_EQ(ReadLoopLevels("1=a\r\n3=c\r\n", false).count, 1);
    // Without "1=" the page is one record; the field is cut from it.
    EXPECT_EQ(TestOn("#字段名列表=标题\r\n标题=~<h2>(.*?)</h2>\r\n", kTwoLevelPage),
              "第1条记录(层号:1)：\r\n标题:G1\r\n\r\n");
    // A field whose first underscore line is a rule has no pattern.
    EXPECT_EQ(
        TestOn(
            "1=<li>.*?</li>\r\n#字段名列表=t,u\r\nt_获取=文本\r\nt_1=~<b>(.*?)</b>\r\nu=~<li>(.*?)</li>\r\n",
            "<li>x</li>"),
        "第1条记录(层号:1)：\r\nt:\r\nu:x\r\n\r\n");
}

TEST_F(ExtractionTest, RejectedFieldEndsTheRecordInTheTraceAndIsNotStored) {
    const std::string script =
        "#表名=R\r\n1=<li>.*?</li>\r\n#字段名列表=a,b,c\r\na=~<b>(.*?)</b>\r\nb_1=~<i>(.*?)</i>\r\n"
        "b_1_删除条件1=^2$\r\nc_1=~<u>(.*?)</u>\r\nc_1_搜索条件1=keep\r\n";
    const std::string page =
        "<li><b>x</b><i>1</i><u>keep</u></li><li><b>y</b><i>2</i><u>keep</u></li>"
        "<li><b>z</b><i>3</i><u>drop</u></li>";
    EXPECT_EQ(TestOn(script, page),
              "第1条记录(层号:1)：\r\na:x\r\nb:1\r\nc:keep\r\n\r\n"
              "第2条记录(层号:1)：\r\na:y\r\nb:2<符合删除条件>\r\n"
              "第3条记录(层号:1)：\r\na:z\r\nb:3\r\nc:drop<不符合搜索条件>\r\n");

    server.AddPage("/r.htm", page);
    ASSERT_TRUE(Harvest(kTask, script, server.Url("/r.htm")));
    EXPECT_EQ(Column("select a from R order by ID_"), std::vector<std::string>{"x"});
    EXPECT_EQ(run->stats.recordBytes.load(), 1 + 1 + 4);
}

TEST_F(ExtractionTest, ExitConditionAndLinksBackToTheChainEndTheFollowing) {
    // Both link forms: a single-quoted absolute one and a double-quoted relative one.
    server.AddPage("/e/1.htm", ListPage(1, 1, "<a href='/e/2.htm'>n</a>"));
    server.AddPage("/e/2.htm", ListPage(2, 1, "<a href=\"3.htm\">n</a>") + "<last>1</last>");
    server.AddPage("/e/3.htm", ListPage(3, 1));
    const std::string base =
        "1=<li>.*?</li>\r\n#字段名列表=名\r\n名=~<b>(.*?)</b>\r\n#下一页网址=<div class=\"pg\">.*?</div>\r\n";
    ASSERT_TRUE(
        Harvest(0, base + "#下一页退出条件=末\r\n末=~<last>(.*?)</last>\r\n", server.Url("/e/1.htm")));
    // Page 2 was fetched but its exit condition held: it yields no record and page 3 is not read.
    EXPECT_EQ(server.CountRequests("/e/2.htm"), 1);
    EXPECT_EQ(server.CountRequests("/e/3.htm"), 0);
    EXPECT_EQ(run->stats.records.load(), 1);

    // A page that links to itself ends the chain instead of looping.
    server.AddPage("/self.htm", ListPage(1, 1, "<a href=\"self.htm\">again</a>"));
    ASSERT_TRUE(Harvest(0, base, server.Url("/self.htm")));
    EXPECT_EQ(server.CountRequests("/self.htm"), 1);
}

TEST_F(ExtractionTest, LevelNextPageRuleSearchesTheLevelsCurrentRecord) {
    server.AddPage(
        "/v/1.htm",
        "<div class=\"g\"><li>a</li></div><div class=\"g\"><li>b</li><a href=\"2.htm\">n</a></div>");
    server.AddPage("/v/2.htm", "<div class=\"g\"><li>c</li><a href=\"1.htm\">back</a></div>");
    const std::string script =
        "1=<div class=\"g\">.*?</div>\r\n2=<li>.*?</li>\r\n#字段名列表=x\r\nx=~<li>(.*?)</li>\r\n"
        "#下一页网址_1=<a .*?</a>\r\n";
    ASSERT_TRUE(Harvest(0, script, server.Url("/v/1.htm")));
    EXPECT_EQ(run->stats.records.load(), 3);
    EXPECT_EQ(server.CountRequests("/v/2.htm"), 1);
}

TEST_F(ExtractionTest, RangeNumbersAreHeldAtTheirEndsAndAnEndlessRangeStopsAtAFailedPage) {
    for (int i = 3; i <= 4; ++i)
        server.AddPage(Format("/p%d.htm", i), ListPage(i, 2));
    UrlRange range;
    long long value = 0;
    EXPECT_TRUE(FindRangeValue("http://h/p(*)_(*).htm", "http://h/p12_12.htm", value));
    EXPECT_EQ(value, 12);
    EXPECT_FALSE(FindRangeValue("http://h/p(*).htm", "http://h/q3.htm", value));
    // Numbers past the range of a 64-bit integer are held at its ends, never wrapped.
    ASSERT_TRUE(ParseUrlRange("-99999999999999999999999,99999999999999999999999", range));
    EXPECT_LT(range.start, -9000000000000000000LL);
    EXPECT_EQ(range.end, std::numeric_limits<long long>::max());
    EXPECT_FALSE(FindRangeValue("http://h/p(*).htm", "http://h/p99999999999999999999999.htm", value));

    // A range that never ends stops at the first page that can't be fetched (the run pauses).
    const std::string endless = "#要搜索网址=" + server.Url("/p(*).htm") +
                                "\r\n#要搜索网址_始末值=3,99999999999999999999\r\n1=<li>.*?</li>\r\n";
    ASSERT_TRUE(Harvest(0, endless, server.Url("/p3.htm")));
    EXPECT_EQ(server.CountRequests("/p5.htm"), 1);
    EXPECT_EQ(run->stopReason.load(), kStopPause);
    EXPECT_EQ(run->nextUrl, server.Url("/p5.htm"));
}

TEST_F(ExtractionTest, KeywordsRunOneAfterAnotherWithTheCursorMovedPastEach) {
    server.AddHandler("/s", [](const HttpRequestRecord& request) {
        return HttpReply{200, "<li><b>" + request.target + "</b></li>", "text/html", {}};
    });
    const std::string script = "#表名=Kw\r\n#需要搜索关键字网址=" + server.Url("/s?q=<搜索关键字>&p=(*)") +
                               "\r\n#需要搜索关键字网址_始末值=1,2\r\n1=<li>.*?</li>\r\n#字段名列表=目标\r\n"
                               "目标=~<b>(.*?)</b>\r\n";
    AddTaskRow(kTask);
    // An empty line, a Chinese word, no final CR LF.
    ASSERT_TRUE(Harvest(kTask, script, server.Url("/s?q=ab&p=1"), "\r\nab\r\n\r\n中国\r\nc d"));
    const ThreadParams& params = *run;
    EXPECT_EQ(Column("select 目标 from Kw order by ID_"),
              (std::vector<std::string>{"/s?q=ab&p=1", "/s?q=ab&p=2", "/s?q=%d6%d0%b9%fa&p=1",
                                        "/s?q=%d6%d0%b9%fa&p=2", "/s?q=c%20d&p=1", "/s?q=c%20d&p=2"}));
    // The cursor stands past the last keyword, which now ends with CR LF.
    EXPECT_EQ(params.keywordList.substr(params.searchKeyIndexPre), "\r\n");
    EXPECT_TRUE(params.nextUrl.empty());
}

TEST_F(ExtractionTest, LaterKeywordsAreEncodedAsTheTemplateWantsAndCutOnCharacters) {
    server.AddPage("/u", "<li>r</li>");
    const std::string script = "#需要搜索关键字网址=" + server.Url("/u?q=<搜索关键字>") +
                               "\r\n#需要搜索关键字网址_关键字编码方式=UTF-8\r\n1=<li>.*?</li>\r\n";
    // The second keyword is 130 characters of two bytes: cut to 128 whole characters.
    std::string longKeyword;
    for (int i = 0; i < 130; ++i)
        longKeyword += "中";
    ASSERT_TRUE(Harvest(0, script, server.Url("/u?q=a"), "a\r\n" + longKeyword + "\r\n"));
    const std::vector<HttpRequestRecord> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    std::string expected = "/u?q=";
    for (int i = 0; i < 128; ++i)
        expected += "%E4%B8%AD";
    EXPECT_EQ(requests[1].target, expected);
    EXPECT_EQ(run->currentKeyword.size(), 30u);
}

TEST_F(ExtractionTest, BatchesAreStoredWithTheResumePoint) {
    // While page 3 is being requested, the records of pages 1 and 2 must already be stored.
    std::atomic<int> storedWhenPage3Asked{-1};
    std::string resumeWhenPage3Asked;
    server.AddPage("/b/1.htm", ListPage(1, 3, "<a href=\"2.htm\">n</a>"));
    server.AddPage("/b/2.htm", ListPage(2, 3, "<a href=\"3.htm\">n</a>"));
    server.AddHandler("/b/3.htm", [&](const HttpRequestRecord&) {
        CDbAccess db;
        storedWhenPage3Asked = static_cast<int>(db.SelectCount("Bt", "iNode_=12"));
        resumeWhenPage3Asked = db.SelectTopString("cNextSite || ' ' || iPageRecord", "Task", "ID=12");
        return HttpReply{200, ListPage(3, 3), "text/html", {}};
    });
    AddTaskRow(kTask);
    const std::string script =
        "#表名=Bt\r\n#保存数据库的最大记录数=2\r\n1=<li>.*?</li>\r\n#字段名列表=名,号\r\n"
        "名=~<b>(.*?)</b>\r\n号=~<i>(.*?)</i>\r\n#字段类型=文本(20),数字\r\n"
        "#下一页网址=<div class=\"pg\">.*?</div>\r\n"
        "_保存表数据后_处理1=执行SQL,update Bt set 号=号+100 where 号<100\r\n";
    ASSERT_TRUE(Harvest(kTask, script, server.Url("/b/1.htm")));
    EXPECT_EQ(run->batchSize, 2);
    EXPECT_EQ(storedWhenPage3Asked.load(), 6);
    // Stored inside page 2, with all of its matches: a resume would skip them.
    EXPECT_EQ(resumeWhenPage3Asked, server.Url("/b/2.htm") + " 3");
    EXPECT_EQ(Column("select count(*) from Bt").front(), "9");
    // The after-save operations ran after every batch.
    EXPECT_EQ(Column("select count(*) from Bt where 号>100").front(), "9");
    EXPECT_EQ(PendingRecordCount(), 0);
    // The last batch was stored inside the last page: a resume would find nothing left there.
    CDbAccess db;
    EXPECT_EQ(db.SelectTopString("cNextSite || ' ' || iPageRecord", "Task", "ID=12"),
              server.Url("/b/3.htm") + " 3");
    EXPECT_EQ(ReadBatchSize("#保存数据库的最大记录数=99999999999999\r\n"), 1000000);
    EXPECT_EQ(ReadBatchSize("#保存数据库的最大记录数=-3\r\n"), 1);
}

// Linked pages fetched ahead on four connections give the rows of one connection, in the same
// order; a page that two fields and an entry read is asked for once per list page; the server
// never serves more requests at once than the limit.
TEST_F(ExtractionTest, FourConnectionsStoreTheRowsOfOneInTheSameOrder) {
    constexpr int kPages = 3;
    constexpr int kRecords = 6;
    server.SetDelay(std::chrono::milliseconds(20));
    for (int page = 1; page <= kPages; ++page) {
        std::string body = "<ul>";
        for (int i = 1; i <= kRecords; ++i)
            body += Format("<li><b>P%d-%d</b><a href=\"/d/%d_%d.htm\">d</a></li>", page, i, page, i);
        body += "</ul>";
        if (page < kPages)
            body += Format("<div class=\"pg\"><a href=\"%d.htm\">n</a></div>", page + 1);
        server.AddPage(Format("/c/%d.htm", page), body);
        for (int i = 1; i <= kRecords; ++i) {
            // Every third detail page is missing: its field stays empty in both runs.
            if (i % 3 == 0)
                continue;
            server.AddPage(Format("/d/%d_%d.htm", page, i), Format("<t>D%d-%d</t><u>U%d</u>", page, i, i));
        }
    }
    server.AddPage("/shared.htm", "<s>S</s>");
    AddTaskRow(kTask);
    const std::string script =
        "#表名=Cc\r\n1=<li>.*?</li>\r\n#字段名列表=名,详,另\r\n名=~<b>(.*?)</b>\r\n"
        "详_1=@href=\"(.*?)\"\r\n详_1_link=~<t>(.*?)</t>\r\n"
        "另_1=@href=\"(.*?)\"\r\n另_1_link=~<u>(.*?)</u>\r\n"
        "#取值=共\r\n共_网址=/shared.htm\r\n共=~<s>(.*?)</s>\r\n"
        "#下一页网址=<div class=\"pg\">.*?</div>\r\n";
    auto harvest = [&](int connections) {
        politeness.connections = connections;
        EXPECT_TRUE(Harvest(kTask, script, server.Url("/c/1.htm")));
        std::vector<std::string> rows = Column("select 名 || '|' || 详 || '|' || 另 from Cc order by ID_");
        CDbAccess().ExecuteSql("delete from Cc");
        return rows;
    };
    const std::vector<std::string> sequential = harvest(1);
    ASSERT_EQ(sequential.size(), static_cast<size_t>(kPages * kRecords));
    EXPECT_EQ(sequential[0], "P1-1|D1-1|U1");
    EXPECT_EQ(sequential[2], "P1-3||");
    EXPECT_EQ(server.MaxConcurrentRequests(), 1);
    const int requestsOfOne = static_cast<int>(server.Requests().size());

    EXPECT_EQ(harvest(4), sequential);
    EXPECT_LE(server.MaxConcurrentRequests(), 4);
    EXPECT_GE(server.MaxConcurrentRequests(), 2);
    // One connection asks for each detail page twice (two fields) and the shared page once per
    // record; four ask once per list page.
    EXPECT_EQ(server.CountRequests("/d/1_1.htm"), 2 + 1);
    EXPECT_EQ(server.CountRequests("/shared.htm"), kPages * kRecords + kPages);
    EXPECT_EQ(static_cast<int>(server.Requests().size()) - requestsOfOne,
              kPages + kPages * kRecords + kPages);

    // "#最大页数=" ends the run after that many list pages, with their records whole.
    maxPages = 2;
    EXPECT_EQ(harvest(4), std::vector<std::string>(sequential.begin(), sequential.begin() + 2 * kRecords));
    EXPECT_EQ(server.CountRequests("/c/3.htm"), 2);
}

// A page with more records than a batch stores them while it is cut. A stop inside it drops only
// what came after the last stored batch; the resume point names the page and its stored matches,
// and the resumed run skips those (their linked pages are not fetched again).
TEST_F(ExtractionTest, DensePagesAreStoredInBatchesAndAStopInsideResumesAfterTheStoredMatches) {
    std::string page;
    for (int i = 1; i <= 6; ++i)
        page += Format("<li><b>r%d</b><a href=\"/d/%d.htm\">d</a></li>", i, i);
    server.AddPage("/m/1.htm", page);
    std::atomic<bool> stopOnce{true};
    std::atomic<int> storedAtFifth{-1};
    for (int i = 1; i <= 6; ++i) {
        server.AddHandler(Format("/d/%d.htm", i), [&, i](const HttpRequestRecord&) {
            if (i == 5 && stopOnce.exchange(false)) {
                CDbAccess db;
                storedAtFifth = static_cast<int>(db.SelectCount("Mp", "iNode_=12"));
                run->RequestStop(kStopPause);
            }
            return HttpReply{200, Format("<t>d%d</t>", i), "text/html", {}};
        });
    }
    AddTaskRow(kTask);
    const std::string script =
        "#表名=Mp\r\n#保存数据库的最大记录数=1\r\n1=<li>.*?</li>\r\n#字段名列表=名,详\r\n名=~<b>(.*?)</b>\r\n"
        "详_1=@href=\"(.*?)\"\r\n详_1_link=~<t>(.*?)</t>\r\n";
    ASSERT_TRUE(Harvest(kTask, script, server.Url("/m/1.htm")));
    // A save comes once more than one record waits: records 1-4 were stored while the page was
    // cut; the fifth, interrupted, was dropped.
    EXPECT_EQ(storedAtFifth.load(), 4);
    EXPECT_EQ(Column("select 详 from Mp order by ID_"), (std::vector<std::string>{"d1", "d2", "d3", "d4"}));
    EXPECT_EQ(run->stats.records.load(), 4);
    EXPECT_EQ(run->nextUrl, server.Url("/m/1.htm"));
    EXPECT_EQ(run->pageRecord, 4);
    EXPECT_EQ(Column("select iPageRecord from Task where ID=12").front(), "4");
    EXPECT_EQ(PendingRecordCount(), 0);

    ASSERT_TRUE(Harvest(kTask, script, std::string(run->nextUrl), {}, 1, run->pageRecord));
    EXPECT_EQ(Column("select 名 || 详 from Mp order by ID_"),
              (std::vector<std::string>{"r1d1", "r2d2", "r3d3", "r4d4", "r5d5", "r6d6"}));
    for (int i = 1; i <= 6; ++i)
        EXPECT_EQ(server.CountRequests(Format("/d/%d.htm", i)), i == 5 ? 2 : 1) << i;
}

TEST_F(ExtractionTest, ColumnTypeFailureEndsTheRunBeforeAnyPage) {
    const std::string script =
        "#表名=Ct\r\n1=<li>.*?</li>\r\n#字段名列表=a,b\r\n#字段类型=文本,整形\r\na=x\r\n";
    server.AddPage("/c.htm", "<li>x</li>");
    EXPECT_FALSE(Harvest(kTask, script, server.Url("/c.htm")));
    EXPECT_EQ(run->testOutput, "字段类型的设置不对！(“整形”中系统无法识别字段类型！)");
    EXPECT_EQ(run->stats.records.load(), 0);

    const std::string shifted =
        "#表名=Cs\r\n1=<li>.*?</li>\r\n#字段名列表=a,b\r\n#字段别名列表=甲\r\na=x\r\n";
    EXPECT_FALSE(Harvest(kTask, shifted, server.Url("/c.htm")));
    EXPECT_NE(run->testOutput.find("字段名列表和字段别名列表的个数不相等！"), std::string::npos);

    // No table, or one the database refuses: named by its key; the run pauses instead of ending.
    EXPECT_FALSE(Harvest(kTask, "1=<li>.*?</li>\r\n#字段名列表=a\r\na=x\r\n", server.Url("/c.htm")));
    EXPECT_EQ(run->failure, "搜索脚本中没有指定表名！(#表名=)");
    EXPECT_EQ(run->stopReason.load(), kStopPause);
    EXPECT_FALSE(
        Harvest(kTask, "#表名=select\r\n1=<li>.*?</li>\r\n#字段名列表=a\r\na=x\r\n", server.Url("/c.htm")));
    EXPECT_EQ(run->failure.rfind("建表失败!(#表名=select)\r\n", 0), 0u) << run->failure;
    EXPECT_EQ(run->stopReason.load(), kStopPause);
}

TEST_F(ExtractionTest, EmptyTraceListsTheDeepestLevelInstead) {
    EXPECT_EQ(
        TestOn("1=<div class=\"g\">.*?</div>\r\n2=<li>.*?</li>\r\n", kTwoLevelPage),
        "第2层循环:\r\n第1条记录：<li>a</li>\r\n第2条记录：<li>b</li>\r\n第3条记录：<li>c</li>\r\n\r\n");
}

TEST_F(ExtractionTest, BadPatternsStopTheSetupNamingTheirKeyAndSelfReferringVariablesEnd) {
    // Refused before any record, the key (and the field) named in the trace and the failure.
    const std::pair<std::string, std::string> bad[] = {
        {"1=<li>.*?</li>\r\n#字段名列表=a,c\r\na=~<b>(.*?</b>\r\nc=x\r\n",
         "正则表达式有误：字段“a”的a=<b>(.*?</b> ("},
        {"1=<li>.*?</li>\r\n#字段名列表=a\r\na_1=x\r\na_1_1=~<b>(.*?</b>\r\n",
         "正则表达式有误：字段“a”的a_1_1=<b>(.*?</b> ("},
        {"1=(<li>\r\n#字段名列表=a\r\na=x\r\n", "正则表达式有误：1=(<li> ("},
        {"1=<li>.*?</li>\r\n#字段名列表=a\r\na=x\r\n#下一页网址=[z-a]\r\n",
         "正则表达式有误：#下一页网址=[z-a] ("}};
    for (const auto& [script, named] : bad) {
        const std::string output = TestOn(script, "<li><b>x</b></li>");
        EXPECT_EQ(output.rfind(named, 0), 0u) << output;
        EXPECT_EQ(run->failure, output);
    }
    const std::string output = TestOn(
        "1=<li>.*?</li>\r\n#字段名列表=b,c\r\nb=<变量_甲>\r\n<变量_甲>=<变量_乙>\r\n<变量_乙>=<变量_甲>\r\n"
        "c=~<i>(.*?)</i>\r\n",
        "<li><b>x</b><i>y</i></li>");
    EXPECT_NE(output.find("c:y\r\n"), std::string::npos) << output;
}

TEST_F(ExtractionTest, TruncatedBinaryAndEmptyMatchingPagesEndNormally) {
    std::string binary;
    for (int i = 0; i < 200000; ++i)
        binary += static_cast<char>((i * 7919) % 256);
    binary += "<li><b>cut off";
    const std::string script =
        "1=<li>.*?</li>\r\n2=a*\r\n3=\r\n#字段名列表=a\r\na_2=~<b>(.*?)</b>\r\n"
        "#下一页网址=href\r\n";
    const std::string output = TestOn(script, binary);
    EXPECT_EQ(run->stats.records.load(), 0) << output.substr(0, 200);

    // Every position of the page is an (empty) match of "x*": one record each, and the run ends.
    const std::string many = TestOn("1=x*\r\n#字段名列表=n\r\nn=$.*\r\n", std::string(2000, '\0'));
    EXPECT_EQ(run->stats.records.load(), 2001);
    EXPECT_NE(many.find("第2001条记录(层号:1)："), std::string::npos);
}

TEST_F(ExtractionTest, RejectedRecordsKeepTheirDownloadsInEitherOrder) {
    server.AddPage("/f/ok.txt", "ok", "text/plain");
    server.AddPage("/f/no.txt", "no", "text/plain");
    server.AddPage(
        "/dl.htm",
        "<li><b>keep</b><a href=\"/f/ok.txt\">f</a></li><li><b>drop</b><a href=\"/f/no.txt\">f</a></li>");
    const std::string script =
        "#表名=Dl\r\n1=<li>.*?</li>\r\n#字段名列表=名\r\n名_1=~<b>(.*?)</b>\r\n名_1_删除条件1=drop\r\n"
        "#下载文件=附件\r\n附件=~href=\"(.*?)\"\r\n#下载头文件=头\r\n头=$<b>.*?</b>\r\n";
    ASSERT_TRUE(Harvest(kTask, script, server.Url("/dl.htm")));
    const std::string folder = home() + "/download/12/";
    std::string text;
    EXPECT_TRUE(ReadWholeFile(folder + "f/ok.txt", text));
    EXPECT_EQ(text, "ok");
    EXPECT_EQ(Column("select 名 from Dl"), std::vector<std::string>{"keep"});
    // Only the record is dropped: its file and header copy are saved.
    EXPECT_TRUE(ReadWholeFile(folder + "f/no.txt", text));
    EXPECT_TRUE(ReadWholeFile(folder + "head2.htm", text));
    EXPECT_EQ(text, "<b>drop</b>");

    // Downloads before the fields: the same material.
    std::filesystem::remove_all(folder);
    ASSERT_TRUE(Harvest(kTask, script + "#下载源文件_优先于_字段=1\r\n", server.Url("/dl.htm")));
    EXPECT_TRUE(FileExists(folder + "f/no.txt"));
    EXPECT_TRUE(FileExists(folder + "head2.htm"));
}

TEST_F(ExtractionTest, ChineseLinksOfAUtf8PageArePercentEncodedAndSavedUnderUtf8Names) {
    server.AddPage("/u/files/%E4%BB%B7%E7%9B%AE%E8%A1%A8.txt", "price", "text/plain");
    server.AddPage("/u/get", "query", "text/plain");
    server.AddPage("/u/list.htm",
                   GbToUtf8("<li><a href=\"files/价目表.txt\">a</a><a href=\"get?name=价目\">b</a></li>"),
                   "text/html; charset=utf-8");
    ASSERT_TRUE(Harvest(kTask,
                        "#表名=Uc\r\n1=<li>.*?</li>\r\n#字段名列表=名\r\n名=$<li>\r\n"
                        "#下载文件=附件\r\n附件=~href=\"(.*?)\"\r\n",
                        server.Url("/u/list.htm")));
    const std::string folder = home() + "/download/12/u/";
    std::string text;
    EXPECT_TRUE(ReadWholeFile(folder + GbToUtf8("files/价目表.txt"), text));
    EXPECT_EQ(text, "price");
    EXPECT_TRUE(ReadWholeFile(folder + GbToUtf8("get_name=价目"), text));
    ASSERT_TRUE(server.LastRequest("/u/get").has_value());
    EXPECT_EQ(server.LastRequest("/u/get")->target, "/u/get?name=%E4%BB%B7%E7%9B%AE");
}

TEST_F(ExtractionTest, DownloadOptionWithoutTextKeepsFieldsUnbuiltAndWritesKeywordsBack) {
    CDbAccess db;
    ASSERT_TRUE(
        db.ExecuteSql("create table Kt (ID_ IDENTITY CONSTRAINT PK_Kt PRIMARY KEY,iNode_ int,词 "
                      "varchar(50),状态 varchar(50))"));
    ASSERT_TRUE(db.ExecuteSql("insert into Kt (iNode_,词,状态) values (12,'ab','')"));
    server.AddPage("/o", "<li><b>x</b><a href=\"/o.txt\">f</a></li>");
    server.AddPage("/o.txt", "file", "text/plain");
    const std::string script =
        "#表名=Kt\r\n#字段名列表=w,s\r\n#字段别名列表=词,状态\r\n1=<li>.*?</li>\r\nw=~<b>(.*?)</b>\r\n"
        "s=~<u>(.*?)</u>\r\n"
        "#需要搜索关键字网址=" +
        server.Url("/o?q=<搜索关键字>") +
        "\r\n#搜索关键字标题=词\r\n"
        "#下载选项_默认值=只下载\r\n只下载=附件\r\n只下载_处理字段=s_写回\r\ns_写回=已处理\r\n"
        "#下载文件=附件\r\n附件=~href=\"(.*?)\"\r\n";
    ASSERT_TRUE(Harvest(kTask, script, server.Url("/o?q=ab"), "ab\r\n"));
    EXPECT_EQ(run->stats.records.load(), 0);
    EXPECT_TRUE(FileExists(home() + "/download/12/o.txt"));
    EXPECT_EQ(Column("select 状态 from Kt where 词='ab'"), std::vector<std::string>{"已处理"});
    EXPECT_EQ(Column("select count(*) from Kt").front(), "1");
}

TEST_F(ExtractionTest, KeywordBlockHoldsOnlyForRunsWithKeywords) {
    std::string open = "[#需要搜索关键字网址]{\r\nb=2\r\n";
    EXPECT_EQ(CutKeywordBlock(open), "");

    const std::string withBlock =
        "1=<li>.*?</li>\r\n#字段名列表=v\r\nv=~<b>(.*?)</b>\r\n"
        "[#需要搜索关键字网址]{\r\nv=~<i>(.*?)</i>\r\n}[#需要搜索关键字网址]\r\n";
    EXPECT_EQ(TestOn(withBlock, "<li><b>B</b><i>I</i></li>"), "第1条记录(层号:1)：\r\nv:B\r\n\r\n");
    // The editor's test keyword makes the test a run with keywords, as the real run with it is.
    EXPECT_EQ(TestOn(withBlock + "<搜索关键字>=k\r\n", "<li><b>B</b><i>I</i></li>"),
              "第1条记录(层号:1)：\r\nv:I\r\n\r\n");
    ThreadParams& params = NewRun(0, withBlock);
    params.keywordList = "k\r\n";
    params.pageText = "<li><b>B</b><i>I</i></li>";
    RunExtraction(params);
    EXPECT_EQ(params.testOutput, "第1条记录(层号:1)：\r\nv:I\r\n\r\n");
}

}  // namespace
}  // namespace sorvik
