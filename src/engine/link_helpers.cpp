#include "engine/link_helpers.h"

#include <algorithm>

#include "engine/fetch_url.h"
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
