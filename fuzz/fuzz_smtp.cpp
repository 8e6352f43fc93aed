// SMTP replies from outside: each input is a server's side of a connection (greeting, EHLO,
// STARTTLS, AUTH LOGIN, one message, QUIT), cut into deliveries at NUL bytes.

#include "fuzz/fuzz_driver.h"
#include "mail/smtp_reply.h"
#include "mail/smtp_session.h"

namespace {

void OneConnection(std::string_view input) {
    sorvik::SmtpSession session;
    sorvik::SmtpLoginSettings settings;
    settings.method = sorvik::SmtpAuthMethod::Login;
    settings.user = "user";
    settings.password = "secret";
    session.BeginConnect(settings);
    sorvik::SmtpReplyReader reader;
    bool sent = false;
    while (!input.empty()) {
        const size_t end = input.find('\0');
        reader.Feed(input.substr(0, end));
        input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
        if (reader.Overflowed())
            return;
        sorvik::SmtpReply reply;
        while (reader.Next(reply)) {
            sorvik::SmtpAction action = session.OnReply(reply);
            if (action.kind == sorvik::SmtpAction::Kind::StartTls) {
                reader.Clear();
                action = session.OnTlsStarted();
            }
            if (action.kind == sorvik::SmtpAction::Kind::Fail)
                return;
            if (action.kind == sorvik::SmtpAction::Kind::Done) {
                if (session.state() != sorvik::SmtpSession::State::Ready)
                    return;
                if (!sent) {
                    sent = true;
                    session.BeginSend("a@example.com", {"b@example.com", "c@example.com"}, "Hi\r\n.\r\n");
                } else {
                    session.BeginQuit();
                }
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    return sorvik::fuzz::FuzzMain(argc, argv, OneConnection);
}
