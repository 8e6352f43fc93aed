#include "mail/smtp_reply.h"

#include <cctype>

namespace sorvik {

namespace {

bool StartsWithCode(std::string_view line) {
    return line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
           std::isdigit(static_cast<unsigned char>(line[1])) &&
           std::isdigit(static_cast<unsigned char>(line[2]));
}

}  // namespace

void SmtpReplyReader::Feed(std::string_view bytes) {
    buffer_.append(bytes);
}

bool SmtpReplyReader::Next(SmtpReply& reply) {
    SmtpReply result;
    size_t pos = 0;
    while (true) {
        size_t lf = buffer_.find('\n', pos);
        if (lf == std::string::npos) {
            if (buffer_.size() > kMaxReplyBytes) {
                overflowed_ = true;
            }
            return false;
        }
        std::string_view line(buffer_.data() + pos, lf - pos);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        result.raw.append(line);
        result.raw += "\r\n";
        pos = lf + 1;
        bool coded = StartsWithCode(line);
        int code = coded ? (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0') : 0;
        bool continued = coded && line.size() > 3 && line[3] == '-';
        result.lines.emplace_back(line.size() > 4 ? line.substr(4) : std::string_view());
        if (result.lines.size() == 1) {
            result.code = code;
        } else if (code != result.code) {
            result.code = 0;  // a continuation line with another code makes the reply unusable
        }
        if (!continued) {
            break;
        }
    }
    buffer_.erase(0, pos);
    reply = std::move(result);
    return true;
}

void SmtpReplyReader::Clear() {
    buffer_.clear();
}

}  // namespace sorvik
