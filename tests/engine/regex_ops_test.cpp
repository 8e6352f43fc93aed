#include "engine/regex_ops.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/split_text.h"

using namespace sorvik;

namespace {

// Forgets problems left by an earlier test on this thread.
void ForgetProblems() {
    TakeRegexProblems();
}

}  // namespace

TEST(RegexFirstMatch, MatchMarkersEmptySourceAndNoMatch) {
    std::string out = "kept";
    EXPECT_EQ(RegexFirstMatch("", "a", out, true), 1);  // an empty source leaves the output
    EXPECT_EQ(out, "kept");
    EXPECT_EQ(RegexFirstMatch("abc", "z+", out, false), -1);
    EXPECT_EQ(out, "");
    // Without the flag "~" is a plain character of the pattern.
    EXPECT_EQ(RegexFirstMatch("a~<i>b</i>", "~<i>(.*?)</i>", out, false), 1);
    EXPECT_EQ(out, "~<i>b</i>");
    // Case-sensitive; "." crosses line ends; double-byte text; source and output the same string.
    EXPECT_EQ(RegexFirstMatch("<B>x</B>", "<b>", out, false), -1);
    EXPECT_EQ(RegexFirstMatch("<td>a\r\nb</td>", "$<td>(.*?)</td>", out, true), 1);
    EXPECT_EQ(out, "<td>a\r\nb</td>");
    std::string value = "id=42;";
    RegexFirstMatch(value, "~id=(.*?);", value, true);
    EXPECT_EQ(value, "42");
}

TEST(RegexNthMatch, OverlappingCandidatesAreNotCounted) {
    // Which match a field takes (modulo 65536, the last when fewer) is checked in field_rules_test.
    std::string out;
    EXPECT_EQ(RegexNthMatch("aaaa", "aa", out, 2), 0);  // "aa" at 0, then at 2, not at 1
}

TEST(RegexAllMatches, JoinsMatchesAndEmptyMatchesMoveOn) {
    std::string out;
    EXPECT_EQ(RegexAllMatches("<b>1</b>,<b>2</b>", "~<b>(.*?)</b>", out, "\x01", true), 2);
    EXPECT_EQ(out,
              "1\x01"
              "2\x01");
    // "x*" matches empty at every position: the list ends.
    const auto matches = RegexMatchList("axxb", "x*");
    ASSERT_FALSE(matches.empty());
    EXPECT_LE(matches.size(), 5u);
}

TEST(RegexReplaceAll, RepeatsLiterallyUntilNothingChangesAndNeverLoops) {
    std::string value = "a1b22c333";
    RegexReplaceAll(value, "[0-9]+", "#");
    EXPECT_EQ(value, "a#b#c#");
    value = "x=1";  // the replacement is literal
    RegexReplaceAll(value, "(x)=([0-9])", "$2\\1");
    EXPECT_EQ(value, "$2\\1");
    value = "axa";  // the replacement holds the match
    RegexReplaceAll(value, "a", "aa");
    EXPECT_EQ(value, "aaxaa");
    value = "abc";  // an empty match changes nothing and ends
    RegexReplaceAll(value, "x*", "y");
    EXPECT_EQ(value, "abc");
    value = "ab";  // the next first match is the replacement itself
    RegexReplaceAll(value, "a+b", "aab");
    EXPECT_EQ(value, "aab");
}

TEST(StripPatternBoundaries, CutsBoundariesCountingEscapesAndDoubleBytes) {
    std::string text = "<b> x </b>";
    StripPatternBoundaries(text, "<b>(.*?)</b>");
    EXPECT_EQ(text, "x");
    text = "a.b(42)";  // an escape counts one byte
    StripPatternBoundaries(text, "a\\.b\\((.*?)\\)");
    EXPECT_EQ(text, "42");
    text = "价格：12元";
    StripPatternBoundaries(text, "价格：(.*?)元");
    EXPECT_EQ(text, "12");
    text = "<b>x</b>";  // no group: left as it is
    StripPatternBoundaries(text, "<b>.*</b>");
    EXPECT_EQ(text, "<b>x</b>");
    text = "ab";  // shorter than both boundaries
    StripPatternBoundaries(text, "abc(.*?)def");
    EXPECT_EQ(text, "");
}

TEST(RegexProblems, BadPatternIsAnEmptyMatchAndIsNamed) {
    ForgetProblems();
    std::string out = "old";
    EXPECT_EQ(RegexFirstMatch("abc", "a(b", out, false), -1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(RegexNthMatch("abc", "[z", out, 0), -1);
    EXPECT_EQ(RegexAllMatches("abc", "*", out, ",", true), -1);
    std::string value = "abc";
    RegexReplaceAll(value, "a(b", "x");
    EXPECT_EQ(value, "abc");

    const auto problems = TakeRegexProblems();
    ASSERT_EQ(problems.size(), 3u);  // each pattern once
    EXPECT_EQ(problems[0].pattern, "a(b");
    EXPECT_EQ(problems[2].pattern, "*");
    EXPECT_TRUE(TakeRegexProblems().empty());
    EXPECT_NE(FormatRegexProblems(problems).find("正则表达式有误：a(b"), std::string::npos);

    EXPECT_FALSE(IsValidPattern("a(b"));
}

TEST(RegexProblems, ProblemsAreNotedPerThread) {
    ForgetProblems();
    std::thread other([] {
        std::string out;
        RegexFirstMatch("x", "(", out, false);
        EXPECT_EQ(TakeRegexProblems().size(), 1u);
    });
    other.join();
    EXPECT_TRUE(TakeRegexProblems().empty());
}

TEST(RegexProblems, HostilePatternEndsWithoutAMatch) {
    ForgetProblems();
    const std::string run(5000, 'a');
    std::string out = "old";
    EXPECT_EQ(RegexFirstMatch(run, "(a*)*b", out, false), -1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(RegexAllMatches(run, "(a|aa)+$x", out, "", false), -1);
    const auto problems = TakeRegexProblems();
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].pattern, "(a*)*b");
    // A pattern that fails on one text still works on another.
    EXPECT_EQ(RegexFirstMatch("aab", "(a*)*b", out, false), 1);
    EXPECT_EQ(out, "aab");

    // A repeat count that would make each search cost the page size times the count is refused
    // before any search; one within the bound works, and so do braces that are no repeat.
    EXPECT_EQ(RegexFirstMatch(run, "a{1000000000}", out, false), -1);
    EXPECT_EQ(RegexFirstMatch(run, "x|a{2,99999999999999}", out, false), -1);
    const auto refused = TakeRegexProblems();
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_EQ(refused[0].reason, "repeat count over 1000: one search could run for minutes");
    EXPECT_EQ(RegexFirstMatch(run, "a{1000}", out, false), 1);
    EXPECT_EQ(RegexFirstMatch("[{5000}]", "[{]5000\\}", out, false), 1);
    EXPECT_EQ(RegexFirstMatch("a", "[a{5000}]", out, false), 1);
    EXPECT_TRUE(TakeRegexProblems().empty());
}

// Boost's own bound grows with the pattern's size squared: this one would search a 4 KB text for
// minutes. The search ends at its work budget as a noted problem, and a stop ends it (and the
// matches of a dense text) at once, as no problem.
TEST(RegexProblems, ASearchEndsAtItsWorkBudgetOrAtAStop) {
    std::string pattern = "(?:q0";
    for (int i = 1; i < 300; ++i)
        pattern += "|q" + std::to_string(i);
    pattern += ")?(.*?,){11}P";
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "a,";
    std::string out;
    TakeRegexProblems();
    EXPECT_EQ(RegexFirstMatch(text, pattern, out, false), -1);
    const auto problems = TakeRegexProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].reason.find("1000 steps per byte"), std::string::npos) << problems[0].reason;

    const std::string dense(100000, 'a');
    std::atomic<bool> stop{false};
    const RegexStopScope scope(stop);
    EXPECT_EQ(RegexMatchList(dense, "a").size(), dense.size());
    stop = true;
    EXPECT_TRUE(RegexMatchList(dense, "a").empty());
    EXPECT_EQ(RegexFirstMatch(text, pattern, out, false), -1);
    EXPECT_TRUE(TakeRegexProblems().empty());
}

TEST(RegexCache, ResultsStayTheSameWhenTheCacheOverflows) {
    std::string out;
    ASSERT_EQ(RegexFirstMatch("key=17;", "~key=(.*?);", out, true), 1);
    ASSERT_EQ(out, "17");
    for (int i = 0; i < 3000; ++i) {
        std::string pattern = "p" + std::to_string(i) + "x";
        ASSERT_EQ(RegexFirstMatch("-p" + std::to_string(i) + "x-", pattern, out, false), 1);
        ASSERT_EQ(out, pattern);
    }
    EXPECT_EQ(RegexFirstMatch("key=18;", "~key=(.*?);", out, true), 1);
    EXPECT_EQ(out, "18");
}

TEST(RegexCache, ThreadsShareCompiledPatterns) {
    std::vector<std::thread> threads;
    std::vector<int> good(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &good] {
            for (int i = 0; i < 500; ++i) {
                const std::string source = "<td>" + std::to_string(t * 1000 + i) + "</td>";
                std::string out;
                RegexFirstMatch(source, "~<td>(.*?)</td>", out, true);
                if (out == std::to_string(t * 1000 + i))
                    ++good[t];
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(good, (std::vector<int>{500, 500, 500, 500}));
}

TEST(SplitText, TrimsAppendsTheSeparatorAndKeepsEmptyItems) {
    EXPECT_EQ(SplitText("  a|b|  ", "|"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitText("a||b", "|"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitText(" ab ", ""), (std::vector<std::string>{"ab"}));
}

TEST(RegexFirstMatch, BinaryAndTruncatedTextsAreBytes) {
    const std::string binary("\xff\x00<b>x\x00y</b>\x81", 14);
    std::string out;
    EXPECT_EQ(RegexFirstMatch(binary, "~<b>(.*?)</b>", out, true), 1);
    EXPECT_EQ(out, std::string("x\x00y", 3));
    // A page cut inside a double-byte character.
    EXPECT_EQ(RegexFirstMatch("<b>中\xd6", "<b>.*", out, true), 1);
    EXPECT_EQ(out, "<b>中\xd6");
}
