#include "store/db_access.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <thread>
#include <vector>

#include "store/database.h"
#include "store/transaction.h"
#include "support/core_fixture.h"
#include "text/strings.h"

using namespace sorvik;
using sorvik::test::CoreTest;

namespace {

class DbAccessTest : public CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        ASSERT_TRUE(
            db.ExecuteSql("Create Table T(ID_ IDENTITY CONSTRAINT PK_T PRIMARY KEY,iNode_ int,cName "
                          "varchar(50),cNote memo)"))
            << db.m_strProviderError;
    }
    CDbAccess db;
};

}  // namespace

TEST_F(DbAccessTest, SelectJoinedJoinsFirstColumnAndKeepsNullItems) {
    EXPECT_EQ(db.SelectJoined("cName", "T", "1=1"), "");
    db.ExecuteSql("insert into T(iNode_,cName) values(1,'a')");
    db.ExecuteSql("insert into T(iNode_,cName) values(1,NULL)");
    db.ExecuteSql("insert into T(iNode_,cName) values(1,'c')");
    EXPECT_EQ(db.SelectJoined("cName", "T", "1=1 order by ID_"), "a,,c");
    // Exactly one final character is cut, whatever the separator's length.
    EXPECT_EQ(db.SelectJoinedEx("cName", "T", "1=1 order by ID_", "##", false), "a####c#");
    // Distinct, limited, filtered and ordered.
    db.ExecuteSql("insert into T(iNode_,cName) values(1,'a')");
    std::vector<std::string> limited;
    ASSERT_TRUE(db.SelectToArray("cName", "T", limited, "cName<>'c'", true, 2, "cName"));
    EXPECT_EQ(limited, (std::vector<std::string>{"a"}));
    // A number read from a text takes its decimal prefix.
    db.ExecuteSql("insert into T(iNode_,cName,cNote) values(1,'12abc',NULL)");
    EXPECT_EQ(db.SelectTopInt("cName", "T", "cName like '1%'", -7), 12);
    EXPECT_EQ(db.SelectTopInt("cNote", "T", "cName like '1%'", -7), -7);
}

TEST_F(DbAccessTest, TextsWithQuotesAndChineseRoundTripAndAreStoredAsUtf8) {
    const std::string value = "O'Brien 说“你好”";
    ASSERT_TRUE(
        db.ExecuteSql("insert into T(iNode_,cName,cNote) values(1,'" + SqlQuote(value) + "','00123')"));
    EXPECT_EQ(db.SelectCount("T", "cName='" + SqlQuote(value) + "'"), 1);

    // Any SQLite tool reads the results: the file holds UTF-8.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(TheDatabase().Path().c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(raw, "select cName from T", -1, &stmt, nullptr);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    const std::string stored(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    EXPECT_EQ(stored, reinterpret_cast<const char*>(u8"O'Brien 说“你好”"));
    sqlite3_finalize(stmt);
    sqlite3_close(raw);
}

TEST_F(DbAccessTest, FailuresLeaveTheOperationsTexts) {
    EXPECT_FALSE(db.ExecuteSql("insert into Nowhere values(1)"));
    EXPECT_EQ(db.m_strError, "执行SQL失败!\r\ninsert into Nowhere values(1)");
    EXPECT_NE(db.m_strProviderError.find("Nowhere"), std::string::npos);
    EXPECT_FALSE(db.OpenRecordset("select * from Nowhere").has_value());
    EXPECT_EQ(db.m_strError, "打开一个记录集失败!");
    EXPECT_EQ(db.SelectCount("Nowhere", "1=1"), 0);
    EXPECT_EQ(db.m_strError, "打开表失败！");
    EXPECT_FALSE(db.DeleteRecords("Nowhere", ""));
    EXPECT_EQ(db.m_strError, "删除失败！");
    // A later success clears the text; an empty clause deletes every row.
    db.ExecuteSql("insert into T(iNode_) values(1)");
    db.ExecuteSql("insert into T(iNode_) values(2)");
    ASSERT_TRUE(db.DeleteRecords("T", ""));
    EXPECT_TRUE(db.m_strError.empty());
    EXPECT_EQ(db.SelectCount("T", "1=1"), 0);
    // One statement per call: a second one is refused before anything runs, unless the caller
    // runs a script of the user's own.
    EXPECT_FALSE(db.ExecuteSql("insert into T(iNode_) values(3);drop table T;--"));
    EXPECT_EQ(db.m_strProviderError, "一次只能执行一条语句");
    EXPECT_TRUE(db.ExecuteSql("insert into T(iNode_) values(4); -- a comment"));
    EXPECT_TRUE(db.ExecuteSqlScript("insert into T(iNode_) values(5);insert into T(iNode_) values(6)"));
    EXPECT_EQ(db.SelectJoined("iNode_", "T", "1=1 order by iNode_"), "4,5,6");
}

TEST_F(DbAccessTest, TransactionsRollBackUnlessCommittedAndNestedOnesOnlyTheirOwnWork) {
    std::string error;
    {
        Transaction outer(error);
        ASSERT_TRUE(outer.IsOpen()) << error;
        db.ExecuteSql("insert into T(iNode_) values(1)");
        {
            Transaction inner(error);
            db.ExecuteSql("insert into T(iNode_) values(2)");
        }  // not committed: only the inner insert goes
        EXPECT_TRUE(outer.Commit(error)) << error;
        EXPECT_FALSE(outer.Commit(error));
    }
    EXPECT_EQ(db.SelectJoined("iNode_", "T", "1=1"), "1");
    {
        Transaction dropped(error);
        db.ExecuteSql("insert into T(iNode_) values(3)");
    }
    EXPECT_EQ(db.SelectCount("T", "1=1"), 1);
    EXPECT_EQ(TheDatabase().TransactionDepth(), 0);
}

// A successful write of a setting does not wipe the error another operation left.
TEST_F(DbAccessTest, SetTableKeepsOneRowPerKey) {
    g_strDbError.Set("取ID号失败！");
    EXPECT_TRUE(db.SetSetValue("giMaxThreadCount", "7"));
    EXPECT_TRUE(db.SetSetValue("giMaxThreadCount", "9"));
    EXPECT_TRUE(db.SetSetValue("it's", "值'1"));
    EXPECT_EQ(g_strDbError.Get(), "取ID号失败！");
    EXPECT_EQ(db.GetSetValue("it's"), "值'1");
    EXPECT_EQ(db.SelectCount("[Set]", "cKey='giMaxThreadCount'"), 1);
    ASSERT_TRUE(db.ExecuteSql("drop table [Set]"));
    EXPECT_FALSE(db.SetSetValue("k", "v"));
    EXPECT_FALSE(db.m_strError.empty());
    EXPECT_EQ(g_strDbError.Get(), db.m_strError);
    g_strDbError.Set("");
}

TEST_F(DbAccessTest, ConcurrentWritersEachWithTheirOwnObjectLoseNothing) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            CDbAccess local;
            for (int i = 0; i < 50; ++i) {
                local.ExecuteSql("insert into T(iNode_,cName) values(" + std::to_string(t) + ",'x')");
                local.SelectCount("T", "iNode_=" + std::to_string(t));
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(db.SelectCount("T", "1=1"), 200);
}
