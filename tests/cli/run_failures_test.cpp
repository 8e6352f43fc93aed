// sorvik-cli run and test of scripts whose setup fails: a non-zero exit, a message naming the key
// (and for a pattern the field and the regex error), and a task left paused, not finished.

#include <gtest/gtest.h>

#include "support/http_test_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "text/file_helpers.h"

namespace sorvik {
namespace {

using test::ProcessResult;
using test::RunCli;
using test::U8;

TEST(RunFailures, SetupFailuresExitNonZeroNameTheKeyAndLeaveTheTaskPaused) {
    test::HttpTestServer server;
    ASSERT_TRUE(server.ok()) << server.error();
    server.AddPage("/l.htm", "<li><a>x</a></li>");
    test::TempDir home;
    test::TempDir folder;
    ASSERT_EQ(RunCli(home.path(), {"init"}).exitCode, 0);
    const std::string head = U8(u8"#任务名称=T\n#字段名列表=名\n#要搜索网址=") + server.Url("/l.htm") + "\n";
    struct Case {
        std::string lines;
        std::string message;  // the start of the message line
        bool testFails;       // a test run has no table to prepare without "#表名="
    };
    const Case cases[] = {
        {U8(u8"1=<li>.*?</li>\n名_1=~<a>(.*?)</a>\n"), U8(u8"搜索脚本中没有指定表名！(#表名=)"), false},
        {U8(u8"#表名=select\n1=<li>.*?</li>\n名_1=~<a>(.*?)</a>\n"), U8(u8"建表失败!(#表名=select)"), true},
        {U8(u8"#表名=T3\n1=<li>(.*?</li>\n名_1=~<a>(.*?)</a>\n"),
         U8(u8"正则表达式有误：1=<li>(.*?</li> (Unmatched marking parenthesis"), true},
        {U8(u8"#表名=T4\n1=<li>.*?</li>\n名_1=~<a>(.*?</a>\n"),
         U8(u8"正则表达式有误：字段“名”的名_1=<a>(.*?</a> (Unmatched marking parenthesis"), true},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string script = folder.file("s" + std::to_string(++n) + ".txt");
        ASSERT_TRUE(WriteWholeFile(script, head + c.lines));
        const ProcessResult added = RunCli(home.path(), {"add", script});
        ASSERT_EQ(added.exitCode, 0) << added.err;
        const std::string id = added.out.substr(0, added.out.find('\n'));
        const ProcessResult run = RunCli(home.path(), {"run", id});
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_NE(run.err.find(id + ": " + c.message), std::string::npos) << run.err;
        EXPECT_EQ(RunCli(home.path(), {"sql", "select iStatus,iType from Task where ID=" + id}).out,
                  "iStatus\tiType\n2\t3\n");
        const ProcessResult test = RunCli(home.path(), {"test", script});
        EXPECT_EQ(test.exitCode, c.testFails ? 1 : 0) << test.err;
        if (c.testFails) {
            EXPECT_EQ(test.err.rfind(c.message, 0), 0u) << test.err;
        }
    }
}

}  // namespace
}  // namespace sorvik
