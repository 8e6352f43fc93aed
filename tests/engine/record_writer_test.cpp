// The record buffer and the result-table writer on a real SQLite home.

#include "engine/record_writer.h"

#include <gtest/gtest.h>

#include "engine/rules_test_helpers.h"
#include "store/database.h"
#include "store/keyword_file.h"
#include "store/task_table.h"
#include "support/core_fixture.h"
#include "text/strings.h"

using namespace sorvik;
using sorvik::test::CoreTest;

namespace {

constexpr const char* kGoodsScript =
    "#表名=Goods\r\n#字段名列表=t,p,n\r\n#字段别名列表=标题,价格,数量\r\n#字段类型=文本(100),小数(10.2),"
    "数字\r\n";

class RecordWriterTest : public CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        run.taskNumber = 5;
        run.sharedTaskNumber = 5;
        run.window = &sink;
    }

    std::shared_ptr<const RecordTarget> Target(const std::string& script, int tableNumber = 0) {
        std::string message;
        EXPECT_TRUE(EnsureResultTable(script, tableNumber, message)) << message;
        auto target = MakeRecordTarget(ReadResultTableLayout(script, tableNumber), message);
        EXPECT_TRUE(target) << message;
        return target;
    }

    void Add(const std::shared_ptr<const RecordTarget>& target, const std::vector<std::string>& values) {
        buffer.BeginRecord(target);
        for (const std::string& v : values)
            ASSERT_TRUE(buffer.AppendValue(v));
        ASSERT_TRUE(buffer.CommitRecord());
    }

    // The rows of a query, each as its values joined by "|" (NULL shown as "<null>").
    std::vector<std::string> Rows(const std::string& sql) {
        auto rows = db.ExecuteQuery(sql);
        EXPECT_TRUE(rows.has_value()) << sql << "\n" << db.m_strProviderError;
        std::vector<std::string> out;
        for (; rows && !rows->IsEof(); rows->MoveNext()) {
            std::vector<std::string> cells;
            for (size_t i = 0; i < rows->ColumnCount(); ++i)
                cells.push_back(rows->Get(i).value_or("<null>"));
            out.push_back(Join(cells, "|"));
        }
        return out;
    }

    test::RecordingSink sink;
    ThreadParams run;
    RecordBuffer buffer;
    CDbAccess db;
};

}  // namespace

TEST(ColumnValue, LiteralsFollowTheColumnType) {
    EXPECT_EQ(ColumnValueLiteral("datetime", ""), "null");
    for (const char* number : {".5", "5.", "2.5E-2"})
        EXPECT_EQ(ColumnValueLiteral("decimal", number), number);
    // Not a number: kept as a quoted text, never pasted into the statement.
    for (const char* text : {"1); drop table Task; --", "12abc", "1e", "0x10", "."}) {
        EXPECT_EQ(ColumnValueLiteral("int", text), "'" + SqlQuote(text) + "'") << text;
    }
}

TEST_F(RecordWriterTest, BufferCountsPendingRecordsAndDropsRejectedValues) {
    auto target = Target(kGoodsScript);
    const long long before = PendingRecordCount();
    EXPECT_FALSE(buffer.AppendValue("x"));  // no record open
    buffer.BeginRecord(target);
    ASSERT_TRUE(buffer.AppendValue("abc"));
    ASSERT_TRUE(buffer.AppendValue("12"));
    buffer.DropRecord();
    EXPECT_FALSE(buffer.CommitRecord());
    Add(target, {"a", "1", "2"});
    Add(target, {"b", "1", "2"});
    EXPECT_EQ(PendingRecordCount(), before + 2);
    {
        RecordBuffer other;
        other.BeginRecord(target);
        other.AppendValue("c");
        other.CommitRecord();
        EXPECT_EQ(PendingRecordCount(), before + 3);
    }
    // A buffer that goes away with records in it leaves the count.
    EXPECT_EQ(PendingRecordCount(), before + 2);
    EXPECT_EQ(SaveRecords(run, buffer).stored, 2);
    EXPECT_EQ(PendingRecordCount(), before);
}

TEST_F(RecordWriterTest, ValuesAreStoredByColumnTypeUnderTheSharedNode) {
    run.sharedTaskNumber = 9;
    auto target = Target(kGoodsScript);
    Add(target, {"O'Neil", " 12.50 ", ""});
    Add(target, {"00123", "", " 7 "});
    Add(target, {"注入", "1); drop table Goods; --", "\x81'; drop table Task; --"});
    Add(target, {std::string("a\0b", 3), "", "1"});  // a NUL byte would cut the statement
    EXPECT_EQ(SaveRecords(run, buffer).stored, 4);
    EXPECT_EQ(Rows("select iNode_,标题,价格,数量 from Goods order by ID_"),
              (std::vector<std::string>{"9|O'Neil|12.5|<null>", "9|00123|<null>|7",
                                        "9|注入|1); drop table Goods; --|?'; drop table Task; --",
                                        "9|ab|<null>|1"}));
}

TEST_F(RecordWriterTest, ModeZeroReplacesMatchesOfTheSameNodeOnly) {
    auto target = Target(std::string(kGoodsScript) + "#唯一字段=标题\r\n");
    ASSERT_TRUE(db.ExecuteSql("insert into Goods (iNode_,标题,价格) values (6,'a',99)"));
    for (int pass = 0; pass < 2; ++pass) {
        Add(target, {"a", "1", "1"});
        Add(target, {"b", "2", "1"});
        Add(target, {"a", "3", "1"});  // the same unique value again in one batch
        EXPECT_EQ(SaveRecords(run, buffer).stored, 3);
    }
    EXPECT_EQ(Rows("select iNode_,标题,价格 from Goods order by iNode_,标题"),
              (std::vector<std::string>{"5|a|3", "5|b|2", "6|a|99"}));
}

TEST_F(RecordWriterTest, TwoUniqueFieldsMustBothMatch) {
    auto target = Target(std::string(kGoodsScript) + "#唯一字段=标题, n\r\n");  // by column and by field name
    Add(target, {"a", "1", "1"});
    Add(target, {"a", "2", "2"});
    Add(target, {"a", "3", "1"});
    Add(target, {"b", "4", ""});
    Add(target, {"b", "5", ""});  // an empty number matches the stored null
    ASSERT_EQ(SaveRecords(run, buffer).stored, 5);
    EXPECT_EQ(Rows("select 标题,价格,数量 from Goods order by 标题,数量"),
              (std::vector<std::string>{"a|3|1", "a|2|2", "b|5|<null>"}));
    BufferedRecord record{target, {"O'x", "1", ""}};
    EXPECT_EQ(UniqueCondition(record), "标题='O''x' and 数量 is null");
}

TEST_F(RecordWriterTest, AFailingRecordIsReportedAndTheRestStored) {
    auto goods = Target(kGoodsScript);
    // A target whose table lacks one of its columns: its records can't be written.
    auto broken = std::make_shared<RecordTarget>(*goods);
    broken->columns.push_back("缺少");
    broken->columnTypes.push_back("varchar");
    broken->insertPrefix = BuildInsertPrefix("Goods", broken->columns);
    Add(goods, {"a", "1", "1"});
    Add(broken, {"b", "2", "2", "x"});
    Add(goods, {"c", "3", "3"});
    const long long before = PendingRecordCount();
    const SaveResult result = SaveRecords(run, buffer);
    EXPECT_EQ(result.stored, 2);
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(PendingRecordCount(), before - 3);
    EXPECT_EQ(Rows("select 标题 from Goods order by ID_"), (std::vector<std::string>{"a", "c"}));
    const auto failures = sink.Texts(RunMessageType::kStatusText);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].rfind("任务5第2条数据写入数据库失败(共3条)!del:0 i:1 index:0\r\n"
                                "Insert into Goods (iNode_,标题,价格,数量,缺少) values (5,'b',2,2,'x')\r\n",
                                0),
              0u)
        << failures[0];
    EXPECT_GT(failures[0].size(), 120u);  // the database's reason follows
}

TEST_F(RecordWriterTest, ModeZeroNeverLosesTheOldRowWhenTheInsertFails) {
    auto target = Target(std::string(kGoodsScript) + "#唯一字段=标题\r\n");
    ASSERT_TRUE(db.ExecuteSql("insert into Goods (iNode_,标题,价格) values (5,'a',1)"));
    std::string error;
    ASSERT_TRUE(TheDatabase().ExecuteNative(
        "create trigger NoBad before insert on Goods when new.数量=13 begin select raise(abort,'bad'); end",
        error))
        << error;
    Add(target, {"a", "2", "13"});
    Add(target, {"b", "3", "1"});
    const SaveResult result = SaveRecords(run, buffer);
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(Rows("select 标题,价格 from Goods order by 标题"), (std::vector<std::string>{"a|1", "b|3"}));
    const auto failures = sink.Texts(RunMessageType::kStatusText);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("!del:1 i:1 index:0\r\nInsert into Goods"), std::string::npos) << failures[0];
}

TEST_F(RecordWriterTest, TheResumePointIsWrittenInTheSameTransactionAsTheRecords) {
    CTaskTable tasks;
    ASSERT_TRUE(tasks.InsertTask(5, "任务", TaskState::kRunning, "http://h/", 3, kGoodsScript));
    auto target = Target(kGoodsScript);
    ResumePoint resume{"http://h/list?page=3&q='x'", 3, 10, 12, "甲\r\n乙\r\n丙"};

    // The Task row refuses the update: neither records nor resume values are kept.
    std::string error;
    ASSERT_TRUE(TheDatabase().ExecuteNative(
        "create trigger NoTask before update on Task begin select raise(abort,'locked'); end", error))
        << error;
    Add(target, {"a", "1", "1"});
    Add(target, {"b", "2", "2"});
    const long long before = PendingRecordCount();
    SaveResult result = SaveRecords(run, buffer, SaveOptions{resume, {}});
    EXPECT_FALSE(result.committed);
    EXPECT_EQ(db.SelectCount("Goods", "1=1"), 0);
    EXPECT_EQ(buffer.BufferedCount(), 2u);  // kept for the next save
    EXPECT_EQ(PendingRecordCount(), before);

    ASSERT_TRUE(TheDatabase().ExecuteNative("drop trigger NoTask", error)) << error;
    Add(target, {"c", "3", "3"});
    result = SaveRecords(run, buffer, SaveOptions{resume, {}});
    EXPECT_EQ(result.stored, 3);
    EXPECT_EQ(Rows("select cNextSite,iStartPage,iSearchKeyIndexPre,iSearchKeyIndex,cMemo,iStatus from Task "
                   "where ID=5"),
              std::vector<std::string>{"http://h/list?page=3&q='x'|3|10|12|甲\r\n乙\r\n丙|1"});
    EXPECT_EQ(LoadTaskKeywords(5), "甲\r\n乙\r\n丙");

    // With an empty buffer the resume point still moves on.
    resume.startPage = 4;
    SaveRecords(run, buffer, SaveOptions{resume, {}});
    EXPECT_EQ(tasks.ReadTaskInt("iStartPage", 5), 4);
}

TEST_F(RecordWriterTest, OperationsRunAfterEachTableIsStored) {
    const std::string script = std::string(kGoodsScript) + "#表名1=Notes\r\n#表名1_字段名列表=c\r\n";
    auto goods = Target(script, 0);
    auto notes = Target(script, 1);
    Add(notes, {"n1"});
    Add(goods, {"g1", "1", "1"});
    Add(notes, {"n2"});
    std::vector<std::string> calls;
    SaveOptions options;
    options.afterTableSaved = [&](const RecordTarget& target, const std::string& name) {
        // The records are in the database when the operations run.
        calls.push_back(name + ":" + std::to_string(db.SelectCount(target.table, "1=1")));
    };
    ASSERT_EQ(SaveRecords(run, buffer, options).stored, 3);
    EXPECT_EQ(calls, (std::vector<std::string>{"Notes_保存表数据后:2", "_保存表数据后:1"}));
}
