// The grid's script-defined commands against a real home: the menu, fixed values, yes/no, null
// dates, AddDay, submits to a loopback HTTP server, and the mailing's recipients.

#include "workbench/grid_commands.h"

#include <gtest/gtest.h>

#include "engine/result_table.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "support/core_fixture.h"
#include "support/http_test_server.h"
#include "text/strings.h"

using namespace sorvik;

namespace {

const char kScript[] =
    "#任务名称=商家\r\n#表名=Firms\r\n#字段名列表=name,ok,due,start,mail\r\n"
    "#字段别名列表=名称,审核,到期,开始,邮箱\r\n#字段类型=文本,是/否,日期,日期,文本\r\n"
    "#表格_右键菜单_#追加=通过,,清除到期,顺延,登记,群发,全部群发,空\r\n"
    "#表格_右键菜单_通过=审核,1\r\n#表格_右键菜单_清除到期=到期\r\n"
    "#表格_右键菜单_顺延=到期,AddDay,开始,7\r\n#表格_右键菜单_群发=审核,SendMail,邮箱\r\n"
    "#表格_右键菜单_全部群发=,SendMail,邮箱,<全部>\r\n";

class GridCommandsTest : public sorvik::test::CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        std::string message;
        ASSERT_TRUE(EnsureResultTable(kScript, 0, message)) << message;
        // A row of another task shares the table and is never touched.
        for (const char* row : {"7,'甲''s 店','2006-07-18','a@x.org'", "7,'乙','2006-12-28','b@x.org'",
                                "7,'丙','','a@x.org'", "8,'丁','','d@x.org'"}) {
            ASSERT_TRUE(db_.ExecuteSql(Format("insert into Firms(iNode_,名称,开始,邮箱) values(%s)", row)));
        }
    }
    void AddTask(const std::string& script) {
        ASSERT_TRUE(CTaskTable().InsertTask(7, "t", TaskState::kEnded, "", 3, script));
    }
    // Runs the command at position on the rows; "ok" or the message.
    std::string Run(int position, const std::vector<int>& rows, GridCommandResult& result) {
        GridCommand command;
        if (!ReadGridCommand(CTaskTable().ReadTaskScript(7), position, command))
            return "no command";
        return RunGridCommand(7, command, rows, result) ? "ok" : result.message;
    }
    std::string Column(const char* column) {
        return db_.SelectJoined(Format("ifnull(%s,'null')", column), "Firms", "1=1 order by ID_");
    }

    CDbAccess db_;
};

TEST_F(GridCommandsTest, MenuValuesYesNoNullDatesAndAddDay) {
    AddTask(std::string(kScript) + "#表格_右键菜单_登记=名称,O'Neil\r\n");
    EXPECT_EQ(Join(GridCommandMenu(kScript), "|"), "通过||清除到期|顺延|登记|群发|全部群发|空");
    GridCommand command;
    EXPECT_FALSE(ReadGridCommand(kScript, 1, command));  // the separator
    EXPECT_FALSE(ReadGridCommand(kScript, 7, command));  // no definition

    GridCommandResult result;
    EXPECT_EQ(Run(0, {}, result), "请选择记录!");
    ASSERT_EQ(Run(0, {3, 1}, result), "ok");
    ASSERT_EQ(result.updates.size(), 2u);
    EXPECT_EQ(result.updates[0].rowId, 3);
    EXPECT_EQ(result.updates[1].display, "√");
    EXPECT_EQ(Column("审核"), "1,null,1,null");

    ASSERT_EQ(Run(3, {1, 2, 3}, result), "ok");  // 2006-07-18 + 7; over the year's end; no date
    EXPECT_EQ(Column("到期"), "2006-07-25,2007-01-04,null,null");
    EXPECT_EQ(result.updates[2].display, "");
    ASSERT_EQ(Run(2, {1}, result), "ok");
    EXPECT_EQ(Column("到期"), "null,2007-01-04,null,null");

    // A quote in a value is stored as written.
    ASSERT_EQ(Run(4, {2}, result), "ok");
    EXPECT_EQ(Column("名称"), "甲's 店,O'Neil,丙,丁");

    ASSERT_TRUE(db_.ExecuteSql("delete from Task where ID=7"));
    AddTask(std::string(kScript) + "#表格_右键菜单_登记=电话,1\r\n");
    EXPECT_EQ(Run(4, {1}, result), "电话不存在！");
    EXPECT_EQ(Column("名称"), "甲's 店,O'Neil,丙,丁");
}

TEST_F(GridCommandsTest, SubmitsEncodePlaceholdersAndPostTheQuery) {
    test::HttpTestServer server;
    ASSERT_TRUE(server.ok()) << server.error();
    server.AddPage("/add.asp", "ok");
    server.AddPage("/log", "ok");
    AddTask(std::string(kScript) + "#表格_右键菜单_登记1=#提交:" + server.Url("/add.asp") +
            "?n=<@名称>&m=<@mail>&ok=<@审核>\r\n#表格_右键菜单_登记1_设置=POST\r\n#表格_右键菜单_登记2=" +
            server.Url("/log") + "?who=<@名称>\r\n");
    ASSERT_TRUE(db_.ExecuteSql("update Firms set 名称='中国 a&b=c+d',审核=1 where ID_=2"));
    GridCommandResult result;
    ASSERT_EQ(Run(4, {2, 1}, result), "ok");
    EXPECT_EQ(result.submitted, 4);
    const std::vector<test::HttpRequestRecord> requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    // Each definition for every row in selection order; the first as a form body.
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "/add.asp");
    EXPECT_EQ(requests[0].body, "n=%d6%d0%b9%fa%20a%26b%3dc%2bd&m=b@x.org&ok=%a1%cc");
    EXPECT_EQ(requests[1].body, "n=%bc%d7's%20%b5%ea&m=a@x.org&ok=");
    // The further definition the same way (a folder-like path gets its "/").
    EXPECT_EQ(requests[3].method, "POST");
    EXPECT_EQ(requests[3].target, "/log/");
    EXPECT_EQ(requests[3].body, "who=%bc%d7's%20%b5%ea");

    // GET keeps the query in the address; a placeholder no column has sends nothing.
    ASSERT_TRUE(db_.ExecuteSql("delete from Task where ID=7"));
    AddTask(std::string(kScript) + "#表格_右键菜单_登记=#提交=" + server.Url("/add.asp") + "?a=<@名称>\r\n");
    ASSERT_EQ(Run(4, {2}, result), "ok");
    ASSERT_EQ(server.Requests().size(), 5u);
    EXPECT_EQ(server.Requests()[4].method, "GET");
    EXPECT_EQ(server.Requests()[4].target, "/add.asp?a=%d6%d0%b9%fa%20a%26b%3dc%2bd");
    ASSERT_TRUE(db_.ExecuteSql("delete from Task where ID=7"));
    AddTask(std::string(kScript) + "#表格_右键菜单_登记=#提交=" + server.Url("/add.asp") +
            "?a=<@名称>&b=<@电话>\r\n");
    EXPECT_EQ(Run(4, {1}, result), "电话不存在！");
    EXPECT_EQ(server.Requests().size(), 5u);
}

TEST_F(GridCommandsTest, SendMailPreparesTheRecipients) {
    AddTask(kScript);
    GridCommandResult result;
    // Needs no selection: with none and not "<全部>" there is nobody to mail.
    EXPECT_EQ(Run(5, {}, result), "没有收件人！");
    ASSERT_EQ(Run(5, {3, 1}, result), "ok");
    EXPECT_EQ(Join(result.recipients, ","), "a@x.org,a@x.org");
    EXPECT_EQ(result.mailRequest.flagColumn, "审核");
    EXPECT_EQ(result.mailRequest.addressColumn, "邮箱");
    ASSERT_EQ(Run(6, {1}, result), "ok");  // "<全部>": the task's records, not task 8's
    EXPECT_TRUE(result.mailRequest.allRows);
    EXPECT_EQ(RecipientsDisplayText(result.recipients, false), "(3个收件人)a@x.org,b@x.org,a@x.org");
    result.mailRequest.distinct = true;
    ASSERT_TRUE(CollectSendMailAddresses(result.mailRequest, result.recipients, result.message));
    EXPECT_EQ(RecipientsDisplayText(result.recipients, true), "(2个不重复收件人)a@x.org,b@x.org");
    EXPECT_EQ(RecipientsDisplayText({"a@x.org"}, false), "a@x.org");
}

}  // namespace
