#include "mail/smtp_session.h"

#include <gtest/gtest.h>

#include "mail/mime_encoding.h"
#include "mail/smtp_reply.h"

namespace sorvik {
namespace {

SmtpReply Reply(const std::string& text) {
    SmtpReplyReader reader;
    reader.Feed(text);
    SmtpReply reply;
    EXPECT_TRUE(reader.Next(reply)) << text;
    return reply;
}

// Feeds the reply and checks that the session answers with exactly these bytes.
void ExpectSend(SmtpSession& s, const std::string& reply, const std::string& command) {
    SmtpAction a = s.OnReply(Reply(reply));
    ASSERT_EQ(a.kind, SmtpAction::Kind::Send) << "after " << reply << ": " << a.text;
    EXPECT_EQ(a.text, command);
}

SmtpLoginSettings Login(SmtpAuthMethod method) {
    SmtpLoginSettings l;
    l.method = method;
    l.user = "tim";
    l.password = "tanstaaftanstaaf";
    l.localHost = "client.example";
    return l;
}

// A session without a login (HELO), greeted and ready to send.
void MakeReady(SmtpSession& s) {
    s.BeginConnect(Login(SmtpAuthMethod::None));
    ExpectSend(s, "220 hi\r\n", "HELO client.example\r\n");
    EXPECT_EQ(s.OnReply(Reply("250 ok\r\n")).kind, SmtpAction::Kind::Done);
}

TEST(SmtpReplyReader, JoinsMultiLineRepliesAndWaitsForTheLastLine) {
    SmtpReplyReader reader;
    SmtpReply reply;
    reader.Feed("250-mail.example greets you\r\n250-STARTTLS\r\n250-AUTH LOGIN");
    EXPECT_FALSE(reader.Next(reply));
    reader.Feed(" PLAIN\r\n250 8BITMIME\r\n354 go");
    ASSERT_TRUE(reader.Next(reply));
    EXPECT_EQ(reply.code, 250);
    ASSERT_EQ(reply.lines.size(), 4u);
    EXPECT_EQ(reply.lines[2], "AUTH LOGIN PLAIN");
    EXPECT_EQ(reply.raw,
              "250-mail.example greets you\r\n250-STARTTLS\r\n250-AUTH LOGIN PLAIN\r\n250 8BITMIME\r\n");
    EXPECT_FALSE(reader.Next(reply));
    reader.Feed("\n");  // a bare LF ends a line too
    ASSERT_TRUE(reader.Next(reply));
    EXPECT_EQ(reply.code, 354);
}

TEST(SmtpReplyReader, MalformedAndEndlessReplies) {
    SmtpReplyReader reader;
    SmtpReply reply;
    reader.Feed("hello there\r\n");
    ASSERT_TRUE(reader.Next(reply));
    EXPECT_EQ(reply.code, 0);
    reader.Feed("250-a\r\n251 b\r\n");
    ASSERT_TRUE(reader.Next(reply));
    EXPECT_EQ(reply.code, 0);  // mixed codes are not a usable reply
    for (int i = 0; i < 10000 && !reader.Overflowed(); ++i) {
        reader.Feed("250-endless line\r\n");
        EXPECT_FALSE(reader.Next(reply));
    }
    EXPECT_TRUE(reader.Overflowed());
}

TEST(SmtpSession, WrongGreetingFailsWithTheServersWords) {
    SmtpSession s;
    s.BeginConnect(Login(SmtpAuthMethod::None));
    SmtpAction a = s.OnReply(Reply("554 no service\r\n"));
    EXPECT_EQ(a.kind, SmtpAction::Kind::Fail);
    EXPECT_EQ(a.text, "554 no service\r\n");
    EXPECT_EQ(s.state(), SmtpSession::State::Failed);
}

TEST(SmtpSession, StartTlsWhenOfferedThenEhloAgain) {
    SmtpSession s;
    s.BeginConnect(Login(SmtpAuthMethod::Login));
    ExpectSend(s, "220 hi\r\n", "EHLO client.example\r\n");
    ExpectSend(s, "250-hi\r\n250-STARTTLS\r\n250 SIZE 1000\r\n", "STARTTLS\r\n");
    EXPECT_EQ(s.OnReply(Reply("220 go ahead\r\n")).kind, SmtpAction::Kind::StartTls);
    SmtpAction a = s.OnTlsStarted();
    ASSERT_EQ(a.kind, SmtpAction::Kind::Send);
    EXPECT_EQ(a.text, "EHLO client.example\r\n");
    EXPECT_TRUE(s.TlsActive());
    // After the upgrade STARTTLS is not asked for again, even if listed.
    ExpectSend(s, "250-hi\r\n250-STARTTLS\r\n250 AUTH LOGIN\r\n", "AUTH LOGIN\r\n");
}

TEST(SmtpSession, NoStartTlsWhenSwitchedOffOrAlreadyEncrypted) {
    for (bool alreadyTls : {false, true}) {
        SmtpSession s;
        SmtpLoginSettings l = Login(SmtpAuthMethod::Login);
        l.useStartTls = alreadyTls;
        l.tlsActive = alreadyTls;
        s.BeginConnect(l);
        ExpectSend(s, "220 hi\r\n", "EHLO client.example\r\n");
        ExpectSend(s, "250-hi\r\n250 STARTTLS\r\n", "AUTH LOGIN\r\n");
    }
}

TEST(SmtpSession, UnsafeAddressesAndSendingBeforeReady) {
    for (const char* bad : {"a@x.org>\r\nDATA", ""}) {
        SmtpSession s;
        MakeReady(s);
        EXPECT_EQ(s.BeginSend("me@x.org", {bad}, "x").kind, SmtpAction::Kind::Fail) << bad;
    }

    // Sending before the session is ready is refused too.
    SmtpSession idle;
    EXPECT_EQ(idle.BeginSend("me@x.org", {"a@x.org"}, "x").kind, SmtpAction::Kind::Fail);
}

TEST(SmtpSession, LocalHostNameCannotInjectCommands) {
    SmtpSession s;
    SmtpLoginSettings l = Login(SmtpAuthMethod::None);
    l.localHost = "evil\r\nRCPT TO:<x@y>";
    s.BeginConnect(l);
    ExpectSend(s, "220 hi\r\n", "HELO evilRCPTTO:<x@y>\r\n");
}

}  // namespace
}  // namespace sorvik
