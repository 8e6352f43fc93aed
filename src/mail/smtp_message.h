#pragma once
// SmtpAddress and SmtpMessage: an Internet mail message (addresses, header values and the MIME
// part tree) and its text as it is sent after DATA. Building a message does no network work.

#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mail/smtp_body_part.h"

namespace sorvik {

struct SmtpAddress {
    std::string name;     // friendly name, may be empty
    std::string address;  // e-mail address

    // "name <address>" with a non-ASCII name as an encoded word, or the bare address.
    std::string HeaderForm(std::string_view charset) const;
};

// Parses one list item: "addr", "<addr>", "Name <addr>" or "\"Name\" <addr>".
SmtpAddress ParseSmtpAddress(std::string_view item);
// Splits a recipient list at ",", ";" and line breaks; blank items are dropped.
std::vector<SmtpAddress> ParseSmtpAddressList(std::string_view list);
// True when the address can be put into a MAIL FROM or RCPT TO command as it is: not empty, no
// blanks, control bytes, "<" or ">".
bool IsSendableAddress(std::string_view address);

// The Date header value: "%a, %d %b %Y %H:%M:%S " with English names, then the offset from UTC
// as "+hhmm" / "-hhmm" (daylight saving time included).
std::string FormatMailDate(std::time_t when);

class SmtpMessage {
  public:
    SmtpMessage();

    SmtpAddress from;
    std::vector<SmtpAddress> to, cc, bcc;
    std::optional<SmtpAddress> replyTo;
    std::string subject;  // raw text; encoded when the header is written
    std::string xMailer = "Sorvik Mail 1.0";
    std::string charset = "gb18030";  // of encoded header words and text parts
    SmtpBodyPart root;
    bool mime = false;

    // Switching on turns the root into "multipart/mixed" with the preamble text; a plain body
    // already set moves into a "text/plain" child.
    void SetMime(bool on);
    // Without MIME the root's text; with MIME the first "text/plain" part (created when missing).
    void AddTextBody(std::string_view text);
    // Adds the HTML body; each "<%@@@path>" marker becomes an inline image part and a "cid:"
    // reference. A relative path is taken from imageFolder. Returns false when an image file
    // could not be read ("文件读取错误！(%s)" per file in warnings); the rest is built anyway.
    bool AddHtmlBody(std::string_view html, std::string_view imageFolder, std::string& warnings);
    // Adds the file as a base64 "application/octet-stream" part titled with its name.
    // False with "文件读取错误！(%s)" in error when the file can't be read.
    bool AddAttachment(const std::string& path, std::string& error);
    // kind 0 to, 1 cc, 2 bcc.
    void AddRecipients(const std::vector<SmtpAddress>& list, int kind);

    // The header lines in their order and the empty line that ends them.
    std::string BuildHeader(std::time_t when) const;
    // Everything after the header.
    std::string BuildBody() const;
    // Header and body, dot-stuffed, followed by "\r\n.\r\n": the bytes sent after DATA.
    std::string BuildData(std::time_t when) const;

    // The envelope: every recipient of to, cc and bcc in that order.
    std::vector<std::string> EnvelopeRecipients() const;

  private:
    bool RootIsEmptyContainer() const;
};

}  // namespace sorvik
