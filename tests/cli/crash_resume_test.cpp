// A harvest killed with SIGKILL loses at most its unsaved batch: `resume` continues at the first
// page whose records were not stored, and the result has every record once.

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/http_test_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "text/file_helpers.h"

namespace sorvik {
namespace {

using test::HttpReply;
using test::HttpRequestRecord;
using test::HttpTestServer;
using test::ProcessResult;
using test::RunCli;

const char* U8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

// The sorvik-cli children of this process.
std::vector<pid_t> CliChildren() {
    std::vector<pid_t> pids;
    DIR* proc = opendir("/proc");
    if (!proc)
        return pids;
    while (dirent* entry = readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(atoi(entry->d_name));
        if (pid <= 0)
            continue;
        std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
        std::string line;
        std::getline(stat, line);
        const size_t close = line.rfind(')');
        if (close == std::string::npos || line.find("(sorvik-cli)") == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        int parent = 0;
        rest >> state >> parent;
        if (parent == getpid())
            pids.push_back(pid);
    }
    closedir(proc);
    return pids;
}

std::string ListPage(int page) {
    std::string body;
    for (int i = 1; i <= 3; ++i)
        body += "<li>P" + std::to_string(page) + "-" + std::to_string(i) + "</li>";
    if (page < 6)
        body += "<p><a href=\"" + std::to_string(page + 1) + ".htm\">next</a></p>";
    return body;
}

TEST(CrashResume, KilledHarvestResumesAtTheFirstUnsavedPage) {
    HttpTestServer server;
    ASSERT_TRUE(server.ok()) << server.error();
    test::TempDir home;
    test::TempDir folder;
    ASSERT_EQ(RunCli(home.path(), {"init"}).exitCode, 0);

    std::atomic<bool> hold{true};
    std::atomic<int> page5{0};
    for (int page = 1; page <= 6; ++page) {
        if (page == 5)
            continue;
        server.AddPage("/k/" + std::to_string(page) + ".htm", ListPage(page));
    }
    server.AddHandler("/k/5.htm", [&](const HttpRequestRecord&) {
        if (page5++ == 0) {
            for (int i = 0; i < 1500 && hold.load(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        HttpReply reply;
        reply.body = ListPage(5);
        return reply;
    });
    const std::string script =
        std::string(U8(u8"#任务名称=崩溃\n#表名=Crash\n1=<li>.*?</li>\n#字段名列表=名\n"
                       u8"名=~<li>(.*?)</li>\n#下一页网址=<p>.*?</p>\n"
                       u8"#保存数据库的最大记录数=2\n#要搜索网址=")) +
        server.Url("/k/1.htm") + "\n";
    const std::string path = folder.file("crash.txt");
    ASSERT_TRUE(WriteWholeFile(path, script));
    ASSERT_EQ(RunCli(home.path(), {"add", path}).exitCode, 0);

    ProcessResult first;
    std::thread runner([&] { first = RunCli(home.path(), {"run", "1"}, 60); });
    for (int i = 0; i < 1500 && page5.load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(page5.load(), 1);
    for (pid_t pid : CliChildren())
        kill(pid, SIGKILL);
    runner.join();
    hold = false;
    EXPECT_EQ(first.exitCode, 128 + SIGKILL);

    // Pages 1 to 4 were stored with the resume point of page 5.
    ProcessResult rows = RunCli(home.path(), {"sql", "select count(*) as n from Crash"});
    EXPECT_EQ(rows.out, "n\n12\n");
    rows = RunCli(home.path(), {"sql", "select cNextSite,iStartPage from Task where ID=1"});
    EXPECT_EQ(rows.out, "cNextSite\tiStartPage\n" + server.Url("/k/5.htm") + "\t5\n");

    ProcessResult resumed = RunCli(home.path(), {"resume", "1"}, 60);
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    EXPECT_EQ(server.CountRequests("/k/1.htm"), 1);
    rows = RunCli(home.path(), {"sql", "select 名 from Crash order by ID_"});
    std::string expected = U8(u8"名\n");
    for (int page = 1; page <= 6; ++page)
        for (int i = 1; i <= 3; ++i)
            expected += "P" + std::to_string(page) + "-" + std::to_string(i) + "\n";
    EXPECT_EQ(rows.out, expected);
}

}  // namespace
}  // namespace sorvik
