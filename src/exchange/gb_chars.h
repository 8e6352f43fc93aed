#pragma once
// Walking GB18030 text by whole characters, so that a second byte (which may be any byte from
// 0x40, "|", "\\", "]" and "`" included) is never taken for an ASCII character.

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace sorvik {

// Bytes of the character that starts at pos: 1, 2 or 4, cut at the end of the text.
inline size_t GbCharLength(std::string_view text, size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    size_t length = 1;
    if (lead >= 0x81 && lead <= 0xFE && pos + 1 < text.size()) {
        const auto second = static_cast<unsigned char>(text[pos + 1]);
        length = (second >= 0x30 && second <= 0x39) ? 4 : 2;
    }
    return std::min(length, text.size() - pos);
}

// The same for text that must be well-formed: 0 when the bytes at pos are not a GB18030
// character (a lone 0x80 or 0xFF, a lead byte without a proper second byte, a cut sequence).
// The conversion to UTF-8 turns such a byte into "?" and reads the next byte on its own, so a
// lenient walk and the database could disagree about where a name ends.
inline size_t GbValidCharLength(std::string_view text, size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80)
        return 1;
    if (lead == 0x80 || lead == 0xFF || pos + 1 >= text.size())
        return 0;
    const auto second = static_cast<unsigned char>(text[pos + 1]);
    if ((second >= 0x40 && second <= 0x7E) || (second >= 0x80 && second <= 0xFE))
        return 2;
    if (second < 0x30 || second > 0x39 || pos + 3 >= text.size())
        return 0;
    const auto third = static_cast<unsigned char>(text[pos + 2]);
    const auto fourth = static_cast<unsigned char>(text[pos + 3]);
    return third >= 0x81 && third <= 0xFE && fourth >= 0x30 && fourth <= 0x39 ? 4 : 0;
}

// The first maxChars characters of the text.
inline std::string_view GbPrefix(std::string_view text, size_t maxChars) {
    size_t pos = 0;
    for (size_t count = 0; pos < text.size() && count < maxChars; ++count)
        pos += GbCharLength(text, pos);
    return text.substr(0, pos);
}

}  // namespace sorvik
