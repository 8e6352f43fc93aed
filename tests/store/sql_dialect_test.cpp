// Jet SQL as the system writes it, translated for SQLite and run through the store on a real file.

#include "store/sql_dialect.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "store/db_access.h"
#include "support/core_fixture.h"

using namespace sorvik;

namespace {

using Rows = std::vector<std::vector<std::string>>;
using Values = std::vector<std::string>;

// UTF-8 bytes of a u8 literal (the test sources' plain literals are GB18030).
std::string Utf8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

// Jet statements run through the store (which translates them) on a real SQLite file.
class SqlDialectOnSqlite : public test::CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        Exec(
            "Create Table Goods(ID_ IDENTITY CONSTRAINT PK_Goods PRIMARY KEY,iNode_ int,cName varchar(50),"
            "nPrice decimal(10,2))");
        for (const char* row :
             {"(1,'pear',3.5)", "(1,'apple',2)", "(2,'plum',10)", "(1,'fig',7.25)", "(2,'kiwi',1)"})
            Exec(std::string("insert into Goods (iNode_,cName,nPrice) values") + row);
    }
    void Exec(const std::string& sql) {
        ASSERT_TRUE(db.ExecuteSql(sql)) << sql << "\n" << db.m_strProviderError;
    }
    // The rows as text ("NULL" for a null value).
    Rows Query(const std::string& sql) {
        Rows rows;
        auto set = db.OpenRecordset(sql);
        EXPECT_TRUE(set) << sql << "\n" << db.m_strProviderError;
        for (; set && !set->IsEof(); set->MoveNext()) {
            rows.emplace_back();
            for (size_t c = 0; c < set->ColumnCount(); ++c)
                rows.back().push_back(set->Get(c).value_or("NULL"));
        }
        return rows;
    }
    Values Column(const std::string& sql) {
        Values values;
        for (const auto& row : Query(sql))
            values.push_back(row.at(0));
        return values;
    }
    CDbAccess db;
};

}  // namespace

TEST(SqlDialect, TopIntoAndTypesAreTranslatedAndOtherStatementsPassUnchanged) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"select top 10 a from T;", "select a from T LIMIT 10;"},
        // Not a row limit: a column called top, and a percentage SQLite has no form for.
        {"select top from T", "select top from T"},
        {"select top 5 percent a from T", "select top 5 percent a from T"},
        {"select top 2 * into [T x] from X order by a",
         "CREATE TABLE [T x] AS select * from X order by a LIMIT 2"},
        {"alter table [Set] add cNote memo not null default ''",
         "alter table [Set] add cNote TEXT not null default ''"},
        // UTF-8 names, as the store hands statements over: a name right before its type.
        {Utf8(u8"create table 表(标 memo,题 char(20))"), Utf8(u8"create table 表(标 TEXT,题 TEXT)")},
        {"create table T as select * from X", "create table T as select * from X"},
    };
    for (const auto& [jet, sqlite] : cases)
        EXPECT_EQ(TranslateJetSql(jet), sqlite) << jet;
}

TEST(SqlDialect, LiteralsAndBracketedNamesAreLeftByteForByte) {
    EXPECT_EQ(TranslateJetSql("insert into T (a,b) values ('it''s a table, (','\"select top 3\" from x')"),
              "insert into T (a,b) values ('it''s a table, (','\"select top 3\" from x')");
    EXPECT_EQ(TranslateJetSql("select top 2 'select top 5 into', [select top 1 x] from T"),
              "select 'select top 5 into', [select top 1 x] from T LIMIT 2");
    // GB18030 trail bytes may be ']' or '[': a bracketed name and a plain name holding such
    // characters are read whole, so the limit still lands at the end.
    EXPECT_EQ(TranslateJetSql("select top 2 [\xB1\x5D] from T\x81\x5B order by a"),
              "select [\xB1\x5D] from T\x81\x5B order by a LIMIT 2");
    // Quotes inside bracketed names do not hide the select between them.
    EXPECT_EQ(TranslateJetSql("insert into [O'Brien] (a) select top 5 a from [x'y]"),
              "insert into [O'Brien] (a) select a from [x'y] LIMIT 5");
    EXPECT_EQ(TranslateJetSql("INSERT INTO T (a) values ('x'); SELECT TOP 2 a FROM U"),
              "INSERT INTO T (a) values ('x'); SELECT a FROM U LIMIT 2");
}

TEST_F(SqlDialectOnSqlite, MalformedStatementsPassThroughAndSqliteReportsThem) {
    for (const char* sql :
         {"select top 1 cName from Goods where cName='abc", "select top 1 * from (select cName from Goods",
          "select top 1 cName from Goods)", "create table X (a memo", "select [top 1 from Goods",
          "select top 1 cName from Goods where cName=\"abc"}) {
        EXPECT_EQ(TranslateJetSql(sql), sql);
        EXPECT_FALSE(db.ExecuteSql(sql)) << sql;
        EXPECT_FALSE(db.m_strProviderError.empty());
    }
    // Truncated statements: translated without harm, refused by SQLite.
    for (const char* sql : {"select top", "select distinct top 3", "select a into", "create table T ()"})
        EXPECT_FALSE(db.ExecuteSql(sql)) << sql;
}

TEST_F(SqlDialectOnSqlite, TopReturnsTheFirstRowsInOrderAtEveryLevel) {
    // Distinct, then limited.
    EXPECT_EQ(Column("select distinct top 2 iNode_ from Goods order by iNode_"), (Values{"1", "2"}));
    // The result grid's aliased form over a derived table.
    EXPECT_EQ(Column("select  top 1 标题 from (select cName as 标题,nPrice as 价格,iNode_ from Goods) aa "
                     "where iNode_=1 order by 价格"),
              (Values{"apple"}));
    // A limited first member of a compound select.
    EXPECT_EQ(
        Column("select top 1 cName from Goods where iNode_=1 order by nPrice union select cName from Goods "
               "where iNode_=3"),
        (Values{"apple"}));
}

TEST_F(SqlDialectOnSqlite, AutoNumbersKeepCountingAfterTheirRowsAreDeleted) {
    // An ID allocation table: one row at a time, the number must always grow.
    Exec("create table X_ID (ID counter, i long)");
    std::vector<int> ids;
    for (int n = 0; n < 3; ++n) {
        Exec("delete from X_ID");
        Exec("insert into X_ID(i) values(0)");
        const Values id = Column("select top 1 ID  from X_ID order by ID desc");
        ASSERT_EQ(id.size(), 1u);
        ids.push_back(std::stoi(id[0]));
    }
    EXPECT_EQ(ids, (std::vector<int>{1, 2, 3}));
}

TEST_F(SqlDialectOnSqlite, TextColumnsKeepTextAndNumberColumnsCompareAsNumbers) {
    Exec(
        "Create Table Kinds(ID_ IDENTITY CONSTRAINT PK_Kinds PRIMARY KEY,iNode_ int,cMemo memo,cText text,"
        "cVar varchar(10),cChar char(5),dDate datetime,nInt int,nSmall smallint,nTiny tinyint,bFlag bit,"
        "nLong long,nMoney money,nReal real,nFloat float,nDec decimal(10,2),oPic image)");
    Exec("alter table Kinds add column cMore varchar(255)");
    Exec("alter table Kinds add column cNote memo");
    Exec(
        "insert into Kinds (iNode_,cMemo,cText,cVar,cChar,dDate,nInt,nSmall,nTiny,bFlag,nLong,nMoney,nReal,"
        "nFloat,nDec,oPic,cMore,cNote) values (1,'00123','00123','00123','00123','2024-01-02 03:04:05','10',"
        "'10','10','1','10','10.50','10','10','10.25',x'00ff','00123','00123')");
    Exec("insert into Kinds (iNode_,nInt,nMoney,dDate) values (1,9,9,'2023-12-31 23:00:00')");
    EXPECT_EQ(Query("select cMemo,cText,cVar,cChar,cMore,cNote,dDate from Kinds where ID_=1"),
              (Rows{{"00123", "00123", "00123", "00123", "00123", "00123", "2024-01-02 03:04:05"}}));
    EXPECT_EQ(Query("select typeof(nSmall),typeof(bFlag),typeof(nFloat),typeof(oPic) from Kinds where ID_=1"),
              (Rows{{"integer", "integer", "real", "blob"}}));
    // Numbers sort as numbers (9 before 10), dates as their text.
    EXPECT_EQ(Column("select nInt from Kinds order by nInt"), (Values{"9", "10"}));
    EXPECT_EQ(Column("select nMoney from Kinds order by nMoney desc"), (Values{"10.5", "9"}));
    EXPECT_EQ(Column("select ID_ from Kinds where dDate >= '2024-01-01' order by ID_"), (Values{"1"}));
    // A make-table copy keeps the text affinity of the memo column.
    Exec("select cMemo,nInt into Kinds_tmp from Kinds where ID_=1");
    Exec("insert into Kinds_tmp (cMemo,nInt) values ('0042','7')");
    EXPECT_EQ(Query("select cMemo,typeof(nInt) from Kinds_tmp order by cMemo"),
              (Rows{{"00123", "integer"}, {"0042", "integer"}}));
}
