// Jet SQL as the system writes it, translated for SQLite and run against a real in-memory database.

#include "store/sql_dialect.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using namespace sorvik;

namespace {

using Rows = std::vector<std::vector<std::string>>;

// UTF-8 bytes of a u8 literal (the test sources' plain literals are GB18030).
std::string Utf8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

// An in-memory SQLite database that runs Jet statements through the translator.
class JetDb {
  public:
    JetDb() {
        sqlite3* raw = nullptr;
        sqlite3_open(":memory:", &raw);
        db_.reset(raw);
    }

    // Translates and runs one statement; its rows as text ("NULL" for a null value).
    // False with SQLite's message in error() when it fails.
    bool Run(std::string_view jetSql, Rows* rows = nullptr) {
        error_.clear();
        const std::string sql = TranslateJetSql(jetSql);
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db_.get(), sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr) !=
            SQLITE_OK) {
            error_ = sqlite3_errmsg(db_.get());
            return false;
        }
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw, sqlite3_finalize);
        if (!stmt)
            return false;  // an empty statement
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
            if (!rows)
                continue;
            std::vector<std::string> row;
            for (int c = 0; c < sqlite3_column_count(stmt.get()); ++c) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), c));
                row.emplace_back(text ? text : "NULL");
            }
            rows->push_back(std::move(row));
        }
        if (rc != SQLITE_DONE) {
            error_ = sqlite3_errmsg(db_.get());
            return false;
        }
        return true;
    }

    Rows Query(std::string_view jetSql) {
        Rows rows;
        EXPECT_TRUE(Run(jetSql, &rows)) << jetSql << "\n-> " << TranslateJetSql(jetSql) << "\n" << error_;
        return rows;
    }

    void Exec(std::string_view jetSql) { Query(jetSql); }

    // The first column of every row.
    std::vector<std::string> Column(std::string_view jetSql) {
        std::vector<std::string> values;
        for (const auto& row : Query(jetSql))
            values.push_back(row.empty() ? "" : row[0]);
        return values;
    }

    const std::string& error() const { return error_; }

  private:
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db_{nullptr, sqlite3_close};
    std::string error_;
};

using Values = std::vector<std::string>;

// A result table as the table writer creates it, with five rows in two nodes.
void CreateResultTable(JetDb& db) {
    db.Exec(
        "Create Table Goods(ID_ IDENTITY CONSTRAINT PK_Goods PRIMARY KEY,iNode_ int,cName varchar(50),"
        "nPrice decimal(10,2))");
    for (const char* row :
         {"(1,'pear',3.5)", "(1,'apple',2)", "(2,'plum',10)", "(1,'fig',7.25)", "(2,'kiwi',1)"}) {
        db.Exec(std::string("insert into Goods (iNode_,cName,nPrice) values") + row);
    }
}

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

TEST(SqlDialect, MalformedStatementsPassThroughAndSqliteReportsThem) {
    JetDb db;
    CreateResultTable(db);
    for (const char* sql :
         {"select top 1 cName from Goods where cName='abc", "select top 1 * from (select cName from Goods",
          "select top 1 cName from Goods)", "create table X (a memo", "select [top 1 from Goods",
          "select top 1 cName from Goods where cName=\"abc"}) {
        EXPECT_EQ(TranslateJetSql(sql), sql);
        EXPECT_FALSE(db.Run(sql)) << sql;
        EXPECT_FALSE(db.error().empty());
    }
    // Truncated statements: translated without harm, refused by SQLite.
    for (const char* sql : {"", "select top", "select distinct top 3", "select a into", "create table T ()"})
        EXPECT_FALSE(db.Run(sql)) << sql;
}

TEST(SqlDialectOnSqlite, TopReturnsTheFirstRowsInOrderAtEveryLevel) {
    JetDb db;
    CreateResultTable(db);
    // Distinct, then limited.
    EXPECT_EQ(db.Column("select distinct top 2 iNode_ from Goods order by iNode_"), (Values{"1", "2"}));
    // The result grid's aliased form over a derived table.
    EXPECT_EQ(
        db.Column(Utf8(u8"select  top 1 标题 from (select cName as 标题,nPrice as 价格,iNode_ from Goods) aa "
                       u8"where iNode_=1 order by 价格")),
        (Values{"apple"}));
    // A limited first member of a compound select.
    EXPECT_EQ(
        db.Column(
            "select top 1 cName from Goods where iNode_=1 order by nPrice union select cName from Goods "
            "where iNode_=3"),
        (Values{"apple"}));
}

TEST(SqlDialectOnSqlite, AutoNumbersKeepCountingAfterTheirRowsAreDeleted) {
    JetDb db;
    // The ID allocation table: one row at a time, the number must always grow.
    db.Exec("create table Task_ID (ID counter, i long)");
    std::vector<int> ids;
    for (int n = 0; n < 3; ++n) {
        db.Exec("delete from Task_ID");
        db.Exec("insert into Task_ID(i) values(0)");
        const Values id = db.Column("select top 1 ID  from Task_ID order by ID desc");
        ASSERT_EQ(id.size(), 1u);
        ids.push_back(std::stoi(id[0]));
    }
    EXPECT_EQ(ids, (std::vector<int>{1, 2, 3}));
}

TEST(SqlDialectOnSqlite, TextColumnsKeepTextAndNumberColumnsCompareAsNumbers) {
    JetDb db;
    db.Exec(
        "Create Table Kinds(ID_ IDENTITY CONSTRAINT PK_Kinds PRIMARY KEY,iNode_ int,cMemo memo,cText text,"
        "cVar varchar(10),cChar char(5),dDate datetime,nInt int,nSmall smallint,nTiny tinyint,bFlag bit,"
        "nLong long,nMoney money,nReal real,nFloat float,nDec decimal(10,2),oPic image)");
    db.Exec("alter table Kinds add column cMore varchar(255)");
    db.Exec("alter table Kinds add column cNote memo");
    db.Exec(
        "insert into Kinds (iNode_,cMemo,cText,cVar,cChar,dDate,nInt,nSmall,nTiny,bFlag,nLong,nMoney,nReal,"
        "nFloat,nDec,oPic,cMore,cNote) values (1,'00123','00123','00123','00123','2024-01-02 03:04:05','10',"
        "'10','10','1','10','10.50','10','10','10.25',x'00ff','00123','00123')");
    db.Exec("insert into Kinds (iNode_,nInt,nMoney,dDate) values (1,9,9,'2023-12-31 23:00:00')");
    EXPECT_EQ(db.Query("select cMemo,cText,cVar,cChar,cMore,cNote,dDate from Kinds where ID_=1"),
              (Rows{{"00123", "00123", "00123", "00123", "00123", "00123", "2024-01-02 03:04:05"}}));
    EXPECT_EQ(
        db.Query("select typeof(nSmall),typeof(bFlag),typeof(nFloat),typeof(oPic) from Kinds where ID_=1"),
        (Rows{{"integer", "integer", "real", "blob"}}));
    // Numbers sort as numbers (9 before 10), dates as their text.
    EXPECT_EQ(db.Column("select nInt from Kinds order by nInt"), (Values{"9", "10"}));
    EXPECT_EQ(db.Column("select nMoney from Kinds order by nMoney desc"), (Values{"10.5", "9"}));
    EXPECT_EQ(db.Column("select ID_ from Kinds where dDate >= '2024-01-01' order by ID_"), (Values{"1"}));
    // A make-table copy keeps the text affinity of the memo column.
    db.Exec("select cMemo,nInt into Kinds_tmp from Kinds where ID_=1");
    db.Exec("insert into Kinds_tmp (cMemo,nInt) values ('0042','7')");
    EXPECT_EQ(db.Query("select cMemo,typeof(nInt) from Kinds_tmp order by cMemo"),
              (Rows{{"00123", "integer"}, {"0042", "integer"}}));
}
