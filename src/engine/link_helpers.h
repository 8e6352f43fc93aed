#pragma once
// Link and text helpers for the extraction engine and the field rules: making a link found in a
// page absolute, stripping tags, reading a tag attribute, and collecting the link targets and mail
// addresses of an HTML fragment.
//
// They work on GB18030 byte strings with plain byte comparisons: no HTML parsing; character
// entities are decoded only by HtmlToPlainText (and "amp;" in links). None of them keeps state; any thread
// may call them.

#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

// Makes link absolute against base (the URL of the page the link was found in). Empty when the
// link is empty. Steps, in order:
//   - The base loses its query ("http://h/a/?q=1" -> "http://h/a/"); every "amp;" is removed
//     from the link ("x.htm?a=1&amp;b=2" -> "x.htm?a=1&b=2").
//   - A link with a scheme ("http://", "https://", "ftp://", any case) is absolute and returned
//     as it is. A scheme-relative link ("//cdn/x.js") takes the base's scheme ("http" when the
//     base has none). A link that is only a query ("?page=2") replaces the base's query; a link
//     that is only a fragment ("#top") is appended to the base.
//   - The folder of the base. A base that ends with "/" is a folder. Otherwise its last path
//     segment names a file, whose folder is used ("http://h/a/list_1.htm" with "list_2.htm" gives
//     "http://h/a/list_2.htm"), unless the base names a folder without its "/": a base with no
//     path ("http://h" -> "http://h/"), or one whose path holds no ".", no "&" and had no query
//     ("http://h/news" -> "http://h/news/"). That is exactly the rule by which the fetcher
//     appends "/" before it fetches such a path, so the page of "http://h/news" really is
//     "http://h/news/" and its relative links are resolved there.
//   - A link starting with "/" replaces the base's path: "/x.htm" -> "http://host/x.htm".
//   - A link starting with "." and holding no "../" is appended to the base's folder, "./" kept:
//     "./x.htm" against "http://host/a/b/c.htm" -> "http://host/a/b/./x.htm".
//   - A link holding "../": all n "../" are removed and the rest is appended to the base's folder
//     cut back by n path segments, never above the host: "../x.htm" against
//     "http://host/a/b/c.htm" -> "http://host/a/x.htm".
//   - Any other link is appended to the base's folder. When the base itself ends with "/", a link
//     that starts with the whole base is returned as it is, and a link that looks like a host name
//     (two "." before any "?" or "/": "www.example.com/p.htm") becomes "http://" + link.
//   - An empty base gives the link; a base without scheme and host ("/a/b.htm") resolves the same
//     way, a link starting with "/" then staying as it is.
// Comparisons are case-sensitive except for the scheme.
std::string ResolveUrl(std::string_view base, std::string_view link);

// The text of html with every tag removed: a "<" starts a tag, which runs up to and including the
// next ">"; a ">" outside a tag is dropped too. No entity decoding, no white-space handling.
// Returns false when the text is empty.
bool HtmlToText(std::string_view html, std::string& text);

// The readable text of html: tags removed, with the content of script and style elements and of
// comments; named and numeric character entities decoded into GB18030 ("&amp;" -> "&", "&#20013;"
// and "&#x4e2d;" -> 中; an unknown or malformed entity stays as written). Every run of white space
// (blank, TAB, CR, LF, the ideographic space, "&nbsp;") becomes one blank, and so does a tag that
// breaks a line in a browser (br, p, div, li, td, headings, ...); inline tags (b, a, span, ...)
// join what is on either side. The result is trimmed.
std::string HtmlToPlainText(std::string_view html);

// Reads an attribute out of a tag text. The name is found anywhere in the tag (also inside a
// longer word), without regard to ASCII case; not found: false and an empty value. From the end of
// the name the first double quote, apostrophe or "=" is taken, one quote after it is skipped, and
// the value runs up to the first apostrophe, double quote, ">" or blank. Found but no such mark, or
// blanks around the "=" (`href = "x"`): true with an empty value.
bool GetTagAttribute(std::string_view tag, std::string_view name, std::string& value);

// The non-empty values of the attribute name (callers pass "href") of the tags of html, in
// document order; values holding "mailto:" are skipped. A tag without the attribute that has an
// option value (`<option value="http://...">`) holding "http" gives that value. A tag anywhere
// that holds "noindex" or "NOINDEX" (a robots meta tag) makes the whole call fail with an empty
// list. True when the list is not empty.
bool ExtractHrefLinks(std::string_view html, std::string_view name, std::vector<std::string>& links);

// The mail addresses of the attribute values (name "href") that hold "mailto:": what follows
// "mailto:", cut before a "?" (so "mailto:a@b.cn?subject=x" gives "a@b.cn"). The same tags and
// the same "noindex" rule as ExtractHrefLinks; option tags are not used. True when the list is
// not empty.
bool ExtractMailLinks(std::string_view html, std::string_view name, std::vector<std::string>& addresses);

// The site root of an http or https URL: scheme "://" [userinfo "@"] host [":" port] "/", the
// scheme kept (https stays https) and a port kept unless it is the scheme's default
// ("https://h:8443/a/b.htm" -> "https://h:8443/"). A URL without scheme is taken for http. A URL
// that can't be parsed (another scheme, no host, a bad port) is returned unchanged.
std::string SiteRootOfUrl(std::string_view url);

}  // namespace sorvik
