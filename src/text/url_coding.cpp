#include "text/url_coding.h"

namespace sorvik {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string UrlEncodeText(std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() * 3);
    for (char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte == ' ') {
            out += "%20";
        } else if (byte == '%' || byte == '/' || byte >= 0x80) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += ch;
        }
    }
    return out;
}

std::string UrlDecodeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == '+') {
            out += ' ';
        } else if (ch == '%') {
            // Like sscanf("%02x"): up to two hex digits, at least one.
            const size_t end = std::min(text.size(), i + 3);
            int value = -1;
            for (size_t j = i + 1; j < end; ++j) {
                const int digit = HexValue(text[j]);
                if (digit < 0)
                    break;
                value = (value < 0 ? 0 : value * 16) + digit;
            }
            out += value < 0 ? '?' : static_cast<char>(value);
            i = end - 1;
        } else {
            out += ch;
        }
    }
    return out;
}

}  // namespace sorvik
