// The SMTP client against a real server (aiosmtpd) on loopback, and against scripted peers for
// a server that never answers and one that drops the line.

#include <gtest/gtest.h>

#include <cerrno>

#include "mail/background_server.h"
#include "mail/mail_test_support.h"
#include "mail/send_mail.h"
#include "support/temp_dir.h"
#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik {
namespace {

using test::BackgroundServer;
using test::TempDir;

const char kUser[] = "mailer";
const char kPassword[] = "s3cret pass";

class SmtpServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        python_ = test::FindPython("aiosmtpd");
        if (python_.empty()) {
            GTEST_SKIP() << "python3-aiosmtpd is not installed";
        }
        ASSERT_TRUE(MakeDirectories(dir_.file("out")));
    }

    // Starts the server with the extra options; false when it did not come up.
    void StartServer(std::vector<std::string> options) {
        std::vector<std::string> args = {std::string(SORVIK_SOURCE_DIR) + "/tests/mail/smtp_test_server.py",
                                         "--out", dir_.file("out")};
        args.insert(args.end(), options.begin(), options.end());
        ASSERT_TRUE(server_.Start(python_, args, dir_.file("server.log")));
        port_ = ToInt(server_.ReadLine());
        std::string log;
        ReadWholeFile(dir_.file("server.log"), log);
        ASSERT_GT(port_, 0) << log;
    }

    void StartTlsServer(std::vector<std::string> options) {
        std::string error = test::MakeTestCertificate(dir_.path());
        ASSERT_EQ(error, "");
        options.insert(options.end(), {"--cert", dir_.file("cert.pem"), "--key", dir_.file("key.pem")});
        StartServer(options);
    }

    SendMailRequest Request() const {
        SendMailRequest r;
        r.server = "127.0.0.1";
        r.port = port_;
        r.senderName = "Sender";
        r.senderAddress = "sender@sorvik.test";
        r.to = "one@sorvik.test";
        r.subject = "Greetings";
        r.body = "Hello.\r\n.A line with a leading dot\r\n";
        r.localHost = "client.sorvik.test";
        r.connection.replyTimeoutMs = 20000;
        return r;
    }

    // The N-th stored message and its envelope lines.
    std::string Stored(int n) const {
        std::string text;
        ReadWholeFile(dir_.file("out/" + std::to_string(n) + ".eml"), text);
        return text;
    }
    std::vector<std::string> Envelope(int n) const {
        std::string text;
        ReadWholeFile(dir_.file("out/" + std::to_string(n) + ".env"), text);
        return SplitAll(text, "\n");
    }

    TempDir dir_;
    BackgroundServer server_;
    std::string python_;
    int port_ = 0;
};

TEST_F(SmtpServerTest, PlainDeliveryWithoutLogin) {
    StartServer({});
    SendMailRequest r = Request();
    r.cc = "two@sorvik.test";
    r.bcc = "three@sorvik.test";
    SendMailResult result = SendMail(r);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_FALSE(result.usedTls);
    // Sender, recipients, login ("-": none), connection.
    auto env = Envelope(1);
    env.resize(4);
    EXPECT_EQ(env,
              (std::vector<std::string>{"sender@sorvik.test",
                                        "one@sorvik.test,two@sorvik.test,three@sorvik.test", "-", "plain"}));
    std::string mail = Stored(1);
    EXPECT_EQ(
        mail.find("From: Sender <sender@sorvik.test>\r\nTo: one@sorvik.test\r\nCc: two@sorvik.test\r\n"), 0u)
        << mail;
    EXPECT_EQ(mail.find("three@"), std::string::npos);  // bcc never in the header
    // The dot stuffing is undone by the server: the body arrives as written.
    EXPECT_NE(mail.find("\r\n\r\n\r\nHello.\r\n.A line with a leading dot\r\n"), std::string::npos) << mail;
}

// CRAM-MD5, LOGIN and PLAIN: a wrong password is a connect failure with the server's reply.
TEST_F(SmtpServerTest, EveryLoginMethodWithRightAndWrongPassword) {
    StartServer({"--auth", std::string(kUser) + ":" + kPassword});
    for (int method : {1, 2, 3}) {
        SendMailRequest r = Request();
        r.method = method;
        r.user = kUser;
        r.password = "wrong";
        SendMailResult refused = SendMail(r);
        EXPECT_FALSE(refused.ok);
        EXPECT_EQ(refused.error.rfind(Format("不能连接到服务器!, Error:%d\n535", EPROTO), 0), 0u)
            << refused.error;
        r.password = kPassword;
        SendMailResult result = SendMail(r);
        ASSERT_TRUE(result.ok) << "method " << method << ": " << result.error;
        EXPECT_EQ(Envelope(method)[2], kUser);
    }
    // Without a login the server refuses the sender.
    SendMailResult result = SendMail(Request());
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error.rfind("发送信息失败!\nResponse:530", 0), 0u) << result.error;
}

TEST_F(SmtpServerTest, StartTlsVerifiesTheCertificateUnlessCheckingIsOff) {
    StartTlsServer({"--auth", std::string(kUser) + ":" + kPassword});
    SendMailRequest r = Request();
    r.method = 3;
    r.user = kUser;
    r.password = kPassword;
    SendMailResult refused = SendMail(r);
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.error.find("certificate"), std::string::npos) << refused.error;
    EXPECT_FALSE(FileExists(dir_.file("out/1.eml")));

    r.connection.tls.caFile = dir_.file("cert.pem");
    SendMailResult trusted = SendMail(r);
    ASSERT_TRUE(trusted.ok) << trusted.error;
    EXPECT_TRUE(trusted.usedTls);
    EXPECT_EQ(Envelope(1)[3], "tls");
    EXPECT_EQ(Envelope(1)[2], kUser);
    r.server = "127.0.0.2";  // reaches the same machine, but is not in the certificate
    EXPECT_FALSE(SendMail(r).ok);

    r.server = "127.0.0.1";
    r.connection.tls.caFile.clear();
    r.connection.tls.verifyPeer = false;
    SendMailResult unchecked = SendMail(r);
    ASSERT_TRUE(unchecked.ok) << unchecked.error;
    EXPECT_EQ(Envelope(2)[3], "tls");
}

TEST_F(SmtpServerTest, ImplicitTlsFromTheFirstByte) {
    StartTlsServer({"--implicit-tls"});
    SendMailRequest r = Request();
    r.connection.implicitTlsPort = port_;  // stands in for 465
    r.connection.tls.caFile = dir_.file("cert.pem");
    SendMailResult result = SendMail(r);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.usedTls);
    EXPECT_EQ(Envelope(1)[3], "tls");
}

TEST(SendMailChecks, MissingServerOrAttachmentOrNoServerListening) {
    // A port that was listened on and released again: nothing listens there.
    const int freePort = test::ScriptedPeer([](int) {}).port();
    struct Case {
        std::string server, attachments;
        int port;
        std::string errorStart;
    };
    for (const auto& c :
         {Case{"", "", 25, "SMTP服务器不能为空！"},
          Case{"127.0.0.1", "/nonexistent/file.bin", 25, "文件读取错误！(/nonexistent/file.bin)"},
          Case{"127.0.0.1", "", freePort, Format("不能连接到服务器!, Error:%d", ECONNREFUSED)}}) {
        SendMailRequest r;
        r.senderAddress = "a@x.org";
        r.to = "b@x.org";
        r.server = c.server;
        r.attachments = c.attachments;
        r.port = c.port;
        SendMailResult result = SendMail(r);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error.rfind(c.errorStart, 0), 0u) << result.error;
    }
}

TEST(SmtpFaults, ServerThatNeverAnswersTimesOut) {
    test::ScriptedPeer peer([&](int fd) {
        // Accepts and stays silent until the client gives up.
        char c;
        while (read(fd, &c, 1) > 0) {
        }
    });
    CSmtpClient client;
    client.connection.replyTimeoutMs = 300;
    EXPECT_FALSE(client.Connect("127.0.0.1", peer.port(), 0, "", "", "me"));
    EXPECT_EQ(client.SystemError(), ETIMEDOUT);
    EXPECT_FALSE(client.IsConnected());
}

TEST(SmtpFaults, ServerThatDropsTheLineDuringData) {
    test::ScriptedPeer peer([](int fd) {
        using P = test::ScriptedPeer;
        // Greeting, HELO, MAIL FROM, RCPT TO, DATA.
        for (const char* reply : {"220 hi\r\n", "250 ok\r\n", "250 ok\r\n", "250 ok\r\n"}) {
            P::Say(fd, reply);
            P::ReadLine(fd);
        }
        P::Say(fd, "354 go on\r\n");
        P::ReadLine(fd);  // the first header line, then the line drops
    });
    CSmtpClient client;
    client.connection.replyTimeoutMs = 20000;
    ASSERT_TRUE(client.Connect("127.0.0.1", peer.port(), 0, "", "", "me"));
    SmtpMessage m;
    m.from = {"", "a@x.org"};
    m.to = {{"", "b@x.org"}};
    m.AddTextBody("text");
    EXPECT_FALSE(client.SendMessage(m));
    EXPECT_EQ(client.SystemError(), ECONNRESET) << client.FailureText();
}

TEST(SmtpFaults, BareLineEndsOfTemplateTextsReachTheServerAsCrLf) {
    std::string data;
    {
        test::ScriptedPeer peer([&](int fd) {
            using P = test::ScriptedPeer;
            // Greeting, HELO, MAIL FROM, RCPT TO, DATA, then the raw message up to its end mark.
            for (const char* reply :
                 {"220 hi\r\n", "250 ok\r\n", "250 ok\r\n", "250 ok\r\n", "354 go on\r\n"}) {
                P::Say(fd, reply);
                P::ReadLine(fd);
            }
            while (data.size() < 5 || data.compare(data.size() - 5, 5, "\r\n.\r\n") != 0) {
                const std::string line = P::ReadLine(fd);
                if (line.empty())
                    return;
                data += line;
            }
            P::Say(fd, "250 queued\r\n");
            P::ReadLine(fd);
            P::Say(fd, "221 bye\r\n");
        });
        CSmtpClient client;
        client.connection.replyTimeoutMs = 20000;
        ASSERT_TRUE(client.Connect("127.0.0.1", peer.port(), 0, "", "", "me"));
        SmtpMessage m;
        m.from = {"", "a@x.org"};
        m.to = {{"", "b@x.org"}};
        m.SetMime(true);
        m.AddTextBody("line one\nline two\rline three");
        std::string warnings;
        ASSERT_TRUE(m.AddHtmlBody("<html>\n<p>template</p>\n.dot line\n</html>", "", warnings));
        ASSERT_TRUE(client.SendMessage(m)) << client.FailureText();
        client.Disconnect();
    }  // the peer's thread has ended: data is complete
    ASSERT_FALSE(data.empty());
    for (size_t i = 0; i < data.size(); ++i) {
        if (data[i] == '\n') {
            ASSERT_TRUE(i > 0 && data[i - 1] == '\r') << "bare LF at " << i;
        }
        if (data[i] == '\r') {
            ASSERT_TRUE(i + 1 < data.size() && data[i + 1] == '\n') << "bare CR at " << i;
        }
    }
    EXPECT_NE(data.find("line one\r\nline two\r\nline three"), std::string::npos);
    EXPECT_NE(data.find("\r\n..dot line\r\n"), std::string::npos);
}

}  // namespace
}  // namespace sorvik
