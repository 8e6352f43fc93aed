#include "mail/received_mail.h"

#include <cctype>
#include <vector>

#include "mail/mime_encoding.h"
#include "store/task_table.h"
#include "text/code_page.h"
#include "text/strings.h"

namespace sorvik {

namespace {

struct MessageParts {
    std::string_view header;
    std::string_view body;
};

// The header is everything before the first empty line (CR LF or LF line ends), the body
// everything after it. A message without an empty line is all header.
MessageParts SplitMessage(std::string_view message) {
    if (message.substr(0, 2) == "\r\n") {
        return {{}, message.substr(2)};
    }
    if (!message.empty() && message[0] == '\n') {
        return {{}, message.substr(1)};
    }
    size_t crlf = message.find("\r\n\r\n");
    size_t lf = message.find("\n\n");
    if (crlf == std::string_view::npos && lf == std::string_view::npos) {
        return {message, {}};
    }
    if (crlf < lf) {
        return {message.substr(0, crlf), message.substr(crlf + 4)};
    }
    return {message.substr(0, lf), message.substr(lf + 2)};
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Decodes one encoded word's text; false when it is not well-formed.
bool DecodeWordText(char encoding, std::string_view text, std::string& out) {
    if (encoding == 'B' || encoding == 'b') {
        return Base64Decode(text, out);
    }
    if (encoding != 'Q' && encoding != 'q') {
        return false;
    }
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=' && i + 2 < text.size() &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += c;
        }
    }
    return true;
}

// Tries to read an encoded word at pos; on success gives its decoded text and its end.
bool ReadEncodedWord(std::string_view value, size_t pos, std::string& decoded, size_t& end) {
    if (value.compare(pos, 2, "=?") != 0) {
        return false;
    }
    size_t q1 = value.find('?', pos + 2);
    if (q1 == std::string_view::npos || q1 + 2 >= value.size() || value[q1 + 2] != '?') {
        return false;
    }
    size_t close = value.find("?=", q1 + 3);
    if (close == std::string_view::npos) {
        return false;
    }
    std::string charset(value.substr(pos + 2, q1 - pos - 2));
    if (size_t star = charset.find('*'); star != std::string::npos) {
        charset.erase(star);  // RFC 2231 language suffix
    }
    std::string bytes;
    if (charset.empty() || !DecodeWordText(value[q1 + 1], value.substr(q1 + 3, close - q1 - 3), bytes)) {
        return false;
    }
    bool known = false;
    decoded = ConvertToGb(bytes, charset, &known);
    if (!known) {
        return false;
    }
    end = close + 2;
    return true;
}

std::string RemoveChars(std::string_view text, std::string_view chars) {
    std::string out;
    for (char c : text) {
        if (chars.find(c) == std::string_view::npos) {
            out += c;
        }
    }
    return out;
}

int MonthNumber(std::string_view name) {
    static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    std::string lower = ToLowerAscii(name.substr(0, 3));
    for (int i = 0; i < 12; ++i) {
        if (name.size() >= 3 && lower == kMonths[i]) {
            return i + 1;
        }
    }
    return 0;
}

bool AllDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

bool ParseClock(std::string_view text, int& h, int& m, int& s) {
    auto parts = SplitAll(text, ":");
    if (parts.size() < 2 || parts.size() > 3) {
        return false;
    }
    for (const auto& p : parts) {
        if (!AllDigits(p) || p.size() > 2) {
            return false;
        }
    }
    h = ToInt(parts[0]);
    m = ToInt(parts[1]);
    s = parts.size() == 3 ? ToInt(parts[2]) : 0;
    return h <= 23 && m <= 59 && s <= 60;
}

bool ValidDay(int year, int month, int day) {
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || day < 1) {
        return false;
    }
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= (month == 2 && !leap ? 28 : kDays[month - 1]);
}

}  // namespace

bool FindHeaderField(std::string_view message, std::string_view name, std::string& value) {
    std::string_view header = SplitMessage(message).header;
    size_t pos = 0;
    while (pos < header.size()) {
        size_t eol = header.find('\n', pos);
        std::string_view line =
            header.substr(pos, eol == std::string_view::npos ? std::string_view::npos : eol - pos);
        size_t next = eol == std::string_view::npos ? header.size() : eol + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.size() > name.size() && line[name.size()] == ':' &&
            EqualsNoCase(line.substr(0, name.size()), name)) {
            std::string result(line.substr(name.size() + 1));
            // Folded continuation lines belong to the field.
            while (next < header.size() && IsBlank(header[next])) {
                size_t e = header.find('\n', next);
                std::string_view more =
                    header.substr(next, e == std::string_view::npos ? std::string_view::npos : e - next);
                if (!more.empty() && more.back() == '\r') {
                    more.remove_suffix(1);
                }
                result += more;
                next = e == std::string_view::npos ? header.size() : e + 1;
            }
            value = Trim(result);
            return true;
        }
        pos = next;
    }
    return false;
}

std::string DecodeEncodedWords(std::string_view value) {
    std::string out;
    std::string pendingBlanks;  // blanks after an encoded word, dropped if another one follows
    bool afterWord = false;
    size_t i = 0;
    while (i < value.size()) {
        std::string decoded;
        size_t end = 0;
        if (value[i] == '=' && ReadEncodedWord(value, i, decoded, end)) {
            if (!afterWord) {
                out += pendingBlanks;
            }
            pendingBlanks.clear();
            out += decoded;
            afterWord = true;
            i = end;
            continue;
        }
        if (IsBlank(value[i]) && afterWord) {
            pendingBlanks += value[i];
            ++i;
            continue;
        }
        out += pendingBlanks;
        pendingBlanks.clear();
        afterWord = false;
        out += value[i];
        ++i;
    }
    out += pendingBlanks;
    return out;
}

bool ParseMailDate(std::string_view text, std::string& out) {
    std::string clean;
    for (char c : text) {
        clean += (c == ',' || c == '\t') ? ' ' : c;
    }
    std::vector<std::string> tokens;
    for (auto& t : SplitAll(clean, " ")) {
        if (!t.empty()) {
            tokens.push_back(t);
        }
    }
    int year = 0, month = 0, day = 0, h = 0, m = 0, s = 0;
    // "2023-11-14 22:13:20" (as the database writes dates)
    if (!tokens.empty() && tokens[0].size() == 10 && tokens[0][4] == '-' && tokens[0][7] == '-') {
        auto ymd = SplitAll(tokens[0], "-");
        if (ymd.size() != 3 || !AllDigits(ymd[0]) || !AllDigits(ymd[1]) || !AllDigits(ymd[2])) {
            return false;
        }
        year = ToInt(ymd[0]);
        month = ToInt(ymd[1]);
        day = ToInt(ymd[2]);
        if (tokens.size() > 1 && !ParseClock(tokens[1], h, m, s)) {
            return false;
        }
    } else {
        size_t k = 0;
        if (k < tokens.size() && !AllDigits(tokens[k])) {
            ++k;  // the day name
        }
        if (k + 3 >= tokens.size() || !AllDigits(tokens[k]) || !AllDigits(tokens[k + 2])) {
            return false;
        }
        day = ToInt(tokens[k]);
        month = MonthNumber(tokens[k + 1]);
        year = ToInt(tokens[k + 2]);
        if (tokens[k + 2].size() <= 2) {
            year += year < 50 ? 2000 : 1900;
        }
        if (!ParseClock(tokens[k + 3], h, m, s)) {
            return false;
        }
    }
    if (!ValidDay(year, month, day) || year > 9999) {
        return false;
    }
    out = Format("%04d-%02d-%02d %02d:%02d:%02d", year, month, day, h, m, s > 59 ? 59 : s);
    return true;
}

ReceivedMail ParseReceivedMail(std::string_view message, std::time_t now) {
    ReceivedMail mail;
    std::string subject, to, from, date;
    const bool hasSubject = FindHeaderField(message, "Subject", subject);
    const bool hasTo = FindHeaderField(message, "To", to);
    const bool hasFrom = FindHeaderField(message, "From", from);
    const bool hasDate = FindHeaderField(message, "Date", date);

    mail.subject = DecodeEncodedWords(subject);
    mail.receiver = Trim(RemoveChars(DecodeEncodedWords(to), "()<>"));

    // Sender: "Name" <addr>, Name <addr>, <addr>, addr (Name) or addr.
    size_t q1 = from.find('"');
    size_t q2 = q1 == std::string::npos ? std::string::npos : from.find('"', q1 + 1);
    size_t lt = from.find('<');
    size_t gt = lt == std::string::npos ? std::string::npos : from.find('>', lt + 1);
    if (q1 != std::string::npos && q2 != std::string::npos) {
        mail.senderName = DecodeEncodedWords(from.substr(q1 + 1, q2 - q1 - 1));
    } else if (lt != std::string::npos && lt > 0) {
        mail.senderName = Trim(DecodeEncodedWords(from.substr(0, lt)));
    }
    std::string address;
    if (lt != std::string::npos && gt != std::string::npos) {
        address = from.substr(lt + 1, gt - lt - 1);
    } else if (size_t open = from.find('('); open != std::string::npos) {
        size_t close = from.find(')', open);
        if (mail.senderName.empty() && close != std::string::npos) {
            mail.senderName = Trim(DecodeEncodedWords(from.substr(open + 1, close - open - 1)));
        }
        address = from.substr(0, open);
    } else {
        address = from;
    }
    ReplaceAll(address, "=5F", "_");
    mail.senderAddress = Trim(RemoveChars(address, "()"));

    if (!hasDate || !ParseMailDate(date, mail.date)) {
        mail.date = FormatDbTime(now);
    }

    if (hasFrom) {
        mail.content += "From: " + from + "\r\n";
    }
    if (hasTo) {
        mail.content += "To: " + to + "\r\n";
    }
    if (hasDate) {
        mail.content += "Date: " + date + "\r\n";
    }
    if (hasSubject) {
        mail.content += "Subject: " + subject + "\r\n";
    }
    mail.content += SplitMessage(message).body;
    return mail;
}

}  // namespace sorvik
