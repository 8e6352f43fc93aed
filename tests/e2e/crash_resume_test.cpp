// A harvest killed with kill -9 in the middle of its pages keeps every batch it had saved, and
// `sorvik-cli resume` goes on from the page after the last saved batch: no record is lost or
// stored twice, and the saved pages are not fetched again; inside the next-page chain of a "(*)"
// range value and inside a page with more records than a batch as well.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "e2e/e2e_support.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace sorvik::e2e {
namespace {

using test::HttpReply;
using test::HttpRequestRecord;
using test::ProcessResult;
using test::RunCli;

constexpr int kPages = 40;
constexpr int kRecordsPerPage = 4;
constexpr int kHeldPage = 16;  // its first request is held until the first process is killed

// Starts sorvik-cli --home home args in the background, output to /dev/null; returns its pid.
pid_t StartCli(const std::string& home, const std::vector<std::string>& args) {
    std::vector<std::string> all = {SORVIK_CLI_PATH, "--home", home};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, 0);
        dup2(devNull, 1);
        dup2(devNull, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// A fresh home whose task 1 is the script.
void InitHomeWithTask(const std::string& home, const std::string& script) {
    ASSERT_EQ(RunCli(home, {"init"}).exitCode, 0);
    const std::string path = home + "/task.txt";
    ASSERT_TRUE(WriteWholeFile(path, script));
    ASSERT_EQ(RunCli(home, {"add", path}).out, "1\n");
}

// Runs task 1 in a background sorvik-cli and kills it with SIGKILL once the site holds the request
// the test waits for (heldRequests turns 1).
void RunAndKillWhenHeld(const std::string& home, const std::atomic<int>& heldRequests) {
    const pid_t pid = StartCli(home, {"run", "1"});
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 6000 && heldRequests.load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(heldRequests.load(), 1) << "the harvest never reached the held request";
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

std::string PagePath(int page) {
    return "/slow/list_" + std::to_string(page) + ".htm";
}

// The records P<page>-1 .. P<page>-4 of pages first..last, one per line.
std::string Records(int first, int last) {
    std::string lines;
    for (int page = first; page <= last; ++page) {
        for (int k = 1; k <= kRecordsPerPage; ++k)
            lines += Format("P%d-%d\n", page, k);
    }
    return lines;
}

TEST(CrashResume, KillNineLosesAtMostTheUnsavedBatchAndResumeGoesOnFromTheLastSavedPage) {
    test::HttpTestServer server;
    ASSERT_TRUE(server.ok()) << server.error();
    std::atomic<bool> hold{true};
    std::atomic<int> heldRequests{0};
    for (int page = 1; page <= kPages; ++page) {
        server.AddHandler(PagePath(page), [&, page](const HttpRequestRecord&) {
            if (page == kHeldPage && heldRequests++ == 0) {
                for (int i = 0; i < 3000 && hold.load(); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            HttpReply reply;
            reply.contentType = "text/html; charset=gb2312";
            reply.body = "<html><body><ul>";
            for (int k = 1; k <= kRecordsPerPage; ++k)
                reply.body += Format("<li>P%d-%d</li>", page, k);
            reply.body += "</ul>";
            if (page < kPages)
                reply.body +=
                    Format("<div class=\"pager\"><a href=\"list_%d.htm\">下一页</a></div>", page + 1);
            reply.body += "</body></html>";
            return reply;
        });
    }
    test::TempDir home;
    // Batches of more than 6 records: a batch is saved after every second page.
    const std::string script =
        std::string(U8(u8"#任务名称=断电续采\n#表名=Crash\n#字段名列表=名\n"
                       u8"#保存数据库的最大记录数=6\n#下一页网址=<a href=\"[^\"]*\">下一页</a>\n"
                       u8"1=<li>.*?</li>\n名_1=~<li>(.*?)</li>\n#要搜索网址=")) +
        server.Url(PagePath(1)) + "\n";
    ASSERT_NO_FATAL_FAILURE(InitHomeWithTask(home.path(), script));
    auto sql = [&](const std::string& statement) {
        ProcessResult result = RunCli(home.path(), {"sql", statement});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result.out;
    };

    ASSERT_NO_FATAL_FAILURE(RunAndKillWhenHeld(home.path(), heldRequests));
    hold = false;

    // The Task row names the first page whose records were not all saved and how many of its
    // records were; the table holds exactly the records before that point. Pages 1 to 15 were
    // harvested: at most one batch (two pages) is lost.
    const std::string row = sql("select cNextSite,iPageRecord from Task where ID=1");
    const std::string prefix = "cNextSite\tiPageRecord\n" + server.Url("/slow/list_");
    ASSERT_EQ(row.rfind(prefix, 0), 0u) << row;
    const int resumePage = ToInt(row.substr(prefix.size()));
    const int pageRecord = ToInt(row.substr(row.rfind('\t') + 1));
    EXPECT_GE(resumePage, kHeldPage - 2) << row;
    EXPECT_LE(resumePage, kHeldPage) << row;
    std::string stored = Records(1, resumePage - 1);
    for (int k = 1; k <= pageRecord; ++k)
        stored += Format("P%d-%d\n", resumePage, k);
    EXPECT_EQ(sql(U8(u8"select 名 from Crash order by ID_")), U8(u8"名\n") + stored);

    const size_t requestsBefore = server.Requests().size();
    ProcessResult resumed = RunCli(home.path(), {"resume", "1"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    EXPECT_NE(resumed.err.find(U8(u8"任务 1: 已完成")), std::string::npos) << resumed.err;

    // Every record exactly once, in page order; the resumed run began at the resume page and
    // fetched none of the saved pages again.
    EXPECT_EQ(sql(U8(u8"select 名 from Crash order by ID_")), U8(u8"名\n") + Records(1, kPages));
    EXPECT_EQ(sql(U8(u8"select count(distinct 名) from Crash")),
              U8(u8"count(distinct 名)\n") + std::to_string(kPages * kRecordsPerPage) + "\n");
    const std::vector<HttpRequestRecord> requests = server.Requests();
    ASSERT_GT(requests.size(), requestsBefore);
    EXPECT_EQ(requests[requestsBefore].path, PagePath(resumePage));
    for (int page = 1; page < resumePage; ++page)
        EXPECT_EQ(server.CountRequests(PagePath(page)), 1) << page;
    // The pages from the resume page to the held one were fetched by both processes.
    for (int page = resumePage; page <= kPages; ++page)
        EXPECT_EQ(server.CountRequests(PagePath(page)), page <= kHeldPage ? 2 : 1) << page;
}

// Range values 1..4, each with a chain of three pages; the run is killed on the second page of
// value 2's chain and resumed: the records are those of an uninterrupted run.
TEST(CrashResume, KillNineInsideARangeValuesNextPageChainThenResumeGivesEveryRecordOnce) {
    test::HttpTestServer server;
    ASSERT_TRUE(server.ok()) << server.error();
    std::atomic<bool> hold{true};
    std::atomic<int> heldRequests{0};
    std::string expected;
    for (int value = 1; value <= 4; ++value) {
        for (int page = 1; page <= 3; ++page) {
            for (int k = 1; k <= kRecordsPerPage; ++k)
                expected += Format("R%d-%d-%d\n", value, page, k);
            server.AddHandler(
                Format("/range/r%d_%d.htm", value, page), [&, value, page](const HttpRequestRecord&) {
                    if (value == 2 && page == 3 && heldRequests++ == 0) {
                        for (int i = 0; i < 3000 && hold.load(); ++i)
                            std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    }
                    HttpReply reply;
                    reply.body = "<ul>";
                    for (int k = 1; k <= kRecordsPerPage; ++k)
                        reply.body += Format("<li>R%d-%d-%d</li>", value, page, k);
                    reply.body += "</ul>";
                    if (page < 3)
                        reply.body += Format("<a href=\"r%d_%d.htm\">next</a>", value, page + 1);
                    return reply;
                });
        }
    }
    test::TempDir home;
    const std::string script =
        std::string(U8(u8"#任务名称=范围续采\n#表名=Ranged\n#字段名列表=名\n#保存数据库的最大记录数=3\n"
                       u8"#下一页网址=<a href=\"[^\"]*\">next</a>\n1=<li>.*?</li>\n名_1=~<li>(.*?)</li>\n"
                       u8"#要搜索网址_始末值=1,4\n#要搜索网址=")) +
        server.Url("/range/r(*)_1.htm") + "\n";
    ASSERT_NO_FATAL_FAILURE(InitHomeWithTask(home.path(), script));

    ASSERT_NO_FATAL_FAILURE(RunAndKillWhenHeld(home.path(), heldRequests));
    hold = false;
    // The resume point is inside value 2's chain.
    ProcessResult row = RunCli(home.path(), {"sql", "select cNextSite from Task where ID=1"});
    EXPECT_NE(row.out.find("/range/r2_"), std::string::npos) << row.out;

    ProcessResult resumed = RunCli(home.path(), {"resume", "1"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    ProcessResult records = RunCli(home.path(), {"sql", U8(u8"select 名 from Ranged order by ID_")});
    EXPECT_EQ(records.out, U8(u8"名\n") + expected);
}

// One page of 40 records, each with a linked detail page, in batches of 4; killed while the 23rd
// record's detail page is fetched, then resumed: the records are those of an uninterrupted run,
// and the details of stored records are not fetched again.
TEST(CrashResume, KillNineInsideAPageThenResumeGivesEveryRecordOnce) {
    constexpr int kRecords = 40;
    constexpr int kHeld = 23;
    test::HttpTestServer server;
    ASSERT_TRUE(server.ok()) << server.error();
    std::atomic<bool> hold{true};
    std::atomic<int> heldRequests{0};
    std::string page = "<ul>";
    std::string expected;
    for (int k = 1; k <= kRecords; ++k) {
        page += Format("<li>D%d<a href=\"/d/%d.htm\">d</a></li>", k, k);
        expected += Format("D%d|x%d\n", k, k);
        server.AddHandler(Format("/d/%d.htm", k), [&, k](const HttpRequestRecord&) {
            if (k == kHeld && heldRequests++ == 0) {
                for (int i = 0; i < 3000 && hold.load(); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            return HttpReply{200, Format("<t>x%d</t>", k), "text/html", {}};
        });
    }
    server.AddPage("/dense.htm", page + "</ul>");
    test::TempDir home;
    const std::string script =
        std::string(U8(u8"#任务名称=页内续采\n#表名=Dense\n#字段名列表=名,详\n#保存数据库的最大记录数=4\n"
                       u8"1=<li>.*?</li>\n名_1=~<li>(.*?)<a\n详_1=@href=\"(.*?)\"\n详_1_link=~<t>(.*?)</t>\n"
                       u8"#要搜索网址=")) +
        server.Url("/dense.htm") + "\n";
    ASSERT_NO_FATAL_FAILURE(InitHomeWithTask(home.path(), script));

    ASSERT_NO_FATAL_FAILURE(RunAndKillWhenHeld(home.path(), heldRequests));
    hold = false;
    // Batches were stored inside the page: the resume point is the page and its stored records.
    ProcessResult row = RunCli(home.path(), {"sql", "select iPageRecord from Task where ID=1"});
    const int pageRecord = ToInt(row.out.substr(row.out.find('\n') + 1));
    EXPECT_GE(pageRecord, 15) << row.out;
    EXPECT_LT(pageRecord, kHeld) << row.out;

    ProcessResult resumed = RunCli(home.path(), {"resume", "1"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    ProcessResult records =
        RunCli(home.path(), {"sql", U8(u8"select 名 || '|' || 详 from Dense order by ID_")});
    EXPECT_EQ(records.out.substr(records.out.find('\n') + 1), expected);
    for (int k = 1; k <= pageRecord; ++k)
        EXPECT_EQ(server.CountRequests(Format("/d/%d.htm", k)), 1) << k;
}

// Four connections fetching detail pages ahead: killed while a detail page of page 7 is held,
// the resumed run stores every record with its detail exactly once, in order.
TEST(CrashResume, KillNineWhileDetailPagesAreFetchedAheadThenResumeGivesEveryRecordOnce) {
    constexpr int kListPages = 12;
    test::HttpTestServer server;
    ASSERT_TRUE(server.ok()) << server.error();
    server.SetDelay(std::chrono::milliseconds(5));
    std::atomic<bool> hold{true};
    std::atomic<int> heldRequests{0};
    std::string expected;
    for (int page = 1; page <= kListPages; ++page) {
        std::string body = "<ul>";
        for (int k = 1; k <= kRecordsPerPage; ++k) {
            body += Format("<li>P%d-%d <a href=\"/d/%d_%d.htm\">d</a></li>", page, k, page, k);
            expected += Format("P%d-%d|D%d-%d\n", page, k, page, k);
            server.AddHandler(Format("/d/%d_%d.htm", page, k), [&, page, k](const HttpRequestRecord&) {
                if (page == 7 && k == 3 && heldRequests++ == 0) {
                    for (int i = 0; i < 3000 && hold.load(); ++i)
                        std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
                return HttpReply{200, Format("<t>D%d-%d</t>", page, k), "text/html", {}};
            });
        }
        body += "</ul>";
        if (page < kListPages)
            body += Format("<a href=\"l%d.htm\">next</a>", page + 1);
        server.AddPage(Format("/l/l%d.htm", page), body);
    }
    test::TempDir home;
    const std::string script =
        std::string(U8(u8"#任务名称=详情续采\n#表名=Detailed\n#字段名列表=名,详\n#保存数据库的最大记录数=6\n"
                       u8"#并发连接数=4\n#下一页网址=<a href=\"[^\"]*\">next</a>\n1=<li>.*?</li>\n"
                       u8"名_1=~<li>(.*?) <a\n详_1=@href=\"(.*?)\"\n详_1_link=~<t>(.*?)</t>\n#要搜索网址=")) +
        server.Url("/l/l1.htm") + "\n";
    ASSERT_NO_FATAL_FAILURE(InitHomeWithTask(home.path(), script));

    ASSERT_NO_FATAL_FAILURE(RunAndKillWhenHeld(home.path(), heldRequests));
    hold = false;

    ProcessResult resumed = RunCli(home.path(), {"resume", "1"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    ProcessResult records =
        RunCli(home.path(), {"sql", U8(u8"select 名 || '|' || 详 as r from Detailed order by ID_")});
    EXPECT_EQ(records.out, "r\n" + expected);
}

}  // namespace
}  // namespace sorvik::e2e
