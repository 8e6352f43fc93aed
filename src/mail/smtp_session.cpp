#include "mail/smtp_session.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cctype>

#include "mail/mime_encoding.h"
#include "mail/smtp_message.h"
#include "text/strings.h"

namespace sorvik {

std::string CramMd5Digest(std::string_view challenge, std::string_view password) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_md5(), password.data(), static_cast<int>(password.size()),
         reinterpret_cast<const unsigned char*>(challenge.data()), challenge.size(), digest, &length);
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += Format("%02x", digest[i]);
    }
    return hex;
}

void SmtpSession::BeginConnect(const SmtpLoginSettings& settings) {
    settings_ = settings;
    // The name goes into a command line: no blanks or line breaks may reach the server.
    std::string host;
    for (char c : settings_.localHost) {
        if (static_cast<unsigned char>(c) > 0x20 && c != 0x7F) {
            host += c;
        }
    }
    settings_.localHost = host.empty() ? "localhost" : host;
    extensions_.clear();
    lastReply_ = SmtpReply{};
    state_ = State::Greeting;
}

SmtpAction SmtpSession::BeginSend(std::string sender, std::vector<std::string> recipients, std::string data) {
    if (state_ != State::Ready) {
        return Fail("not connected");
    }
    if (!IsSendableAddress(sender)) {
        return Fail("invalid sender address: " + sender);
    }
    if (recipients.empty()) {
        return Fail("no recipient");
    }
    for (const auto& r : recipients) {
        if (!IsSendableAddress(r)) {
            return Fail("invalid recipient address: " + r);
        }
    }
    recipients_ = std::move(recipients);
    nextRecipient_ = 0;
    data_ = std::move(data);
    state_ = State::MailFrom;
    return SmtpAction::Send(Format("MAIL FROM:<%s>\r\n", sender.c_str()));
}

SmtpAction SmtpSession::BeginQuit() {
    state_ = State::Quit;
    return SmtpAction::Send("QUIT\r\n");
}

SmtpAction SmtpSession::Fail(std::string why) {
    state_ = State::Failed;
    return SmtpAction::Fail(std::move(why));
}

SmtpAction SmtpSession::Expect(const SmtpReply& reply, int /*code*/) {
    // The server's own words say best what went wrong.
    return Fail(reply.raw.empty() ? std::string("empty reply") : reply.raw);
}

bool SmtpSession::Offers(std::string_view keyword) const {
    for (const auto& e : extensions_) {
        if (e == keyword) {
            return true;
        }
    }
    return false;
}

SmtpAction SmtpSession::OnReply(const SmtpReply& reply) {
    lastReply_ = reply;
    switch (state_) {
        case State::Greeting:
            if (reply.code != 220) {
                return Expect(reply, 220);
            }
            if (settings_.method == SmtpAuthMethod::None) {
                state_ = State::Helo;
                return SmtpAction::Send(Format("HELO %s\r\n", settings_.localHost.c_str()));
            }
            state_ = State::Ehlo;
            return SmtpAction::Send(Format("EHLO %s\r\n", settings_.localHost.c_str()));
        case State::Helo:
            if (reply.code != 250) {
                return Expect(reply, 250);
            }
            state_ = State::Ready;
            return SmtpAction::Done();
        case State::Ehlo:
        case State::EhloAfterTls:
            if (reply.code != 250) {
                return Expect(reply, 250);
            }
            extensions_.clear();
            for (size_t i = 1; i < reply.lines.size(); ++i) {
                std::string word = reply.lines[i].substr(0, reply.lines[i].find_first_of(" ="));
                for (char& c : word) {
                    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                }
                extensions_.push_back(word);
            }
            return AfterEhlo();
        case State::StartTls:
            if (reply.code != 220) {
                return Expect(reply, 220);
            }
            return SmtpAction::StartTls();
        case State::AuthLogin:
            if (reply.code != 334) {
                return Expect(reply, 334);
            }
            state_ = State::AuthLoginUser;
            return SmtpAction::Send(Base64Encode(settings_.user) + "\r\n");
        case State::AuthLoginUser:
            if (reply.code != 334) {
                return Expect(reply, 334);
            }
            state_ = State::AuthLoginPassword;
            return SmtpAction::Send(Base64Encode(settings_.password) + "\r\n");
        case State::AuthLoginPassword:
        case State::AuthPlain:
        case State::AuthCramResponse:
            if (reply.code != 235) {
                return Expect(reply, 235);
            }
            state_ = State::Ready;
            return SmtpAction::Done();
        case State::AuthCram: {
            if (reply.code != 334) {
                return Expect(reply, 334);
            }
            std::string challenge;
            if (!Base64Decode(Trim(reply.LastText()), challenge)) {
                return Fail("CRAM-MD5 challenge is not base64: " + Trim(reply.raw));
            }
            state_ = State::AuthCramResponse;
            std::string answer = settings_.user + " " + CramMd5Digest(challenge, settings_.password);
            return SmtpAction::Send(Base64Encode(answer) + "\r\n");
        }
        case State::MailFrom:
            if (reply.code != 250) {
                return Expect(reply, 250);
            }
            state_ = State::RcptTo;
            return SmtpAction::Send(Format("RCPT TO:<%s>\r\n", recipients_[nextRecipient_++].c_str()));
        case State::RcptTo:
            // 251: "user not local; will forward" is an accepted recipient as well.
            if (reply.code != 250 && reply.code != 251) {
                return Expect(reply, 250);
            }
            if (nextRecipient_ < recipients_.size()) {
                return SmtpAction::Send(Format("RCPT TO:<%s>\r\n", recipients_[nextRecipient_++].c_str()));
            }
            state_ = State::Data;
            return SmtpAction::Send("DATA\r\n");
        case State::Data:
            if (reply.code != 354) {
                return Expect(reply, 354);
            }
            state_ = State::DataEnd;
            return SmtpAction::Send(std::move(data_));
        case State::DataEnd:
            if (reply.code != 250) {
                return Expect(reply, 250);
            }
            state_ = State::Ready;
            return SmtpAction::Done();
        case State::Quit:
            if (reply.code != 221) {
                return Expect(reply, 221);
            }
            state_ = State::Closed;
            return SmtpAction::Done();
        case State::Idle:
        case State::Ready:
        case State::Closed:
        case State::Failed:
            break;
    }
    return Fail("unexpected reply: " + Trim(reply.raw));
}

SmtpAction SmtpSession::AfterEhlo() {
    if (settings_.useStartTls && !settings_.tlsActive && state_ == State::Ehlo && Offers("STARTTLS")) {
        state_ = State::StartTls;
        return SmtpAction::Send("STARTTLS\r\n");
    }
    return StartAuth();
}

SmtpAction SmtpSession::OnTlsStarted() {
    if (state_ != State::StartTls) {
        return Fail("TLS started out of turn");
    }
    settings_.tlsActive = true;
    // The server forgets everything said before the handshake, so the greeting is repeated.
    state_ = State::EhloAfterTls;
    return SmtpAction::Send(Format("EHLO %s\r\n", settings_.localHost.c_str()));
}

SmtpAction SmtpSession::StartAuth() {
    switch (settings_.method) {
        case SmtpAuthMethod::CramMd5:
            state_ = State::AuthCram;
            return SmtpAction::Send("AUTH CRAM-MD5\r\n");
        case SmtpAuthMethod::Login:
            state_ = State::AuthLogin;
            return SmtpAction::Send("AUTH LOGIN\r\n");
        case SmtpAuthMethod::Plain: {
            state_ = State::AuthPlain;
            std::string credentials;
            credentials += '\0';
            credentials += settings_.user;
            credentials += '\0';
            credentials += settings_.password;
            return SmtpAction::Send("AUTH PLAIN " + Base64Encode(credentials) + "\r\n");
        }
        case SmtpAuthMethod::None:
            break;
    }
    state_ = State::Ready;
    return SmtpAction::Done();
}

}  // namespace sorvik
