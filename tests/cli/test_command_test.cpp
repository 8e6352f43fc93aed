// sorvik-cli test, run as a real process: a test run of a script file over a page file or over
// pages served on loopback.

#include <gtest/gtest.h>

#include "support/run_process.h"
#include "support/temp_dir.h"
#include "text/code_page.h"
#include "text/file_helpers.h"

using sorvik::test::ProcessResult;
using sorvik::test::RunCliGb;
using sorvik::test::TempDir;

namespace {

class TestCommand : public ::testing::Test {
  protected:
    // Writes text (GB18030 bytes) to a file of the temp folder, as UTF-8 when utf8 is set.
    std::string Write(const std::string& name, const std::string& gbText, bool utf8) {
        const std::string path = files.file(name);
        EXPECT_TRUE(sorvik::WriteWholeFile(path, utf8 ? sorvik::GbToUtf8(gbText) : gbText));
        return path;
    }

    TempDir home;
    TempDir files;
};

TEST_F(TestCommand, TestOverAPageFilePrintsTheTraceForUtf8AndGbFiles) {
    // A UTF-8 script with bare LF line ends over a GB18030 page.
    const std::string script =
        Write("s.txt", "#表名=CliT\n1=<li>.*?</li>\n#字段名列表=名\n名=~<b>(.*?)</b>\n", true);
    const std::string page = Write("p.htm", "<ul><li><b>甲</b></li><li><b>乙</b></li></ul>", false);
    ProcessResult result = RunCliGb(home.path(), {"test", script, "--page", page});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "第1条记录(层号:1)：\r\n名:甲\r\n\r\n第2条记录(层号:1)：\r\n名:乙\r\n\r\n");

    // The same as GB18030 files with CR line ends; the UTF-8 page too.
    const std::string gbScript =
        Write("g.txt", "#表名=CliT\r1=<li>.*?</li>\r#字段名列表=名\r名=~<b>(.*?)</b>\r", false);
    const std::string utf8Page = Write("u.htm", "<ul><li><b>甲</b></li><li><b>乙</b></li></ul>", true);
    result = RunCliGb(home.path(), {"test", gbScript, "--page", utf8Page});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "第1条记录(层号:1)：\r\n名:甲\r\n\r\n第2条记录(层号:1)：\r\n名:乙\r\n\r\n");

    // A test run stores nothing: the table is prepared and stays empty.
    result = RunCliGb(home.path(), {"sql", "select count(*) as n from CliT"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "n\n0\n");
}

TEST_F(TestCommand, TestRefusesWhatItCannotRun) {
    EXPECT_EQ(RunCliGb(home.path(), {"test"}).exitCode, 2);
    EXPECT_EQ(RunCliGb(home.path(), {"test", files.file("missing.txt")}).exitCode, 1);
    const std::string empty = Write("e.txt", "\r\n  \r\n", false);
    ProcessResult result = RunCliGb(home.path(), {"test", empty});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("测试脚本不能为空！"), std::string::npos);
    const std::string noUrl = Write("n.txt", "1=<li>(.*?</li>\n", true);
    EXPECT_EQ(RunCliGb(home.path(), {"test", noUrl}).exitCode, 1);
    // A broken pattern fails the test, naming its key.
    result = RunCliGb(home.path(), {"test", noUrl, "--page", Write("p.htm", "<li>x</li>", false)});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("正则表达式有误：1=<li>(.*?</li>"), std::string::npos) << result.err;
    // A start URL that can't be fetched: the reason is printed, naming the page and the error.
    const std::string down = Write("d.txt", "#要搜索网址=http://127.0.0.1:1/x.htm\n1=<li>.*?</li>\n", true);
    result = RunCliGb(home.path(), {"test", down});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("(网络错误12029：无法连接) http://127.0.0.1:1/x.htm"), std::string::npos)
        << result.err;
}

}  // namespace
