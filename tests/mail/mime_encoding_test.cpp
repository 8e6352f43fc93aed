#include "mail/mime_encoding.h"

#include <gtest/gtest.h>

#include "text/strings.h"

namespace sorvik {
namespace {

TEST(Base64, EncodesKnownVectorsAndBreaksLines) {
    EXPECT_EQ(Base64Encode("fo"), "Zm8=");
    std::string bytes(100, 'a');
    std::string wrapped = Base64Encode(bytes, 76);
    ASSERT_EQ(wrapped.find("\r\n"), 76u);
    EXPECT_EQ(wrapped.substr(78), Base64Encode(bytes).substr(76));
}

TEST(Base64, DecodesAndRejectsGarbage) {
    std::string out;
    ASSERT_TRUE(Base64Decode("Zm9v\r\nYmE=", out));
    EXPECT_EQ(out, "fooba");
    ASSERT_TRUE(Base64Decode("AAEC/w==", out));
    EXPECT_EQ(out, std::string("\x00\x01\x02\xff", 4));
    EXPECT_FALSE(Base64Decode("Zm9v!", out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(Base64Decode("Zm9vY", out));     // broken length
    EXPECT_FALSE(Base64Decode("Zg==Zg==", out));  // data after padding
}

TEST(QuotedPrintable, EncodesOnlyWhatMustBeEncoded) {
    EXPECT_EQ(QuotedPrintableEncode("a=b\tc d"), "a=3Db\tc d");
    EXPECT_EQ(QuotedPrintableEncode("\xd6\xd0\r\nnext"), "=D6=D0\r\nnext");
    // White space before a line end or at the very end would be stripped by a decoder.
    EXPECT_EQ(QuotedPrintableEncode("end \r\nx\t"), "end=20\r\nx=09");
}

TEST(QuotedPrintable, SoftBreaksNeverSplitAnEscape) {
    std::string text(74, 'x');
    text += "\xff\xff";
    std::string encoded = QuotedPrintableEncode(text);
    EXPECT_EQ(encoded, std::string(74, 'x') + "=\r\n=FF=FF");
    std::string longLine(200, 'y');
    std::string wrapped = QuotedPrintableEncode(longLine);
    for (const auto& line : SplitAll(wrapped, "\r\n")) {
        EXPECT_LE(line.size(), 76u);
    }
    EXPECT_EQ(QuotedPrintableDecode(wrapped), longLine);
}

TEST(QuotedPrintable, RoundTripsEveryByte) {
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all += static_cast<char>(i);
    }
    all += " \r\n.trailing \r\n";
    EXPECT_EQ(QuotedPrintableDecode(QuotedPrintableEncode(all)), all);
}

TEST(EncodeHeaderValue, AsciiStaysOtherwiseOneQWord) {
    EXPECT_EQ(EncodeHeaderValue("Hello world", "gb2312"), "Hello world");
    EXPECT_EQ(EncodeHeaderValue("\xd6\xd0", "gb2312"), "=?gb2312?q?=D6=D0?=");
    EXPECT_EQ(EncodeHeaderValue("a b=c?d_e\xb9\xfa", "gb18030"), "=?gb18030?q?a_b=3Dc=3Fd=5Fe=B9=FA?=");
    // A line break never reaches the header.
    EXPECT_EQ(EncodeHeaderValue("x\r\nBcc: y", "gb2312"), "x  Bcc: y");
}

}  // namespace
}  // namespace sorvik
