// Byte-string helpers over GB18030 text.

#include "text/strings.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using namespace sorvik;

TEST(Strings, TrimRemovesBlanksTabsAndLineEndsOnly) {
    EXPECT_EQ(Trim(" \t\r\n a b \r\n"), "a b");
    EXPECT_EQ(Trim("  "), "");
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim("\xA1\xA1中\xA1\xA1"), "\xA1\xA1中\xA1\xA1");  // the ideographic space is text
}

TEST(Strings, ReplaceAllCountsAndDoesNotRescanItsOutput) {
    std::string text = "a,b,,c";
    EXPECT_EQ(ReplaceAll(text, ",", ";"), 3u);
    EXPECT_EQ(text, "a;b;;c");

    text = "aaa";
    EXPECT_EQ(ReplaceAll(text, "a", "aa"), 3u);  // the inserted "a"s are not replaced again
    EXPECT_EQ(text, "aaaaaa");

    text = "aaaa";
    EXPECT_EQ(ReplaceAll(text, "aa", "b"), 2u);  // left to right, no overlaps
    EXPECT_EQ(text, "bb");

    text = "abc";
    EXPECT_EQ(ReplaceAll(text, "", "x"), 0u);
    EXPECT_EQ(ReplaceAll(text, "z", "x"), 0u);
    EXPECT_EQ(text, "abc");
}

TEST(Strings, CaseHelpersLeaveGbCharactersAlone) {
    EXPECT_EQ(ToLowerAscii("HREF=中A"), "href=中a");
    // 丄 is 81 41 in GBK: its second byte is "A" and must not become "a" (81 61 is another character).
    EXPECT_EQ(ToLowerAscii("\x81\x41Z"), "\x81\x41z");
    EXPECT_TRUE(EqualsNoCase("Content-Type", "content-TYPE"));
    EXPECT_TRUE(EqualsNoCase("中A", "中a"));
    EXPECT_FALSE(EqualsNoCase("\x81\x41", "\x81\x61"));
    EXPECT_FALSE(EqualsNoCase("ab", "abc"));
}

TEST(Strings, FormatGrowsToAnyLength) {
    EXPECT_EQ(Format("%s_%d_%s=", "字段", 3, "正则"), "字段_3_正则=");
    const std::string longText(5000, 'x');
    EXPECT_EQ(Format("[%s]", longText.c_str()), "[" + longText + "]");
}

TEST(Strings, SplitAllKeepsEmptyItems) {
    EXPECT_EQ(SplitAll("a,,b,", ","), (std::vector<std::string>{"a", "", "b", ""}));
    EXPECT_EQ(SplitAll("", ","), (std::vector<std::string>{""}));
    EXPECT_EQ(SplitAll("a\r\nb", "\r\n"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitAll("abc", ""), (std::vector<std::string>{"abc"}));
}

TEST(Strings, SplitListTrimsItemsAndGivesNothingForABlankText) {
    EXPECT_EQ(SplitList(" 标题 , 日期,内容 "), (std::vector<std::string>{"标题", "日期", "内容"}));
    EXPECT_TRUE(SplitList("").empty());
    EXPECT_TRUE(SplitList("  \t").empty());
    EXPECT_EQ(SplitList("a,,b"), (std::vector<std::string>{"a", "", "b"}));
}

TEST(Strings, ParseLeadingIntReadsLikeAtoiAndClamps) {
    EXPECT_EQ(ParseLeadingInt("  -12abc"), -12);
    EXPECT_EQ(ParseLeadingInt("+7"), 7);
    EXPECT_EQ(ParseLeadingInt("abc"), 0);
    EXPECT_EQ(ParseLeadingInt(""), 0);
    EXPECT_EQ(ParseLeadingInt("-"), 0);
    EXPECT_EQ(ParseLeadingInt("99999999999999999999999"), LLONG_MAX);
    EXPECT_EQ(ParseLeadingInt("-99999999999999999999999"), -LLONG_MAX);
    EXPECT_EQ(ToInt("500"), 500);
    EXPECT_EQ(ToInt("3000000000"), INT_MAX);
    EXPECT_EQ(ToInt("-3000000000"), INT_MIN);
}
