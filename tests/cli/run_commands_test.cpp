// sorvik-cli add, run, resume, schedule and serve: the real binary against a loopback HTTP server
// (the example scripts in tests/e2e harvest through add, run and results).

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

#include "support/http_test_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "text/file_helpers.h"

namespace sorvik {
namespace {

using test::ChildProcessesNamed;
using test::HttpReply;
using test::HttpRequestRecord;
using test::HttpTestServer;
using test::ProcessResult;
using test::RunCli;
using test::U8;

class RunCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.ok()) << server.error();
        ASSERT_EQ(RunCli(home.path(), {"init"}).exitCode, 0);
    }

    // Writes a UTF-8 script with LF line ends (as an editor on Linux saves it) and adds it.
    std::string Add(const std::string& utf8Script) {
        const std::string path = folder.file("task" + std::to_string(++scripts) + ".txt");
        EXPECT_TRUE(WriteWholeFile(path, utf8Script));
        ProcessResult added = RunCli(home.path(), {"add", path});
        EXPECT_EQ(added.exitCode, 0) << added.err;
        std::string id = added.out;
        while (!id.empty() && (id.back() == '\n' || id.back() == '\r'))
            id.pop_back();
        return id;
    }

    std::string Sql(const std::string& statement) {
        ProcessResult result = RunCli(home.path(), {"sql", statement});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result.out;
    }

    HttpTestServer server;
    test::TempDir home;
    test::TempDir folder;
    int scripts = 0;
};

TEST_F(RunCommandsTest, KeywordsFromAFile) {
    server.AddPage("/s.php", "<li>x</li>");
    const std::string id = Add(
        std::string(U8(u8"#任务名称=搜索\n#表名=Hits\n1=<li>.*?</li>\n#字段名列表=名\n名=~<li>(.*?)</li>\n"
                       u8"#需要搜索关键字网址=")) +
        server.Url(U8(u8"/s.php?q=<搜索关键字>")) + "\n");
    EXPECT_EQ(RunCli(home.path(), {"run", id}).exitCode, 1);  // keywords needed
    const std::string file = folder.file("keys.txt");
    ASSERT_TRUE(WriteWholeFile(file, U8(u8"中\nc\n")));
    ProcessResult run = RunCli(home.path(), {"run", id, "--keywords", "@" + file});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(server.CountRequests("/s.php"), 2);
    EXPECT_NE(Sql("select count(*) from Hits").find("2"), std::string::npos);
}

TEST_F(RunCommandsTest, CategoryChoicesReachObjectVariablesInTheUrlAndTheFields) {
    server.AddPage("/c.php", "<li>x</li>");
    const std::string id = Add(
        std::string(U8(
            u8"#任务名称=对象\n#表名=Objs\n1=<li>.*?</li>\n#字段名列表=名,城市\n名=~<li>(.*?)</li>\n"
            u8"城市=<变量_对象城市>\n#搜索类别=<变量_对象类>,<变量_对象城市>\n<变量_对象城市>=<变量_对象>\n"
            u8"#需要搜索关键字网址=")) +
        server.Url(U8(u8"/c.php?q=<搜索关键字>&c=<变量_对象城市>")) + "\n");
    ProcessResult run =
        RunCli(home.path(), {"run", id, "--keywords", "k", "--category", "book", "--category", U8(u8"北京")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ASSERT_TRUE(server.LastRequest("/c.php").has_value());
    EXPECT_EQ(server.LastRequest("/c.php")->target, "/c.php?q=k&c=%B1%B1%BE%A9");  // 北京, GB18030
    EXPECT_EQ(Sql(U8(u8"select 城市 from Objs")), U8(u8"城市\n北京\n"));
}

TEST_F(RunCommandsTest, InterruptPausesAndResumeContinuesAtTheSamePage) {
    std::atomic<bool> hold{true};
    std::atomic<int> page2{0};
    server.AddHandler("/p.php", [&](const HttpRequestRecord& request) {
        if (request.target == "/p.php?n=2" && page2++ == 0) {
            for (int i = 0; i < 1500 && hold.load(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        HttpReply reply;
        reply.body = "<li>" + request.target + "</li>";
        return reply;
    });
    const std::string id = Add(
        std::string(U8(u8"#任务名称=分页\n#表名=Pages\n1=<li>.*?</li>\n#字段名列表=名\n名=~<li>(.*?)</li>\n"
                       u8"#要搜索网址_始末值=1,3\n#要搜索网址=")) +
        server.Url("/p.php?n=(*)") + "\n");
    ProcessResult first;
    std::thread runner([&] { first = RunCli(home.path(), {"run", id}, 60); });
    for (int i = 0; i < 1500 && page2.load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(page2.load(), 1);
    for (pid_t pid : ChildProcessesNamed("sorvik-cli"))
        kill(pid, SIGINT);
    runner.join();
    hold = false;
    EXPECT_EQ(first.exitCode, 1) << first.err;
    EXPECT_NE(first.err.find(U8(u8"任务 1: 已暂停")), std::string::npos) << first.err;
    EXPECT_NE(Sql("select iStatus,cNextSite from Task where ID=1").find("2\t" + server.Url("/p.php?n=2")),
              std::string::npos);

    ProcessResult resumed = RunCli(home.path(), {"resume", id}, 60);
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    EXPECT_EQ(page2.load(), 2);
    EXPECT_EQ(server.CountRequests("/p.php"), 4);
    const std::string rows = Sql("select 名 from Pages order by ID_");
    EXPECT_NE(rows.find("/p.php?n=1\n/p.php?n=2\n/p.php?n=3"), std::string::npos) << rows;
}

// serve on a home whose task is planned 35 seconds ahead: the schedule starts it inside its window,
// it harvests, and SIGTERM ends serve cleanly.
TEST_F(RunCommandsTest, ServeHarvestsAPlannedTaskAndEndsOnSigterm) {
    test::ScopedLang english("en_US.UTF-8");
    server.AddPage("/plan.htm", "<li>a</li><li>b</li>");
    const std::string id =
        Add(std::string(U8(u8"#任务名称=计划\n#表名=Planned\n1=<li>.*?</li>\n#字段名列表=名\n"
                           u8"名=~<li>(.*?)</li>\n#要搜索网址=")) +
            server.Url("/plan.htm") + "\n");
    const std::time_t ahead = std::time(nullptr) + 35;
    std::tm local{};
    localtime_r(&ahead, &local);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    EXPECT_EQ(RunCli(home.path(), {"schedule", id, "--add", "2006-02-30 10:00:00"}).exitCode, 1);
    ProcessResult planned = RunCli(home.path(), {"schedule", id, "--add", when, "--list"});
    ASSERT_EQ(planned.exitCode, 0) << planned.err;
    EXPECT_EQ(planned.out, std::string(when) + "\n");

    ProcessResult served;
    std::thread runner([&] { served = RunCli(home.path(), {"serve"}, 240); });
    bool harvested = false;
    for (int i = 0; i < 900 && !harvested; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        harvested = RunCli(home.path(), {"sql", "select count(*) as n from Planned"}).out == "n\n2\n" &&
                    RunCli(home.path(), {"sql", "select iType from Task where ID=" + id}).out == "iType\n4\n";
    }
    EXPECT_TRUE(harvested);
    for (pid_t pid : ChildProcessesNamed("sorvik-cli"))
        kill(pid, SIGTERM);
    runner.join();
    EXPECT_EQ(served.exitCode, 0) << served.err;
    EXPECT_NE(served.err.find("task " + id + " started on its plan"), std::string::npos) << served.err;
    EXPECT_NE(served.err.find("task " + id + ": finished"), std::string::npos) << served.err;
    EXPECT_EQ(server.CountRequests("/plan.htm"), 1);
}

TEST_F(RunCommandsTest, BadArgumentsAreRefused) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"run"}, {"run", "x1"}, {"run", "1", "--threads", "64"}})
        EXPECT_EQ(RunCli(home.path(), args).exitCode, 2) << args.back();
    EXPECT_EQ(RunCli(home.path(), {"add", folder.file("missing.txt")}).exitCode, 1);
    const std::string nameless = folder.file("nameless.txt");
    ASSERT_TRUE(WriteWholeFile(nameless, "#要搜索网址=http://127.0.0.1/\n"));
    ProcessResult add = RunCli(home.path(), {"add", nameless});
    EXPECT_EQ(add.exitCode, 1);
    EXPECT_NE(add.err.find(U8(u8"请先指定任务名称!")), std::string::npos);
    EXPECT_EQ(RunCli(home.path(), {"run", "99"}).exitCode, 1);
    // A task without a start URL is paused at once, and said so.
    const std::string id = Add("#任务名称=无网址\n#需要搜索关键字网址_设置=关键字可以为空\n#表名=N\n");
    ProcessResult run = RunCli(home.path(), {"run", id});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(U8(u8"没有起始网址，已暂停")), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(U8(u8"任务 ") + id + U8(u8": 已暂停")), std::string::npos) << run.err;
}

}  // namespace
}  // namespace sorvik
