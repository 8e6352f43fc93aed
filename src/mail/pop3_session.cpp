#include "mail/pop3_session.h"

#include <algorithm>

#include "mail/mime_encoding.h"
#include "text/strings.h"

namespace sorvik {

namespace {

constexpr size_t kMaxResponseKept = 20000;
constexpr size_t kMaxLineBytes = 64 * 1024;

std::string FirstWord(std::string_view text) {
    size_t end = text.find_first_of(" \r\n");
    return std::string(text.substr(0, end));
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

Pop3Session::Pop3Session(Pop3Sink& sink) : sink_(sink) {}

void Pop3Session::Begin(const Pop3Settings& settings) {
    settings_ = settings;
    buffer_.clear();
    response_.clear();
    state_ = kGreeting;
    quitSent_ = false;
    finished_ = false;
    stored_ = false;
    allStoredSoFar_ = true;
    messageCount_ = 0;
    totalSize_ = 0;
    current_ = Entry{};
    currentMessage_ = 0;
    deleteNumber_ = 0;
}

void Pop3Session::SetStatus(const std::string& text) {
    status_ = text;
    sink_.ShowStatus(text);
}

bool Pop3Session::ExpectsMultiLine() const {
    return !quitSent_ && (state_ == kCapaSent || state_ == kRetrieving);
}

bool Pop3Session::TakeResponse(std::string& response, bool& tooLarge) {
    tooLarge = false;
    size_t lineEnd = buffer_.find("\r\n");
    if (lineEnd == std::string::npos) {
        tooLarge = buffer_.size() > kMaxLineBytes;
        return false;
    }
    if (!ExpectsMultiLine() || buffer_.compare(0, 3, "+OK") != 0) {
        response = buffer_.substr(0, lineEnd + 2);
        buffer_.erase(0, lineEnd + 2);
        return true;
    }
    // A multi-line reply ends with a line holding a single ".".
    size_t terminator = buffer_.find("\r\n.\r\n", lineEnd);
    if (terminator == std::string::npos) {
        if (state_ == kRetrieving) {
            Entry& entry = current_;
            entry.receivedSize = static_cast<long long>(buffer_.size() - lineEnd - 2);
            // Dot stuffing adds at most one byte per line, so twice the size is more than any honest reply.
            // An announced size counts up to the bound of an unannounced message: a server that
            // announces an absurd size must not make the session hold (or overflow) without end.
            long long announced = ParseLeadingInt(std::string_view(buffer_).substr(3, lineEnd - 3));
            announced = std::min(announced, settings_.maxMessageBytes);
            long long limit = announced > 0 ? announced * 2 + 1024 : settings_.maxMessageBytes;
            tooLarge = entry.receivedSize > limit;
        } else {
            tooLarge = buffer_.size() > kMaxLineBytes;
        }
        return false;
    }
    response = buffer_.substr(0, terminator + 5);
    buffer_.erase(0, terminator + 5);
    return true;
}

Pop3Action Pop3Session::OnData(std::string_view bytes) {
    if (finished_) {
        return {Pop3Action::Kind::Close, {}};
    }
    buffer_.append(bytes);
    std::string response;
    bool tooLarge = false;
    if (!TakeResponse(response, tooLarge)) {
        if (tooLarge) {
            if (state_ == kRetrieving) {
                return Abort(Format("Message %d is larger than its announced size\r\n", currentMessage_));
            }
            return Abort("Unexpected reply from server :" + buffer_.substr(0, 200));
        }
        return {Pop3Action::Kind::Wait, {}};
    }
    if (!buffer_.empty()) {
        // POP3 answers one command with one reply; anything more is not a conversation we know.
        return Abort("Unexpected reply from server :" + response.substr(0, 200));
    }
    response_ = response.substr(0, kMaxResponseKept);
    return HandleResponse(response);
}

Pop3Action Pop3Session::OnTlsStarted() {
    if (state_ != kStlsSent || finished_) {
        return Abort("Unexpected reply from server :" + response_);
    }
    buffer_.clear();
    settings_.tlsActive = true;
    return SendUser();
}

void Pop3Session::OnTransportError() {
    if (finished_) {
        return;
    }
    finished_ = true;
    if (!quitSent_) {
        SetStatus("Error while receiving!\r\n");
    }
}

Pop3Action Pop3Session::Abort(const std::string& status) {
    SetStatus(status);
    finished_ = true;
    return {Pop3Action::Kind::Close, {}};
}

Pop3Action Pop3Session::Quit(const std::string& status, int nextState) {
    SetStatus(status);
    state_ = nextState;
    quitSent_ = true;
    return {Pop3Action::Kind::Send, Format("quit%c%c", 13, 10)};
}

Pop3Action Pop3Session::SendUser() {
    if (HasLineBreak(settings_.user) || HasLineBreak(settings_.password)) {
        return Abort("Invalid user name or password\r\n");
    }
    state_ = kUserSent;
    return {Pop3Action::Kind::Send, Format("user %s%c%c", settings_.user.c_str(), 13, 10)};
}

Pop3Action Pop3Session::HandleResponse(const std::string& response) {
    const std::string word = FirstWord(response);
    if (word == "-ERR") {
        if (state_ == kCapaSent && !quitSent_) {
            return SendUser();  // a server without CAPA simply has nothing to offer
        }
        finished_ = true;
        SetStatus("Received -ERR from server :" + response_);
        return {Pop3Action::Kind::Close, {}};
    }
    if (word != "+OK") {
        return Abort("Unexpected reply from server :" + response_);
    }
    if (quitSent_) {
        finished_ = true;
        return {Pop3Action::Kind::Close, {}};
    }
    switch (state_) {
        case kGreeting:
            if (settings_.useStls && !settings_.tlsActive) {
                state_ = kCapaSent;
                return {Pop3Action::Kind::Send, Format("capa%c%c", 13, 10)};
            }
            return SendUser();
        case kCapaSent: {
            for (const auto& line : SplitAll(response, "\r\n")) {
                if (EqualsNoCase(Trim(line), "STLS")) {
                    state_ = kStlsSent;
                    return {Pop3Action::Kind::Send, Format("stls%c%c", 13, 10)};
                }
            }
            return SendUser();
        }
        case kStlsSent:
            return {Pop3Action::Kind::StartTls, {}};
        case kUserSent:
            state_ = kPassSent;
            return {Pop3Action::Kind::Send, Format("pass %s%c%c", settings_.password.c_str(), 13, 10)};
        case kPassSent:
            state_ = kStatSent;
            return {Pop3Action::Kind::Send, Format("stat%c%c", 13, 10)};
        case kStatSent: {
            auto words = SplitAll(Trim(response), " ");
            messageCount_ = words.size() > 1 ? ToInt(words[1]) : 0;
            totalSize_ = words.size() > 2 ? ParseLeadingInt(words[2]) : 0;
            if (messageCount_ <= 0) {
                return Quit("No new messages\r\n", kStatSent);
            }
            current_ = Entry{};
            currentMessage_ = 1;
            state_ = kRetrieving;
            return {Pop3Action::Kind::Send, Format("retr 1%c%c", 13, 10)};
        }
        case kRetrieving:
            return HandleRetrieved(response);
        case kDeleting:
            if (deleteNumber_ >= messageCount_) {
                return Quit("Deleted all messages\r\n", kAllDeleted);
            }
            ++deleteNumber_;
            return {Pop3Action::Kind::Send, Format("dele %d%c%c", deleteNumber_, 13, 10)};
        default:
            break;
    }
    return Abort("Unexpected reply from server :" + response_);
}

Pop3Action Pop3Session::HandleRetrieved(const std::string& response) {
    Entry& entry = current_;
    size_t lineEnd = response.find("\r\n");
    auto words = SplitAll(Trim(response.substr(0, lineEnd)), " ");
    entry.expectedSize = words.size() > 1 ? ParseLeadingInt(words[1]) : 0;
    // The message lies between the reply line and the final ".\r\n"; its last CR LF belongs to it.
    std::string raw = response.substr(lineEnd + 2, response.size() - (lineEnd + 2) - 3);
    entry.receivedSize = static_cast<long long>(raw.size());
    const std::string text = DotUnstuff(raw);
    if (entry.expectedSize > 0 && static_cast<long long>(text.size()) > entry.expectedSize) {
        return Abort(Format("Message %d is larger than its announced size\r\n", currentMessage_));
    }
    if (!sink_.StoreMessage(currentMessage_, text)) {
        allStoredSoFar_ = false;
    }
    if (currentMessage_ < messageCount_) {
        current_ = Entry{};
        ++currentMessage_;
        return {Pop3Action::Kind::Send, Format("retr %d%c%c", currentMessage_, 13, 10)};
    }
    if (allStoredSoFar_) {
        stored_ = true;
        deleteNumber_ = 1;
        state_ = kDeleting;
        return {Pop3Action::Kind::Send, Format("dele %d%c%c", 1, 13, 10)};
    }
    return Quit("Session ended\r\n", kEnded);
}

}  // namespace sorvik
