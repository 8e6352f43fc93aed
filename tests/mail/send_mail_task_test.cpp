// The mail-sending task: creating it from a task's records, and running it against a real SMTP
// server (aiosmtpd) with a real database.

#include "mail/send_mail_task.h"

#include <gtest/gtest.h>

#include <mutex>

#include "engine/result_table.h"
#include "mail/background_server.h"
#include "mail/mail_account.h"
#include "mail/mail_body.h"
#include "mail/mail_task_creation.h"
#include "mail/mime_encoding.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"
#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik {
namespace {

// The worker's messages of a run, with a hook that may stop the run.
class RecordingWindow : public RunMessageSink {
  public:
    void Send(RunMessage message) override {
        std::scoped_lock lock(mutex);
        if (message.type == RunMessageType::kProgressLine) {
            lines.push_back(message.text);
            if (message.text.find("发送成功！") != std::string::npos && ++sent == stopAfter &&
                message.params) {
                message.params->RequestStop(kStopPause);
            }
        }
    }
    std::mutex mutex;
    std::vector<std::string> lines;  // guarded by mutex
    int sent = 0;                    // guarded by mutex
    int stopAfter = -1;
};

class SendMailTaskTest : public test::CoreTest {
  protected:
    void SetUp() override {
        python_ = test::FindPython("aiosmtpd");
        if (python_.empty()) {
            GTEST_SKIP() << "python3-aiosmtpd is not installed";
        }
        test::CoreTest::SetUp();
        ASSERT_TRUE(MakeDirectories(out_.path()));
    }

    void StartServer(std::vector<std::string> options = {}) {
        std::vector<std::string> args = {std::string(SORVIK_SOURCE_DIR) + "/tests/mail/smtp_test_server.py",
                                         "--out", out_.path()};
        args.insert(args.end(), options.begin(), options.end());
        ASSERT_TRUE(server_.Start(python_, args));
        port_ = ToInt(server_.ReadLine());
        ASSERT_GT(port_, 0);
    }

    // A harvest task with a result table of names and addresses, made by the writer (so its
    // columns are the titles 名称, 邮箱, 已发送), and its mail account. Without aliases the titles
    // are the field names themselves.
    void MakeSourceTask(int records, bool aliases = true) {
        CTaskTable tasks;
        source_ = tasks.AllocateTaskId();
        const std::string script =
            aliases ? "#任务名称=企业名录\r\n#表名=Companies\r\n#字段名列表=cName,cMail,cSent\r\n"
                      "#字段别名列表=名称,邮箱,已发送\r\n"
                    : "#任务名称=企业名录\r\n#表名=Companies\r\n#字段名列表=名称,邮箱,已发送\r\n";
        ASSERT_TRUE(tasks.InsertTask(source_, "企业名录", TaskState::kEnded, "", 3, script));
        std::string error;
        ASSERT_TRUE(EnsureResultTable(script, 0, error)) << error;
        CDbAccess db;
        for (int i = 1; i <= records; ++i) {
            ASSERT_TRUE(
                db.ExecuteSql(Format("insert into Companies(iNode_,名称,邮箱,已发送) values(%d,'公司%d',"
                                     "'r%d@sorvik.test','x')",
                                     source_, i, i)));
        }
        MailAccount account;
        account.senderName = "发信人";
        account.senderAddress = "sender@sorvik.test";
        account.smtpServer = "127.0.0.1";
        account.smtpPort = std::to_string(port_);
        std::string settings;
        WriteMailAccount(account, settings);
        ASSERT_TRUE(tasks.ExecuteSql(
            Format("update Task set cSetInfo='%s' where ID=%d", SqlQuote(settings).c_str(), source_)));
    }

    SendMailTaskRequest Request() const {
        SendMailTaskRequest r;
        r.sourceTaskId = source_;
        r.addressColumn = "邮箱";
        r.flagColumn = "已发送";
        r.subject = "通知";
        r.content = "您好 <%@名称%>，<%@cMail%><%@不存在%>\r\n再见";
        return r;
    }

    void Prepare(int records, std::vector<std::string> serverOptions = {}, bool aliases = true) {
        ASSERT_NO_FATAL_FAILURE(StartServer(serverOptions));
        ASSERT_NO_FATAL_FAILURE(MakeSourceTask(records, aliases));
    }
    SendMailTaskResult Create(const SendMailTaskRequest& request) {
        SendMailTaskResult created;
        EXPECT_TRUE(CreateSendMailTask(request, created)) << created.error;
        return created;
    }

    // Runs the task as its worker would (paused after stopAfter sent mails); its progress lines.
    std::vector<std::string> Run(int taskId, int stopAfter = -1) {
        RecordingWindow window;
        window.stopAfter = stopAfter;
        ThreadParams params;
        params.kind = RunKind::kSendMail;
        params.taskNumber = taskId;
        params.taskName = "(发送邮件:企业名录)";
        params.script = CTaskTable().ReadTaskScript(taskId);
        params.window = &window;
        RunMailTask(params);
        std::scoped_lock lock(window.mutex);
        return window.lines;
    }
    static bool Has(const std::vector<std::string>& lines, int n, const char* result) {
        std::string line = Format("%20s 正在发送  %5d/%-5d %s", "(发送邮件:企业名录)", n, 3, result);
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    std::vector<std::string> Flags() {
        std::vector<std::string> out;
        CDbAccess().SelectToArray("已发送", "Companies", out, "", false, -1, "ID_");
        return out;
    }
    int Delivered() const {
        int n = 0;
        while (FileExists(out_.file(std::to_string(n + 1) + ".eml"))) {
            ++n;
        }
        return n;
    }
    // What the server stored of the n-th mail: ".env" (envelope) or ".eml" (message).
    std::string Stored(int n, const char* ext = ".eml") const {
        std::string text;
        ReadWholeFile(out_.file(std::to_string(n) + ext), text);
        return text;
    }
    // Runs a send task made directly from its script; returns the progress lines.
    std::vector<std::string> RunScript(const std::string& script) {
        CTaskTable tasks;
        int id = tasks.AllocateTaskId();
        EXPECT_TRUE(tasks.InsertTask(id, "x", TaskState::kEnded, "", 3, script));
        return Run(id);
    }

    // The decoded text of the mail's HTML part.
    std::string HtmlText(int n) const {
        std::string mail = Stored(n);
        size_t type = mail.find("Content-Type: text/html");
        size_t start = mail.find("\r\n\r\n", type);
        size_t end = mail.find("\r\n--", start);
        if (type == std::string::npos || start == std::string::npos || end == std::string::npos) {
            return {};
        }
        return QuotedPrintableDecode(mail.substr(start + 4, end - start - 4));
    }

    test::TempDir out_;
    test::BackgroundServer server_;
    std::string python_;
    int port_ = 0;
    int source_ = 0;
};

TEST_F(SendMailTaskTest, CreationStoresOutboxRowAndTaskScript) {
    ASSERT_NO_FATAL_FAILURE(Prepare(3));
    SendMailTaskRequest request = Request();
    request.allRows = false;
    request.rowIds = {1, 3};
    SendMailTaskResult result;
    ASSERT_TRUE(CreateSendMailTask(request, result)) << result.error;
    EXPECT_EQ(result.addresses, "r1@sorvik.test,r3@sorvik.test");
    EXPECT_EQ(
        CTaskTable().ReadTaskScript(result.taskId),
        Format("#任务类型=发送邮件\r\n#任务名称=(发送邮件:企业名录)\r\n#发送箱ID号=%d\r\n#iMailField=2\r\n"
               "#cUpdateField=3\r\n",
               result.outboxId));
    CDbAccess db;
    auto row = db.OpenRecordset(
        Format("select cTitle,cReceiveMail,cContent,bHtml,iNode_,cSendMail from sc_ReceiveBox where ID_=%d",
               result.outboxId));
    ASSERT_TRUE(row && !row->IsEof());
    EXPECT_EQ(row->Text(size_t{0}), "通知");
    EXPECT_EQ(row->Text(2), "您好&nbsp;<%@名称%>，<%@cMail%><%@不存在%><BR>再见");
    EXPECT_EQ(row->Int(3), 0);
    EXPECT_EQ(row->Int(4), source_);
    EXPECT_EQ(row->Text(5), "sender@sorvik.test");
    // The chosen records are marked unsent, the others keep their flag.
    EXPECT_EQ(Flags(), (std::vector<std::string>{"0", "x", "0"}));
}

TEST_F(SendMailTaskTest, CreationChecks) {
    ASSERT_NO_FATAL_FAILURE(Prepare(1));
    SendMailTaskRequest noColumn = Request(), noFile = Request(), noRows = Request();
    noColumn.addressColumn = "电话";
    noFile.attachments = "/no/such/file.pdf";
    noRows.allRows = false;
    noRows.rowIds = {99};
    using Case = std::pair<SendMailTaskRequest, std::string>;
    for (const auto& [request, message] :
         {Case{noColumn, "取数据失败！"}, Case{noFile, "附件不存在!(/no/such/file.pdf)"},
          Case{noRows, "没有收件人！"}}) {
        SendMailTaskResult result;
        EXPECT_FALSE(CreateSendMailTask(request, result));
        EXPECT_EQ(result.error, message);
    }
}

TEST_F(SendMailTaskTest, OnePersonalisedMailPerAddressStopAfterFirstResumesWithTheSecond) {
    ASSERT_NO_FATAL_FAILURE(Prepare(3));
    const int id = Create(Request()).taskId;
    Run(id, 1);
    EXPECT_EQ(Delivered(), 1);
    EXPECT_EQ(ScriptValue("#当前Email号=", CTaskTable().ReadTaskScript(id)), "1");
    EXPECT_EQ(Flags(), (std::vector<std::string>{"1", "0", "0"}));

    auto lines = Run(id);
    ASSERT_EQ(Delivered(), 3);
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(Stored(n, ".env"), Format("sender@sorvik.test\nr%d@sorvik.test\n-\nplain\n", n));
        // The personal values arrive (by title and by field name), the marker of an unknown
        // field stays.
        EXPECT_EQ(HtmlText(n), Format("您好&nbsp;公司%d，r%d@sorvik.test<%%@不存在%%><BR>再见", n, n));
    }
    // Finished: the resume point is gone, so a later start begins anew.
    EXPECT_EQ(ScriptValue("#当前Email号=", CTaskTable().ReadTaskScript(id)), "");
    EXPECT_EQ(Flags(), (std::vector<std::string>{"1", "1", "1"}));
    EXPECT_TRUE(Has(lines, 2, "发送成功！"));
}

TEST_F(SendMailTaskTest, WithoutAliasListTheFieldNamesAreTheTitles) {
    ASSERT_NO_FATAL_FAILURE(Prepare(2, {}, false));
    SendMailTaskRequest request = Request();
    request.content = "<%@名称%>";
    Run(Create(request).taskId);
    ASSERT_EQ(Delivered(), 2);
    EXPECT_EQ(HtmlText(2), "公司2");
    EXPECT_EQ(Flags(), (std::vector<std::string>{"1", "1"}));
}

TEST_F(SendMailTaskTest, FailedDeliveryIsReportedAndSkipped) {
    ASSERT_NO_FATAL_FAILURE(Prepare(3, {"--reject", "r2@sorvik.test"}));
    auto lines = Run(Create(Request()).taskId);
    EXPECT_EQ(Delivered(), 2);
    EXPECT_EQ(Flags(), (std::vector<std::string>{"1", "0", "1"}));
    EXPECT_TRUE(Has(lines, 2, "发送信息失败!\nResponse:550 5.1.1 mailbox unavailable"));
}

// Also: without a flag column the records' flags are left alone.
TEST_F(SendMailTaskTest, RecordValueCannotAttachLocalFilesAndNoFlagColumn) {
    ASSERT_NO_FATAL_FAILURE(Prepare(1));
    ASSERT_TRUE(WriteWholeFile(home() + "/secret.txt", "TOP-SECRET"));
    ASSERT_TRUE(CDbAccess().ExecuteSql("update Companies set 名称='<%@@@secret.txt>'"));
    SendMailTaskRequest request = Request();
    request.html = true;
    request.content = "<p><%@名称%></p>";
    request.flagColumn.clear();
    const int id = Create(request).taskId;
    EXPECT_EQ(ScriptValue("#cUpdateField=", CTaskTable().ReadTaskScript(id)), "0");
    Run(id);
    ASSERT_EQ(Delivered(), 1);
    EXPECT_EQ(Stored(1).find(Base64Encode("TOP-SECRET")), std::string::npos);
    EXPECT_EQ(HtmlText(1), "<p>&lt;%@@@secret.txt></p>");
    EXPECT_EQ(Flags(), (std::vector<std::string>{"x"}));
}

TEST_F(SendMailTaskTest, MissingOutboxRowOrAccount) {
    ASSERT_NO_FATAL_FAILURE(Prepare(1));
    const std::vector<std::string> failed = {"取数据失败！"};
    EXPECT_EQ(RunScript("#任务类型=发送邮件\r\n#发送箱ID号=999\r\n#iMailField=2\r\n"), failed);
    // An address column outside the source task's field list.
    SendMailTaskResult created = Create(Request());
    EXPECT_EQ(
        RunScript(Format("#任务类型=发送邮件\r\n#发送箱ID号=%d\r\n#iMailField=9\r\n", created.outboxId)),
        failed);
    // Without a sender address nothing is sent, and the reason is shown once.
    ASSERT_TRUE(CTaskTable().ExecuteSql(Format("update Task set cSetInfo='' where ID=%d", source_)));
    EXPECT_EQ(Run(created.taskId), (std::vector<std::string>{"发信地址不能为空！"}));
    EXPECT_EQ(Delivered(), 0);
}

// Unknown, unterminated and over-long markers and image markers stay as written.
TEST(MailBody, PersonalisationMarkers) {
    auto lookup = [](const std::string& name) -> std::optional<std::string> {
        if (name == "名称") {
            return "ACME";
        }
        return std::nullopt;
    };
    EXPECT_EQ(PersonaliseBody("x <%@名称%> y <%@other%> <%@@@img.png> <%@名称", lookup),
              "x ACME y <%@other%> <%@@@img.png> <%@名称");
    std::string far = "<%@" + std::string(50, 'n') + "%>";
    EXPECT_EQ(PersonaliseBody(far, lookup), far);
}

}  // namespace
}  // namespace sorvik
