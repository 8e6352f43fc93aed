// Deciding a page's character set and converting it to GB18030.

#include "engine/page_charset.h"

#include <gtest/gtest.h>

#include "support/run_process.h"

namespace sorvik {
namespace {

using test::U8;

TEST(PageCharset, HeaderBeatsMetaAndMetaBeatsGuessing) {
    EXPECT_EQ(CharsetFromContentType("text/html; charset=\"UTF-8\""), "utf-8");
    EXPECT_EQ(CharsetFromContentType("text/html;Charset = GBK"), "gbk");
    EXPECT_EQ(CharsetFromContentType("text/html"), "");
    const std::string page =
        "<head><meta name=x><META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=big5'>";
    EXPECT_EQ(CharsetFromMeta(page), "big5");
    EXPECT_EQ(DetectPageCharset("text/html; charset=gb2312", page), "gb2312");
    EXPECT_EQ(DetectPageCharset("text/html", page), "big5");
    EXPECT_EQ(CharsetFromMeta("<meta charset=utf-8/>"), "utf-8");
    // "charset" outside a meta tag is page text, not a declaration.
    EXPECT_EQ(CharsetFromMeta("<p>charset=koi8-r</p>"), "");
}

TEST(PageCharset, MarksAndValidUtf8AreRecognisedWhenNothingIsDeclared) {
    EXPECT_EQ(DetectPageCharset("",
                                "\xEF\xBB\xBF"
                                "abc"),
              "utf-8");
    EXPECT_EQ(DetectPageCharset("", std::string("\xFF\xFE\x61\x00", 4)), "utf-16le");
    EXPECT_EQ(DetectPageCharset("", U8(u8"中文")), "utf-8");
    EXPECT_EQ(DetectPageCharset("", "中文"), "");  // GB bytes: taken as GB
    EXPECT_EQ(DetectPageCharset("", "plain ascii"), "");
}

TEST(PageCharset, ConversionToGb) {
    EXPECT_EQ(PageTextToGb(U8(u8"\uFEFF中"), "", false), "中");
    EXPECT_EQ(PageTextToGb("中", "text/html; charset=gb18030", false), "中");
    EXPECT_EQ(PageTextToGb(std::string("\xFF\xFE\x2D\x4E", 4), "", false), "中");
    EXPECT_EQ(PageTextToGb("caf\xE9", "text/html; charset=iso-8859-1", false),
              PageTextToGb(U8(u8"café"), "", true));
    // An unknown charset name leaves the bytes alone.
    EXPECT_EQ(PageTextToGb("abc\x81", "text/html; charset=no-such-set", false), "abc\x81");
}

}  // namespace
}  // namespace sorvik
