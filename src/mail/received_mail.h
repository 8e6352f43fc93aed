#pragma once
// ReceivedMail: the values of one downloaded message that the mailbox stores (subject, sender,
// receiver, date and the content text), read from its header. All texts are GB18030.

#include <ctime>
#include <string>
#include <string_view>

namespace sorvik {

struct ReceivedMail {
    std::string subject;        // decoded
    std::string senderName;     // display name of From, decoded; may be empty
    std::string senderAddress;  // the address of From
    std::string receiver;       // To without "(", ")", "<", ">"
    std::string date;           // "%Y-%m-%d %H:%M:%S" as written by the sender; receipt time if unreadable
    std::string content;        // "From:", "To:", "Date:", "Subject:" lines, CR LF each, then the body
};

// Reads the message (header, empty line, body; line ends CR LF or LF). now stands in for an
// unreadable or missing date.
ReceivedMail ParseReceivedMail(std::string_view message, std::time_t now);

// The value of the first header field of that name (case-insensitive), unfolded; only the
// header part of the message is searched. False when there is no such field.
bool FindHeaderField(std::string_view message, std::string_view name, std::string& value);

// Decodes RFC 2047 encoded words ("=?charset?B?...?=" and "=?charset?Q?...?=") into GB18030;
// blanks between two encoded words disappear, other text stays as it is. A word in an unknown
// charset, or that can't be decoded, stays as written.
std::string DecodeEncodedWords(std::string_view value);

// Reads a mail date such as "Tue, 14 Nov 2023 22:13:20 +0800" (day name, seconds and zone
// optional; two-digit years accepted) into "%Y-%m-%d %H:%M:%S" as written, zone ignored.
bool ParseMailDate(std::string_view text, std::string& out);

}  // namespace sorvik
