#pragma once
// Pop3Receiver: runs one whole POP3 session over a MailSocket, driving a Pop3Session until it
// finishes. Blocking; every wait is bounded by the reply timeout.

#include <string>

#include "mail/mail_socket.h"
#include "mail/pop3_session.h"

namespace sorvik {

struct Pop3Account {
    std::string host;
    int port = 110;
    std::string user;
    std::string password;
    bool useStls = true;        // upgrade with STLS when the server offers it
    int implicitTlsPort = 995;  // on this port TLS starts before the greeting
    TlsSettings tls;
    int replyTimeoutMs = 60000;
};

class Pop3Receiver {
  public:
    // Connects, downloads every message into the sink and deletes them on the server once all
    // are stored. True when the session ended as planned ("No new messages\r\n" or "Deleted all
    // messages\r\n"); the last status text is in StatusText() either way.
    bool Receive(const Pop3Account& account, Pop3Sink& sink);

    const std::string& StatusText() const { return status_; }
    int State() const { return state_; }

  private:
    std::string status_ = "Not connected to server\r\n";
    int state_ = 0;
};

}  // namespace sorvik
