#include "mail/pop3_receiver.h"

namespace sorvik {

bool Pop3Receiver::Receive(const Pop3Account& account, Pop3Sink& sink) {
    Pop3Session session(sink);
    Pop3Settings settings;
    settings.user = account.user;
    settings.password = account.password;
    settings.useStls = account.useStls;
    settings.tlsActive = account.port == account.implicitTlsPort;
    session.Begin(settings);

    MailSocket socket;
    auto finish = [&](bool ok) {
        socket.Close();
        status_ = session.StatusText();
        state_ = session.state();
        return ok;
    };
    auto fail = [&](const std::string& why) {
        status_ = "Cannot connect to server!\r\n" + why;
        sink.ShowStatus(status_);
        state_ = session.state();
        socket.Close();
        return false;
    };
    if (!socket.Connect(account.host, account.port, account.replyTimeoutMs)) {
        return fail(socket.Error());
    }
    if (settings.tlsActive && !socket.StartTls(account.tls, account.replyTimeoutMs)) {
        return fail(socket.Error());
    }

    while (!session.Finished()) {
        std::string bytes;
        MailSocket::ReadResult read = socket.Receive(bytes, account.replyTimeoutMs);
        if (read != MailSocket::ReadResult::Data) {
            session.OnTransportError();
            break;
        }
        Pop3Action action = session.OnData(bytes);
        while (action.kind == Pop3Action::Kind::StartTls) {
            if (!socket.StartTls(account.tls, account.replyTimeoutMs)) {
                std::string why = socket.Error();
                session.OnTransportError();
                finish(false);
                status_ += why;
                sink.ShowStatus(status_);
                return false;
            }
            action = session.OnTlsStarted();
        }
        if (action.kind == Pop3Action::Kind::Send) {
            if (!socket.SendAll(action.text, account.replyTimeoutMs)) {
                session.OnTransportError();
                break;
            }
        } else if (action.kind == Pop3Action::Kind::Close) {
            break;
        }
    }
    const int state = session.state();
    const bool planned =
        session.Finished() &&
        (session.StatusText() == "No new messages\r\n" ||
         (state == Pop3Session::kAllDeleted && session.StatusText() == "Deleted all messages\r\n"));
    return finish(planned);
}

}  // namespace sorvik
