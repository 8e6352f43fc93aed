// Result tables on a real SQLite home: type words, creation, extension, existence.

#include "engine/result_table.h"

#include <gtest/gtest.h>

#include "engine/result_columns.h"
#include "store/db_access.h"
#include "support/core_fixture.h"

using namespace sorvik;
using sorvik::test::CoreTest;

namespace {

struct ParsedType {
    bool ok = false;
    std::string type;
    std::string size;
    std::string message;
};

ParsedType Parse(std::string_view word, size_t index = 0, size_t count = 1) {
    ParsedType parsed;
    parsed.ok = ParseFieldType(index, count, word, parsed.type, parsed.size, parsed.message);
    return parsed;
}

class ResultTableTest : public CoreTest {
  protected:
    // "name type" of every column, from the database's own description of the table.
    std::vector<std::string> Columns(const std::string& table) {
        auto rows = db.ExecuteQuery("pragma table_info(" + table + ")");
        EXPECT_TRUE(rows.has_value()) << db.m_strProviderError;
        std::vector<std::string> columns;
        for (; rows && !rows->IsEof(); rows->MoveNext())
            columns.push_back(rows->Text("name") + " " + rows->Text("type"));
        return columns;
    }
    CDbAccess db;
};

}  // namespace

TEST(FieldType, WordsGiveTheirSqlTypesAndFieldsBeyondTheListAreVarchar255) {
    const std::pair<const char*, const char*> expected[] = {{"VarChar(20)", "varchar(20)"},
                                                            {"是/否", "bit"},
                                                            {"小数(10.2)", "decimal(10,2)"},
                                                            {" 文本 (30) ", "varchar(30)"}};
    for (const auto& [word, sql] : expected) {
        const ParsedType parsed = Parse(word);
        EXPECT_TRUE(parsed.ok) << word << ": " << parsed.message;
        EXPECT_EQ(parsed.type + parsed.size, sql) << word;
    }
    const ParsedType beyond = Parse("整形", 2, 2);
    EXPECT_TRUE(beyond.ok);
    EXPECT_EQ(beyond.type + beyond.size, "varchar(255)");
}

TEST(ResultTableLayout, KeysOfFirstAndFurtherTablesWithTheirFallbacks) {
    const std::string script =
        "#表名=商品\r\n#字段名列表=title,price\r\n"
        "#表名1=评论\r\n#表名1_字段名列表=who,text\r\n#表名1_字段别名列表=作者,内容\r\n#表名1_字段类型=文本,"
        "备注\r\n"
        "#表名1_唯一字段=作者\r\n#表名3=跳过\r\n";
    const std::vector<ResultTableLayout> layouts = ReadResultTableLayouts(script);
    ASSERT_EQ(layouts.size(), 2u);  // no "#表名2=": numbering stops there
    EXPECT_EQ(layouts[1].tableNumber, 1);
    EXPECT_EQ(layouts[1].columns, (std::vector<std::string>{"作者", "内容"}));
    EXPECT_EQ(layouts[1].fieldNames, (std::vector<std::string>{"who", "text"}));
    EXPECT_EQ(layouts[1].uniqueFields, std::vector<std::string>{"作者"});
    EXPECT_EQ(layouts[1].typeWords, (std::vector<std::string>{"文本", "备注"}));

    // The table's own keys come before the general ones; aliases before names.
    const ResultTableLayout first = ReadResultTableLayout(
        "#表名=T\r\n#表名_字段名列表=a , b\r\n#字段名列表=x\r\n#字段别名列表= 甲 "
        ",乙\r\n#表名_字段类型=数字\r\n#字段类型=日期\r\n",
        0);
    EXPECT_EQ(first.fieldNames, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(first.columns, (std::vector<std::string>{"甲", "乙"}));
    EXPECT_EQ(first.typeWords, std::vector<std::string>{"数字"});
}

// Readers find a field's column by the writer's rule: titled by the alias list, else the names.
TEST(ResultColumns, AliasesNameTheColumnsAndWordsFindThemByTitleThenName) {
    const std::vector<ResultColumn> aliased =
        ReadResultColumns("#表名=T\r\n#字段名列表=a,b,c\r\n#字段别名列表=b,甲\r\n#字段类型=数字\r\n");
    ASSERT_EQ(aliased.size(), 2u);  // the writer makes one column per alias
    EXPECT_EQ(aliased[1].name + aliased[1].title + aliased[1].column + "|" + aliased[1].type, "b甲甲|");
    EXPECT_EQ(aliased[0].type, "数字");
    EXPECT_EQ(FindResultColumn(aliased, " 甲 "), 1);
    EXPECT_EQ(FindResultColumn(aliased, "b"), 0);  // a title before a field name
    EXPECT_EQ(FindResultColumn(aliased, "a"), 0);
    EXPECT_EQ(FindResultColumn(aliased, "c"), -1);
    EXPECT_EQ(FindResultColumn(aliased, ""), -1);

    const std::vector<ResultColumn> plain = ReadResultColumns(
        "#表名=T\r\n#表名1=U\r\n#字段名列表=名称\r\n"
        "#表名1_字段名列表=x\r\n",
        1);
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(plain[0].name + plain[0].title + plain[0].column, "xxx");
    EXPECT_TRUE(ReadResultColumns("#字段名列表=a\r\n").empty());  // no table

    // The node of a task's records: any shared number but 0 (negative ones too).
    EXPECT_EQ(SharedTaskNumber("#共用任务号=-4\r\n", 9), -4);
    EXPECT_EQ(SharedTaskNumber("#共用任务号=0\r\n", 9), 9);
    EXPECT_EQ(SharedTaskNumber("", 9), 9);
}

TEST_F(ResultTableTest, CreatesTheTableWithIdNodeAndTypedColumns) {
    const std::string script =
        "#表名=Goods\r\n#字段名列表=t,p\r\n#字段别名列表=标题,价格\r\n#字段类型=文本(100),小数(10.2)\r\n";
    EXPECT_FALSE(ResultTableExists("Goods"));
    std::string message;
    ASSERT_TRUE(EnsureResultTable(script, 0, message)) << message;
    EXPECT_TRUE(ResultTableExists("goods"));
    EXPECT_TRUE(ResultTableExists("GOODS"));
    // varchar(100) and decimal(10,2) as the store declares them in SQLite.
    EXPECT_EQ(Columns("Goods"),
              (std::vector<std::string>{"ID_ INTEGER", "iNode_ INTEGER", "标题 TEXT", "价格 NUMERIC"}));
    // How these types behave is the SQL dialect's test and the record writer's.
    // Ensuring again changes nothing.
    ASSERT_TRUE(EnsureResultTable(script, 0, message)) << message;
    EXPECT_EQ(Columns("Goods").size(), 4u);
}

TEST_F(ResultTableTest, AThirdAliasIsAddedAsVarchar255AndRowsStay) {
    std::string message;
    ASSERT_TRUE(EnsureResultTable(
        "#表名=Goods\r\n#字段别名列表=标题,价格\r\n#字段类型=文本(100),小数(10.2)\r\n", 0, message));
    ASSERT_TRUE(db.ExecuteSql("insert into Goods (iNode_,标题,价格) values (3,'x',1)"));
    ASSERT_TRUE(EnsureResultTable(
        "#表名=Goods\r\n#字段别名列表=标题,价格,产地\r\n#字段类型=文本(100),小数(10.2)\r\n", 0, message))
        << message;
    EXPECT_EQ(Columns("Goods"), (std::vector<std::string>{"ID_ INTEGER", "iNode_ INTEGER", "标题 TEXT",
                                                          "价格 NUMERIC", "产地 TEXT"}));
    EXPECT_EQ(db.SelectTopString("标题", "Goods", "iNode_=3"), "x");
    // A column whose type changes in the script keeps its old type; names compare without case.
    ASSERT_TRUE(EnsureResultTable(
        "#表名=goods\r\n#字段别名列表=标题,价格,产地,ID_\r\n#字段类型=数字,数字,数字,数字\r\n", 0, message))
        << message;
    EXPECT_EQ(Columns("Goods").size(), 5u);
}

TEST_F(ResultTableTest, BadInputStopsWithItsMessageAndCreatesNothing) {
    const std::pair<std::string, std::string> words[] = {
        {"整形", "“整形”中系统无法识别字段类型！"},
        {"文本)(50", "“文本)(50”中缺少“)！”"},
        // A size is pasted into the statement: only digits are taken.
        {"文本(50) x); drop table Task; --(1)",
         "“文本(50) x); drop table Task; --(1)”中系统无法识别字段类型！"},
        {"文本(abc)", "“文本(abc)”中系统无法识别字段类型！"},
        {"小数(1,2,3)", "“小数(1,2,3)”中系统无法识别字段类型！"},
        {"文本(10,2)", "“文本(10,2)”中系统无法识别字段类型！"},
    };
    for (const auto& [word, expected] : words) {
        const ParsedType parsed = Parse(word);
        EXPECT_FALSE(parsed.ok) << word;
        EXPECT_EQ(parsed.message, expected) << word;
    }
    std::string message;
    const std::pair<std::string, std::string> scripts[] = {
        {"#表名=W\r\n#字段名列表=a,b\r\n#字段类型=文本,整形\r\n", "“整形”中系统无法识别字段类型！"},
        {"#字段名列表=a\r\n", "没有设置表名！(#表名=)"},
        // Names go into statements as they are: anything but a plain name is refused by its key.
        {"#表名=W\r\n#字段名列表=a\r\n#字段别名列表=a int);DROP TABLE PlanTask;--\r\n",
         "“a int);DROP TABLE "
         "PlanTask;--”不能用作名称(#字段别名列表=)：名称只能由字母、数字、下划线和汉字组成"},
        {"#表名=W(x int);--\r\n#字段名列表=a\r\n",
         "“W(x int);--”不能用作名称(#表名=)：名称只能由字母、数字、下划线和汉字组成"},
    };
    for (const auto& [script, expected] : scripts) {
        EXPECT_FALSE(EnsureResultTable(script, 0, message)) << script;
        EXPECT_EQ(message.substr(0, expected.size()), expected) << script;
        EXPECT_FALSE(ResultTableExists("W")) << script;
    }
    // A plain name the database still refuses (a key word).
    EXPECT_FALSE(EnsureResultTable("#表名=W\r\n#字段名列表=a,order\r\n", 0, message));
    EXPECT_EQ(message.rfind("建表失败!(#表名=W)\r\n", 0), 0u) << message;

    ASSERT_TRUE(EnsureResultTable("#表名=W\r\n#字段名列表=a\r\n", 0, message)) << message;
    EXPECT_FALSE(EnsureResultTable("#表名=W\r\n#字段名列表=a,b'c,d\r\n", 0, message));
    EXPECT_EQ(message, "“b'c”不能用作名称(#字段名列表=)：名称只能由字母、数字、下划线和汉字组成");
    EXPECT_FALSE(EnsureResultTable("#表名=W\r\n#字段名列表=a,select,d\r\n", 0, message));
    EXPECT_EQ(message.rfind("增加字段失败!\r\n", 0), 0u) << message;
    EXPECT_GT(message.size(), std::string("增加字段失败!\r\n").size());  // the database's reason follows
    // An extension that meets a wrong word stops there; the columns before it stay added.
    EXPECT_FALSE(
        EnsureResultTable("#表名=W\r\n#字段名列表=a,b,c\r\n#字段类型=文本,文本,整形\r\n", 0, message));
    EXPECT_EQ(message, "“整形”中系统无法识别字段类型！");
    EXPECT_EQ(Columns("W").size(), 4u);
}
