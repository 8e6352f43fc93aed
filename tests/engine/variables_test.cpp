#include "engine/variables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/rules_test_helpers.h"
#include "store/db_access.h"
#include "support/core_fixture.h"

using namespace sorvik;
using sorvik::test::CoreTest;
using sorvik::test::Script;

namespace {

class VariablesTest : public ::testing::Test {
  protected:
    std::string Substitute(std::string text, const std::string& script) {
        SubstituteVariables(text, script, {}, context);
        return text;
    }
    std::string Evaluate(std::string_view token, const std::string& script, std::string start = {}) {
        EvaluateVariable(context, token, start, script);
        return start;
    }
    CPageExtractor context;
};

}  // namespace

TEST_F(VariablesTest, DefinitionsTestLinesAndEmptyOnes) {
    EXPECT_EQ(Substitute("http://<变量_站>/a?s=<变量_站>", Script({"<变量_站>=w.cn"})),
              "http://w.cn/a?s=w.cn");
    const auto script = Script({"<变量_v>=real", "<变量_v>_测试=test"});
    context.taskNumber = 0;
    EXPECT_EQ(Evaluate("<变量_v>", script), "test");
    context.taskNumber = 12;
    EXPECT_EQ(Evaluate("<变量_v>", script), "real");
    std::string value = "v";
    EXPECT_FALSE(EvaluateVariable(context, "<变量_none>", value, ""));
    EXPECT_EQ(value, "v");
    EXPECT_EQ(Substitute("a<变量_none>b", ""), "ab");
    EXPECT_EQ(Evaluate("<变量_s>", Script({"<变量_s>=<变量_s>"})), "<变量_s>");
}

TEST_F(VariablesTest, KeywordMemoryAndTextsWithTokens) {
    // The page, blocks and variables naming variables are harvested by the variables example.
    context.searchKeyword = "手机";
    context.memory.Add("#价格", "12");
    const auto script =
        Script({"<变量_k>=<搜索关键字>", "<变量_m>=#价格", "<变量_x>=#没有", "<变量_t>=<变量_k>-<变量_k>"});
    EXPECT_EQ(Evaluate("<变量_m>", script), "12");
    EXPECT_EQ(Evaluate("<变量_x>", script, "old"), "");
    // A text with tokens is substituted in turn.
    EXPECT_EQ(Evaluate("<变量_t>", script), "<变量_k>-<变量_k>");
    EXPECT_EQ(Substitute("[<变量_t>]", script), "[手机-手机]");
}

TEST_F(VariablesTest, SearchObjectTakesTheLineAtTheTokensPlace) {
    context.searchObjectText = "北京\r\n上海\r\n";
    const auto script = Script({"#搜索类别=<变量_对象1>,<变量_对象2>", "<变量_对象1>=<变量_对象>",
                                "<变量_对象2>=<变量_对象>", "<变量_对象3>=<变量_对象>"});
    EXPECT_EQ(Evaluate("<变量_对象2>", script), "上海");
    EXPECT_EQ(Evaluate("<变量_对象3>", script, "old"), "");
    context.searchObjectText = "北京";
    EXPECT_EQ(Evaluate("<变量_对象2>", script, "old"), "");
}

TEST_F(VariablesTest, SystemStringReadsTheLatestSplit) {
    const auto script = Script({"<变量_all>=a|b|c", "<变量_all>_拆分字符串=|", "<变量_s2>=<系统变量_字符串2>",
                                "<变量_s4>=<系统变量_字符串4>"});
    EXPECT_EQ(Evaluate("<变量_all>", script), "a");
    EXPECT_EQ(Evaluate("<变量_s2>", script), "b");
    EXPECT_EQ(Evaluate("<变量_s4>", script, "old"), "");
    std::string out;
    EXPECT_FALSE(GetSystemString(context, -1, out));
}

// --- substitution limits ---

TEST_F(VariablesTest, TooLongTokenEndsTheSubstitution) {
    const std::string longToken = "<变量_" + std::string(53, 'x') + ">";  // 60 bytes
    ASSERT_EQ(longToken.size(), 60u);
    const auto script = Script({longToken + "=long", "<变量_ok>=ok"});
    const std::string text = longToken + " <变量_ok>";
    EXPECT_EQ(Substitute(text, script), text);
    // A valid token before it is replaced everywhere, also behind the long one; the long one stays.
    EXPECT_EQ(Substitute("<变量_ok> " + text, script), "ok " + longToken + " ok");
}

TEST_F(VariablesTest, UnclosedTokenIsLeftAndASelfReferringValueIsReplacedOnce) {
    EXPECT_EQ(Substitute("a <变量_open", Script({"<变量_open=x"})), "a <变量_open");
    const auto script = Script({"<变量_a>=x<变量_a>"});
    EXPECT_EQ(Substitute("[<变量_a>]", script), "[x<变量_a>]");
    const auto doubling = Script({"<变量_d>=<变量_d><变量_d>y"});
    EXPECT_EQ(Substitute("<变量_d>", doubling), "<变量_d><变量_d>y");
}

TEST_F(VariablesTest, TextsNamingEachOtherStopGrowing) {
    // Each pass doubles the text; the passes and the growth are bounded.
    const auto script = Script({"<变量_a>=<变量_b><变量_b>", "<变量_b>=<变量_a><变量_a>"});
    const std::string text = Substitute("<变量_a>", script);
    EXPECT_NE(text.find("<变量_"), std::string::npos);
    EXPECT_LE(text.size(), 17u * 1024 * 1024);
    const auto linear = Script({"<变量_a>=a<变量_b>", "<变量_b>=b<变量_a>"});
    const std::string chain = Substitute("<变量_a>", linear);
    EXPECT_EQ(chain.substr(0, 4), "abab");
    EXPECT_NE(chain.find("<变量_"), std::string::npos);
}

TEST_F(VariablesTest, RecursionThroughOperationsEnds) {
    // Each evaluation asks for itself three times: bounded by depth and by evaluation count.
    const auto script =
        Script({"<变量_r>=r", "<变量_r>_处理1=取值,正则,<变量_r>,,r", "<变量_r>_处理2=取值,正则,<变量_r>,,r",
                "<变量_r>_处理3=取值,正则,<变量_r>,,r"});
    EXPECT_EQ(Evaluate("<变量_r>", script), "r");
    EXPECT_EQ(context.variableDepth, 0);
}

TEST(SubstituteUrlVariables, WorksWithoutAPage) {
    const auto script = Script({"<变量_页>=3", "<变量_页>_测试=1", "<变量_词>=<搜索关键字>"});
    EXPECT_EQ(SubstituteUrlVariables("http://h/p<变量_页>.htm?k=<变量_词>", script, 5, "abc"),
              "http://h/p3.htm?k=abc");
    EXPECT_EQ(SubstituteUrlVariables("http://h/p<变量_页>.htm", script, 0), "http://h/p1.htm");
}

// --- record-view references ---

class FieldRefsTest : public CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        ASSERT_TRUE(db.ExecuteSql(
            "Create Table R(ID_ IDENTITY CONSTRAINT PK_R PRIMARY KEY,iNode_ int,cTitle varchar(50),"
            "cPrice varchar(50))"));
        ASSERT_TRUE(db.ExecuteSql("insert into R(iNode_,cTitle,cPrice) values (1,'电视','<字段名=cPrice>')"));
        ASSERT_TRUE(db.ExecuteSql("insert into R(iNode_,cTitle,cPrice) values (1,'冰箱','99')"));
    }
    CDbAccess db;
    const std::vector<std::string> names{"cTitle", "cPrice"};
    const std::vector<std::string> titles{"名称", "价格"};
};

TEST_F(FieldRefsTest, TitlesAndValuesAreFilledInButUnknownColumnsAreNotReadAndValuesCantLoop) {
    std::string text = "<字段标题=cTitle>:<字段名=cTitle>, <字段标题=cPrice>:<字段名=cPrice> #<字段名=ID_>";
    SubstituteFieldRefs(text, names, titles, "R", 2);
    EXPECT_EQ(text, "名称:冰箱, 价格:99 #2");
    text = "[<字段名=(select count(*) from Task)>]";
    SubstituteFieldRefs(text, names, titles, "R", 2);
    EXPECT_EQ(text, "[]");
    // A value holding its own token is replaced up to the pass bound, and ends.
    text = "<字段名=cPrice>";
    SubstituteFieldRefs(text, names, titles, "R", 1);
    EXPECT_EQ(text, "<字段名=cPrice>");
}
