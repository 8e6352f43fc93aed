// POP3 replies from outside: each input is a server's side of a download, its deliveries
// separated by NUL bytes; every stored message is read as a received mail.

#include <ctime>

#include "fuzz/fuzz_driver.h"
#include "mail/pop3_session.h"
#include "mail/received_mail.h"

namespace {

class ParsingSink : public sorvik::Pop3Sink {
  public:
    bool StoreMessage(int, const std::string& text) override {
        sorvik::ParseReceivedMail(text, 0);
        return true;
    }
    void ShowStatus(const std::string&) override {}
};

void OneDownload(std::string_view input) {
    ParsingSink sink;
    sorvik::Pop3Session session(sink);
    sorvik::Pop3Settings settings;
    settings.user = "user";
    settings.password = "secret";
    settings.maxMessageBytes = 1024 * 1024;
    session.Begin(settings);
    while (!session.Finished()) {
        const size_t end = input.find('\0');
        const sorvik::Pop3Action action = session.OnData(input.substr(0, end));
        if (action.kind == sorvik::Pop3Action::Kind::StartTls)
            session.OnTlsStarted();
        if (action.kind == sorvik::Pop3Action::Kind::Close || end == std::string_view::npos)
            break;
        input.remove_prefix(end + 1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    return sorvik::fuzz::FuzzMain(argc, argv, OneDownload);
}
