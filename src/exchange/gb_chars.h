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

// The first maxChars characters of the text.
inline std::string_view GbPrefix(std::string_view text, size_t maxChars) {
    size_t pos = 0;
    for (size_t count = 0; pos < text.size() && count < maxChars; ++count)
        pos += GbCharLength(text, pos);
    return text.substr(0, pos);
}

}  // namespace sorvik
