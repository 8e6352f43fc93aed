#pragma once
// CSmtpClient: delivers messages to one SMTP server over a MailSocket, driving an SmtpSession.
// One connection per object; Connect, then SendMessage (any number of times), then Disconnect.
// Every reply is awaited at most connection.replyTimeoutMs.

#include <string>

#include "mail/mail_socket.h"
#include "mail/smtp_message.h"
#include "mail/smtp_reply.h"
#include "mail/smtp_session.h"

namespace sorvik {

struct SmtpConnectionSettings {
    bool useStartTls = true;     // upgrade when the server offers STARTTLS after EHLO
    int implicitTlsPort = 465;   // on this port TLS starts before the greeting
    TlsSettings tls;             // certificate checks for both kinds of TLS
    int replyTimeoutMs = 60000;  // longest wait for a reply (and for connecting and sending)
};

class CSmtpClient {
  public:
    SmtpConnectionSettings connection;

    // Connects, greets and authenticates. method: 0 none (HELO), 1 CRAM-MD5, 2 LOGIN, 3 PLAIN
    // (EHLO). localHost "auto" means this machine's host name. On failure after the connection
    // is made, QUIT is sent and the socket closed.
    bool Connect(const std::string& host, int port, int method, const std::string& user,
                 const std::string& password, const std::string& localHost = "auto");
    // MAIL FROM, RCPT TO for to, cc and bcc, DATA and the message text. On failure the server's
    // reply (or the transport's reason) stays in FailureText().
    bool SendMessage(const SmtpMessage& message);
    // QUIT, expecting 221, then closes the socket whatever the reply.
    bool Disconnect();

    bool IsConnected() const { return socket_.IsOpen(); }
    bool IsTls() const { return socket_.IsTls(); }
    // The last server reply, every line CR LF ended.
    const std::string& LastReply() const { return session_.LastReply().raw; }
    // Why the last step failed: the server's reply or the transport's reason.
    const std::string& FailureText() const { return failure_; }
    // The error number of the last failure: an errno value, EPROTO for a wrong reply.
    int SystemError() const { return systemError_; }

  private:
    bool Drive(SmtpAction action);
    bool ReadReply(SmtpReply& reply);
    bool TransportFailed();

    MailSocket socket_;
    SmtpSession session_;
    SmtpReplyReader reader_;
    std::string failure_;
    int systemError_ = 0;
};

}  // namespace sorvik
