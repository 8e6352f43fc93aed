// The POP3 receiver against a real server (dovecot) on loopback, storing into a real database.

#include "mail/pop3_receiver.h"

#include <gtest/gtest.h>

#include "mail/dovecot_server.h"
#include "mail/mail_test_support.h"
#include "mail/mailbox.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"
#include "text/strings.h"

namespace sorvik {
namespace {

using test::DovecotServer;

std::string Mail(int n, const std::string& subject) {
    return Format(
        "From: \"Sender %d\" <sender%d@sorvik.test>\r\n"
        "To: <alice@sorvik.test>\r\n"
        "Subject: %s\r\n"
        "Date: Tue, 14 Nov 2023 10:0%d:00 +0800\r\n"
        "\r\n"
        "Body of message %d.\r\n"
        ".A line that starts with a dot\r\n",
        n, n, subject.c_str(), n, n);
}

class Pop3ReceiverTest : public test::CoreTest {
  protected:
    void SetUp() override {
        if (!DovecotServer::Installed()) {
            GTEST_SKIP() << "dovecot-pop3d is not installed";
        }
        test::CoreTest::SetUp();
    }

    // Starts dovecot with the messages in its mailbox.
    void StartDovecot(const std::vector<std::string>& messages, bool tls = false) {
        if (tls) {
            ASSERT_EQ(test::MakeTestCertificate(serverDir_.path()), "");
        }
        dovecot_ = std::make_unique<DovecotServer>(serverDir_.path(), tls);
        for (const auto& m : messages) {
            ASSERT_TRUE(dovecot_->AddMessage(m));
        }
        std::string error = dovecot_->Start();
        ASSERT_EQ(error, "");
    }

    Pop3Account Account() const {
        Pop3Account a;
        a.host = "127.0.0.1";
        a.port = dovecot_->port();
        a.user = DovecotServer::kUser;
        a.password = DovecotServer::kPassword;
        a.replyTimeoutMs = 20000;
        return a;
    }

    std::vector<std::string> Column(const std::string& column) {
        CDbAccess db;
        std::vector<std::string> out;
        db.SelectToArray(column, "sc_ReceiveBox", out, "iNode_=7", false, -1, "ID_");
        return out;
    }

    // One receiving run into the mailbox of task 7: whether it succeeded; status_, state_ and the
    // statuses_ shown tell the rest.
    bool Receive(const Pop3Account& account) {
        MailboxWriter writer(7, [&](const std::string& s) { statuses_.push_back(s); });
        Pop3Receiver receiver;
        bool ok = receiver.Receive(account, writer);
        status_ = receiver.StatusText();
        state_ = receiver.State();
        return ok;
    }

    test::TempDir serverDir_;
    std::unique_ptr<DovecotServer> dovecot_;
    std::vector<std::string> statuses_;
    std::string status_;
    int state_ = 0;
};

TEST_F(Pop3ReceiverTest, ThreeMessagesStoredInServerOrderThenDeleted) {
    StartDovecot({Mail(1, "first"), Mail(2, "=?gb2312?B?1tDOxA==?="), Mail(3, "third")});
    ASSERT_TRUE(Receive(Account())) << status_ << dovecot_->Log();
    EXPECT_EQ(status_, "Deleted all messages\r\n");
    EXPECT_EQ(state_, Pop3Session::kAllDeleted);
    EXPECT_EQ(Column("cTitle"), (std::vector<std::string>{"first", "中文", "third"}));
    EXPECT_EQ(Column("cSendUser"), (std::vector<std::string>{"Sender 1", "Sender 2", "Sender 3"}));
    EXPECT_EQ(Column("cSendMail")[2], "sender3@sorvik.test");
    EXPECT_EQ(Column("cReceiveMail")[0], "alice@sorvik.test");
    EXPECT_EQ(Column("dDate")[1], "2023-11-14 10:02:00");
    EXPECT_NE(Column("cContent")[0].find("\r\nBody of message 1.\r\n.A line that starts with a dot\r\n"),
              std::string::npos);
    EXPECT_EQ(dovecot_->MessagesLeft(), 0);
    EXPECT_NE(std::find(statuses_.begin(), statuses_.end(), "第2封 (中文) 开始接收..."), statuses_.end());
}

TEST_F(Pop3ReceiverTest, WrongPasswordOrStoreFailureLeavesEveryMessageOnTheServer) {
    StartDovecot({Mail(1, "first"), Mail(2, "refused"), Mail(3, "third")});
    Pop3Account wrong = Account();
    wrong.password = "wrong";
    EXPECT_FALSE(Receive(wrong));
    EXPECT_EQ(status_.rfind("Received -ERR from server :-ERR", 0), 0u) << status_;
    EXPECT_EQ(dovecot_->MessagesLeft(), 3);

    // The database itself refuses the second message.
    std::string error;
    ASSERT_TRUE(
        TheDatabase().Execute("CREATE TRIGGER refuse BEFORE INSERT ON sc_ReceiveBox WHEN "
                              "NEW.cTitle='refused' BEGIN SELECT RAISE(ABORT,'refused'); END",
                              error))
        << error;
    EXPECT_FALSE(Receive(Account()));
    EXPECT_EQ(status_, "Session ended\r\n");
    EXPECT_EQ(state_, Pop3Session::kEnded);
    EXPECT_NE(std::find(statuses_.begin(), statuses_.end(), "第2封 (refused) 保存失败！"), statuses_.end());
    EXPECT_EQ(dovecot_->MessagesLeft(), 3);
}

TEST_F(Pop3ReceiverTest, EmptyMailboxEndsWithNoNewMessages) {
    StartDovecot({});
    EXPECT_TRUE(Receive(Account())) << status_;
    EXPECT_EQ(status_, "No new messages\r\n");
    EXPECT_TRUE(Column("ID_").empty());
}

TEST_F(Pop3ReceiverTest, StlsUpgradeAndImplicitTls) {
    StartDovecot({Mail(1, "over stls")}, true);
    Pop3Account account = Account();
    account.tls.caFile = serverDir_.file("cert.pem");
    // Without trusting the test certificate the upgrade is refused and nothing is fetched.
    EXPECT_FALSE(Receive(Account()));
    EXPECT_NE(status_.find("certificate"), std::string::npos) << status_;
    EXPECT_EQ(dovecot_->MessagesLeft(), 1);
    ASSERT_TRUE(Receive(account)) << status_ << dovecot_->Log();
    EXPECT_EQ(Column("cTitle"), (std::vector<std::string>{"over stls"}));
    ASSERT_TRUE(dovecot_->AddMessage(Mail(2, "over pop3s")));
    account.port = dovecot_->tlsPort();
    account.implicitTlsPort = dovecot_->tlsPort();  // stands in for 995
    ASSERT_TRUE(Receive(account)) << status_ << dovecot_->Log();
    EXPECT_EQ(Column("cTitle"), (std::vector<std::string>{"over stls", "over pop3s"}));
}

// Receiving through a task's own account is run by the command line test; here only the refusal.
TEST_F(Pop3ReceiverTest, ReceiveMailboxRefusesATaskThatIsNoMailbox) {
    CTaskTable tasks;
    int other = tasks.AllocateTaskId();
    ASSERT_TRUE(tasks.InsertTask(other, "web", TaskState::kWaiting, "", 3, "#任务名称=web\r\n"));
    EXPECT_EQ(ReceiveMailbox(other, nullptr).status, "任务类型不是接收邮件！");
}

TEST(Pop3Faults, ServerThatNeverAnswersAndOneThatDropsTheLine) {
    test::ScriptedPeer silent([](int fd) {
        char c;
        while (read(fd, &c, 1) > 0) {
        }
    });
    Pop3Account account;
    account.host = "127.0.0.1";
    account.port = silent.port();
    account.replyTimeoutMs = 300;
    MailboxWriter writer(7, nullptr);
    Pop3Receiver receiver;
    EXPECT_FALSE(receiver.Receive(account, writer));
    EXPECT_EQ(receiver.StatusText(), "Error while receiving!\r\n");

    test::ScriptedPeer dropping([](int fd) {
        using P = test::ScriptedPeer;
        // Greeting, CAPA, USER, PASS, STAT.
        for (const char* reply : {"+OK hi\r\n", "+OK\r\n.\r\n", "+OK\r\n", "+OK\r\n", "+OK 1 100\r\n"}) {
            P::Say(fd, reply);
            P::ReadLine(fd);
        }
        P::Say(fd, "+OK 100 octets\r\nSubject: cut\r\n");  // and the line drops
    });
    account.port = dropping.port();
    account.replyTimeoutMs = 20000;
    Pop3Receiver second;
    EXPECT_FALSE(second.Receive(account, writer));
    EXPECT_EQ(second.StatusText(), "Error while receiving!\r\n");
    EXPECT_EQ(writer.StoredCount(), 0);
}

}  // namespace
}  // namespace sorvik
