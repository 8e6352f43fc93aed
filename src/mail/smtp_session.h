#pragma once
// SmtpSession: the SMTP command sequence as a state machine, free of any socket. The client
// starts a phase (connect, send, quit), then hands every server reply to OnReply and carries out
// the action it returns: send bytes and read the next reply, upgrade the connection to TLS and
// call OnTlsStarted, or end the phase with success or failure.

#include <string>
#include <string_view>
#include <vector>

#include "mail/smtp_reply.h"

namespace sorvik {

// The authentication methods by their numbers: 0 none, 1 CRAM-MD5, 2 LOGIN, 3 PLAIN.
enum class SmtpAuthMethod { None = 0, CramMd5 = 1, Login = 2, Plain = 3 };

struct SmtpAction {
    enum class Kind { Send, StartTls, Done, Fail };
    Kind kind = Kind::Fail;
    std::string text;  // Send: the bytes to send; Fail: the server's reply, or the local reason

    static SmtpAction Send(std::string bytes) { return {Kind::Send, std::move(bytes)}; }
    static SmtpAction StartTls() { return {Kind::StartTls, {}}; }
    static SmtpAction Done() { return {Kind::Done, {}}; }
    static SmtpAction Fail(std::string why) { return {Kind::Fail, std::move(why)}; }
};

struct SmtpLoginSettings {
    SmtpAuthMethod method = SmtpAuthMethod::None;
    std::string user;
    std::string password;
    std::string localHost = "localhost";  // the name given with HELO/EHLO
    bool tlsActive = false;               // the connection is already encrypted (port 465)
    bool useStartTls = true;              // upgrade when the server offers STARTTLS after EHLO
};

// HMAC-MD5 of the challenge keyed with the password, as 32 lower-case hex digits.
std::string CramMd5Digest(std::string_view challenge, std::string_view password);

class SmtpSession {
  public:
    enum class State {
        Idle,
        Greeting,
        Helo,
        Ehlo,
        StartTls,
        EhloAfterTls,
        AuthLogin,
        AuthLoginUser,
        AuthLoginPassword,
        AuthPlain,
        AuthCram,
        AuthCramResponse,
        Ready,  // connected and greeted (and authenticated): a message may be sent
        MailFrom,
        RcptTo,
        Data,
        DataEnd,
        Quit,
        Closed,
        Failed,
    };

    // Connect phase: the next reply expected is the greeting.
    void BeginConnect(const SmtpLoginSettings& settings);
    // Send phase: from Ready, returns the MAIL FROM command (or Fail for an unusable address).
    // data is the full text after DATA, already dot-stuffed and ended with "\r\n.\r\n".
    SmtpAction BeginSend(std::string sender, std::vector<std::string> recipients, std::string data);
    // Quit phase: returns "QUIT\r\n"; the reply 221 ends it.
    SmtpAction BeginQuit();

    SmtpAction OnReply(const SmtpReply& reply);
    // The transport finished the TLS handshake that a StartTls action asked for.
    SmtpAction OnTlsStarted();

    State state() const { return state_; }
    const SmtpReply& LastReply() const { return lastReply_; }
    // EHLO keywords of the last EHLO reply, upper-cased first words ("STARTTLS", "AUTH", ...).
    const std::vector<std::string>& Extensions() const { return extensions_; }
    bool TlsActive() const { return settings_.tlsActive; }

  private:
    SmtpAction Expect(const SmtpReply& reply, int code);
    SmtpAction Fail(std::string why);
    SmtpAction AfterEhlo();
    SmtpAction StartAuth();
    bool Offers(std::string_view keyword) const;

    State state_ = State::Idle;
    SmtpLoginSettings settings_;
    SmtpReply lastReply_;
    std::vector<std::string> extensions_;
    std::vector<std::string> recipients_;
    size_t nextRecipient_ = 0;
    std::string data_;
};

}  // namespace sorvik
