#include "mail/pop3_session.h"

#include <gtest/gtest.h>

#include "text/strings.h"

namespace sorvik {
namespace {

class RecordingSink : public Pop3Sink {
  public:
    bool StoreMessage(int, const std::string& text) override {
        texts.push_back(text);
        return true;
    }
    void ShowStatus(const std::string& text) override { statuses.push_back(text); }

    std::vector<std::string> texts;
    std::vector<std::string> statuses;
};

class Pop3SessionTest : public ::testing::Test {
  protected:
    Pop3SessionTest() : session_(sink_) {
        Pop3Settings s;
        s.user = "alice";
        s.password = "wonder";
        s.useStls = false;
        session_.Begin(s);
    }

    // Feeds the server's bytes and checks the command the session sends back.
    void ExpectSend(const std::string& reply, const std::string& command) {
        Pop3Action a = session_.OnData(reply);
        ASSERT_EQ(a.kind, Pop3Action::Kind::Send) << "after " << reply << " status " << session_.StatusText();
        EXPECT_EQ(a.text, command);
    }
    void LogIn(int count, long long size) {
        ExpectSend("+OK ready\r\n", "user alice\r\n");
        ExpectSend("+OK\r\n", "pass wonder\r\n");
        ExpectSend("+OK logged in\r\n", "stat\r\n");
        ExpectSend(Format("+OK %d %lld\r\n", count, size), count > 0 ? "retr 1\r\n" : "quit\r\n");
    }
    static std::string Retr(int n) { return Format("+OK 21 octets\r\nSubject: m%d\r\n\r\nbody\r\n.\r\n", n); }

    RecordingSink sink_;
    Pop3Session session_;
};

TEST_F(Pop3SessionTest, MessageArrivingInChunksIsStoredOnceWithDotsRestored) {
    LogIn(1, 40);
    std::string text = "Subject: dots\r\n\r\n.leading\r\n..two\r\nend";
    std::string wire = "+OK " + std::to_string(text.size() + 2) +
                       " octets\r\nSubject: dots\r\n\r\n..leading\r\n...two\r\nend\r\n.\r\n";
    for (size_t i = 0; i + 1 < wire.size(); ++i) {
        EXPECT_EQ(session_.OnData(wire.substr(i, 1)).kind, Pop3Action::Kind::Wait) << i;
    }
    ASSERT_TRUE(sink_.texts.empty());
    ExpectSend(wire.substr(wire.size() - 1), "dele 1\r\n");
    ASSERT_EQ(sink_.texts.size(), 1u);
    EXPECT_EQ(sink_.texts[0], text + "\r\n");
}

TEST_F(Pop3SessionTest, ErrWhileDeletingClosesWithoutQuitSoNothingIsDeleted) {
    LogIn(2, 60);
    ExpectSend(Retr(1), "retr 2\r\n");
    ExpectSend(Retr(2), "dele 1\r\n");
    EXPECT_EQ(session_.OnData("-ERR no\r\n").kind, Pop3Action::Kind::Close);
    EXPECT_TRUE(session_.Finished());
}

TEST_F(Pop3SessionTest, MessageLargerThanAnnouncedEndsWithoutStoring) {
    LogIn(2, 60);
    std::string big = "+OK 10 octets\r\nSubject: much longer than ten\r\n\r\nx\r\n.\r\n";
    EXPECT_EQ(session_.OnData(big).kind, Pop3Action::Kind::Close);
    EXPECT_TRUE(session_.Finished());
    EXPECT_EQ(session_.StatusText(), "Message 1 is larger than its announced size\r\n");
    EXPECT_TRUE(sink_.texts.empty());
}

// Also when the server announces an absurd size: that counts only up to the bound of a message.
TEST_F(Pop3SessionTest, EndlessMessageIsCutOffBeforeItsEnd) {
    for (const char* announced : {"10", "1000000000000000", "9223372036854775807"}) {
        Pop3Settings s;
        s.useStls = false;
        s.maxMessageBytes = 1000;
        session_.Begin(s);
        ExpectSend("+OK ready\r\n", "user \r\n");
        ExpectSend("+OK\r\n", "pass \r\n");
        ExpectSend("+OK logged in\r\n", "stat\r\n");
        ExpectSend("+OK 1 30\r\n", "retr 1\r\n");
        EXPECT_EQ(session_.OnData(Format("+OK %s octets\r\n", announced)).kind, Pop3Action::Kind::Wait);
        Pop3Action a{};
        for (int i = 0; i < 100 && a.kind == Pop3Action::Kind::Wait; ++i) {
            a = session_.OnData(std::string(100, 'x') + "\r\n");
        }
        EXPECT_EQ(a.kind, Pop3Action::Kind::Close) << announced;
        EXPECT_EQ(session_.StatusText(), "Message 1 is larger than its announced size\r\n");
    }
}

TEST_F(Pop3SessionTest, UnexpectedRepliesEndTheSession) {
    EXPECT_EQ(session_.OnData("* OK IMAP4 ready\r\n").kind, Pop3Action::Kind::Close);
    EXPECT_EQ(session_.StatusText(), "Unexpected reply from server :* OK IMAP4 ready\r\n");

    RecordingSink sink;
    Pop3Session extra(sink);
    extra.Begin(Pop3Settings{});
    // Two replies where one was asked for.
    EXPECT_EQ(extra.OnData("+OK ready\r\n+OK surprise\r\n").kind, Pop3Action::Kind::Close);
    EXPECT_TRUE(extra.Finished());
}

TEST_F(Pop3SessionTest, EmptyMailboxQuitsAndALostLineAfterQuitIsNoError) {
    LogIn(0, 0);  // "+OK 0 0" is answered with quit
    EXPECT_TRUE(sink_.texts.empty());
    session_.OnTransportError();
    EXPECT_TRUE(session_.Finished());
    EXPECT_EQ(session_.StatusText(), "No new messages\r\n");
}

// STLS and port 995 run against dovecot; a server that knows no CAPA cannot be shown there.
TEST(Pop3SessionTls, ServerWithoutCapaGoesStraightToTheLogin) {
    RecordingSink sink;
    Pop3Session old(sink);
    Pop3Settings settings;
    settings.user = "u";
    old.Begin(settings);
    EXPECT_EQ(old.OnData("+OK hi\r\n").text, "capa\r\n");
    EXPECT_EQ(old.OnData("-ERR unknown command\r\n").text, "user u\r\n");
}

TEST(Pop3SessionInput, LineBreakInCredentialsIsRefused) {
    RecordingSink sink;
    Pop3Session s(sink);
    Pop3Settings settings;
    settings.user = "u\r\ndele 1";
    settings.useStls = false;
    s.Begin(settings);
    EXPECT_EQ(s.OnData("+OK hi\r\n").kind, Pop3Action::Kind::Close);
    EXPECT_TRUE(s.Finished());
}

}  // namespace
}  // namespace sorvik
