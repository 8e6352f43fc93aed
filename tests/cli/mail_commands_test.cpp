// sorvik-cli mail-account, mail-task, run (sending) and receive, run as real processes against a
// real SMTP server (aiosmtpd) and a real POP3 server (dovecot) on loopback.

#include <gtest/gtest.h>

#include <filesystem>

#include "mail/background_server.h"
#include "mail/dovecot_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/strings.h"

using sorvik::test::ProcessResult;
using sorvik::test::RunCliGb;
using sorvik::test::TempDir;

namespace {

std::string Sql(const std::string& home, const std::string& statement) {
    ProcessResult r = RunCliGb(home, {"sql", statement});
    EXPECT_EQ(r.exitCode, 0) << statement << "\n" << r.err;
    return r.out;
}

// Adds a task from script text and returns its ID.
int AddTask(const TempDir& home, const std::string& file, const std::string& script) {
    EXPECT_TRUE(sorvik::WriteWholeFile(home.file(file), sorvik::GbToUtf8(script)));
    ProcessResult r = RunCliGb(home.path(), {"add", home.file(file)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return sorvik::ToInt(r.out);
}

}  // namespace

TEST(CliMail, AccountTaskAndRunSendOneMailPerRecord) {
    std::string python = sorvik::test::FindPython("aiosmtpd");
    if (python.empty())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    TempDir home, out;
    sorvik::test::BackgroundServer smtp;
    ASSERT_TRUE(smtp.Start(
        python, {std::string(SORVIK_SOURCE_DIR) + "/tests/mail/smtp_test_server.py", "--out", out.path()}));
    const int port = sorvik::ToInt(smtp.ReadLine());
    ASSERT_GT(port, 0);
    const std::string h = home.path();
    ASSERT_EQ(RunCliGb(h, {"init"}).exitCode, 0);
    const int source = AddTask(home, "source.txt",
                               "#任务名称=企业名录\r\n#表名=Companies\r\n#字段名列表=cName,cMail,cSent\r\n"
                               "#字段别名列表=名称,邮箱,已发送\r\n#要搜索网址=http://127.0.0.1:9/\r\n");
    ASSERT_GT(source, 0);
    Sql(h,
        "create table Companies (ID_ IDENTITY CONSTRAINT PK_Companies PRIMARY KEY, iNode_ int, 名称 text, "
        "邮箱 text, 已发送 text)");
    for (int i = 1; i <= 3; ++i) {
        Sql(h, sorvik::Format(
                   "insert into Companies(iNode_,名称,邮箱,已发送) values(%d,'公司%d','r%d@sorvik.test','')",
                   source, i, i));
    }

    ProcessResult account =
        RunCliGb(h, {"mail-account", std::to_string(source), "--smtp", "127.0.0.1", "--port",
                     std::to_string(port), "--from", "sender@sorvik.test", "--name", "发信人"});
    ASSERT_EQ(account.exitCode, 0) << account.err;

    ASSERT_TRUE(sorvik::WriteWholeFile(home.file("body.txt"), sorvik::GbToUtf8("您好，<%@名称%>！\n")));
    // An attachment named in Chinese, relative to the folder mail-task runs in; run sends from
    // another folder.
    ASSERT_TRUE(sorvik::WriteWholeFile(home.file(sorvik::GbToUtf8("价目表.txt")), "price list"));
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(h);
    ProcessResult task =
        RunCliGb(h, {"mail-task", std::to_string(source), "--address-column", "邮箱", "--flag-column",
                     "已发送", "--subject", "通知", "--body", home.file("body.txt"), "--template", "简洁模版",
                     "--attach", "价目表.txt"});
    std::filesystem::current_path(before);
    ASSERT_EQ(task.exitCode, 0) << task.err;
    const int mailTask = sorvik::ToInt(task.out);
    ASSERT_GT(mailTask, 0);

    ProcessResult run = RunCliGb(h, {"run", std::to_string(mailTask)});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("发送成功！"), std::string::npos) << run.err;
    for (int n = 1; n <= 3; ++n) {
        std::string envelope;
        ASSERT_TRUE(sorvik::ReadWholeFile(out.file(std::to_string(n) + ".env"), envelope)) << run.err;
        EXPECT_EQ(sorvik::SplitAll(envelope, "\n")[1], sorvik::Format("r%d@sorvik.test", n));
        std::string mail;
        ASSERT_TRUE(sorvik::ReadWholeFile(out.file(std::to_string(n) + ".eml"), mail));
        EXPECT_NE(mail.find("cHJpY2UgbGlzdA=="), std::string::npos);  // the attachment's bytes
    }
    EXPECT_FALSE(sorvik::FileExists(out.file("4.eml")));
    EXPECT_EQ(Sql(h, "select 已发送 from Companies order by ID_"), "已发送\n1\n1\n1\n");
}

TEST(CliMail, ReceiveStoresTheMailboxOfATask) {
    if (!sorvik::test::DovecotServer::Installed())
        GTEST_SKIP() << "dovecot-pop3d is not installed";
    TempDir home, serverDir;
    sorvik::test::DovecotServer dovecot(serverDir.path(), false);
    ASSERT_TRUE(dovecot.AddMessage("From: a@x.org\r\nSubject: one\r\n\r\nfirst\r\n"));
    ASSERT_TRUE(dovecot.AddMessage("From: b@x.org\r\nSubject: =?utf-8?b?5Lit5paH?=\r\n\r\nsecond\r\n"));
    ASSERT_EQ(dovecot.Start(), "");
    const std::string h = home.path();
    ASSERT_EQ(RunCliGb(h, {"init"}).exitCode, 0);
    const int mailbox = AddTask(home, "inbox.txt", "#任务类型=接收邮件\r\n#任务名称=收件箱\r\n");
    ASSERT_GT(mailbox, 0);
    ProcessResult account = RunCliGb(
        h, {"mail-account", std::to_string(mailbox), "--smtp", "127.0.0.1", "--from", "alice@x.org", "--pop3",
            sorvik::Format("127.0.0.1:%d", dovecot.port()), "--user", sorvik::test::DovecotServer::kUser,
            "--password", sorvik::test::DovecotServer::kPassword});
    ASSERT_EQ(account.exitCode, 0) << account.err;

    ProcessResult received = RunCliGb(h, {"receive", std::to_string(mailbox)});
    ASSERT_EQ(received.exitCode, 0) << received.err << dovecot.Log();
    EXPECT_EQ(received.out, "2\n");
    EXPECT_NE(received.err.find("Deleted all messages"), std::string::npos) << received.err;
    EXPECT_EQ(Sql(h, sorvik::Format("select cTitle,cSendMail from sc_ReceiveBox where iNode_=%d order by ID_",
                                    mailbox)),
              "cTitle\tcSendMail\none\ta@x.org\n中文\tb@x.org\n");
    EXPECT_EQ(dovecot.MessagesLeft(), 0);
}
