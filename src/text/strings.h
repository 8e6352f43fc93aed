#pragma once
// Byte-string helpers shared by every subsystem. Texts are GB18030 bytes. The case helpers step
// over a GB18030 character whole, so its second byte is never taken for an ASCII letter (GBK
// second bytes run from 0x40: 丄 is 81 41). The search helpers (ReplaceAll, SplitAll, SplitList)
// compare plain bytes: a pattern that begins with a byte from 0x40 to 0x7E can match the second
// byte of a GBK character outside GB2312.

#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

// Removes leading and trailing blanks, tabs, CR and LF.
std::string Trim(std::string_view text);

// Replaces every occurrence of from by to, left to right; returns the number of replacements.
// An empty from changes nothing.
size_t ReplaceAll(std::string& text, std::string_view from, std::string_view to);

// ASCII lower case; bytes >= 0x80 are left alone.
std::string ToLowerAscii(std::string_view text);

// Case-insensitive (ASCII) equality.
bool EqualsNoCase(std::string_view a, std::string_view b);

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Splits at every occurrence of the separator; empty items stay. "" gives one empty item.
std::vector<std::string> SplitAll(std::string_view text, std::string_view separator);

// A script list ("a, b ,c"): split at "," and trim each item; an empty or blank text gives no
// items.
std::vector<std::string> SplitList(std::string_view text);

// Joins items with the separator.
std::string Join(const std::vector<std::string>& items, std::string_view separator);

// Decimal prefix as atoi/atol read it: leading blanks, an optional sign, digits; 0 when none.
// Values out of range are clamped to the type's limits instead of overflowing.
long long ParseLeadingInt(std::string_view text);

// ParseLeadingInt clamped to the int range.
int ToInt(std::string_view text);

// Doubles every single quote and drops NUL bytes, for a text embedded in an SQL literal (a
// statement text ends at a NUL).
std::string SqlQuote(std::string_view text);

// True when text is a decimal number as SQL reads it ([+-] digits [. digits] [e [+-] digits], or
// [+-] . digits ...), so that it can stand bare in a statement.
bool IsSqlNumber(std::string_view text);

}  // namespace sorvik
