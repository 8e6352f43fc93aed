#pragma once
// The character set of a fetched page and its conversion to the internal code page (GB18030).
//
// The system works on GB text while most pages today are UTF-8, so a page fetched into memory is
// converted by what it declares: the Content-Type header's charset, else a <meta charset> or
// http-equiv declaration near the top of the page, else a byte-order mark, else (undeclared) valid
// non-ASCII UTF-8 is taken for UTF-8. GB2312, GBK and GB18030 pages pass through unchanged.

#include <string>
#include <string_view>

namespace sorvik {

// The charset parameter of a Content-Type value ("text/html; charset=UTF-8" -> "utf-8"), lower
// case without quotes; empty when there is none.
std::string CharsetFromContentType(std::string_view contentType);

// The charset declared by a <meta charset=...> or <meta http-equiv=... content="...charset=...">
// tag in the first 64 KB of the page; lower case; empty when there is none.
std::string CharsetFromMeta(std::string_view page);

// The charset the page is taken to be in (lower case): header, meta, byte-order mark ("utf-8",
// "utf-16le", "utf-16be"), then "utf-8" for valid non-ASCII UTF-8; empty when unknown (the page
// is then taken for GB text).
std::string DetectPageCharset(std::string_view contentType, std::string_view page);

// True when a browser sends the non-ASCII characters in the query of a link from a page in this
// charset as UTF-8: pages in UTF-8 and UTF-16. Links of any other page send the system's text.
bool SendsQueryInUtf8(std::string_view charset);

// The page as GB18030. forceUtf8 (the fetcher's from-UTF-8 flag) decodes the page as UTF-8
// whatever it declares; otherwise DetectPageCharset decides. A UTF-8 byte-order mark is dropped.
// Unknown charsets leave the bytes unchanged.
std::string PageTextToGb(std::string_view page, std::string_view contentType, bool forceUtf8);

}  // namespace sorvik
