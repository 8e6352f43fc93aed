// Deciding a page's character set and converting it to GB18030.

#include "engine/page_charset.h"

#include <gtest/gtest.h>

#include "support/run_process.h"

namespace sorvik {
namespace {

using test::U8;

// Declared UTF-8 and GB pages, a meta tag and undeclared UTF-8 are fetched over loopback in
// page_fetcher_test; these are the edges a served page there does not reach.
TEST(PageCharset, EdgesOfDetectionAndConversion) {
    EXPECT_EQ(DetectPageCharset("text/html; charset=gb2312", "<meta charset=big5>"), "gb2312");
    EXPECT_EQ(
        DetectPageCharset("text/html", "<META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=big5'>"),
        "big5");
    // "charset" outside a meta tag is page text, not a declaration.
    EXPECT_EQ(CharsetFromMeta("<p>charset=koi8-r</p>"), "");
    EXPECT_EQ(DetectPageCharset("", "中文"), "");  // GB bytes: taken as GB
    EXPECT_EQ(PageTextToGb(U8(u8"\uFEFF中"), "", false), "中");
    EXPECT_EQ(PageTextToGb(std::string("\xFF\xFE\x2D\x4E", 4), "", false), "中");
    EXPECT_EQ(PageTextToGb("caf\xE9", "text/html; charset=iso-8859-1", false),
              PageTextToGb(U8(u8"café"), "", true));
    // An unknown charset name leaves the bytes alone.
    EXPECT_EQ(PageTextToGb("abc\x81", "text/html; charset=no-such-set", false), "abc\x81");
}

}  // namespace
}  // namespace sorvik
