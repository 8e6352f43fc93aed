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

void ExpectDone(SmtpSession& s, const std::string& reply) {
    SmtpAction a = s.OnReply(Reply(reply));
    EXPECT_EQ(a.kind, SmtpAction::Kind::Done) << a.text;
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
    ExpectDone(s, "250 ok\r\n");
    EXPECT_EQ(s.state(), SmtpSession::State::Ready);
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

TEST(SmtpSession, AuthLoginSendsBase64NameAndPassword) {
    SmtpSession s;
    s.BeginConnect(Login(SmtpAuthMethod::Login));
    ExpectSend(s, "220 hi\r\n", "EHLO client.example\r\n");
    ExpectSend(s, "250-hi\r\n250 AUTH LOGIN PLAIN\r\n", "AUTH LOGIN\r\n");
    // Servers word the challenges differently ("Username:", "User Name\0"); any 334 goes on.
    ExpectSend(s, "334 VXNlciBOYW1lAA==\r\n", Base64Encode("tim") + "\r\n");
    ExpectSend(s, "334 UGFzc3dvcmQ6\r\n", Base64Encode("tanstaaftanstaaf") + "\r\n");
    ExpectDone(s, "235 2.7.0 Authentication successful\r\n");
}

TEST(SmtpSession, AuthPlainSendsTheCredentialsInOneLine) {
    SmtpSession s;
    s.BeginConnect(Login(SmtpAuthMethod::Plain));
    ExpectSend(s, "220 hi\r\n", "EHLO client.example\r\n");
    ExpectSend(s, "250 hi\r\n",
               "AUTH PLAIN " + Base64Encode(std::string("\0tim\0tanstaaftanstaaf", 21)) + "\r\n");
    SmtpAction a = s.OnReply(Reply("535 5.7.8 Authentication credentials invalid\r\n"));
    EXPECT_EQ(a.kind, SmtpAction::Kind::Fail);
    EXPECT_EQ(a.text, "535 5.7.8 Authentication credentials invalid\r\n");
}

TEST(SmtpSession, CramMd5AnswersTheRfc2195Example) {
    // The exchange of RFC 2195, section 2.
    EXPECT_EQ(CramMd5Digest("<1896.697170952@postoffice.reston.mci.net>", "tanstaaftanstaaf"),
              "b913a602c7eda7a495b4e6e7334d3890");
    SmtpSession s;
    s.BeginConnect(Login(SmtpAuthMethod::CramMd5));
    ExpectSend(s, "220 hi\r\n", "EHLO client.example\r\n");
    ExpectSend(s, "250-hi\r\n250 AUTH CRAM-MD5\r\n", "AUTH CRAM-MD5\r\n");
    ExpectSend(s, "334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+\r\n",
               "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw\r\n");
    ExpectDone(s, "235 ok\r\n");
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

TEST(SmtpSession, NoLoginUsesHeloThenSendsEnvelopeAndDataThenQuits) {
    SmtpSession s;
    MakeReady(s);
    SmtpAction a = s.BeginSend("me@x.org", {"a@x.org", "b@x.org"}, "body\r\n.\r\n");
    ASSERT_EQ(a.kind, SmtpAction::Kind::Send);
    EXPECT_EQ(a.text, "MAIL FROM:<me@x.org>\r\n");
    ExpectSend(s, "250 ok\r\n", "RCPT TO:<a@x.org>\r\n");
    ExpectSend(s, "250 ok\r\n", "RCPT TO:<b@x.org>\r\n");
    ExpectSend(s, "251 will forward\r\n", "DATA\r\n");
    ExpectSend(s, "354 go\r\n", "body\r\n.\r\n");
    ExpectDone(s, "250 queued\r\n");
    a = s.BeginQuit();
    EXPECT_EQ(a.text, "QUIT\r\n");
    ExpectDone(s, "221 bye\r\n");
    EXPECT_EQ(s.state(), SmtpSession::State::Closed);
}

TEST(SmtpSession, RefusedRecipientAndUnsafeAddresses) {
    SmtpSession s;
    MakeReady(s);
    EXPECT_EQ(s.BeginSend("me@x.org", {"a@x.org>\r\nDATA"}, "x").kind, SmtpAction::Kind::Fail);

    SmtpSession t;
    MakeReady(t);
    t.BeginSend("me@x.org", {"nobody@x.org"}, "x");
    ExpectSend(t, "250 ok\r\n", "RCPT TO:<nobody@x.org>\r\n");
    SmtpAction a = t.OnReply(Reply("550 no such user\r\n"));
    EXPECT_EQ(a.kind, SmtpAction::Kind::Fail);
    EXPECT_EQ(a.text, "550 no such user\r\n");
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
