// Making links absolute, stripping tags, reading attributes, collecting links and addresses.

#include "engine/link_helpers.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace sorvik;

using Links = std::vector<std::string>;

TEST(ResolveUrl, RelativeAbsoluteSchemeRelativeAndHostlessLinks) {
    const std::string base = "http://host/a/b/c.htm";
    EXPECT_EQ(ResolveUrl(base, "../x.htm"), "http://host/a/x.htm");
    EXPECT_EQ(ResolveUrl(base, "../../../../x.htm"), "http://host/x.htm");  // never above the host
    EXPECT_EQ(ResolveUrl(base, "./x.htm"), "http://host/a/b/./x.htm");
    EXPECT_EQ(ResolveUrl("http://host/a/", "x.htm?a=1&amp;b=2"), "http://host/a/x.htm?a=1&b=2");
    EXPECT_EQ(ResolveUrl("http://host/a/?q=1", "x.htm"), "http://host/a/x.htm");
    EXPECT_EQ(ResolveUrl("http://h", "../x.htm"), "http://h/x.htm");
    // The fetcher fetches http://h/news as http://h/news/, so its links live in /news/.
    EXPECT_EQ(ResolveUrl("http://h/news", "x.htm"), "http://h/news/x.htm");
    // A query or a "." anywhere in the path: the last segment is a file.
    EXPECT_EQ(ResolveUrl("http://h/a/list?p=1", "x.htm"), "http://h/a/x.htm");
    EXPECT_EQ(ResolveUrl("http://h/v1.2/docs", "x.htm"), "http://h/v1.2/x.htm");
    EXPECT_EQ(ResolveUrl("http://h/list.php?page=1", "?page=2&amp;s=1"), "http://h/list.php?page=2&s=1");
    EXPECT_EQ(ResolveUrl("http://host/a/", "www.example.com/p.htm"), "http://www.example.com/p.htm");
    EXPECT_EQ(ResolveUrl("http://host/a/c.htm", "HTTPS://other/b.htm"), "HTTPS://other/b.htm");
    EXPECT_EQ(ResolveUrl("https://host/a/b/c.htm", "//cdn.host/x.js"), "https://cdn.host/x.js");
    EXPECT_EQ(ResolveUrl("https://host:8443/a/b.htm", "c.htm"), "https://host:8443/a/c.htm");
    EXPECT_EQ(ResolveUrl("http://h/a/", "amp;"), "");
    EXPECT_EQ(ResolveUrl("", "x.htm"), "x.htm");
    EXPECT_EQ(ResolveUrl("www.x.com/a/b.htm", "/c.htm"), "www.x.com/c.htm");
}

TEST(HtmlToText, DropsTagsAndStrayClosingBrackets) {
    std::string text;
    EXPECT_TRUE(HtmlToText("1 > 0<br/>中&amp;", text));
    EXPECT_EQ(text, "1  0中&amp;");
    EXPECT_TRUE(HtmlToText("x<unclosed tag", text));
    EXPECT_EQ(text, "x");
    EXPECT_FALSE(HtmlToText("<p></p>", text));
    EXPECT_EQ(text, "");
}

TEST(HtmlToPlainText, DecodesEntitiesAndFoldsWhiteSpaceAroundTags) {
    // Words on either side of a removed line break or block tag stay apart; inline tags join.
    EXPECT_EQ(HtmlToPlainText("<h2>Concepts &amp; Terminology</h2>\r\n<p>command-line\r\ninterfaces</p>"
                              "<td>a</td><td>b<b>c</b></td>"),
              "Concepts & Terminology command-line interfaces a bc");
    // Numeric entities in both forms become GB18030; nbsp and the ideographic space are blanks;
    // unknown or malformed entities, script and comments.
    EXPECT_EQ(HtmlToPlainText(" &#20013;&#x6587;&nbsp;&nbsp;x\t\t　y &copy; &bogus; &#xD800; a&b "),
              "中文 x y © &bogus; &#xD800; a&b");
    EXPECT_EQ(HtmlToPlainText("a<script>if (x<y) z();</SCRIPT>b<!-- <p>c</p> -->d<style>p{}</style>"),
              "a b d");
    EXPECT_EQ(HtmlToPlainText("<p> </p>"), "");
}

TEST(GetTagAttribute, QuotesCaseBlanksAndCutTags) {
    std::string value;
    EXPECT_TRUE(GetTagAttribute("<A HREF='x.htm' class=a>", "href", value));
    EXPECT_EQ(value, "x.htm");
    EXPECT_TRUE(GetTagAttribute("<a href = \"x.htm\">", "href", value));
    EXPECT_EQ(value, "");
    EXPECT_TRUE(GetTagAttribute("<img src=\"a.gif\"", "src", value));  // tag cut short
    EXPECT_EQ(value, "a.gif");
    EXPECT_TRUE(GetTagAttribute("<link xhref=\"u\">", "href", value));  // inside a longer word
    EXPECT_EQ(value, "u");
    EXPECT_FALSE(GetTagAttribute("<a title=\"中\">", "href", value));
    EXPECT_EQ(value, "");
}

TEST(ExtractHrefLinks, TargetsInDocumentOrder) {
    Links links;
    EXPECT_TRUE(
        ExtractHrefLinks("<p><a href=\"1.htm\">one</a> text <A HREF='2.htm'>two</A></p>", "href", links));
    EXPECT_EQ(links, (Links{"1.htm", "2.htm"}));
    EXPECT_TRUE(ExtractHrefLinks("<a href=\"mailto:a@b.cn\">m</a><a href=x.htm>x</a><a href=\"\">e</a>",
                                 "href", links));
    EXPECT_EQ(links, (Links{"x.htm"}));
    EXPECT_TRUE(ExtractHrefLinks(
        "<select><option value=\"http://h/1\">1</option><option value=\"2\">2</option>", "href", links));
    EXPECT_EQ(links, (Links{"http://h/1"}));
}

TEST(ExtractHrefLinks, FailsWithoutLinksOrOnANoIndexTag) {
    Links links{"stale"};
    EXPECT_FALSE(ExtractHrefLinks("no tags at all", "href", links));
    EXPECT_TRUE(links.empty());
    EXPECT_FALSE(ExtractHrefLinks(
        "<a href=\"1.htm\">1</a><meta name=\"robots\" content=\"noindex\"><a href=\"2.htm\">2</a>", "href",
        links));
    EXPECT_TRUE(links.empty());
    EXPECT_TRUE(ExtractHrefLinks("<a href=\"1.htm\"", "href", links));  // last tag cut short
    EXPECT_EQ(links, (Links{"1.htm"}));
}

TEST(ExtractMailLinks, AddressesAfterMailto) {
    Links addresses;
    EXPECT_TRUE(
        ExtractMailLinks("<a href=\"mailto:a@b.cn\">a</a><a href=x.htm>x</a><A HREF='MAILTO:no@case.cn'>"
                         "<a href=\"mailto:c@d.cn?subject=hi\">c</a><a href=\"mailto:\">e</a>",
                         "href", addresses));
    EXPECT_EQ(addresses, (Links{"a@b.cn", "c@d.cn"}));
    EXPECT_FALSE(
        ExtractMailLinks("<a href=\"x.htm\">x</a><option value=\"mailto:o@p.cn\">", "href", addresses));
    EXPECT_TRUE(addresses.empty());
    EXPECT_FALSE(ExtractMailLinks("<a href=\"mailto:a@b.cn\"><meta content=noindex>", "href", addresses));
    EXPECT_TRUE(addresses.empty());
}

TEST(SiteRootOfUrl, KeepsSchemeHostAndPortAndLeavesUnparsableUrls) {
    EXPECT_EQ(SiteRootOfUrl("HTTPS://host/a/"), "https://host/");
    EXPECT_EQ(SiteRootOfUrl("http://host:80/a/"), "http://host/");
    EXPECT_EQ(SiteRootOfUrl("www.host.cn/a/b.htm"), "http://www.host.cn/");
    EXPECT_EQ(SiteRootOfUrl("ftp://host/x"), "ftp://host/x");
    EXPECT_EQ(SiteRootOfUrl("http://host:abc/"), "http://host:abc/");
    const std::string root = SiteRootOfUrl("https://host:8443/a/b/c.htm");
    EXPECT_EQ(ResolveUrl(root, "/x.htm"), "https://host:8443/x.htm");
}

TEST(LinkHelpers, ArbitraryBytesNeverBreakTheHelpers) {
    // Pieces that steer every branch, glued at random (fixed seed, so the run is repeatable).
    const std::vector<std::string> pieces = {"<",    ">",    "\"",     "'",       "=",   "/", "//",
                                             ".",    "..",   "../",    "?",       "#",   ":", "://",
                                             "amp;", "href", "option", "mailto:", "a",   " ", "中",
                                             "\x81", "\x41", "http",   "noindex", "\r\n"};
    std::mt19937 random(12345);
    for (int round = 0; round < 3000; ++round) {
        std::string base, link;
        for (int i = static_cast<int>(random() % 8); i > 0; --i)
            base += pieces[random() % pieces.size()];
        for (int i = static_cast<int>(random() % 8); i > 0; --i)
            link += pieces[random() % pieces.size()];
        std::string withoutAmp = link;
        for (size_t at = 0; (at = withoutAmp.find("amp;", at)) != std::string::npos;)
            withoutAmp.erase(at, 4);
        EXPECT_EQ(ResolveUrl(base, link).empty(), withoutAmp.empty()) << base << " | " << link;

        std::string text, value;
        HtmlToText(base + link, text);
        EXPECT_EQ(text.find_first_of("<>"), std::string::npos);
        GetTagAttribute(base + link, "href", value);
        Links links;
        ExtractHrefLinks(base + link, "href", links);
        ExtractMailLinks(base + link, "href", links);
        SiteRootOfUrl(base + link);
    }
}
