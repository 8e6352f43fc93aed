#include "engine/split_text.h"

#include "text/strings.h"

namespace sorvik {

std::vector<std::string> SplitText(std::string_view text, std::string_view separator) {
    std::string trimmed = Trim(text);
    if (separator.empty())
        return {trimmed};
    if (trimmed.size() < separator.size() ||
        trimmed.compare(trimmed.size() - separator.size(), separator.size(), separator) != 0) {
        trimmed.append(separator);
    }
    std::vector<std::string> items;
    size_t start = 0;
    while (start < trimmed.size()) {
        const size_t found = trimmed.find(separator, start);
        // The text ends with the separator, so every item is closed by one.
        items.emplace_back(trimmed, start, found - start);
        start = found + separator.size();
    }
    return items;
}

}  // namespace sorvik
