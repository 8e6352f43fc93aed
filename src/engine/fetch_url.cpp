#include "engine/fetch_url.h"

#include <cctype>

#include "text/code_page.h"
#include "text/strings.h"

namespace sorvik {
namespace {

bool ParsePort(std::string_view text, int& port) {
    if (text.empty() || text.size() > 5)
        return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535)
        return false;
    port = value;
    return true;
}

bool ValidHost(std::string_view host) {
    if (host.empty())
        return false;
    for (char c : host) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F || c == '/' || c == '\\' || c == '?' || c == '#' || c == '@')
            return false;
    }
    return true;
}

}  // namespace

bool ParseHttpUrl(std::string_view url, UrlParts& parts) {
    parts = UrlParts();
    std::string_view rest = url;
    const size_t schemeEnd = rest.find("://");
    std::string scheme = "http";
    if (schemeEnd != std::string_view::npos) {
        scheme = ToLowerAscii(rest.substr(0, schemeEnd));
        rest.remove_prefix(schemeEnd + 3);
    }
    if (scheme != "http" && scheme != "https")
        return false;

    const size_t authorityEnd = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, authorityEnd);
    std::string_view object =
        authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
    const size_t fragment = object.find('#');
    if (fragment != std::string_view::npos)
        object = object.substr(0, fragment);

    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        // "name@host" without a scheme is a mail address, not a URL.
        if (schemeEnd == std::string_view::npos)
            return false;
        parts.userInfo = std::string(authority.substr(0, at));
        authority.remove_prefix(at + 1);
    }
    int port = scheme == "https" ? 443 : 80;
    std::string_view host = authority;
    const size_t closing = authority.rfind(']');
    const size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos && (closing == std::string_view::npos || colon > closing)) {
        host = authority.substr(0, colon);
        std::string_view portText = authority.substr(colon + 1);
        if (!portText.empty() && !ParsePort(portText, port))
            return false;
    }
    if (!ValidHost(host))
        return false;

    parts.scheme = scheme;
    parts.host = std::string(host);
    parts.port = port;
    parts.object = object.empty() ? std::string("/") : std::string(object);
    if (parts.object[0] == '?')
        parts.object.insert(0, "/");
    return true;
}

bool PrepareUrl(ThreadParams& params) {
    return PrepareUrlParts(params.url, params.parts);
}

bool PrepareUrlParts(const std::string& url, UrlParts& parts) {
    if (url.empty() || !ParseHttpUrl(url, parts)) {
        parts = UrlParts();
        return false;
    }
    std::string& object = parts.object;
    // A path without a file name is a folder. The design checks only "." and "&"; a query
    // without "&" ("/s?wd=abc") is not a folder either, or the "/" would end up in its value.
    if (object.size() > 1 && object.find_first_of(".&?") == std::string::npos && object.back() != '/') {
        object += '/';
    }
    return true;
}

namespace {

// Appends text with every byte that can't stand in a URL (control characters, blanks, DEL and
// the bytes of non-ASCII characters) as %XX.
void AppendEscaped(std::string& url, std::string_view text) {
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F) {
            url += Format("%%%02X", u);
        } else {
            url += c;
        }
    }
}

// The UTF-8 bytes of a URL part: as they are when the part is UTF-8 already (a keyword put in by
// a "UTF-8" encoding), else converted from the system's text.
std::string Utf8Part(std::string_view part) {
    return IsValidUtf8(part) ? std::string(part) : GbToUtf8(part);
}

}  // namespace

std::string RequestUrl(const UrlParts& parts, bool queryInUtf8) {
    std::string url = parts.scheme + "://";
    if (!parts.userInfo.empty())
        url += parts.userInfo + "@";
    url += parts.host + ":" + std::to_string(parts.port);
    const std::string_view object = parts.object;
    const size_t question = object.find('?');
    const std::string_view path = object.substr(0, question);
    AppendEscaped(url, IsAscii(path) ? std::string(path) : Utf8Part(path));
    if (question == std::string_view::npos)
        return url;
    const std::string_view query = object.substr(question);
    AppendEscaped(url, queryInUtf8 && !IsAscii(query) ? Utf8Part(query) : std::string(query));
    return url;
}

}  // namespace sorvik
