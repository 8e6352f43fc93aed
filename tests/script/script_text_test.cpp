// Script key and block lookup, key writing and caret offsets.

#include "script/script_text.h"

#include <gtest/gtest.h>

#include <string>

using namespace sorvik;

TEST(GetScriptValue, FirstLineOfTheKeyWithAndWithoutAlternative) {
    const std::string script = "#表名= a b \r\n#任务名称=t\r\n";
    std::string value = "old";
    EXPECT_TRUE(GetScriptValue("#表名=", script, value));
    EXPECT_EQ(value, " a b ");                                             // values are not trimmed
    EXPECT_EQ(ScriptValue("#表名=", "#表名=other\r\n", script), " a b ");  // alternative wins
    EXPECT_EQ(ScriptValue("#表名=", script, ""), " a b ");                 // empty alternative: script
    EXPECT_EQ(ScriptValue("#表名=", "//Sorvik脚本\r\n#表名=abc"), "abc");  // last line without line end
    EXPECT_EQ(ScriptValue("#表名=", "#表名="), "");
}

TEST(GetScriptValue, KeyOnlyAtTheStartOfALine) {
    EXPECT_EQ(ScriptValue("#表名=", "  #表名=abc\r\n"), "");
    EXPECT_EQ(ScriptValue("#表名=", "#a=1\r\n//#表名=abc\r\n"), "");
    EXPECT_EQ(ScriptValue("#表名=", "#a=1 #表名=abc\r\n"), "");
    EXPECT_EQ(ScriptValue("#表名=", "#a=1\r\n#表名=abc\r\n"), "abc");
}

TEST(GetScriptValue, FirstMatchWinsAndTheEqualsSignBelongsToTheKey) {
    EXPECT_EQ(ScriptValue("#表名=", "#表名=a\r\n#表名=b\r\n"), "a");
    EXPECT_EQ(ScriptValue("#a=", "#A=1\r\n"), "");
    EXPECT_EQ(ScriptValue("#表名=", "#x=1\r\n#表名=\r\n#表名=b\r\n"), "");  // an empty first line hides b
    const std::string script = "#字段名列表_测试=a,b\r\n#表名1=t10\r\n#表名10=t1\r\n";
    EXPECT_EQ(ScriptValue("#字段名列表=", script), "");
    EXPECT_EQ(ScriptValue("#字段名列表_测试=", script), "a,b");
    EXPECT_EQ(ScriptValue("#表名1=", script), "t10");
    EXPECT_EQ(ScriptValue("#表名10=", script), "t1");
    // A key without "=" gives the rest of the line.
    EXPECT_EQ(ScriptValue("#下一页网址_", "#下一页网址=n\r\n#下一页网址_2=x\r\n"), "2=x");
    // Entry 2 absent or empty reads as empty, which is where a family reader stops.
    EXPECT_EQ(ScriptValue("标题_正则2=", "标题_正则1=a\r\n标题_正则3=c\r\n"), "");
    EXPECT_EQ(ScriptValue("标题_正则3=", "标题_正则1=a\r\n标题_正则3=c\r\n"), "c");
}

TEST(GetScriptValue, BareLineFeedCostsTheLastByte) {
    // Lines must end in CR LF: the byte before LF is taken for the CR.
    EXPECT_EQ(ScriptValue("#表名=", "#表名=abc\n#x=1\n"), "ab");
    EXPECT_EQ(ScriptValue("#x=", "#表名=abc\n#x=1\n"), "");
    EXPECT_EQ(ScriptValue("#表名=", "#表名=\n"), "");
}

TEST(GetScriptBlock, ContentBetweenOpeningAndClosingLinesOrNothing) {
    const std::string script =
        "#a=1\r\n[变量_a]{\r\nl1\r\nl2\r\n}[变量_a]\r\n#b=2\r\n[变量_b]{\r\nm\r\n}[变量_b]";
    std::string content = "old";
    EXPECT_TRUE(GetScriptBlock("[变量_a]", content, script));
    EXPECT_EQ(content, "l1\r\nl2");
    EXPECT_EQ(ScriptBlock("[变量_b]", script), "m");
    EXPECT_EQ(ScriptBlock("[变量_a]", "[变量_a]{\r\nl1\r\n"), "");         // no closing line
    EXPECT_EQ(ScriptBlock("[变量_a]", "l1\r\n}[变量_a]\r\n"), "");         // no opening line
    EXPECT_EQ(ScriptBlock("[变量_a]", "[变量_a]{\r\n}[变量_a]\r\n"), "");  // nothing inside
    EXPECT_EQ(ScriptBlock("[变量_ab]", "[变量_a]{\r\nx\r\n}[变量_a]\r\n"), "");
    EXPECT_EQ(ScriptBlock("", "{\r\nx\r\n}"), "");
}

TEST(GetScriptBlock, KeysInsideABlockAreFoundByThePlainLookup) {
    const std::string script = "[#需要搜索关键字网址]{\r\n#表名=k\r\n}[#需要搜索关键字网址]\r\n#表名=t\r\n";
    EXPECT_EQ(ScriptValue("#表名=", script), "k");
    EXPECT_EQ(ScriptBlock("[#需要搜索关键字网址]", script), "#表名=k");
}

TEST(SetScriptValue, ReplacesTheFirstLineOfTheKeyOrAppendsIt) {
    std::string script = "#a=1\r\n#表名=old\r\n#表名=second\r\n";
    const size_t offset = SetScriptValue("#表名=", script, "新表");
    EXPECT_EQ(script, "#a=1\r\n#表名=新表\r\n#表名=second\r\n");
    EXPECT_EQ(script.substr(offset, 4), "新表");

    std::string last = "#a=1\r\n#b=2";
    EXPECT_EQ(last.substr(SetScriptValue("#b=", last, "33")), "33");
    EXPECT_EQ(last, "#a=1\r\n#b=33");

    std::string missing = "#a=1\r\n  #表名=x";
    EXPECT_EQ(missing.substr(SetScriptValue("#表名=", missing, "t")), "t");
    EXPECT_EQ(missing, "#a=1\r\n  #表名=x\r\n#表名=t");
    std::string empty;
    EXPECT_EQ(empty.substr(SetScriptValue("#b=", empty, "v")), "v");
    EXPECT_EQ(ScriptValue("#b=", empty), "v");
}

TEST(SetScriptValue, AnEmptyValueRemovesTheWholeLine) {
    std::string middle = "#a=1\r\n#b=2\r\n#c=3\r\n";
    EXPECT_EQ(SetScriptValue("#b=", middle, ""), std::string::npos);
    EXPECT_EQ(middle, "#a=1\r\n#c=3\r\n");
    std::string first = "#a=1\r\n#b=2\r\n";
    SetScriptValue("#a=", first, "");
    EXPECT_EQ(first, "#b=2\r\n");
    std::string last = "#a=1\r\n#b=2";  // the last line takes the line end before it along
    SetScriptValue("#b=", last, "");
    EXPECT_EQ(last, "#a=1");
    std::string only = "#b=2";
    SetScriptValue("#b=", only, "");
    EXPECT_EQ(only, "");
    std::string unchanged = "#a=1\r\n";
    EXPECT_EQ(SetScriptValue("#b=", unchanged, ""), std::string::npos);
    EXPECT_EQ(unchanged, "#a=1\r\n");
}

TEST(ByteOffsetToCharIndex, CountsMultiByteCharactersAndCrLfAsOne) {
    const std::string text = "中a\r\nb";  // D6 D0 61 0D 0A 62
    EXPECT_EQ(ByteOffsetToCharIndex(text, 2), 1u);
    EXPECT_EQ(ByteOffsetToCharIndex(text, 5), 3u);
    EXPECT_EQ(ByteOffsetToCharIndex(text, 100), 4u);
    EXPECT_EQ(ByteOffsetToCharIndex("a\rb\nc", 5), 5u);  // a lone CR or LF is a character
    // 丄 is 81 41: its second byte has no high bit. U+1F600 is 94 39 FC 36 in GB18030.
    EXPECT_EQ(ByteOffsetToCharIndex("\x81\x41"
                                    "b",
                                    3),
              2u);
    EXPECT_EQ(ByteOffsetToCharIndex("\x94\x39\xFC\x36"
                                    "a",
                                    5),
              2u);
    EXPECT_EQ(ByteOffsetToCharIndex("\x94\x39\xFC\x36"
                                    "a",
                                    4),
              1u);
    // The caret on a written value: "//Sorvik脚本" 10, CR LF 1, "#任务名称=测试" 8, CR LF 1, CR LF 1,
    // "#表名=" 4.
    std::string script = "//Sorvik脚本\r\n#任务名称=测试\r\n";
    const size_t offset = SetScriptValue("#表名=", script, "结果");
    EXPECT_EQ(ByteOffsetToCharIndex(script, offset), 25u);
}

TEST(KeyValueForms, KeyWithoutEqualsAndFieldKeyFallingBackToLevelFormsInOrder) {
    EXPECT_EQ(GetKeyValue("#表名", "#表名1=x\r\n#表名=t\r\n"), "t");
    EXPECT_EQ(GetFieldKeyValue("标题", "正则", "标题_正则=r\r\n标题_1_正则=r1\r\n"), "r");
    EXPECT_EQ(GetFieldKeyValue("标题", "正则", "标题_2_正则=r2\r\n"), "r2");
    EXPECT_EQ(GetFieldKeyValue("标题", "正则", "标题_3_正则=r3\r\n标题_1_正则=r1\r\n"), "r1");
    EXPECT_EQ(GetFieldKeyValue("标题", "正则", "标题_正则=\r\n标题_9_正则=r9\r\n"), "r9");
    EXPECT_EQ(GetFieldKeyValue("标题", "正则", "标题_10_正则=x\r\n内容_正则=y\r\n"), "");
}
