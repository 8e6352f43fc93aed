#pragma once
// SmtpReplyReader: cuts the byte stream from an SMTP server into replies. A reply is one line
// "250 text" or several lines "250-text" ... "250 text"; its code is the three leading digits.

#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

struct SmtpReply {
    int code = 0;                    // 0 when the line did not start with three digits
    std::vector<std::string> lines;  // the text after "250-" / "250 " of each line
    std::string raw;                 // every line as received, CR LF ended

    // The text of the last line (the part after the code), e.g. the base64 of a 334 challenge.
    std::string LastText() const { return lines.empty() ? std::string() : lines.back(); }
};

class SmtpReplyReader {
  public:
    // A reply that grows beyond this many bytes is refused (a peer that never ends its reply).
    static constexpr size_t kMaxReplyBytes = 64 * 1024;

    // Adds received bytes.
    void Feed(std::string_view bytes);
    // Takes the next complete reply. False while none is complete.
    bool Next(SmtpReply& reply);
    // True when the peer sent more than kMaxReplyBytes without ending a reply.
    bool Overflowed() const { return overflowed_; }
    // Forgets buffered bytes (after a TLS upgrade nothing sent in plain text may be used).
    void Clear();
    bool HasBufferedBytes() const { return !buffer_.empty(); }

  private:
    std::string buffer_;
    bool overflowed_ = false;
};

}  // namespace sorvik
