// The filter bar's compiler: simple operators and the super-contains language.

#include "workbench/result_filter.h"

#include <gtest/gtest.h>

using namespace sorvik;

namespace {

// cTitle (text), cPrice (number), dDate (date), 标题 (text, by its alias).
const std::vector<ResultColumn> kColumns = ReadResultColumns(
    "#表名=T\r\n#字段名列表=a,b,c,d\r\n#字段别名列表=cTitle,cPrice,dDate,标题\r\n#字段类型=文本,数字,"
    "日期\r\n");

// "condition|orderBy|term,term|name", or "error: ...".
std::string Compile(const std::string& field, const std::string& op, const std::string& value,
                    const std::string& sort = "") {
    CompiledFilter out;
    std::string error;
    if (!CompileFilter(kColumns, {field, op, value, sort, false}, out, error))
        return "error: " + error;
    std::string terms;
    for (const std::string& term : out.searchTerms)
        terms += (terms.empty() ? "" : ",") + term;
    return out.condition + "|" + out.orderBy + "|" + terms + "|" + out.name;
}

std::string Condition(const std::string& value, const std::string& field = "cTitle") {
    CompiledFilter out;
    std::string error;
    if (!CompileFilter(kColumns, {field, "超包含", value, "", false}, out, error))
        return "error: " + error;
    return out.condition;
}

}  // namespace

TEST(ResultFilter, SimpleOperators) {
    EXPECT_EQ(Compile("cTitle", "包含", "abc"), "and cTitle like '%abc%'||abc|");
    EXPECT_EQ(Compile("dDate", ">=", "2006-01-01"), "and dDate >=cdate('2006-01-01')||2006-01-01|");
    EXPECT_EQ(Compile("cTitle", "左包含", "a"), "and cTitle like 'a%'||a|");
    EXPECT_EQ(Compile("cTitle", "右包含", "a"), "and cTitle like '%a'||a|");
    EXPECT_EQ(Compile("cTitle", "<>", "O'Neil", "降序"),
              "and cTitle <>'O''Neil'| order by cTitle desc|O'Neil|");
    EXPECT_EQ(Compile("cPrice", ">", "12.5", "升序"), "and cPrice >12.5| order by cPrice asc|12.5|");
    // An empty value gives no condition; the sort still applies.
    EXPECT_EQ(Compile("cPrice", "=", "", "升序"), "| order by cPrice asc||");
    EXPECT_EQ(Compile("cTitle", "包含", ""), "|||");
    // Values are data: a number field compared with a text gets a literal, never SQL.
    EXPECT_EQ(Compile("cPrice", ">", "1 or 1=1"), "and cPrice >'1 or 1=1'||1 or 1=1|");
    EXPECT_EQ(Compile("nosuch", "包含", "x"), "error: 找不到字段“nosuch”！");
}

TEST(ResultFilter, SuperContainsJoinsGroupsAndFields) {
    EXPECT_EQ(
        Compile("cTitle", "超包含", "news | sport & !old*"),
        " and (cTitle like'%news%' or cTitle like'%sport%' and cTitle not like'old%')||news,sport,old|");
    EXPECT_EQ(Condition("abc\\2"), " and (cPrice like'%abc%')");
    EXPECT_EQ(Condition(">=100", "cPrice"), " and (cPrice>=100)");
    EXPECT_EQ(Condition("a b"), " and (cTitle like'%a%' or cTitle like'%b%')");
    EXPECT_EQ(Condition("a and b"), " and (cTitle like'%a%' and cTitle like'%b%')");
    EXPECT_EQ(Condition("(a b) & c"), " and ((cTitle like'%a%' or cTitle like'%b%') and cTitle like'%c%')");
    EXPECT_EQ(Condition("( a ) | b"), " and ((cTitle like'%a%') or cTitle like'%b%')");
    // Fields by title (longest first) and by number, comparisons by type.
    EXPECT_EQ(Condition("x\\标题 <2006-02-01\\dDate <>5\\2 =it's\\1"),
              " and (标题 like'%x%' or dDate<'2006-02-01' or cPrice<>5 or cTitle='it''s')");
    // A joiner before the first term has nothing to join.
    EXPECT_EQ(Condition("| a"), " and (cTitle like'%a%')");
    EXPECT_EQ(Condition("& a"), " and (cTitle like'%a%')");
}

TEST(ResultFilter, SuperContainsEscapesNamesAndSorting) {
    // The words of the language as search text; escaped spaces, "=", ">" and "*".
    EXPECT_EQ(Condition("\\& \\| \\and \\or"),
              " and (cTitle like'%&%' or cTitle like'%|%' or cTitle like'%and%' or cTitle like'%or%')");
    EXPECT_EQ(Compile("cTitle", "超包含", "a\\ b \\=x \\>y 5\\*"),
              " and (cTitle like'%a b%' or cTitle like'%=x%' or cTitle like'%>y%' or cTitle like'%5*%')||"
              "a b,=x,>y,5*|");
    // The final escaped space survives the trimming; "\/" is a "/".
    EXPECT_EQ(Condition("  abc\\ "), " and (cTitle like'%abc %')");
    EXPECT_EQ(Condition("a\\/b"), " and (cTitle like'%a/b%')");
    // "//" names the condition; alone it gives no condition.
    EXPECT_EQ(Compile("cTitle", "超包含", "//查询1"), "|||查询1");
    EXPECT_EQ(Compile("cTitle", "超包含", "news //新闻 a"), " and (cTitle like'%news%')||news|新闻 a");
    EXPECT_EQ(FilterConditionName("x // 查询2 "), "查询2");
    // Sort directives in written order, then the sort box.
    EXPECT_EQ(Compile("cTitle", "超包含", "a -cPrice +\\3", "升序"),
              " and (cTitle like'%a%')| order by cPrice desc,dDate asc,cTitle asc|a|");
    // Groups that do not pair up could close the bracket that keeps the task's rows: refused.
    EXPECT_EQ(Condition("a) or (b"), "error: 过滤条件的括号不配对！");
    EXPECT_EQ(Condition("((a"), "error: 过滤条件的括号不配对！");
    // Quotes are data here too.
    EXPECT_EQ(Condition("x');drop"), " and (cTitle like'%x'');drop%')");
    EXPECT_EQ(Condition(">1;drop\\2"), " and (cPrice>'1;drop')");
}
