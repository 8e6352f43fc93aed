#include "engine/page_charset.h"

#include <cctype>

#include "text/code_page.h"
#include "text/strings.h"

namespace sorvik {
namespace {

constexpr size_t kMetaScanBytes = 64 * 1024;

bool IsNameChar(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return std::isalnum(u) || c == '-' || c == '_' || c == '.' || c == ':';
}

// The charset name that starts at pos (after "charset=" and optional blanks and quotes).
std::string NameAt(std::string_view text, size_t pos) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '"' || text[pos] == '\''))
        ++pos;
    size_t end = pos;
    while (end < text.size() && IsNameChar(text[end]))
        ++end;
    return ToLowerAscii(text.substr(pos, end - pos));
}

// The charset= value inside [begin, end) of lower-cased text; empty when there is none.
std::string CharsetIn(std::string_view lower, size_t begin, size_t end) {
    size_t pos = lower.find("charset", begin);
    while (pos != std::string_view::npos && pos < end) {
        size_t at = pos + 7;
        while (at < end && lower[at] == ' ')
            ++at;
        if (at < end && lower[at] == '=')
            return NameAt(lower.substr(0, end), at + 1);
        pos = lower.find("charset", pos + 7);
    }
    return {};
}

}  // namespace

std::string CharsetFromContentType(std::string_view contentType) {
    const std::string lower = ToLowerAscii(contentType);
    return CharsetIn(lower, 0, lower.size());
}

std::string CharsetFromMeta(std::string_view page) {
    const std::string lower = ToLowerAscii(page.substr(0, kMetaScanBytes));
    size_t pos = lower.find("<meta");
    while (pos != std::string::npos) {
        const size_t end = lower.find('>', pos);
        const size_t tagEnd = end == std::string::npos ? lower.size() : end;
        std::string charset = CharsetIn(lower, pos, tagEnd);
        if (!charset.empty())
            return charset;
        pos = lower.find("<meta", tagEnd);
    }
    return {};
}

std::string DetectPageCharset(std::string_view contentType, std::string_view page) {
    std::string charset = CharsetFromContentType(contentType);
    if (!charset.empty())
        return charset;
    charset = CharsetFromMeta(page);
    if (!charset.empty())
        return charset;
    if (page.substr(0, 3) == "\xEF\xBB\xBF")
        return "utf-8";
    if (page.substr(0, 2) == "\xFF\xFE")
        return "utf-16le";
    if (page.substr(0, 2) == "\xFE\xFF")
        return "utf-16be";
    if (!IsAscii(page) && IsValidUtf8(page))
        return "utf-8";
    return {};
}

bool SendsQueryInUtf8(std::string_view charset) {
    return charset == "utf-8" || charset == "utf8" || charset.starts_with("utf-16");
}

std::string PageTextToGb(std::string_view page, std::string_view contentType, bool forceUtf8) {
    std::string charset = forceUtf8 ? std::string("utf-8") : DetectPageCharset(contentType, page);
    if (charset.empty())
        return std::string(page);
    if (charset == "utf-8" || charset == "utf8") {
        if (page.substr(0, 3) == "\xEF\xBB\xBF")
            page.remove_prefix(3);
        return TranslateUTF_8ToGB(page);
    }
    // A UTF-16 mark tells the byte order; iconv's "UTF-16" reads and drops it.
    if ((charset == "utf-16le" || charset == "utf-16be" || charset == "utf-16") &&
        (page.substr(0, 2) == "\xFF\xFE" || page.substr(0, 2) == "\xFE\xFF")) {
        charset = "utf-16";
    }
    return ConvertToGb(page, charset);
}

}  // namespace sorvik
