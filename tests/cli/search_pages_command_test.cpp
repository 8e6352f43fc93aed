// sorvik-cli search-pages, run as a real process.

#include <gtest/gtest.h>

#include "support/run_process.h"
#include "support/temp_dir.h"
#include "text/code_page.h"
#include "text/strings.h"

using sorvik::test::RunCliGb;
using sorvik::test::TempDir;

namespace {}  // namespace

TEST(CliSearchPages, PrintsTheChosenEnginesPagesWithTheEncodedKeyword) {
    TempDir home;
    const std::string script =
        "#任务名称=多引擎\r\n#搜索引擎列表=甲,乙,丙\r\n#搜索引擎列表_用户选择=甲,丙\r\n"
        "#搜索引擎列表_用默认浏览器打开=0,0,1\r\n"
        "#需要搜索关键字网址=http://a.test/s?q=<搜索关键字>\r\n"
        "#需要搜索关键字网址2=http://b.test/s?q=<搜索关键字>\r\n"
        "#需要搜索关键字网址3=http://c.test/find/<搜索关键字>\r\n"
        "#需要搜索关键字网址3_关键字编码方式=UTF-8\r\n";
    auto insert = RunCliGb(
        home.path(), {"sql", "insert into Task(ID,cTask,iStatus,iType,cSearchScript) values(3,'t',4,3,'" +
                                 sorvik::SqlQuote(script) + "')"});
    ASSERT_EQ(insert.exitCode, 0) << insert.err;

    auto result = RunCliGb(home.path(), {"search-pages", "3", "中国 x"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out,
              "中国 x - 甲\thttp://a.test/s?q=%d6%d0%b9%fa%20x\n"
              "中国 x - 丙\thttp://c.test/find/%E4%B8%AD%E5%9B%BD%20x\tbrowser\n");

    EXPECT_EQ(RunCliGb(home.path(), {"search-pages", "99", "x"}).exitCode, 1);
    EXPECT_EQ(RunCliGb(home.path(), {"search-pages", "3"}).exitCode, 2);
}
