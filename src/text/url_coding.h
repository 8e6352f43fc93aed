#pragma once
// Percent-encoding of GB18030 text for URLs, and its reverse.

#include <string>
#include <string_view>

namespace sorvik {

// Escapes space as "%20", and "%", "/" and every byte >= 0x80 as "%xx" (two lower-case hex
// digits, each byte on its own); every other byte is copied. Empty in, empty out.
std::string UrlEncodeText(std::string_view text);

// "+" becomes a space; "%" and two hex digits become that byte; a "%" not followed by a hex digit
// gives "?" and still consumes the two characters after it (as many as the text has left).
std::string UrlDecodeText(std::string_view text);

}  // namespace sorvik
