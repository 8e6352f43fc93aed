// The statement guard of imported files: only the exporter's families get through.

#include "exchange/exchange_statement.h"

#include <gtest/gtest.h>

using sorvik::ExchangeStatement;
using sorvik::ParseExchangeStatement;
using sorvik::SqlValue;

namespace {

ExchangeStatement Parse(const std::string& sql) {
    ExchangeStatement statement;
    std::string error;
    EXPECT_TRUE(ParseExchangeStatement(sql, statement, error)) << sql << "\n" << error;
    return statement;
}

std::string Refusal(const std::string& sql) {
    ExchangeStatement statement;
    std::string error;
    EXPECT_FALSE(ParseExchangeStatement(sql, statement, error)) << sql;
    EXPECT_FALSE(error.empty());
    return error;
}

}  // namespace

TEST(ExchangeStatement, TheExportersFamiliesParseAndRenderAgain) {
    auto update = Parse(
        "update TreeItems set ID=100,Name='新闻 O''Neil',iTask=7 where cGerm='GABC' and cGerm is not null");
    EXPECT_EQ(update.kind, ExchangeStatement::Kind::kUpdate);
    EXPECT_EQ(update.germ, "GABC");
    EXPECT_TRUE(update.germNotNull);
    EXPECT_EQ(update.values[1].text, "新闻 O'Neil");
    update.RemoveColumn(static_cast<size_t>(update.ColumnIndex("id")));
    EXPECT_EQ(update.Render(),
              "update TreeItems set Name='新闻 O''Neil',iTask=7 where cGerm='GABC' and cGerm is not null");

    auto result =
        Parse("insert into T_结果 (iNode_,标题,价格,备注) values ('7','a;b -- c /* d','-1.5',null)");
    EXPECT_EQ(result.columnNames[1], "标题");
    EXPECT_EQ(result.values[1].text, "a;b -- c /* d");
    EXPECT_EQ(result.values[3].type, SqlValue::Type::kNull);
    auto negative = Parse("INSERT INTO [T x] ([a b],\"c\") VALUES (-3, 2.25)");
    EXPECT_EQ(negative.Render(), "insert into [T x] ([a b],\"c\") values (-3,2.25)");
    // GBK 0x81 0x5D: its second byte is "]", and the name stays whole.
    EXPECT_EQ(Parse("insert into [T\x81\x5D] (c) values (1)").tableName, "T\x81\x5D");
    // A table is created as rebuilt from its columns, in the writer's or the database's words.
    EXPECT_EQ(
        Parse("CREATE TABLE T(ID_ INTEGER CONSTRAINT PK_T PRIMARY KEY AUTOINCREMENT,iNode_ INTEGER,"
              "标题 TEXT,价格 NUMERIC(10,2),[a b])")
            .Render(),
        "create table T (ID_ INTEGER PRIMARY KEY AUTOINCREMENT,iNode_ INTEGER,标题 TEXT,价格 NUMERIC(10,2),"
        "[a b])");
    EXPECT_EQ(Parse("create table T (ID_ IDENTITY CONSTRAINT PK_T PRIMARY KEY,t varchar(100))").Render(),
              "create table T (ID_ INTEGER PRIMARY KEY AUTOINCREMENT,t varchar(100))");

    // The separator and escape bytes survive inside texts.
    const std::string value = std::string("a\x01") + "b'\x1b" + "c";
    const std::string escaped = sorvik::EscapeExchangeText(value);
    EXPECT_EQ(escaped.find('\x01'), std::string::npos);
    EXPECT_EQ(Parse("insert into T (c) values ('" + escaped + "')").values[0].text, value);
}

TEST(ExchangeStatement, EverythingElseIsRefused) {
    Refusal("delete from Task");
    Refusal("drop table Task");
    Refusal("select * from Task");
    Refusal("alter table Task add column x memo");
    Refusal("attach database '/tmp/x' as x");
    Refusal("pragma writable_schema=1");
    Refusal("insert into T (a) values (1); drop table Task");
    Refusal("insert into T (a) values (1) -- comment");
    Refusal("insert into T (a) values (1) /* c */");
    Refusal("insert into T (a) select cValue from [Set]");
    Refusal("insert into T (a) values ((select cValue from [Set]))");
    Refusal("insert into T (a) values (lower('x'))");
    Refusal("insert into T (a,b) values (1)");
    Refusal("insert into T values (1)");
    Refusal("insert into T (a) values ('unterminated)");
    Refusal("insert into [Set] (cKey,cValue) values ('a','b')");
    Refusal("insert into Task_ID (ID,i) values (99999,0)");
    Refusal("insert into sqlite_sequence (name,seq) values ('Task_ID',1)");
    Refusal("insert into PlanTask (iTaskID,dPlanDateTime) values (1,'x')");
    Refusal("update Task set iStatus=0");
    Refusal("update Task set iStatus=0 where ID=1");
    Refusal("update Task set iStatus=0 where cGerm=''");
    Refusal("update Task set iStatus=0 where cGerm='G' or 1=1");
    Refusal("update [Set] set cValue='x' where cGerm='G'");
    Refusal("update Task set iStatus=(select 1) where cGerm='G'");
    Refusal("create table X as select * from Task");
    Refusal("create table X (a int) ; drop table Task");
    Refusal("create table X (a int check (a in (select 1)))");
    // Nothing computed, defaulted or constrained: a 300-byte seed could fill the disk.
    Refusal("create table X (a int, b text as (printf('%.*c', 1000000000, 'x')) stored)");
    Refusal("create table X (a int generated always as (1))");
    Refusal("create table X (a text default (zeroblob(1000000000)))");
    Refusal("create table X (a int primary key)");
    Refusal("create table X (a int unique)");
    Refusal("create table X (a int, check (a > 0))");
    Refusal("create table X (a varchar(x))");
    Refusal("create table X (ID_ text)");
    Refusal("create table X (a int) without rowid");
    Refusal("create table TreeItems_ID (a int)");
    Refusal("create trigger t after insert on Task begin delete from Task; end");
    Refusal("create table X (a int");
    Refusal("insert into T (a) values (1)\x02");
    Refusal("");
    // Bytes that are no GB18030 character: the database would read a quote or a comma of its own.
    Refusal("insert into T\x81' (a) values (1)");
    Refusal("insert into T (a\x81,b) values (1,2)");
    Refusal("insert into [T\x81 ] (a) values (1)");
    Refusal("insert into T\xff (a) values (1)");
}

TEST(ExchangeStatement, UpgradePackagesChangeDataTablesAndAddColumnsOnly) {
    auto upgrade = [](const std::string& sql) {
        ExchangeStatement statement;
        std::string error;
        return ParseExchangeStatement(sql, statement, error, true) ? statement.Render() : "refused: " + error;
    };
    for (const char* allowed :
         {"alter table T_a add column c memo", "alter table Task add cNote memo",
          "update T_a set c='set' where d in (1,2)", "delete from ShowModule where ID=3",
          "insert into TaskMod (cTask) values ('x')", "update TaskMod set iMod=1"}) {
        EXPECT_EQ(upgrade(allowed), allowed);
    }
    for (const char* refused :
         {"drop table T_a", "alter table T_a drop column c", "alter table T_a rename to T_b",
          "delete from Task", "update TreeItems set Name='x'",
          "delete from T_a where x in (select cValue from [Set])",
          "insert into PlanTask (iTaskID) values (1)", "delete from sqlite_sequence", "pragma user_version=3",
          "update T_a set c=load_extension('x')", "alter table Task_ID add c int",
          "delete from T_a; drop table T"}) {
        EXPECT_EQ(upgrade(refused).rfind("refused: ", 0), 0u) << refused;
    }
}
