#include "text/gb_text.h"

namespace sorvik {

namespace {

bool IsLead(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}
bool IsDigit(unsigned char byte) {
    return byte >= 0x30 && byte <= 0x39;
}

}  // namespace

size_t GbCharLength(std::string_view text, size_t pos) {
    if (pos >= text.size())
        return 0;
    const size_t left = text.size() - pos;
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (!IsLead(lead) || left < 2)
        return 1;
    const auto second = static_cast<unsigned char>(text[pos + 1]);
    if (IsDigit(second)) {
        if (left >= 4 && IsLead(static_cast<unsigned char>(text[pos + 2])) &&
            IsDigit(static_cast<unsigned char>(text[pos + 3]))) {
            return 4;
        }
        return 1;  // a broken four-byte form: step over the lead byte alone
    }
    return 2;
}

size_t GbFind(std::string_view text, std::string_view what, size_t from) {
    if (what.empty())
        return from <= text.size() ? from : std::string_view::npos;
    size_t pos = from;
    while (pos < text.size() && text.size() - pos >= what.size()) {
        if (text.compare(pos, what.size(), what) == 0)
            return pos;
        pos += GbCharLength(text, pos);
    }
    return std::string_view::npos;
}

size_t GbReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    if (from.empty() || text.size() < from.size())
        return 0;
    std::string out;
    size_t count = 0;
    size_t copied = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        if (text.compare(pos, from.size(), from) == 0) {
            out.append(text, copied, pos - copied);
            out.append(to);
            pos += from.size();
            copied = pos;
            ++count;
        } else {
            pos += GbCharLength(text, pos);
        }
    }
    if (count == 0)
        return 0;
    out.append(text, copied, std::string::npos);
    text.swap(out);
    return count;
}

std::string_view GbPrefix(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t length = GbCharLength(text, pos);
        if (pos + length > maxBytes)
            break;
        pos += length;
    }
    return text.substr(0, pos);
}

size_t GbValidCharLength(std::string_view text, size_t pos) {
    if (pos >= text.size())
        return 0;
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80)
        return 1;
    if (!IsLead(lead) || pos + 1 >= text.size())
        return 0;
    const auto second = static_cast<unsigned char>(text[pos + 1]);
    if ((second >= 0x40 && second <= 0x7E) || (second >= 0x80 && second <= 0xFE))
        return 2;
    if (!IsDigit(second) || pos + 3 >= text.size())
        return 0;
    return IsLead(static_cast<unsigned char>(text[pos + 2])) &&
                   IsDigit(static_cast<unsigned char>(text[pos + 3]))
               ? 4
               : 0;
}

bool IsPlainName(std::string_view name) {
    if (name.empty() || IsDigit(static_cast<unsigned char>(name[0])))
        return false;
    for (size_t pos = 0; pos < name.size();) {
        const auto c = static_cast<unsigned char>(name[pos]);
        const size_t n = GbValidCharLength(name, pos);
        const bool asciiNameByte = IsDigit(c) || c == '_' || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
        if (n == 0 || (n == 1 && !asciiNameByte))
            return false;
        pos += n;
    }
    return true;
}

std::string_view GbPrefixChars(std::string_view text, size_t maxChars) {
    size_t pos = 0;
    for (size_t count = 0; pos < text.size() && count < maxChars; ++count)
        pos += GbCharLength(text, pos);
    return text.substr(0, pos);
}

}  // namespace sorvik
