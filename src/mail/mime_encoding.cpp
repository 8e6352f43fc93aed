#include "mail/mime_encoding.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <random>
#include <vector>

#include "text/code_page.h"

namespace sorvik {

namespace {

const char kHexUpper[] = "0123456789ABCDEF";

void AppendHexTriple(std::string& out, unsigned char byte) {
    out += '=';
    out += kHexUpper[byte >> 4];
    out += kHexUpper[byte & 0x0F];
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool IsBase64Char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

}  // namespace

std::string Base64Encode(std::string_view bytes, size_t lineLength) {
    if (bytes.empty()) {
        return {};
    }
    std::vector<unsigned char> encoded(4 * ((bytes.size() + 2) / 3) + 1);
    int n = EVP_EncodeBlock(encoded.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
                            static_cast<int>(bytes.size()));
    std::string flat(reinterpret_cast<const char*>(encoded.data()), n > 0 ? static_cast<size_t>(n) : 0);
    if (lineLength == 0 || flat.size() <= lineLength) {
        return flat;
    }
    std::string out;
    out.reserve(flat.size() + 2 * (flat.size() / lineLength + 1));
    for (size_t pos = 0; pos < flat.size(); pos += lineLength) {
        if (pos > 0) {
            out += "\r\n";
        }
        out.append(flat, pos, lineLength);
    }
    return out;
}

bool Base64Decode(std::string_view text, std::string& out) {
    out.clear();
    std::string clean;
    clean.reserve(text.size());
    size_t padding = 0;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            continue;
        }
        if (c == '=') {
            ++padding;
        } else if (!IsBase64Char(c) || padding > 0) {
            return false;  // a data character after the padding, or a foreign byte
        }
        clean += c;
    }
    if (clean.empty()) {
        return true;
    }
    if (clean.size() % 4 != 0 || padding > 2) {
        return false;
    }
    std::vector<unsigned char> decoded(clean.size() / 4 * 3 + 1);
    int n = EVP_DecodeBlock(decoded.data(), reinterpret_cast<const unsigned char*>(clean.data()),
                            static_cast<int>(clean.size()));
    if (n < 0 || static_cast<size_t>(n) < padding) {
        return false;
    }
    // EVP_DecodeBlock counts the padding as zero bytes.
    out.assign(reinterpret_cast<const char*>(decoded.data()), static_cast<size_t>(n) - padding);
    return true;
}

std::string QuotedPrintableEncode(std::string_view bytes) {
    constexpr size_t kMaxLine = 76;
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    size_t lineLength = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r' || c == '\n') {
            out += static_cast<char>(c);
            if (c == '\n') {
                lineLength = 0;
            }
            continue;
        }
        bool literal = (c >= 33 && c <= 60) || (c >= 62 && c <= 126);
        if (c == ' ' || c == '\t') {
            // Trailing white space is removed by decoders, so it is only literal inside a line.
            bool atLineEnd = i + 1 == bytes.size() || bytes[i + 1] == '\r' || bytes[i + 1] == '\n';
            literal = !atLineEnd;
        }
        size_t width = literal ? 1 : 3;
        // Keep room for the soft break's "=" so that no line exceeds kMaxLine characters.
        bool lastOnLine = i + 1 == bytes.size() || bytes[i + 1] == '\r' || bytes[i + 1] == '\n';
        size_t limit = lastOnLine ? kMaxLine : kMaxLine - 1;
        if (lineLength + width > limit) {
            out += "=\r\n";
            lineLength = 0;
        }
        if (literal) {
            out += static_cast<char>(c);
        } else {
            AppendHexTriple(out, c);
        }
        lineLength += width;
    }
    return out;
}

std::string QuotedPrintableDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '=') {
            out += c;
            continue;
        }
        // Soft break: "=" followed by optional blanks and a line end.
        size_t j = i + 1;
        while (j < text.size() && (text[j] == ' ' || text[j] == '\t')) {
            ++j;
        }
        if (j < text.size() && (text[j] == '\r' || text[j] == '\n')) {
            if (text[j] == '\r' && j + 1 < text.size() && text[j + 1] == '\n') {
                ++j;
            }
            i = j;
            continue;
        }
        if (j == text.size()) {
            i = j;
            continue;
        }
        if (i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
            continue;
        }
        out += c;
    }
    return out;
}

std::string EncodeHeaderValue(std::string_view text, std::string_view charset) {
    std::string clean(text);
    for (char& c : clean) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    if (IsAscii(clean)) {
        return clean;
    }
    std::string out = "=?";
    out += charset;
    out += "?q?";
    for (unsigned char c : clean) {
        if (c == ' ') {
            out += '_';
        } else if (c > 0x7F || c == '=' || c == '?' || c == '_' || c < 0x20) {
            AppendHexTriple(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    out += "?=";
    return out;
}

std::string CrLfLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (text[i] == '\n') {
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string DotStuff(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '.' && (i == 0 || text[i - 1] == '\n')) {
            out += '.';
        }
        out += text[i];
    }
    return out;
}

std::string DotUnstuff(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '.' && (i == 0 || text[i - 1] == '\n')) {
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string NewGuidString() {
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1) {
        // The system's random source failed; a seeded engine still gives distinct boundaries.
        static thread_local std::mt19937_64 engine{std::random_device{}()};
        for (unsigned char& b : bytes) {
            b = static_cast<unsigned char>(engine());
        }
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // variant 1
    std::string out;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            out += '-';
        }
        out += kHexUpper[bytes[i] >> 4];
        out += kHexUpper[bytes[i] & 0x0F];
    }
    return out;
}

}  // namespace sorvik
