#pragma once
// Conversions between the internal code page (GB18030, a superset of GB2312/GBK) and the
// encodings met at the edges: UTF-8 for the database, the terminal, script files and most web
// pages, and whatever charset a page declares.
//
// Every conversion is total: a byte sequence that is not valid in the source encoding becomes
// one "?" per offending byte, and a character the target can't hold becomes "?". No conversion
// throws or crashes on bad input.

#include <string>
#include <string_view>

namespace sorvik {

// GB18030 -> UTF-8 (standard UTF-8 for every character; for characters from U+0800 to U+FFFF
// these are the three-byte forms the design expects, e.g. 中 -> E4 B8 AD).
std::string translateCharToUTF_8(std::string_view gb);

// UTF-8 -> GB18030 (e.g. E4 B8 AD 61 -> D6 D0 61).
std::string TranslateUTF_8ToGB(std::string_view utf8);

// Edge helpers: the same two conversions under names that say where they are used.
inline std::string GbToUtf8(std::string_view gb) {
    return translateCharToUTF_8(gb);
}
inline std::string Utf8ToGb(std::string_view utf8) {
    return TranslateUTF_8ToGB(utf8);
}

// Any iconv charset name -> GB18030. GB2312, GBK and GB18030 input is returned unchanged
// (GBK is decoded as GB18030, its superset). An unknown charset name leaves the text unchanged
// and returns false in *known when given.
std::string ConvertToGb(std::string_view text, std::string_view charset, bool* known = nullptr);

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);

// True when the text is plain 7-bit ASCII.
bool IsAscii(std::string_view text);

// A text file read from outside (a script, a keyword list): valid UTF-8 is converted to
// GB18030, anything else is taken as GB18030 already. A UTF-8 byte-order mark is dropped.
std::string ExternalTextToGb(std::string_view text);

}  // namespace sorvik
