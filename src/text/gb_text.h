#pragma once
// Character-aware helpers for GB18030 byte strings. A GB18030 character is one byte (ASCII), two
// bytes (lead 0x81-0xFE, trail 0x40-0xFE) or four bytes (lead, digit, lead, digit). A search for a
// double-byte text must start on a character boundary: a plain byte search for 、 (A1 A2) also
// finds it across 啊 (B0 A1) followed by A2 of the next character.

#include <string>
#include <string_view>

namespace sorvik {

// Bytes of the character that starts at pos (1, 2 or 4; never past the end of text).
size_t GbCharLength(std::string_view text, size_t pos);

// Position of the first occurrence of what that starts on a character boundary, at or after from
// (from must be a boundary); npos when there is none. An empty what is found at from.
size_t GbFind(std::string_view text, std::string_view what, size_t from = 0);

// Replaces every occurrence of from that starts on a character boundary by to; returns the number
// of replacements. An empty from changes nothing.
size_t GbReplaceAll(std::string& text, std::string_view from, std::string_view to);

// The longest prefix of text of at most maxBytes bytes that does not end inside a character.
std::string_view GbPrefix(std::string_view text, size_t maxBytes);

// The first maxChars characters of the text.
std::string_view GbPrefixChars(std::string_view text, size_t maxChars);

// For text that must be well-formed: the length of the character at pos (1, 2 or 4), or 0 when
// the bytes there are not a GB18030 character (a lone 0x80 or 0xFF, a lead byte without a proper
// second byte, a cut sequence). The conversion to UTF-8 turns such a byte into "?" and reads the
// next byte on its own, so a lenient walk and the database could disagree about where a name ends.
size_t GbValidCharLength(std::string_view text, size_t pos);

// A name that can stand in a statement as it is: ASCII letters, digits, "_" and well-formed
// GB18030 characters (Chinese names), not starting with a digit. Nothing in it can end the name,
// open a literal or a comment, or start a second statement.
bool IsPlainName(std::string_view name);

}  // namespace sorvik
