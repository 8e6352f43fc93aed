#include "text/strings.h"

#include <cstdarg>
#include <cstdio>
#include <limits>

namespace sorvik {

namespace {

// First byte of a GB18030 two- or four-byte character; the byte after it is never an ASCII
// character of its own, even when its value is a letter (GBK trail bytes run from 0x40).
bool IsGbLeadByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x81 && byte <= 0xFE;
}

bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

std::string Trim(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

size_t ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    if (from.empty() || text.empty())
        return 0;
    std::string out;
    size_t count = 0;
    size_t pos = 0;
    while (true) {
        const size_t found = text.find(from, pos);
        if (found == std::string::npos)
            break;
        if (count == 0)
            out.reserve(text.size());
        out.append(text, pos, found - pos);
        out.append(to);
        pos = found + from.size();
        ++count;
    }
    if (count == 0)
        return 0;
    out.append(text, pos, std::string::npos);
    text.swap(out);
    return count;
}

std::string ToLowerAscii(std::string_view text) {
    std::string out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        if (IsGbLeadByte(out[i])) {
            ++i;  // the second byte may be an ASCII letter (GBK 81 41) and must stay as it is
        } else if (out[i] >= 'A' && out[i] <= 'Z') {
            out[i] = static_cast<char>(out[i] - 'A' + 'a');
        }
    }
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (IsGbLeadByte(x) || IsGbLeadByte(y)) {
            // A double-byte character matches only itself, byte for byte.
            if (x != y)
                return false;
            if (i + 1 < a.size() && a[i + 1] != b[i + 1])
                return false;
            ++i;
            continue;
        }
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (needed > 0) {
        out.resize(static_cast<size_t>(needed) + 1);
        std::vsnprintf(out.data(), out.size(), format, args);
        out.resize(static_cast<size_t>(needed));
    }
    va_end(args);
    return out;
}

std::vector<std::string> SplitAll(std::string_view text, std::string_view separator) {
    std::vector<std::string> items;
    if (separator.empty()) {
        items.emplace_back(text);
        return items;
    }
    size_t pos = 0;
    while (true) {
        const size_t found = text.find(separator, pos);
        if (found == std::string_view::npos) {
            items.emplace_back(text.substr(pos));
            break;
        }
        items.emplace_back(text.substr(pos, found - pos));
        pos = found + separator.size();
    }
    return items;
}

std::vector<std::string> SplitList(std::string_view text) {
    std::vector<std::string> items;
    if (Trim(text).empty())
        return items;
    for (const std::string& item : SplitAll(text, ","))
        items.push_back(Trim(item));
    return items;
}

std::string Join(const std::vector<std::string>& items, std::string_view separator) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            out.append(separator);
        out.append(items[i]);
    }
    return out;
}

long long ParseLeadingInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr long long kMax = std::numeric_limits<long long>::max() / 10 - 10;
    long long value = 0;
    bool clamped = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > kMax) {
            clamped = true;
            continue;
        }
        value = value * 10 + (text[i] - '0');
    }
    if (clamped)
        value = std::numeric_limits<long long>::max();
    return negative ? -value : value;
}

int ToInt(std::string_view text) {
    const long long value = ParseLeadingInt(text);
    if (value > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (value < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

std::string SqlQuote(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (const char c : text) {
        if (c == '\0')
            continue;  // a NUL byte would end the statement text and lose the rest of it
        if (c == '\'')
            out += '\'';
        out += c;
    }
    return out;
}

bool IsSqlNumber(std::string_view text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    size_t digits = 0;
    while (i < text.size() && IsAsciiDigit(text[i]))
        ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsAsciiDigit(text[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        size_t exponent = 0;
        while (i < text.size() && IsAsciiDigit(text[i]))
            ++i, ++exponent;
        if (exponent == 0)
            return false;
    }
    return i == text.size();
}

}  // namespace sorvik
