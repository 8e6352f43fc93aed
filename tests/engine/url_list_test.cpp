// Keyword lists, the current keyword, start URLs and search-engine pages.

#include "engine/url_list.h"

#include <gtest/gtest.h>

#include "store/db_access.h"
#include "support/core_fixture.h"
#include "support/run_process.h"
#include "text/code_page.h"

namespace sorvik {
namespace {

// Keyword encoding per template is checked through served runs (extraction_test) and the search-engine pages.
TEST(NormaliseKeywordText, SeparatorsDuplicatesAndEmptyLines) {
    EXPECT_EQ(NormaliseKeywordText("a|b&a", ""), "a\r\nb\r\n");
    EXPECT_EQ(NormaliseKeywordText("  (x)  y \r\n\r\nz", ""), "x y \r\nz\r\n");  // lines are not trimmed
    EXPECT_EQ(NormaliseKeywordText("x  y", "#是否拆分空格=1\r\n"), "x\r\ny\r\n");
    // 0x81 0x7C is one double-byte character whose second byte is "|": it is not split.
    EXPECT_EQ(NormaliseKeywordText("\x81\x7C|b", ""), "\x81\x7C\r\nb\r\n");
}

TEST(SelectCurrentKeyword, FirstKeywordCursorAndListEnd) {
    EXPECT_EQ(SelectCurrentKeyword("\r\n\r\nc\r\nd", -1, 5), "c");
    EXPECT_EQ(SelectCurrentKeyword("\r\n\r\n", 0, 0), "");
    // After "a": the CR LF that ended it is at 1, the search goes on from 3.
    EXPECT_EQ(SelectCurrentKeyword("a\r\nbb\r\ncc\r\n", 1, 3), "bb");
    // The last keyword of a list without a final CR LF is empty through a cursor.
    EXPECT_EQ(SelectCurrentKeyword("a\r\nlast", 1, 3), "");
}

TEST(BuildStartUrl, PlainRunsRangesAndTestRuns) {
    const std::string script = "#要搜索网址= http://h/page(*).htm \r\n#要搜索网址_始末值=1,5\r\n";
    StartUrl start = BuildStartUrl(script, "", 0, 0, 7);
    EXPECT_FALSE(start.keywordRun);
    EXPECT_EQ(start.url, "http://h/page1.htm");
    EXPECT_EQ(BuildStartUrl("", "", 0, 0, 7).url, "");
    // A test run may work on the editor's page only.
    const std::string testScript = "#要搜索网址=http://h/\r\n#要搜索网址_测试=<空>\r\n";
    EXPECT_EQ(BuildStartUrl(testScript, "", 0, 0, 0).url, "");
    EXPECT_EQ(BuildStartUrl(testScript, "", 0, 0, 3).url, "http://h/");
}

TEST(BuildStartUrl, KeywordRunsPutTheCurrentKeywordIn) {
    const std::string script =
        "#需要搜索关键字网址=http://h/s?q=(搜索关键字)&k=<搜索关键字>&p=(*)&v=<变量_页>\r\n"
        "#需要搜索关键字网址_始末值=2,9\r\n<变量_页>=seven\r\n";
    StartUrl start = BuildStartUrl(script, "中\r\n b \r\n", 2, 4, 7);
    EXPECT_TRUE(start.keywordRun);
    EXPECT_EQ(start.url, "http://h/s?q=b&k=b&p=2&v=seven");

    // No keywords: a keyword template alone makes a plain run unless empty keywords are allowed.
    const std::string optional =
        "#需要搜索关键字网址=http://h/s?q=<搜索关键字>\r\n#要搜索网址=http://h/all.htm\r\n";
    EXPECT_EQ(BuildStartUrl(optional, "", 0, 0, 7).url, "http://h/all.htm");
    start = BuildStartUrl(optional + "#需要搜索关键字网址_设置=显示方式,关键字可以为空\r\n", "", 0, 0, 7);
    EXPECT_TRUE(start.keywordRun);
    EXPECT_EQ(start.url, "http://h/s?q=");

    // A test run without a start URL takes the script's own keywords.
    EXPECT_EQ(
        BuildStartUrl("#需要搜索关键字网址=http://h/?q=<搜索关键字>\r\n<搜索关键字>=x y\r\n", "", 0, 0, 0)
            .url,
        "http://h/?q=x%20y");
    // A very long keyword is cut, never inside a character.
    std::string longKeyword = "a";
    for (int i = 0; i < 200; ++i)
        longKeyword += "中";
    start = BuildStartUrl("#需要搜索关键字网址=http://h/<搜索关键字>\r\n", longKeyword + "\r\n", 0, 0, 7);
    EXPECT_EQ(start.keyword.size(), 255u);
}

TEST(OpenSearchEnginePages, ChosenEnginesWithTheirTemplatesAndFlags) {
    const std::string script =
        "#搜索引擎列表=甲,乙,丙\r\n#搜索引擎列表_用户选择=甲,丙\r\n#搜索引擎列表_用默认浏览器打开=0,0,1\r\n"
        "#需要搜索关键字网址=http://a/?q=<搜索关键字>\r\n#需要搜索关键字网址2=http://b/?q=<搜索关键字>\r\n"
        "#需要搜索关键字网址3=http://c/?q=<搜索关键字>\r\n#需要搜索关键字网址3_关键字编码方式=UTF-8\r\n"
        "#需要搜索关键字网址_新闻=http://a/news?q=<搜索关键字>\r\n#搜索类别_默认值=网页\r\n";
    // The chosen engines, their encodings and browser flags: the CLI search-pages test.
    // A category uses its own templates; other engines fall back only for the default category.
    SearchEnginePages result = OpenSearchEnginePages("x", script, "新闻");
    ASSERT_EQ(result.pages.size(), 1u);
    EXPECT_EQ(result.pages[0].url, "http://a/news?q=x");
    result = OpenSearchEnginePages("x", script, "网页");
    EXPECT_EQ(result.pages.size(), 2u);
    result = OpenSearchEnginePages("x", script, "图片");
    EXPECT_EQ(result.error, "该类别不能处理搜索关键字！");
    EXPECT_TRUE(OpenSearchEnginePages("x", "#需要搜索关键字网址=http://a/\r\n").pages.empty());
}

class KeywordHistoryTest : public test::CoreTest {};

TEST_F(KeywordHistoryTest, TextAsTypedIsKeptOnce) {
    std::string error;
    EXPECT_EQ(BuildKeywordList("a|b", "", 12, &error), "a\r\nb\r\n");
    BuildKeywordList("a|b", "", 13, &error);
    BuildKeywordList("it's", "", 13, &error);
    EXPECT_EQ(error, "");
    CDbAccess db;
    EXPECT_EQ(db.SelectCount("sc_tm_SearchKey", "1=1"), 2);
    EXPECT_EQ(db.SelectTopInt("iTask", "sc_tm_SearchKey", "cSearchKey='a|b'", 0), 12);
    EXPECT_EQ(db.SelectTopInt("iTask", "sc_tm_SearchKey", "cSearchKey='it''s'", 0), 13);
}

}  // namespace
}  // namespace sorvik
