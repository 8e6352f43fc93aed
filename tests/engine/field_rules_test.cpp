#include "engine/field_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/page_fetcher.h"
#include "engine/regex_ops.h"
#include "engine/rules_test_helpers.h"
#include "support/http_test_server.h"
#include "text/code_page.h"

using namespace sorvik;
using sorvik::test::MapFetcher;
using sorvik::test::Script;

namespace {

class FieldRulesTest : public ::testing::Test {
  protected:
    FieldValue Apply(std::string_view pattern, std::string_view record, const std::string& script,
                     std::string_view keyName = "F_1") {
        return ApplyFieldRules(context, keyName, pattern, record, script);
    }
    CPageExtractor context;
    MapFetcher pages;
};

}  // namespace

// --- boundary markers ---

TEST_F(FieldRulesTest, TildeMarkerStripsBoundariesAndTrims) {
    EXPECT_EQ(Apply("~B(.*?)E", "..B x E..", "").value, "x");
    EXPECT_EQ(Apply("~B(.*?)E", "..B x E..", Script({"#是否保留字段值前后边界=1"})).value, "x");
}

TEST_F(FieldRulesTest, DollarMarkerKeepsTheWholeMatch) {
    EXPECT_EQ(Apply("$B(.*?)E", "..B x E..", "").value, "B x E");
}

TEST_F(FieldRulesTest, NoMarkerFollowsTheKeepBoundariesSetting) {
    EXPECT_EQ(Apply("B(.*?)E", "..B x E..", "").value, "x");
    EXPECT_EQ(Apply("B(.*?)E", "..B x E..", Script({"#是否保留字段值前后边界=1"})).value, "B x E");
    EXPECT_EQ(Apply("B(.*?)E", "..B x E..", Script({"#是否保留字段值前后边界=0"})).value, "x");
}

TEST_F(FieldRulesTest, EscapedDotInTheBeginStringCountsOneByte) {
    EXPECT_EQ(Apply("~a\\.b=(.*?);", "a.b=7;", "").value, "7");
}

TEST_F(FieldRulesTest, AtMarkerMakesTheValueAnAbsoluteUrl) {
    context.pageUrl = "http://h.cn/a/b/list.htm";
    EXPECT_EQ(Apply("@href=\"(.*?)\"", "<a href=\"../x.htm\">", "").value, "http://h.cn/a/x.htm");
    // A narrowing pattern may carry the marker instead.
    const auto script = Script({"F_1_1=@href='(.*?)'"});
    EXPECT_EQ(Apply("~<td>(.*?)</td>", "<td><a href='/y.htm'>y</a></td>", script).value, "http://h.cn/y.htm");
}

TEST_F(FieldRulesTest, NoMatchGivesAnEmptyValue) {
    EXPECT_EQ(Apply("~<b>(.*?)</b>", "nothing here", "").value, "");
    EXPECT_EQ(Apply("~<b>(.*?)</b>", "", "").value, "");
}

// --- which occurrence ---

TEST_F(FieldRulesTest, WhichOccurrencePicksTheNthMatchOrTheLast) {
    const std::string record = "<b>1</b><b>2</b>";
    EXPECT_EQ(Apply("~<b>(.*?)</b>", record, Script({"F_1_第几个=2"})).value, "2");
    EXPECT_EQ(Apply("~<b>(.*?)</b>", record, Script({"F_1_第几个=3"})).value, "2");
    EXPECT_EQ(Apply("~<b>(.*?)</b>", record, Script({"F_1_第几个=1"})).value, "1");
    EXPECT_EQ(Apply("~<b>(.*?)</b>", record, "").value, "1");
    // Numbers out of any sensible range stay numbers modulo 65536: past the matches, the last one.
    EXPECT_EQ(Apply("~<b>(.*?)</b>", record, Script({"F_1_第几个=99999999999999999999"})).value, "2");
    EXPECT_EQ(Apply("~<b>(.*?)</b>", record, Script({"F_1_第几个=-5"})).value, "2");
    EXPECT_EQ(Apply("~<b>(.*?)</b>", record, Script({"F_1_第几个=65537"})).value, "1");
}

// --- narrowing ---

TEST_F(FieldRulesTest, NarrowingPatternsApplyInOrderEachWithItsMarker) {
    const auto script = Script({"F_1_1=$<i>(.*?)</i>", "F_1_2=~<i>(.*?)</i>"});
    EXPECT_EQ(Apply("~<td>(.*?)</td>", "<td>a <i> b </i> c</td>", script).value, "b");
}

TEST_F(FieldRulesTest, NarrowingStopsAtTheFirstEmptyKey) {
    const auto script = Script({"F_1_1=[a-z]+", "F_1_3=z"});
    EXPECT_EQ(Apply("$.*", "abc", script).value, "abc");
}

TEST_F(FieldRulesTest, NarrowingNeverReadsATenthKey) {
    std::string script;
    for (int n = 1; n <= 9; ++n)
        script += "F_1_" + std::to_string(n) + "=$[a-z0-9]+\r\n";
    script += "F_1_10=$zzz\r\n";  // would empty the value if it were read
    EXPECT_EQ(Apply("$.*", "abc9", script).value, "abc9");
}

TEST_F(FieldRulesTest, NarrowingThatFindsNothingEmptiesTheValue) {
    EXPECT_EQ(Apply("$.*", "abc", Script({"F_1_1=[0-9]+"})).value, "");
}

// --- variable pattern ---

TEST_F(FieldRulesTest, VariablePatternGivesTheVariablesValue) {
    const auto script = Script({"<变量_v>=fixed text"});
    EXPECT_EQ(Apply("<变量_v>", "record", script).value, "fixed text");
    // The marker is taken off first.
    context.pageUrl = "http://h.cn/a/";
    const auto linkScript = Script({"<变量_u>=p.htm"});
    EXPECT_EQ(Apply("@<变量_u>", "record", linkScript).value, "http://h.cn/a/p.htm");
}

// --- linked pages ---

TEST_F(FieldRulesTest, LinkAddTakesAllMatchesOfTheLinkedPage) {
    pages.pages["http://h.cn/d.htm"] = "<li> a </li><li>b</li>";
    pages.Wire(context);
    const auto script = Script({"F_1_linkadd=~<li>(.*?)</li>"});
    EXPECT_EQ(Apply("~href=(.*?)>", "href=http://h.cn/d.htm>", script).value, "ab");
    ASSERT_EQ(pages.requests.size(), 1u);
    EXPECT_EQ(pages.requests[0].first, "http://h.cn/d.htm");
    EXPECT_EQ(context.localPageBytes, 22);
}

TEST_F(FieldRulesTest, LinkTakesTheFirstMatchAndAddsToTheRunsByteCounter) {
    pages.pages["http://h.cn/d.htm"] = "<li>a</li><li>b</li>";
    pages.Wire(context);
    std::atomic<long long> runBytes{100};
    context.pageBytes = &runBytes;
    const auto script = Script({"F_1_link=$<li>(.*?)</li>"});
    EXPECT_EQ(Apply("~href=(.*?)>", "href=http://h.cn/d.htm>", script).value, "<li>a</li>");
    EXPECT_EQ(runBytes.load(), 120);
    // "_linkadd=" wins over "_link=".
    const auto both = Script({"F_1_linkadd=~<li>(.*?)</li>", "F_1_link=$<li>(.*?)</li>"});
    EXPECT_EQ(Apply("~href=(.*?)>", "href=http://h.cn/d.htm>", both).value, "ab");
}

TEST_F(FieldRulesTest, FailedOrImpossibleLinkFetchEmptiesTheValue) {
    const auto script = Script({"F_1_link=~<li>(.*?)</li>"});
    // No connection.
    EXPECT_EQ(Apply("~href=(.*?)>", "href=http://h.cn/d.htm>", script).value, "");
    // A page that can't be fetched.
    pages.Wire(context);
    EXPECT_EQ(Apply("~href=(.*?)>", "href=http://h.cn/missing.htm>", script).value, "");
    // An empty value fetches nothing.
    EXPECT_EQ(Apply("~href=(.*?)>", "no link", script).value, "");
    EXPECT_EQ(pages.requests.size(), 1u);
}

// --- fetch modes ---

TEST_F(FieldRulesTest, TextModeStripsTagsLineEndsTabsAndIdeographicSpaces) {
    const auto script = Script({"F_1_获取=文本"});
    EXPECT_EQ(Apply("$.*", "<p> a<b>b</b>\r\nc\td　e </p>", script).value, "abcde");
    // A single LF is kept inside; the ends are trimmed.
    std::string value = "\n<i>x</i>\ny\n";
    ApplyFetchModeText(context, "文本", value);
    EXPECT_EQ(value, "x\ny");
}

TEST_F(FieldRulesTest, TextModeRemovesOnlyWholeIdeographicSpaces) {
    // 啊 is B0 A1 and 、 is A1 A2: the bytes A1 A1 across them are no space.
    std::string value = "啊、";
    ApplyFetchModeText(context, "文本", value);
    EXPECT_EQ(value, "啊、");
}

TEST_F(FieldRulesTest, HyperlinkModeTakesTheFirstLinkOrEmpties) {
    std::string value = "<a href=\"one.htm\">1</a><a href=\"two.htm\">2</a>";
    ApplyFetchModeText(context, "超级链接", value);
    EXPECT_EQ(value, "one.htm");
    value = "plain text";
    ApplyFetchModeText(context, "超级链接", value);
    EXPECT_EQ(value, "");
}

TEST_F(FieldRulesTest, EmailModeTakesTheFirstAddressOrLeavesTheValue) {
    std::string value = "<a href=\"mailto:a@b.cn?subject=x\">mail</a>";
    ApplyFetchModeText(context, "Email", value);
    EXPECT_EQ(value, "a@b.cn");
    value = "no mail";
    ApplyFetchModeText(context, "Email", value);
    EXPECT_EQ(value, "no mail");
}

TEST_F(FieldRulesTest, PageSourceModeFetchesTheResolvedFirstLine) {
    pages.pages["http://h.cn/a/p.htm"] = "PAGE";
    pages.Wire(context);
    context.pageUrl = "http://h.cn/a/list.htm";
    std::string value = "p.htm\r\nsecond line";
    ApplyFetchModeText(context, "网页源码", value);
    EXPECT_EQ(value, "PAGE");
    ASSERT_EQ(pages.requests.size(), 1u);
    EXPECT_FALSE(pages.requests[0].second);
    EXPECT_EQ(context.localPageBytes, 4);

    value = "p.htm";
    ApplyFetchModeText(context, "网页源码;UTF8", value);
    EXPECT_EQ(value, "PAGE");
    EXPECT_TRUE(pages.requests.back().second);
}

TEST_F(FieldRulesTest, PageSourceModeNeedsAConnectionAPageUrlAndAValue) {
    std::string value = "p.htm";
    context.pageUrl = "http://h.cn/";
    ApplyFetchModeText(context, "网页源码", value);  // no connection
    EXPECT_EQ(value, "p.htm");
    pages.Wire(context);
    context.pageUrl.clear();
    ApplyFetchModeText(context, "网页源码", value);  // no page URL
    EXPECT_EQ(value, "p.htm");
    context.pageUrl = "http://h.cn/";
    ApplyFetchModeText(context, "网页源码", value);  // fetch fails: unchanged
    EXPECT_EQ(value, "p.htm");
    EXPECT_EQ(pages.requests.size(), 1u);
}

TEST_F(FieldRulesTest, UnknownFetchModeDoesNothing) {
    std::string value = "<b>x</b>";
    ApplyFetchModeText(context, "图片", value);
    ApplyFetchModeText(context, "网页源码;GBK", value);
    EXPECT_EQ(value, "<b>x</b>");
}

TEST_F(FieldRulesTest, FetchModeKeyIsReadFromTheAlternativeText) {
    std::string value = "<b>x</b>";
    ApplyFetchMode(context, "F", value, Script({"F_获取=超级链接"}), Script({"F_获取=文本"}));
    EXPECT_EQ(value, "x");
}

// --- replacements and compression ---

TEST_F(FieldRulesTest, ReplacementsRunInOrderUntilTheFirstEmptySource) {
    const auto script = Script({"F_1_替换源串1=a", "F_1_替换目标1=b", "F_1_替换源串2=b",
                                "F_1_替换目标2=", "F_1_替换源串4=c", "F_1_替换目标4=X"});
    EXPECT_EQ(Apply("$.*", "abcab", script).value, "c");
}

TEST_F(FieldRulesTest, RegexReplacementsAndCompressionFollow) {
    const auto script =
        Script({"F_1_替换源串_正则1=[0-9]+", "F_1_替换目标_正则1=#", "F_1_压缩源串1=##", "F_1_压缩目标1=#"});
    EXPECT_EQ(Apply("$.*", "a12b3", script).value, "a#b#");
    EXPECT_EQ(Apply("$.*", "a1 2", script).value, "a# #");
    EXPECT_EQ(Apply("$.*", "1#", script).value, "#");  // "##" compressed
}

TEST_F(FieldRulesTest, PlainReplacementMatchesWholeCharactersOnly) {
    // "A" must not match the trail byte of 丄 (81 41).
    const auto script = Script({"F_1_替换源串1=A", "F_1_替换目标1=x"});
    EXPECT_EQ(Apply("$.*",
                    "\x81"
                    "AA",
                    script)
                  .value,
              "\x81"
              "Ax");
}

// --- conditions, initial value, operations ---

TEST_F(FieldRulesTest, SearchConditionsAcceptTheFirstNonEmptyMatch) {
    const auto script = Script({"F_1_搜索条件1=zz", "F_1_搜索条件2=[0-9]+"});
    auto field = Apply("$.*", "abc123", script);
    EXPECT_TRUE(field.satisfiesSearch);
    EXPECT_TRUE(field.Accepted());
    field = Apply("$.*", "abc", script);
    EXPECT_FALSE(field.satisfiesSearch);
    EXPECT_FALSE(field.Accepted());
}

TEST_F(FieldRulesTest, EmptyValueFailsSearchConditionsButGetsItsInitialValue) {
    const auto script = Script({"F_1_搜索条件1=.*", "F_1_初始值=none", "F_1_处理1=取值,ran"});
    const auto field = Apply("~<b>(.*?)</b>", "no match", script);
    EXPECT_FALSE(field.satisfiesSearch);
    EXPECT_EQ(field.value, "none");  // and the operation did not run on a rejected field
}

TEST_F(FieldRulesTest, DeleteConditionRejectsTheField) {
    const auto script = Script({"F_1_删除条件1=广告", "F_1_删除条件2=x"});
    auto field = Apply("$.*", "这是广告", script);
    EXPECT_TRUE(field.meetsDelete);
    EXPECT_FALSE(field.Accepted());
    field = Apply("$.*", "正文", script);
    EXPECT_FALSE(field.meetsDelete);
    EXPECT_TRUE(field.Accepted());
}

TEST_F(FieldRulesTest, OperationsRunOnAnAcceptedFieldAfterTheInitialValue) {
    const auto script = Script({"F_1_初始值=0", "F_1_处理1=比较,0,zero,other"});
    EXPECT_EQ(Apply("~<b>(.*?)</b>", "x", script).value, "zero");
    EXPECT_EQ(Apply("~<b>(.*?)</b>", "<b>5</b>", script).value, "other");
}

TEST_F(FieldRulesTest, BadPatternGivesAnEmptyValueAndIsNamed) {
    TakeRegexProblems();
    const auto field = Apply("~<b>(.*?</b>", "<b>x</b>", "");
    EXPECT_EQ(field.value, "");
    EXPECT_TRUE(field.Accepted());
    auto problems = TakeRegexProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].pattern, "<b>(.*?</b>");

    const auto rejected = Apply("$.*", "x", Script({"F_1_搜索条件1=("}));
    EXPECT_FALSE(rejected.satisfiesSearch);
    problems = TakeRegexProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].pattern, "(");
}

// --- the variable chain ---

class VariableChainTest : public FieldRulesTest {
  protected:
    std::string Chain(std::string value, const std::string& script) {
        ApplyVariableChain(context, "<变量_v>", value, script);
        return value;
    }
};

TEST_F(VariableChainTest, RegexKeyOrItsFamily) {
    EXPECT_EQ(Chain("id=12;x", Script({"<变量_v>_正则=~id=(.*?);"})), "12");
    EXPECT_EQ(Chain("a:1-2:b", Script({"<变量_v>_正则1=~:(.*?):", "<变量_v>_正则2=[0-9]$"})), "2");
    // The single key wins over the family.
    EXPECT_EQ(Chain("a:1-2:b", Script({"<变量_v>_正则=[a-z]", "<变量_v>_正则1=[0-9]"})), "a");
}

TEST_F(VariableChainTest, DateForm) {
    EXPECT_EQ(Chain("2021年3月4日", Script({"<变量_v>_格式化_日期型=1"})), "2021-3-4");
}

TEST_F(VariableChainTest, LeftPart) {
    EXPECT_EQ(Chain("abcdef", Script({"<变量_v>_取左边字符串=3"})), "abc");
    EXPECT_EQ(Chain("abcdef", Script({"<变量_v>_取左边字符串=0"})), "abcdef");
    EXPECT_EQ(Chain("abcdef", Script({"<变量_v>_取左边字符串=x"})), "abcdef");
    // Never half a character: 中文 is four bytes.
    EXPECT_EQ(Chain("中文", Script({"<变量_v>_取左边字符串=3"})), "中");
}

TEST_F(VariableChainTest, NonEmptyAndEmptyTexts) {
    const auto script = Script({"<变量_v>_非空=yes", "<变量_v>_为空=no"});
    EXPECT_EQ(Chain("x", script), "yes");
    EXPECT_EQ(Chain("", script), "no");
}

TEST_F(VariableChainTest, TailReplacement) {
    EXPECT_EQ(Chain("a/b/c.htm", Script({"<变量_v>_反向查找字符串_1=/", "<变量_v>_替换字符串=/x"})),
              "a/b/xc.htm");
    EXPECT_EQ(Chain("a(1)b(2)c", Script({"<变量_v>_反向查找字符串_1=(", "<变量_v>_反向查找字符串_2=)"})),
              "a(1)bc");
    EXPECT_EQ(Chain("a(1)b(2)c", Script({"<变量_v>_反向查找字符串_1=(", "<变量_v>_反向查找字符串_2=)",
                                         "<变量_v>_重复次数=2"})),
              "abc");
    // B before A: nothing.
    EXPECT_EQ(Chain("x)y(z", Script({"<变量_v>_反向查找字符串_1=(", "<变量_v>_反向查找字符串_2=)"})),
              "x)y(z");
    // A huge repeat count ends.
    EXPECT_EQ(Chain("a(1)b", Script({"<变量_v>_反向查找字符串_1=(", "<变量_v>_反向查找字符串_2=)",
                                     "<变量_v>_替换字符串=()", "<变量_v>_重复次数=2000000000"})),
              "a()b");
}

TEST_F(VariableChainTest, SplitChoosesAnItemAndFillsTheSystemStrings) {
    EXPECT_EQ(Chain("a|b|c", Script({"<变量_v>_拆分字符串=|,<最后一个>"})), "c");
    EXPECT_EQ(context.systemStrings, "a\nb\nc");
    EXPECT_EQ(Chain("a|b|c", Script({"<变量_v>_拆分字符串=|,5"})), "");
    EXPECT_EQ(Chain("a|b|c", Script({"<变量_v>_拆分字符串=|,2"})), "b");
    EXPECT_EQ(Chain("a|b|c", Script({"<变量_v>_拆分字符串=|,0"})), "a");
    EXPECT_EQ(Chain("a|b|c", Script({"<变量_v>_拆分字符串=|"})), "a");
    EXPECT_EQ(Chain("a,b,c", Script({"<变量_v>_拆分字符串=,,2"})), "b");
}

TEST_F(VariableChainTest, OperationsRunWithoutSave) {
    // "保存" would try the database (not open here) and report a failed insertion.
    std::vector<std::string> statuses;
    context.statusText = [&](const std::string& text) { statuses.push_back(text); };
    EXPECT_EQ(Chain("x", Script({"<变量_v>_处理1=替换字符串,普通,x,y", "<变量_v>_处理2=保存,T,/"})), "y");
    EXPECT_TRUE(statuses.empty());
}

// --- a linked page over a real HTTP server ---

TEST(FieldRulesOverHttp, LinkedPageAndPageSourceModeFetchThroughTheFetcher) {
    test::HttpTestServer server;
    ASSERT_TRUE(server.ok()) << server.error();
    server.AddPage("/detail.htm", "<html><span class=p> 12.5 </span><span class=p>13</span></html>");
    server.AddPage("/utf8.htm", reinterpret_cast<const char*>(u8"<p>中文</p>"), "text/html; charset=utf-8");

    ThreadParams params;
    PageFetcher fetcher;
    params.fetcher = &fetcher;
    CPageExtractor context;
    context.pageBytes = &params.stats.pageBytes;
    context.fetchPage = [&](const std::string& url, bool fromUtf8, std::string& page) {
        params.url = url;
        unsigned flags = kFetchPrepare | kFetchIntoMemory | kFetchQuiet;
        if (fromUtf8)
            flags |= kFetchFromUtf8;
        // A quiet fetch answers a status other than 200 with success and no text.
        if (!fetcher.GetSource(params, std::string(), flags) || params.pageText.empty())
            return false;
        page = params.pageText;
        return true;
    };
    context.pageUrl = server.Url("/list.htm");

    const auto script = Script({"F_1_linkadd=~<span class=p>(.*?)</span>"});
    const std::string record = "<a href=\"" + server.Url("/detail.htm") + "\">";
    const auto field = ApplyFieldRules(context, "F_1", "~href=\"(.*?)\"", record, script);
    EXPECT_EQ(field.value, "12.513");
    EXPECT_EQ(server.CountRequests("/detail.htm"), 1);
    EXPECT_GT(params.stats.pageBytes.load(), 0);

    std::string value = "utf8.htm";
    ApplyFetchModeText(context, "网页源码;UTF8", value);
    EXPECT_EQ(value, "<p>中文</p>");

    value = "missing.htm";
    ApplyFetchModeText(context, "网页源码", value);
    EXPECT_EQ(value, "missing.htm");
}
