#pragma once
// SplitText: the list splitting of the field rules and variables.

#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

// The text is trimmed of leading and trailing white space; the separator is appended unless the
// text already ends with it; the text is then cut at each separator. Empty items stay, so
// "a||b" gives a, "", b; "a|b|" gives a, b; an empty text gives one empty item. An empty
// separator gives the trimmed text as the only item.
std::vector<std::string> SplitText(std::string_view text, std::string_view separator);

}  // namespace sorvik
