#include "engine/field_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/regex_ops.h"
#include "engine/rules_test_helpers.h"

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

TEST_F(FieldRulesTest, BoundaryMarkersKeepSettingAndNoMatch) {
    EXPECT_EQ(Apply("~B(.*?)E", "..B x E..", Script({"#是否保留字段值前后边界=1"})).value, "x");
    EXPECT_EQ(Apply("$B(.*?)E", "..B x E..", "").value, "B x E");
    EXPECT_EQ(Apply("B(.*?)E", "..B x E..", Script({"#是否保留字段值前后边界=1"})).value, "B x E");
    EXPECT_EQ(Apply("~a\\.b=(.*?);", "a.b=7;", "").value, "7");  // an escape counts one byte
    EXPECT_EQ(Apply("~<b>(.*?)</b>", "nothing here", "").value, "");
    // A narrowing pattern may carry the "@" marker instead.
    context.pageUrl = "http://h.cn/a/b/list.htm";
    const auto script = Script({"F_1_1=@href='(.*?)'"});
    EXPECT_EQ(Apply("~<td>(.*?)</td>", "<td><a href='/y.htm'>y</a></td>", script).value, "http://h.cn/y.htm");
}

TEST_F(FieldRulesTest, WhichOccurrencePicksTheNthMatchOrTheLast) {
    const std::string record = "<b>1</b><b>2</b>";
    EXPECT_EQ(Apply("~<b>(.*?)</b>", record, Script({"F_1_第几个=2"})).value, "2");
    EXPECT_EQ(Apply("~<b>(.*?)</b>", record, Script({"F_1_第几个=3"})).value, "2");
    // Numbers out of any sensible range stay numbers modulo 65536: past the matches, the last one.
    EXPECT_EQ(Apply("~<b>(.*?)</b>", record, Script({"F_1_第几个=99999999999999999999"})).value, "2");
    EXPECT_EQ(Apply("~<b>(.*?)</b>", record, Script({"F_1_第几个=65537"})).value, "1");
}

TEST_F(FieldRulesTest, NarrowingRunsInOrderUpToTheFirstGapAndNeverReadsATenthKey) {
    EXPECT_EQ(Apply("~<td>(.*?)</td>", "<td>a <i> b </i> c</td>",
                    Script({"F_1_1=$<i>(.*?)</i>", "F_1_2=~<i>(.*?)</i>"}))
                  .value,
              "b");
    EXPECT_EQ(Apply("$.*", "abc", Script({"F_1_1=[a-z]+", "F_1_3=z"})).value, "abc");
    EXPECT_EQ(Apply("$.*", "abc", Script({"F_1_1=[0-9]+"})).value, "");
    std::string script;
    for (int n = 1; n <= 9; ++n)
        script += "F_1_" + std::to_string(n) + "=$[a-z0-9]+\r\n";
    script += "F_1_10=$zzz\r\n";  // would empty the value if it were read
    EXPECT_EQ(Apply("$.*", "abc9", script).value, "abc9");
}

TEST_F(FieldRulesTest, VariablePatternGivesTheVariablesValue) {
    EXPECT_EQ(Apply("<变量_v>", "record", Script({"<变量_v>=fixed text"})).value, "fixed text");
    // The marker is taken off first.
    context.pageUrl = "http://h.cn/a/";
    EXPECT_EQ(Apply("@<变量_u>", "record", Script({"<变量_u>=p.htm"})).value, "http://h.cn/a/p.htm");
}

TEST_F(FieldRulesTest, LinkedPagesAddToTheByteCountersAndFailuresEmptyTheValue) {
    pages.pages["http://h.cn/d.htm"] = "<li> a </li><li>b</li>";
    std::atomic<long long> runBytes{100};
    context.pageBytes = &runBytes;
    const std::string record = "href=http://h.cn/d.htm>";
    const auto link = Script({"F_1_link=~<li>(.*?)</li>"});
    EXPECT_EQ(Apply("~href=(.*?)>", record, link).value, "");  // no connection
    pages.Wire(context);
    EXPECT_EQ(Apply("~href=(.*?)>", record, Script({"F_1_linkadd=~<li>(.*?)</li>"})).value, "ab");
    EXPECT_EQ(runBytes.load(), 122);
    // "_linkadd=" wins over "_link=".
    const auto both = Script({"F_1_linkadd=~<li>(.*?)</li>", "F_1_link=$<li>(.*?)</li>"});
    EXPECT_EQ(Apply("~href=(.*?)>", record, both).value, "ab");
    EXPECT_EQ(Apply("~href=(.*?)>", record, link).value, "a");
    EXPECT_EQ(Apply("~href=(.*?)>", "href=http://h.cn/missing.htm>", link).value, "");
    EXPECT_EQ(Apply("~href=(.*?)>", "no link", link).value, "");  // fetches nothing
    EXPECT_EQ(pages.requests.size(), 4u);
}

TEST_F(FieldRulesTest, TextHyperlinkAndEmailModes) {
    EXPECT_EQ(Apply("$.*", "<p> a<b>b</b>\r\nc\td　e </p>", Script({"F_1_获取=文本"})).value, "abcde");
    // "纯文本" decodes what "文本" keeps and keeps apart what it joins.
    EXPECT_EQ(Apply("$.*", "<p>a&amp;b\r\nc</p>", Script({"F_1_获取=纯文本"})).value, "a&b c");
    // A single LF is kept inside; the ends are trimmed.
    std::string value = "\n<i>x</i>\ny\n";
    ApplyFetchModeText(context, "文本", value);
    EXPECT_EQ(value, "x\ny");
    // 啊 is B0 A1 and 、 is A1 A2: the bytes A1 A1 across them are no ideographic space.
    value = "啊、";
    ApplyFetchModeText(context, "文本", value);
    EXPECT_EQ(value, "啊、");
    value = "<a href=\"one.htm\">1</a><a href=\"two.htm\">2</a>";
    ApplyFetchModeText(context, "超级链接", value);
    EXPECT_EQ(value, "one.htm");
    value = "<b>x</b>";  // unknown modes do nothing
    ApplyFetchModeText(context, "图片", value);
    EXPECT_EQ(value, "<b>x</b>");
    // The mode key is read from the alternative text when one is given.
    ApplyFetchMode(context, "F", value, Script({"F_获取=超级链接"}), Script({"F_获取=文本"}));
    EXPECT_EQ(value, "x");
}

TEST_F(FieldRulesTest, PageSourceModeFetchesTheResolvedFirstLineOrLeavesTheValue) {
    std::string value = "p.htm\r\nsecond line";
    context.pageUrl = "http://h.cn/a/list.htm";
    ApplyFetchModeText(context, "网页源码", value);  // no connection
    EXPECT_EQ(value, "p.htm\r\nsecond line");
    pages.pages["http://h.cn/a/p.htm"] = "PAGE";
    pages.Wire(context);
    ApplyFetchModeText(context, "网页源码", value);
    EXPECT_EQ(value, "PAGE");
    EXPECT_FALSE(pages.requests[0].second);
    value = "p.htm";
    ApplyFetchModeText(context, "网页源码;UTF8", value);
    EXPECT_EQ(value, "PAGE");
    EXPECT_TRUE(pages.requests.back().second);
    value = "q.htm";
    ApplyFetchModeText(context, "网页源码", value);  // fetch fails: unchanged
    EXPECT_EQ(value, "q.htm");
}

TEST_F(FieldRulesTest, ReplacementsThenCompressionOnWholeCharacters) {
    const auto script = Script({"F_1_替换源串1=a", "F_1_替换目标1=b", "F_1_替换源串2=b",
                                "F_1_替换目标2=", "F_1_替换源串4=c", "F_1_替换目标4=X"});
    EXPECT_EQ(Apply("$.*", "abcab", script).value, "c");  // up to the first empty source
    const auto regex =
        Script({"F_1_替换源串_正则1=[0-9]+", "F_1_替换目标_正则1=#", "F_1_压缩源串1=##", "F_1_压缩目标1=#"});
    EXPECT_EQ(Apply("$.*", "a12b3", regex).value, "a#b#");
    EXPECT_EQ(Apply("$.*", "1#", regex).value, "#");  // "##" compressed
    // "A" must not match the trail byte of 丄 (81 41).
    EXPECT_EQ(Apply("$.*",
                    "\x81"
                    "AA",
                    Script({"F_1_替换源串1=A", "F_1_替换目标1=x"}))
                  .value,
              "\x81"
              "Ax");
}

TEST_F(FieldRulesTest, ConditionsInitialValueAndOperations) {
    const auto search = Script({"F_1_搜索条件1=zz", "F_1_搜索条件2=[0-9]+"});
    EXPECT_TRUE(Apply("$.*", "abc123", search).Accepted());
    EXPECT_FALSE(Apply("$.*", "abc", search).satisfiesSearch);
    const auto remove = Script({"F_1_删除条件1=广告", "F_1_删除条件2=x"});
    auto field = Apply("$.*", "这是广告", remove);
    EXPECT_TRUE(field.meetsDelete);
    EXPECT_FALSE(field.Accepted());
    // An empty value fails the search conditions, gets its initial value, and no operation runs.
    field = Apply("~<b>(.*?)</b>", "no match",
                  Script({"F_1_搜索条件1=.*", "F_1_初始值=none", "F_1_处理1=取值,ran"}));
    EXPECT_FALSE(field.satisfiesSearch);
    EXPECT_EQ(field.value, "none");
    // On an accepted field the operations run after the initial value.
    const auto ops = Script({"F_1_初始值=0", "F_1_处理1=比较,0,zero,other"});
    EXPECT_EQ(Apply("~<b>(.*?)</b>", "x", ops).value, "zero");
    EXPECT_EQ(Apply("~<b>(.*?)</b>", "<b>5</b>", ops).value, "other");
}

// A bad field pattern in a run is checked in extraction_test; a bad condition rejects the record.
TEST_F(FieldRulesTest, BadConditionPatternRejectsAndIsNamed) {
    TakeRegexProblems();
    const auto rejected = Apply("$.*", "x", Script({"F_1_搜索条件1=("}));
    EXPECT_FALSE(rejected.satisfiesSearch);
    const auto problems = TakeRegexProblems();
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

TEST_F(VariableChainTest, RegexDateLeftPartAndEmptinessTexts) {
    EXPECT_EQ(Chain("a:1-2:b", Script({"<变量_v>_正则1=~:(.*?):", "<变量_v>_正则2=[0-9]$"})), "2");
    EXPECT_EQ(Chain("2021年3月4日", Script({"<变量_v>_格式化_日期型=1"})), "2021-3-4");
    EXPECT_EQ(Chain("abcdef", Script({"<变量_v>_取左边字符串=3"})), "abc");
    // Never half a character: 中文 is four bytes.
    EXPECT_EQ(Chain("中文", Script({"<变量_v>_取左边字符串=3"})), "中");
    const auto script = Script({"<变量_v>_非空=yes", "<变量_v>_为空=no"});
    EXPECT_EQ(Chain("x", script), "yes");
    EXPECT_EQ(Chain("", script), "no");
}

TEST_F(VariableChainTest, TailReplacement) {
    EXPECT_EQ(Chain("a/b/c.htm", Script({"<变量_v>_反向查找字符串_1=/", "<变量_v>_替换字符串=/x"})),
              "a/b/xc.htm");
    EXPECT_EQ(Chain("a(1)b(2)c", Script({"<变量_v>_反向查找字符串_1=(", "<变量_v>_反向查找字符串_2=)",
                                         "<变量_v>_重复次数=2"})),
              "abc");
    // B before A: the first pass still replaces (before A, then after B); a second pass does not.
    EXPECT_EQ(Chain("x)y(z", Script({"<变量_v>_反向查找字符串_1=(", "<变量_v>_反向查找字符串_2=)",
                                     "<变量_v>_重复次数=3"})),
              "x)yy(z");
    // A huge repeat count ends.
    EXPECT_EQ(Chain("a(1)b", Script({"<变量_v>_反向查找字符串_1=(", "<变量_v>_反向查找字符串_2=)",
                                     "<变量_v>_替换字符串=()", "<变量_v>_重复次数=2000000000"})),
              "a()b");
}

TEST_F(VariableChainTest, SplitAndOperationsWithoutSave) {
    EXPECT_EQ(Chain("a|b|c", Script({"<变量_v>_拆分字符串=|,<最后一个>"})), "c");
    EXPECT_EQ(context.systemStrings, "a\nb\nc");
    EXPECT_EQ(Chain("a|b|c", Script({"<变量_v>_拆分字符串=|,5"})), "");
    // "保存" would try the database (not open here) and report a failed insertion.
    std::vector<std::string> statuses;
    context.statusText = [&](const std::string& text) { statuses.push_back(text); };
    EXPECT_EQ(Chain("x", Script({"<变量_v>_处理1=替换字符串,普通,x,y", "<变量_v>_处理2=保存,T,/"})), "y");
    EXPECT_TRUE(statuses.empty());
}
