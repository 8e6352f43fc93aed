#include "engine/operations.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/rules_test_helpers.h"
#include "store/db_access.h"
#include "support/core_fixture.h"

using namespace sorvik;
using sorvik::test::CoreTest;
using sorvik::test::MapFetcher;
using sorvik::test::Script;

namespace {

class OperationsTest : public ::testing::Test {
  protected:
    // Runs the script's "F_处理%d=" lines on value.
    std::string Run(std::string value, const std::string& script, bool variableFlag = false) {
        ApplyOperations(context, "F", value, script, {}, variableFlag);
        return value;
    }
    // One operation line on value.
    std::string Op(std::string value, std::string_view line) {
        return Run(std::move(value), Script({"F_处理1=" + std::string(line)}));
    }

    CPageExtractor context;
};

}  // namespace

TEST_F(OperationsTest, SingleOperationsOnAValue) {
    struct Case {
        std::string value, line, expected;
    };
    const std::vector<Case> cases = {
        {"banana", "替换字符串,普通,,o", "banana"},
        {"a\r\nb\tc\\d", "替换字符串,转义,\\r\\n,|", "a|b\tc\\d"},
        {"a\tb", "替换字符串,普通,\\t,_", "a\tb"},  // the plain mode reads no escapes
        {"&nbsp;&nbsp;", "替换字符串,只含,&nbsp;,", ""},
        {"电话０１２号", "替换字符串,全角数字转半角", "电话012号"},
        {"\r\n\r\n", "替换字符串,只含,\\r\\n,-", "--"},
        {"  a b \r\n", "替换字符串,删除前后空格", "a b"},
        {"价格:12元(含税)", "替换字符串,删除开头的,(", "价格:12元"},
        {"abc", "替换字符串,倒序,a,b", "abc"},  // unknown mode
        {"old", "取值", ""},
        {"x", "为空,默认", ""},  // a missing argument is an empty text
        {"a\\b", "比较,a\\\\b,same,other", "same"},
        {"a@b.cn", "转换成链接", "<a href=mailto:a@b.cn>a@b.cn</a>"},
        {"100%s", "转换成链接", "<a target=_blank  href=100%s>100%s</a>"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Op(c.value, c.line), c.expected) << c.line;
    context.pageUrl = "http://h.cn/a/b.htm";
    MapFetcher pages;
    pages.pages["http://h.cn/a/p.htm"] = "PAGE";
    pages.Wire(context);
    EXPECT_EQ(Op("p.htm", "获取,网页源码"), "PAGE");
}

TEST_F(OperationsTest, ReplaceReturnIdMapsThroughTwoScriptLists) {
    const auto script =
        Script({"#类别名=新闻, 体育,财经", "#类别号=1,2", "F_处理1=替换字符串,返回ID,#类别名,#类别号"});
    EXPECT_EQ(Run("体育", script), "2");
    EXPECT_EQ(Run("财经", script), "");  // the second list is shorter
    EXPECT_EQ(Run("其他", script), "其他");
}

TEST_F(OperationsTest, TakeValueFromThePageALevelRecordOrAVariable) {
    context.pageSource = "<i>x,1</i><i>x,2</i>";
    // Commas inside the pattern stay part of it.
    EXPECT_EQ(Op("", "取值,正则,\\源码,全部,~<i>x,(.*?)</i>"),
              "1\x01"
              "2\x01");
    EXPECT_EQ(Op("old", "取值,正则,\\源码,全部"), "");  // no pattern
    context.levelRecords[1] = {"L1 first <b>1a</b>", "L1 current <b>1b</b>"};
    context.levelRecords[2] = {"L2 current <b>2</b>"};
    context.currentLevel = 2;
    EXPECT_EQ(Op("", "取值,正则,1,,~<b>(.*?)</b>"), "1b");
    context.currentLevel = 0;  // no level yet: level 1
    EXPECT_EQ(Op("", "取值,正则,,,~<b>(.*?)</b>"), "1b");
    const auto script = Script({"<变量_src>=id=7;id=8;", "F_处理1=取值,正则,<变量_src>,2,id=[0-9]"});
    EXPECT_EQ(Run("", script), "id=8");
}

TEST_F(OperationsTest, WhenEmptyGoesOnOnlyForAnEmptyValueAndTheListEndsAtAGap) {
    EXPECT_EQ(Run("", Script({"F_处理1=为空,默认,有值", "F_处理2=替换字符串,普通,默认,default"})), "default");
    EXPECT_EQ(Run("x", Script({"F_处理1=为空,默认,有值", "F_处理2=替换字符串,普通,有值,changed"})), "有值");
    // With "正则" the value stays.
    EXPECT_EQ(Run("x", Script({"F_处理1=为空,正则,\\源码,,x", "F_处理2=取值,never"})), "x");
    // An unknown operation is skipped; the list ends at the first missing number.
    EXPECT_EQ(Run("x", Script({"F_处理1=飞翔,a,b", "F_处理2=取值,two", "F_处理4=取值,four"})), "two");
}

TEST_F(OperationsTest, AddToMemoryUnderTheFieldNameOrAGivenName) {
    Op("v1", "加入内存");
    Op("v2", "加入内存,#价格");
    Op("v4", "加入内存");  // the same name again: the latest value
    EXPECT_EQ(*context.memory.Find("#F"), "v4");
    EXPECT_EQ(context.memory.size(), 2u);
}

// --- database operations on a real home ---

class OperationsDbTest : public CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        ASSERT_TRUE(db.ExecuteSql(
            "Create Table T(ID_ IDENTITY CONSTRAINT PK_T PRIMARY KEY,cName varchar(50),iKind int)"))
            << db.m_strProviderError;
        ASSERT_TRUE(
            db.ExecuteSql("Create Table Tree(ID_ IDENTITY CONSTRAINT PK_Tree PRIMARY KEY,cName_ "
                          "varchar(50),iGrade_ int,iParent_ int,"
                          "cFullName_ varchar(255))"));
        context.statusText = [this](const std::string& text) { statuses.push_back(text); };
    }
    std::string Op(std::string value, std::string_view line, const std::string& extra = {},
                   bool variableFlag = false) {
        ApplyOperations(context, "F", value, extra + "F_处理1=" + std::string(line) + "\r\n", {},
                        variableFlag);
        return value;
    }
    CDbAccess db;
    CPageExtractor context;
    std::vector<std::string> statuses;
};

TEST_F(OperationsDbTest, ExecuteSqlRunsTheRestOfTheLine) {
    EXPECT_EQ(Op("keep", "执行SQL,insert into T(cName,iKind) values ('a,b',1)"), "keep");
    EXPECT_EQ(db.SelectTopString("cName", "T", "iKind=1"), "a,b");
    // A failing statement changes nothing and does not throw.
    EXPECT_EQ(Op("keep", "执行SQL,insert into Missing values (1)"), "keep");
}

TEST_F(OperationsDbTest, TableDataJoinsAColumn) {
    db.ExecuteSql("insert into T(cName,iKind) values ('b',1)");
    db.ExecuteSql("insert into T(cName,iKind) values ('a',1)");
    db.ExecuteSql("insert into T(cName,iKind) values ('a',2)");
    EXPECT_EQ(Op("", "取表数据,T,cName"),
              "b\x01"
              "a\x01"
              "a");
    EXPECT_EQ(Op("", "取表数据,T,cName,唯一,\\44,,iKind=1 order by cName"), "a,b");
    EXPECT_EQ(Op("old", "取表数据,Missing,cName"), "");
}

TEST_F(OperationsDbTest, TableDataReplacesVariablesInTheConditionQuotingLiterals) {
    db.ExecuteSql("insert into T(cName,iKind) values ('it''s',3)");
    db.ExecuteSql("insert into T(cName,iKind) values ('x',4)");
    const auto vars = Script({"<变量_名>=it's", "<变量_类>=3"});
    EXPECT_EQ(Op("", "取表数据,T,iKind,,,替换变量,cName='<变量_名>'", vars), "3");
    EXPECT_EQ(Op("", "取表数据,T,cName,,,替换变量,iKind=<变量_类>", vars), "it's");
    // Without the substitute flag the token stays and the condition matches nothing.
    EXPECT_EQ(Op("", "取表数据,T,cName,,,,cName='<变量_名>'", vars), "");
    // A value from a page can't end the literal and add a statement.
    const auto hostile = Script({"<变量_名>=x'; delete from T; select '"});
    EXPECT_EQ(Op("", "取表数据,T,cName,,,替换变量,cName='<变量_名>'", hostile), "");
    EXPECT_EQ(db.SelectCount("T", "1=1"), 2);
}

TEST_F(OperationsDbTest, SaveBuildsTreeRowsOncePerPath) {
    EXPECT_EQ(Op("电器/电视\x01电器/冰箱\x01"
                 "家具",
                 "保存,Tree,/"),
              "电器/电视\x01电器/冰箱\x01"
              "家具");
    EXPECT_EQ(db.SelectCount("Tree", "1=1"), 4);
    const int parent = db.SelectTopInt("ID_", "Tree", "cFullName_='电器'", -1);
    EXPECT_EQ(db.SelectTopInt("iParent_", "Tree", "cFullName_='电器'", -1), 0);
    EXPECT_EQ(db.SelectTopInt("iParent_", "Tree", "cFullName_='电器/冰箱'", -1), parent);
    EXPECT_EQ(db.SelectTopInt("iGrade_", "Tree", "cFullName_='电器/冰箱'", -1), 2);
    EXPECT_EQ(db.SelectTopString("cName_", "Tree", "cFullName_='电器/冰箱'"), "冰箱");
    // Again: nothing new; a deeper path adds its last level only.
    Op("电器/电视\x01电器/电视/液晶", "保存,Tree,/");
    EXPECT_EQ(db.SelectCount("Tree", "1=1"), 5);
    EXPECT_EQ(db.SelectTopInt("iParent_", "Tree", "cFullName_='电器/电视/液晶'", -1),
              db.SelectTopInt("ID_", "Tree", "cFullName_='电器/电视'", -1));
    EXPECT_TRUE(statuses.empty());
    Op("x/y", "保存,Tree,/", {}, true);  // not for variables
    EXPECT_EQ(db.SelectCount("Tree", "1=1"), 5);
}

TEST_F(OperationsDbTest, SaveQuotesNamesAndReportsFailedRows) {
    Op("O'Neil/x", "保存,Tree,/");
    EXPECT_EQ(db.SelectTopString("cName_", "Tree", "cFullName_='O''Neil/x'"), "x");
    Op("a/b", "保存,NoSuchTable,/");
    ASSERT_EQ(statuses.size(), 2u);  // one per failed row
    EXPECT_EQ(statuses[0], "插入表数据失败！(NoSuchTable)");
}
