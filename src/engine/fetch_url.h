#pragma once
// Preparing a URL for the fetcher: parsing it into scheme, host, port and object path, and the
// folder rule for object paths.

#include <string>
#include <string_view>

#include "engine/thread_params.h"

namespace sorvik {

// Parses an http or https URL ("http://" is assumed when no scheme is written). The object is
// the path with its query, "/" when the URL has none; a fragment is dropped. False for an empty
// URL, another scheme, an empty host, a bad port, or control characters and blanks in the host.
bool ParseHttpUrl(std::string_view url, UrlParts& parts);

// Normalises and parses params.url into params.parts (PrepareUrl of the fetcher). A URL with a
// bare host gets the object "/". An object longer than one character that holds no ".", no "&"
// and no "?", and does not end with "/", is taken for a folder and gets a "/" appended
// ("/news" -> "/news/"; "/a.htm", "/dir/", "/list?x=1&y=2" and "/s?wd=abc" stay). False (parts
// emptied) for an empty or unparsable URL.
bool PrepareUrl(ThreadParams& params);

// The same for a URL given as text: parts of url as PrepareUrl makes them.
bool PrepareUrlParts(const std::string& url, UrlParts& parts);

// The URL that is requested for the parts: scheme://[userinfo@]host:port + object, sent as ASCII
// as a browser sends it. Non-ASCII characters of the object (held in the system's text) are
// percent-encoded: in the path as UTF-8; in the query as UTF-8 when queryInUtf8 (the link came from
// a UTF-8 page), else as the GB18030 bytes they are. A part that is valid UTF-8 already (a keyword
// put in as UTF-8) keeps its bytes. Control characters, blanks and DEL are escaped as %XX too.
std::string RequestUrl(const UrlParts& parts, bool queryInUtf8 = false);

// host + object, as the fetcher shows and remembers a URL.
inline std::string HostAndObject(const UrlParts& parts) {
    return parts.host + parts.object;
}

}  // namespace sorvik
