#include "engine/link_helpers.h"

#include <algorithm>

#include "engine/fetch_url.h"
#include "text/code_page.h"
#include "text/gb_text.h"
#include "text/strings.h"

namespace sorvik {

namespace {

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// Length of a leading "scheme://" (a letter, then letters, digits, "+", "-" or "."), 0 when none.
size_t SchemePrefixLength(std::string_view text) {
    if (text.empty() || !IsAsciiLetter(text[0]))
        return 0;
    size_t i = 1;
    while (i < text.size() && (IsAsciiLetter(text[i]) || IsAsciiDigit(text[i]) || text[i] == '+' ||
                               text[i] == '-' || text[i] == '.')) {
        ++i;
    }
    return text.substr(i, 3) == "://" ? i + 3 : 0;
}

// Where the base's path begins: the first "/" after "scheme://host", or the first "/" of a base
// written without scheme; npos when there is no path.
size_t PathStart(std::string_view base) {
    return base.find('/', SchemePrefixLength(base));
}

// True when the base (its query already cut off) stands for a folder; see the header.
bool NamesFolder(std::string_view base, bool hadQuery) {
    if (!base.empty() && base.back() == '/')
        return true;
    const size_t pathStart = PathStart(base);
    if (pathStart == std::string_view::npos)
        return true;
    return !hadQuery && base.find_first_of(".&", pathStart) == std::string_view::npos;
}

// The base as a folder URL, ending with "/".
std::string FolderOf(std::string_view base, bool hadQuery) {
    if (NamesFolder(base, hadQuery)) {
        std::string folder(base);
        if (folder.back() != '/')
            folder += '/';
        return folder;
    }
    return std::string(base.substr(0, base.rfind('/') + 1));
}

// A link that the design takes for a host name: two "." before any "?" or "/".
bool LooksLikeHostName(std::string_view link) {
    const size_t end = std::min(link.find('?'), link.find('/'));
    const size_t first = link.find('.');
    if (first == std::string_view::npos || first > end)
        return false;
    const size_t second = link.find('.', first + 1);
    return second != std::string_view::npos && second < end;
}

// Position just after the count-th "/" of the text; npos when it has fewer.
size_t AfterNthSlash(std::string_view text, size_t count) {
    size_t pos = 0;
    for (size_t seen = 0; seen < count; ++seen) {
        const size_t slash = text.find('/', pos);
        if (slash == std::string_view::npos)
            return std::string_view::npos;
        pos = slash + 1;
    }
    return pos;
}

// "../x" against a folder: n "../" climb n segments, never above the folder's root.
std::string ResolveParentLink(const std::string& folder, std::string link) {
    const size_t climbs = ReplaceAll(link, "../", "");
    const size_t slashes = static_cast<size_t>(std::count(folder.begin(), folder.end(), '/'));
    const size_t pathStart = PathStart(folder);
    const size_t rootSlashes = static_cast<size_t>(
        std::count(folder.begin(), folder.begin() + static_cast<long>(pathStart) + 1, '/'));
    const size_t keep = std::max(slashes > climbs ? slashes - climbs : 0, rootSlashes);
    return folder.substr(0, AfterNthSlash(folder, keep)) + link;
}

// Visits each tag of the html ("<" up to and including the next ">", or to the end of the text).
template <typename Visit>
void ForEachTag(std::string_view html, Visit visit) {
    size_t pos = 0;
    while (pos < html.size()) {
        const size_t open = html.find('<', pos);
        if (open == std::string_view::npos)
            return;
        const size_t close = html.find('>', open + 1);
        const size_t end = close == std::string_view::npos ? html.size() : close + 1;
        if (!visit(html.substr(open, end - open)))
            return;
        pos = end;
    }
}

bool IsNoIndexTag(std::string_view tag) {
    return tag.find("noindex") != std::string_view::npos || tag.find("NOINDEX") != std::string_view::npos;
}

// Walks the tags of html, letting take() add the values of each tag to out. A tag that marks the
// page "noindex" ends the walk and discards everything collected. True when out is not empty.
template <typename Take>
bool CollectFromTags(std::string_view html, std::vector<std::string>& out, Take take) {
    out.clear();
    bool noIndex = false;
    ForEachTag(html, [&](std::string_view tag) {
        if (IsNoIndexTag(tag)) {
            noIndex = true;
            return false;
        }
        take(tag, out);
        return true;
    });
    if (noIndex)
        out.clear();
    return !out.empty();
}

// Lead byte of a GB18030 character, whose next byte belongs to it.
bool IsGbLeadByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x81 && byte <= 0xFE;
}

}  // namespace

std::string ResolveUrl(std::string_view base, std::string_view link) {
    if (link.empty())
        return {};
    const size_t query = base.find('?');
    const bool hadQuery = query != std::string_view::npos;
    const std::string_view bare = base.substr(0, query);
    std::string target(link);
    ReplaceAll(target, "amp;", "");
    if (target.empty())
        return {};

    if (SchemePrefixLength(target) > 0)
        return target;
    if (target.starts_with("//")) {
        const size_t prefix = SchemePrefixLength(bare);
        return (prefix > 0 ? std::string(bare.substr(0, prefix - 3)) : std::string("http")) + ":" + target;
    }
    if (bare.empty())
        return target;
    if (target[0] == '?')
        return std::string(bare) + target;
    if (target[0] == '#')
        return std::string(base.substr(0, base.find('#'))) + target;

    if (target[0] != '.' && target[0] != '/') {
        if (bare[0] != '/' && bare.back() == '/') {
            if (target.starts_with(bare))
                return target;
            if (LooksLikeHostName(target))
                return "http://" + target;
        }
        return FolderOf(bare, hadQuery) + target;
    }

    const std::string folder = FolderOf(bare, hadQuery);
    if (target[0] == '/') {
        if (SchemePrefixLength(folder) == 0 && folder[0] == '/')
            return target;
        return folder.substr(0, PathStart(folder)) + target;
    }
    if (target.find("../") == std::string::npos)
        return folder + target;
    return ResolveParentLink(folder, std::move(target));
}

bool HtmlToText(std::string_view html, std::string& text) {
    text.clear();
    bool inTag = false;
    for (char c : html) {
        if (c == '<') {
            inTag = true;
        } else if (c == '>') {
            inTag = false;
        } else if (!inTag) {
            text += c;
        }
    }
    return !text.empty();
}

namespace {

struct NamedEntity {
    std::string_view name;
    char32_t code;
};

// The entities met in running text; the rest of the HTML list is rare enough to stay as written.
constexpr NamedEntity kNamedEntities[] = {
    {"amp", U'&'},      {"lt", U'<'},      {"gt", U'>'},      {"quot", U'"'},     {"apos", U'\''},
    {"nbsp", 0xA0},     {"ensp", 0x2002},  {"emsp", 0x2003},  {"thinsp", 0x2009}, {"shy", 0xAD},
    {"copy", 0xA9},     {"reg", 0xAE},     {"trade", 0x2122}, {"hellip", 0x2026}, {"mdash", 0x2014},
    {"ndash", 0x2013},  {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"sbquo", 0x201A},  {"ldquo", 0x201C},
    {"rdquo", 0x201D},  {"bdquo", 0x201E}, {"laquo", 0xAB},   {"raquo", 0xBB},    {"lsaquo", 0x2039},
    {"rsaquo", 0x203A}, {"middot", 0xB7},  {"bull", 0x2022},  {"prime", 0x2032},  {"Prime", 0x2033},
    {"times", 0xD7},    {"divide", 0xF7},  {"plusmn", 0xB1},  {"minus", 0x2212},  {"deg", 0xB0},
    {"micro", 0xB5},    {"para", 0xB6},    {"sect", 0xA7},    {"cent", 0xA2},     {"pound", 0xA3},
    {"yen", 0xA5},      {"euro", 0x20AC},  {"curren", 0xA4},  {"iexcl", 0xA1},    {"iquest", 0xBF},
    {"frac12", 0xBD},   {"frac14", 0xBC},  {"frac34", 0xBE},  {"sup1", 0xB9},     {"sup2", 0xB2},
    {"sup3", 0xB3},     {"ordf", 0xAA},    {"ordm", 0xBA},    {"not", 0xAC},      {"macr", 0xAF},
    {"acute", 0xB4},    {"cedil", 0xB8},   {"uml", 0xA8},     {"brvbar", 0xA6},   {"larr", 0x2190},
    {"uarr", 0x2191},   {"rarr", 0x2192},  {"darr", 0x2193},  {"harr", 0x2194},   {"le", 0x2264},
    {"ge", 0x2265},     {"ne", 0x2260},    {"asymp", 0x2248}, {"infin", 0x221E},  {"sum", 0x2211},
    {"radic", 0x221A},  {"alpha", 0x3B1},  {"beta", 0x3B2},   {"gamma", 0x3B3},   {"delta", 0x3B4},
    {"pi", 0x3C0},      {"mu", 0x3BC},     {"lambda", 0x3BB}, {"sigma", 0x3C3},   {"omega", 0x3C9},
    {"Agrave", 0xC0},   {"Aacute", 0xC1},  {"Auml", 0xC4},    {"Aring", 0xC5},    {"AElig", 0xC6},
    {"Ccedil", 0xC7},   {"Eacute", 0xC9},  {"Ouml", 0xD6},    {"Oslash", 0xD8},   {"Uuml", 0xDC},
    {"szlig", 0xDF},    {"agrave", 0xE0},  {"aacute", 0xE1},  {"acirc", 0xE2},    {"auml", 0xE4},
    {"aring", 0xE5},    {"aelig", 0xE6},   {"ccedil", 0xE7},  {"egrave", 0xE8},   {"eacute", 0xE9},
    {"ecirc", 0xEA},    {"euml", 0xEB},    {"iacute", 0xED},  {"iuml", 0xEF},     {"ntilde", 0xF1},
    {"oacute", 0xF3},   {"ocirc", 0xF4},   {"ouml", 0xF6},    {"oslash", 0xF8},   {"uacute", 0xFA},
    {"uuml", 0xFC},     {"zwnj", 0x200C},  {"zwj", 0x200D},
};

// The code point as UTF-8 (the conversion to the internal code page goes through UTF-8).
std::string Utf8Of(char32_t code) {
    std::string out;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
}

// The code point of the entity that starts at html[pos] ("&"), and its length up to and with the
// ";". False for anything that is not a complete known entity.
bool ReadEntity(std::string_view html, size_t pos, char32_t& code, size_t& length) {
    const size_t semicolon = html.find(';', pos + 1);
    if (semicolon == std::string_view::npos || semicolon - pos > 12)
        return false;
    const std::string_view body = html.substr(pos + 1, semicolon - pos - 1);
    length = semicolon - pos + 1;
    if (body.size() >= 2 && body[0] == '#') {
        const bool hex = body[1] == 'x' || body[1] == 'X';
        const std::string_view digits = body.substr(hex ? 2 : 1);
        if (digits.empty() || digits.size() > 7)
            return false;
        uint32_t value = 0;
        for (char c : digits) {
            int digit = -1;
            if (IsAsciiDigit(c))
                digit = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            if (digit < 0)
                return false;
            value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
        }
        // No NUL, no surrogate halves, nothing past the last code point.
        if (value == 0 || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
            return false;
        code = value;
        return true;
    }
    for (const NamedEntity& entity : kNamedEntities) {
        if (entity.name == body) {
            code = entity.code;
            return true;
        }
    }
    return false;
}

// The lower-cased element name of a tag text (what stands between "<" and ">"), without a
// leading "/".
std::string TagName(std::string_view tag) {
    size_t start = tag.empty() || tag[0] != '/' ? 0 : 1;
    size_t end = start;
    while (end < tag.size() && (IsAsciiLetter(tag[end]) || IsAsciiDigit(tag[end])))
        ++end;
    return ToLowerAscii(tag.substr(start, end - start));
}

// Elements that a browser shows on a line of their own: their tags separate words.
bool BreaksLine(const std::string& name) {
    static constexpr std::string_view kBlocks[] = {
        "br",     "p",          "div",  "li",    "ul",    "ol",    "dl",         "dt",      "dd",
        "tr",     "td",         "th",   "table", "thead", "tbody", "caption",    "h1",      "h2",
        "h3",     "h4",         "h5",   "h6",    "hr",    "pre",   "blockquote", "section", "article",
        "header", "footer",     "nav",  "aside", "main",  "form",  "option",     "title",   "address",
        "figure", "figcaption", "body", "html",  "head"};
    return std::find(std::begin(kBlocks), std::end(kBlocks), name) != std::end(kBlocks);
}

size_t FindNoCase(std::string_view text, std::string_view what, size_t from) {
    for (size_t i = from; i + what.size() <= text.size(); ++i) {
        if (EqualsNoCase(text.substr(i, what.size()), what))
            return i;
    }
    return std::string_view::npos;
}

}  // namespace

std::string HtmlToPlainText(std::string_view html) {
    std::string text;
    bool blank = false;  // white space seen since the last text
    const auto append = [&](std::string_view part) {
        if (blank && !text.empty())
            text += ' ';
        blank = false;
        text.append(part);
    };
    size_t pos = 0;
    while (pos < html.size()) {
        const char c = html[pos];
        if (c == '<') {
            if (html.substr(pos, 4) == "<!--") {
                const size_t end = html.find("-->", pos + 4);
                pos = end == std::string_view::npos ? html.size() : end + 3;
                blank = true;
                continue;
            }
            const size_t end = html.find('>', pos + 1);
            if (end == std::string_view::npos)
                break;  // an unclosed tag runs to the end
            const std::string_view tag = html.substr(pos + 1, end - pos - 1);
            const std::string name = TagName(tag);
            pos = end + 1;
            if ((name == "script" || name == "style") && tag[0] != '/') {
                const size_t close = FindNoCase(html, "</" + name, pos);
                const size_t closeEnd = close == std::string_view::npos ? close : html.find('>', close);
                pos = closeEnd == std::string_view::npos ? html.size() : closeEnd + 1;
                blank = true;
            } else if (BreaksLine(name)) {
                blank = true;
            }
            continue;
        }
        if (c == '>') {  // a stray closing bracket, as the text mode drops it
            ++pos;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
            blank = true;
            ++pos;
            continue;
        }
        if (c == '&') {
            char32_t code = 0;
            size_t length = 0;
            if (ReadEntity(html, pos, code, length)) {
                pos += length;
                if (code == 0xA0 || code == ' ' || (code >= 0x2002 && code <= 0x2009) || code == 0x3000) {
                    blank = true;
                } else if (code != 0xAD && code != 0x200C && code != 0x200D) {  // invisible marks
                    append(code < 0x80 ? std::string(1, static_cast<char>(code)) : Utf8ToGb(Utf8Of(code)));
                }
                continue;
            }
        }
        const size_t length = GbCharLength(html, pos);
        if (html.substr(pos, length) == "　") {  // the ideographic space
            blank = true;
        } else {
            append(html.substr(pos, length));
        }
        pos += length;
    }
    return text;
}

bool GetTagAttribute(std::string_view tag, std::string_view name, std::string& value) {
    value.clear();
    if (name.empty() || name.size() > tag.size())
        return false;
    size_t found = std::string_view::npos;
    for (size_t i = 0; i + name.size() <= tag.size(); i += IsGbLeadByte(tag[i]) ? 2 : 1) {
        if (EqualsNoCase(tag.substr(i, name.size()), name)) {
            found = i;
            break;
        }
    }
    if (found == std::string_view::npos)
        return false;

    const size_t mark = tag.find_first_of("\"'=", found + name.size());
    if (mark == std::string_view::npos)
        return true;
    size_t start = mark + 1;
    if (start < tag.size() && (tag[start] == '"' || tag[start] == '\''))
        ++start;
    if (start >= tag.size() || tag[start] == '"')
        return true;
    const size_t end = tag.find_first_of("'\"> \t\r\n", start);
    value.assign(tag.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    return true;
}

bool ExtractHrefLinks(std::string_view html, std::string_view name, std::vector<std::string>& links) {
    return CollectFromTags(html, links, [&](std::string_view tag, std::vector<std::string>& out) {
        std::string value;
        if (GetTagAttribute(tag, name, value)) {
            if (!value.empty() && value.find("mailto:") == std::string::npos)
                out.push_back(value);
        } else if (GetTagAttribute(tag, "option", value) && value.find("http") != std::string::npos) {
            out.push_back(value);
        }
    });
}

bool ExtractMailLinks(std::string_view html, std::string_view name, std::vector<std::string>& addresses) {
    return CollectFromTags(html, addresses, [&](std::string_view tag, std::vector<std::string>& out) {
        std::string value;
        if (!GetTagAttribute(tag, name, value))
            return;
        const size_t mailto = value.find("mailto:");
        if (mailto == std::string::npos)
            return;
        std::string address = value.substr(mailto + 7);
        address = address.substr(0, address.find('?'));
        if (!address.empty())
            out.push_back(std::move(address));
    });
}

std::string SiteRootOfUrl(std::string_view url) {
    UrlParts parts;
    if (!ParseHttpUrl(url, parts))
        return std::string(url);
    std::string root = parts.scheme + "://";
    if (!parts.userInfo.empty())
        root += parts.userInfo + "@";
    root += parts.host;
    if (parts.port != (parts.scheme == "https" ? 443 : 80))
        root += ":" + std::to_string(parts.port);
    root += '/';
    return root;
}

}  // namespace sorvik
