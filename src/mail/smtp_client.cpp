#include "mail/smtp_client.h"

#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "text/strings.h"

namespace sorvik {

namespace {

std::string MachineHostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "localhost";
    }
    return name;
}

}  // namespace

bool CSmtpClient::TransportFailed() {
    failure_ = socket_.Error();
    systemError_ = socket_.ErrorCode() != 0 ? socket_.ErrorCode() : EIO;
    return false;
}

bool CSmtpClient::ReadReply(SmtpReply& reply) {
    while (!reader_.Next(reply)) {
        if (reader_.Overflowed()) {
            failure_ = "the server's reply has no end";
            systemError_ = EPROTO;
            return false;
        }
        std::string bytes;
        switch (socket_.Receive(bytes, connection.replyTimeoutMs)) {
            case MailSocket::ReadResult::Data:
                reader_.Feed(bytes);
                break;
            case MailSocket::ReadResult::Closed:
                failure_ = "the server closed the connection";
                systemError_ = ECONNRESET;
                return false;
            case MailSocket::ReadResult::Timeout:
                failure_ = Format("no reply from the server within %d s", connection.replyTimeoutMs / 1000);
                systemError_ = ETIMEDOUT;
                return false;
            case MailSocket::ReadResult::Error:
                return TransportFailed();
        }
    }
    return true;
}

bool CSmtpClient::Drive(SmtpAction action) {
    while (true) {
        switch (action.kind) {
            case SmtpAction::Kind::Done:
                return true;
            case SmtpAction::Kind::Fail:
                failure_ = action.text;
                systemError_ = EPROTO;
                return false;
            case SmtpAction::Kind::StartTls: {
                // Nothing the server sent before the handshake may be taken as a reply after it.
                reader_.Clear();
                if (!socket_.StartTls(connection.tls, connection.replyTimeoutMs)) {
                    return TransportFailed();
                }
                action = session_.OnTlsStarted();
                break;
            }
            case SmtpAction::Kind::Send: {
                if (!socket_.SendAll(action.text, connection.replyTimeoutMs)) {
                    return TransportFailed();
                }
                SmtpReply reply;
                if (!ReadReply(reply)) {
                    return false;
                }
                action = session_.OnReply(reply);
                break;
            }
        }
    }
}

bool CSmtpClient::Connect(const std::string& host, int port, int method, const std::string& user,
                          const std::string& password, const std::string& localHost) {
    socket_.Close();
    reader_.Clear();
    failure_.clear();
    systemError_ = 0;
    if (method < 0 || method > 3) {
        failure_ = Format("unknown authentication method %d", method);
        systemError_ = EINVAL;
        return false;
    }
    if (!socket_.Connect(host, port, connection.replyTimeoutMs)) {
        return TransportFailed();
    }
    const bool implicitTls = port == connection.implicitTlsPort;
    if (implicitTls && !socket_.StartTls(connection.tls, connection.replyTimeoutMs)) {
        TransportFailed();
        socket_.Close();
        return false;
    }
    SmtpLoginSettings login;
    login.method = static_cast<SmtpAuthMethod>(method);
    login.user = user;
    login.password = password;
    login.localHost = localHost == "auto" ? MachineHostName() : localHost;
    login.tlsActive = implicitTls;
    login.useStartTls = connection.useStartTls;
    session_.BeginConnect(login);

    SmtpReply greeting;
    bool ok = ReadReply(greeting) && Drive(session_.OnReply(greeting));
    if (!ok) {
        // Best effort: the server may already be gone, or the TLS state unusable.
        if (socket_.IsOpen() && session_.state() != SmtpSession::State::StartTls) {
            socket_.SendAll("QUIT\r\n", 1000);
        }
        socket_.Close();
    }
    return ok;
}

bool CSmtpClient::SendMessage(const SmtpMessage& message) {
    failure_.clear();
    systemError_ = 0;
    if (!socket_.IsOpen()) {
        failure_ = "not connected";
        systemError_ = ENOTCONN;
        return false;
    }
    return Drive(session_.BeginSend(message.from.address, message.EnvelopeRecipients(),
                                    message.BuildData(std::time(nullptr))));
}

bool CSmtpClient::Disconnect() {
    if (!socket_.IsOpen()) {
        return false;
    }
    std::string keepFailure = failure_;
    int keepError = systemError_;
    bool ok = Drive(session_.BeginQuit());
    if (ok) {
        // A clean QUIT leaves the reason of an earlier failure for the caller.
        failure_ = keepFailure;
        systemError_ = keepError;
    }
    socket_.Close();
    return ok;
}

}  // namespace sorvik
