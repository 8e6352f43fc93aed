#include "mail/pop3_session.h"

#include <gtest/gtest.h>

#include "text/strings.h"

namespace sorvik {
namespace {

class RecordingSink : public Pop3Sink {
  public:
    bool StoreMessage(int number, const std::string& text) override {
        numbers.push_back(number);
        texts.push_back(text);
        return failOn != number;
    }
    void ShowStatus(const std::string& text) override { statuses.push_back(text); }

    std::vector<int> numbers;
    std::vector<std::string> texts;
    std::vector<std::string> statuses;
    int failOn = 0;
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
    static std::string Message(int n) { return Format("Subject: m%d\r\n\r\nbody %d\r\n", n, n); }
    static std::string Retr(int n) {
        return Format("+OK %zu octets\r\n", Message(n).size()) + Message(n) + ".\r\n";
    }

    RecordingSink sink_;
    Pop3Session session_;
};

TEST_F(Pop3SessionTest, ThreeMessagesStoredInOrderThenDeletedThenQuit) {
    LogIn(3, 90);
    ExpectSend(Retr(1), "retr 2\r\n");
    ExpectSend(Retr(2), "retr 3\r\n");
    ExpectSend(Retr(3), "dele 1\r\n");
    EXPECT_TRUE(session_.AllStored());
    EXPECT_EQ(session_.state(), Pop3Session::kDeleting);
    ExpectSend("+OK\r\n", "dele 2\r\n");
    ExpectSend("+OK\r\n", "dele 3\r\n");
    ExpectSend("+OK\r\n", "quit\r\n");
    EXPECT_EQ(session_.StatusText(), "Deleted all messages\r\n");
    EXPECT_EQ(session_.state(), Pop3Session::kAllDeleted);
    EXPECT_FALSE(session_.Finished());
    EXPECT_EQ(session_.OnData("+OK bye\r\n").kind, Pop3Action::Kind::Close);
    EXPECT_TRUE(session_.Finished());
    EXPECT_EQ(sink_.numbers, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(sink_.texts[1], Message(2));
}

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

TEST_F(Pop3SessionTest, StoreFailureRetrievesTheRestButDeletesNothing) {
    sink_.failOn = 2;
    LogIn(3, 90);
    ExpectSend(Retr(1), "retr 2\r\n");
    ExpectSend(Retr(2), "retr 3\r\n");
    ExpectSend(Retr(3), "quit\r\n");
    EXPECT_EQ(session_.StatusText(), "Session ended\r\n");
    EXPECT_EQ(session_.state(), Pop3Session::kEnded);
    EXPECT_FALSE(session_.AllStored());
    EXPECT_EQ(session_.OnData("+OK\r\n").kind, Pop3Action::Kind::Close);
}

TEST_F(Pop3SessionTest, ErrReplyEndsWithoutQuit) {
    ExpectSend("+OK ready\r\n", "user alice\r\n");
    ExpectSend("+OK\r\n", "pass wonder\r\n");
    Pop3Action a = session_.OnData("-ERR [AUTH] Authentication failed.\r\n");
    EXPECT_EQ(a.kind, Pop3Action::Kind::Close);
    EXPECT_TRUE(session_.Finished());
    EXPECT_EQ(session_.StatusText(), "Received -ERR from server :-ERR [AUTH] Authentication failed.\r\n");
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

TEST_F(Pop3SessionTest, EndlessMessageIsCutOffBeforeItsEnd) {
    LogIn(1, 30);
    EXPECT_EQ(session_.OnData("+OK 10 octets\r\n").kind, Pop3Action::Kind::Wait);
    Pop3Action a{};
    for (int i = 0; i < 100 && a.kind == Pop3Action::Kind::Wait; ++i) {
        a = session_.OnData(std::string(100, 'x') + "\r\n");
    }
    EXPECT_EQ(a.kind, Pop3Action::Kind::Close);
    EXPECT_EQ(session_.StatusText(), "Message 1 is larger than its announced size\r\n");
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

    RecordingSink sink;
    Pop3Session lost(sink);
    lost.Begin(Pop3Settings{});
    lost.OnTransportError();
    EXPECT_EQ(lost.StatusText(), "Error while receiving!\r\n");
}

TEST(Pop3SessionTls, CapabilitiesThenStlsThenLogin) {
    RecordingSink sink;
    Pop3Session s(sink);
    Pop3Settings settings;
    settings.user = "u";
    settings.password = "p";
    s.Begin(settings);
    EXPECT_EQ(s.OnData("+OK hi\r\n").text, "capa\r\n");
    EXPECT_EQ(s.OnData("+OK\r\nUSER\r\nSTLS\r\nSASL PLAIN\r\n.\r\n").text, "stls\r\n");
    EXPECT_EQ(s.OnData("+OK Begin TLS negotiation now.\r\n").kind, Pop3Action::Kind::StartTls);
    EXPECT_EQ(s.OnTlsStarted().text, "user u\r\n");

    // No STLS on offer, or no CAPA at all: straight to the login.
    Pop3Session plain(sink);
    plain.Begin(settings);
    plain.OnData("+OK hi\r\n");
    EXPECT_EQ(plain.OnData("+OK\r\nUSER\r\n.\r\n").text, "user u\r\n");
    Pop3Session old(sink);
    old.Begin(settings);
    old.OnData("+OK hi\r\n");
    EXPECT_EQ(old.OnData("-ERR unknown command\r\n").text, "user u\r\n");

    // Already encrypted (port 995): no CAPA.
    settings.tlsActive = true;
    Pop3Session implicit(sink);
    implicit.Begin(settings);
    EXPECT_EQ(implicit.OnData("+OK hi\r\n").text, "user u\r\n");
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
