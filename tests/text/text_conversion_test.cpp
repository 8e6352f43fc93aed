// URL coding, GB18030 <-> UTF-8 conversion and the small file helpers.

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/url_coding.h"

using namespace sorvik;

namespace {

// UTF-8 bytes of a u8 literal (plain literals are compiled to GB18030).
std::string U8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

}  // namespace

// ---------------------------------------------------------------- URL coding

TEST(UrlCoding, EncodeEscapesSpaceSlashPercentAndHighBytesOnly) {
    EXPECT_EQ(UrlEncodeText("a b/c%"), "a%20b%2fc%25");
    EXPECT_EQ(UrlEncodeText("x+y&z=1?:#~-_."), "x+y&z=1?:#~-_.");
    EXPECT_EQ(UrlEncodeText("中国"), "%d6%d0%b9%fa");
    EXPECT_EQ(UrlEncodeText(std::string("\x80\xff", 2)), "%80%ff");
    // A NUL byte is an ordinary byte below 0x80 and is copied.
    EXPECT_EQ(UrlEncodeText(std::string("a\0b", 3)), std::string("a\0b", 3));
    const std::string text = "中国 a/b%c&d=1 \xA1\xA1";
    EXPECT_EQ(UrlDecodeText(UrlEncodeText(text)), text);
}

TEST(UrlCoding, DecodeReadsPlusAndHexAndTurnsBadEscapesIntoQuestionMarks) {
    EXPECT_EQ(UrlDecodeText("a+b%41"), "a bA");
    EXPECT_EQ(UrlDecodeText("%D6%d0%b9%FA"), "中国");
    EXPECT_EQ(UrlDecodeText("%zzq"), "?q");
    // One hex digit is read as the whole number; the second character is still consumed.
    EXPECT_EQ(UrlDecodeText("%4gq"), std::string("\x04q", 2));
}

TEST(UrlCoding, PercentAtTheEndStopsAtTheEndOfTheText) {
    EXPECT_EQ(UrlDecodeText("ab%"), "ab?");
    EXPECT_EQ(UrlDecodeText("ab%4"), std::string("ab\x04", 3));
    // The view ends right after "%": the "41" behind it in memory must not be read.
    const std::string buffer = "ab%41";
    EXPECT_EQ(UrlDecodeText(std::string_view(buffer).substr(0, 3)), "ab?");
    EXPECT_EQ(UrlDecodeText(std::string_view(buffer).substr(0, 4)), std::string("ab\x04", 3));
}

// ---------------------------------------------------------------- GB18030 <-> UTF-8

TEST(CodePage, ConvertsByTheStandardInBothDirections) {
    EXPECT_EQ(translateCharToUTF_8("a中b"),
              "a\xE4\xB8\xAD"
              "b");
    EXPECT_EQ(TranslateUTF_8ToGB("\xE4\xB8\xAD"
                                 "a"),
              "\xD6\xD0"
              "a");
    EXPECT_EQ(GbToUtf8("中国人"), U8(u8"中国人"));
    const std::string withNul("a\0b\r\n", 5);
    EXPECT_EQ(TranslateUTF_8ToGB(withNul), withNul);
    EXPECT_EQ(translateCharToUTF_8(withNul), withNul);
    // é is U+00E9: C3 A9 in UTF-8, A8 A6 in GB18030.
    EXPECT_EQ(TranslateUTF_8ToGB(U8(u8"é")), "\xA8\xA6");
    // 丄 (U+4E04) is 81 41 in GBK: its second byte is the ASCII letter A.
    EXPECT_EQ(translateCharToUTF_8("\x81\x41"), "\xE4\xB8\x84");
    EXPECT_EQ(TranslateUTF_8ToGB("\xE4\xB8\x84"), "\x81\x41");
    // Four-byte characters survive the round trip.
    const std::string emoji = U8(u8"a😀中");
    EXPECT_EQ(TranslateUTF_8ToGB(emoji), "a\x94\x39\xFC\x36\xD6\xD0");
    EXPECT_EQ(translateCharToUTF_8(TranslateUTF_8ToGB(emoji)), emoji);
}

TEST(CodePage, InvalidBytesBecomeQuestionMarks) {
    EXPECT_EQ(TranslateUTF_8ToGB("a\xFF"
                                 "b"),
              "a?b");
    EXPECT_EQ(TranslateUTF_8ToGB("a\xE4\xB8"), "a??");                 // cut short at the end
    EXPECT_EQ(TranslateUTF_8ToGB("\xE4\xB8" + U8(u8"a中")), "??a中");  // cut short in the middle
    EXPECT_EQ(TranslateUTF_8ToGB("\xC0\xAF"), "??");                   // overlong form
    EXPECT_EQ(translateCharToUTF_8("a\xFF"
                                   "b"),
              "a?b");
    EXPECT_EQ(translateCharToUTF_8("a\xD6"), "a?");  // lead byte without its second byte
    EXPECT_EQ(translateCharToUTF_8("\x80"
                                   "中"),
              "?\xE4\xB8\xAD");
}

TEST(CodePage, EveryTwoByteCombinationGivesValidUtf8) {
    for (int first = 0x80; first <= 0xFF; ++first) {
        for (int second = 0; second <= 0xFF; ++second) {
            // LF can't be part of a GB18030 character, so it must come through as the end.
            const std::string gb{static_cast<char>(first), static_cast<char>(second), '\n'};
            const std::string utf8 = translateCharToUTF_8(gb);
            ASSERT_TRUE(IsValidUtf8(utf8)) << std::hex << first << " " << second;
            ASSERT_FALSE(utf8.empty());
            ASSERT_EQ(utf8.back(), '\n');
            // And any byte soup read as UTF-8 comes back as GB18030 that reads as UTF-8 again.
            ASSERT_TRUE(IsValidUtf8(translateCharToUTF_8(TranslateUTF_8ToGB(gb))));
        }
    }
}

TEST(FileHelpers, FileSystemPathsAreUtf8AndKeepBytesThatAreNoCharacter) {
    EXPECT_EQ(FileSystemPath("价目表.txt"), U8(u8"价目表.txt"));
    // A Latin-1 name from another disk: E9 before "." is no GB18030 character and stays as it is.
    EXPECT_EQ(FileSystemPath("caf\xE9.txt"), "caf\xE9.txt");
    EXPECT_EQ(FileSystemPath("\x80中\xFF"), "\x80" + U8(u8"中") + "\xFF");
}

TEST(ConvertToGb, KnownCharsetsConvertAndAnUnknownOneLeavesTheTextAndSaysSo) {
    bool known = false;
    EXPECT_EQ(ConvertToGb(U8(u8"中"), " \"utf8\" ", &known), "中");
    EXPECT_TRUE(known);
    EXPECT_EQ(ConvertToGb("中", "GBK"), "中");
    EXPECT_EQ(ConvertToGb("中", ""), "中");
    EXPECT_EQ(ConvertToGb("\xE9", "ISO-8859-1"), "\xA8\xA6");
    EXPECT_EQ(ConvertToGb("\xA4\xA4", "Big5"), "中");
    EXPECT_EQ(ConvertToGb("abc\xE9", "no-such-charset", &known), "abc\xE9");
    EXPECT_FALSE(known);
}

TEST(IsValidUtf8, AcceptsWellFormedAndRejectsMalformed) {
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8(U8(u8"a é中😀")));
    EXPECT_FALSE(IsValidUtf8("中"));                // GB bytes D6 D0
    EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));      // overlong, three bytes
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xE4\xB8"));          // cut short
    EXPECT_FALSE(IsValidUtf8("\x80"));              // lone continuation byte
    EXPECT_TRUE(IsAscii(std::string("a\0\x7F", 3)));
    EXPECT_FALSE(IsAscii("a中"));
}

TEST(ExternalTextToGb, ByteOrderMarkValidUtf8AndGbInput) {
    EXPECT_EQ(ExternalTextToGb("\xEF\xBB\xBF" + U8(u8"#表名=数据\r\n")), "#表名=数据\r\n");
    EXPECT_EQ(ExternalTextToGb(U8(u8"#表名=数据\r\n")), "#表名=数据\r\n");
    EXPECT_EQ(ExternalTextToGb("#表名=数据\r\n"), "#表名=数据\r\n");  // already GB18030
    EXPECT_EQ(ExternalTextToGb("\xEF\xBB\xBF"), "");
}

// ---------------------------------------------------------------- file helpers

TEST(FileHelpers, WriteThenReadGivesTheSameBytesAndFailuresAreClean) {
    test::TempDir dir;
    const std::string path = dir.file("data.bin");
    const std::string bytes(
        "中\r\n\0\xFF"
        "end",
        9);
    ASSERT_TRUE(WriteWholeFile(path, bytes));
    std::string read = "old";
    ASSERT_TRUE(ReadWholeFile(path, read));
    EXPECT_EQ(read, bytes);
    ASSERT_TRUE(WriteWholeFile(path, "x"));  // truncates
    ASSERT_TRUE(ReadWholeFile(path, read));
    EXPECT_EQ(read, "x");

    EXPECT_FALSE(ReadWholeFile(dir.file("missing.txt"), read));
    EXPECT_EQ(read, "");
    read = "old";
    EXPECT_FALSE(ReadWholeFile(dir.path(), read));
    EXPECT_EQ(read, "");
    EXPECT_FALSE(WriteWholeFile(dir.file("no/such/file.txt"), "x"));
    EXPECT_FALSE(FileExists(dir.file("no")));
    EXPECT_FALSE(FileExists(""));
}

TEST(FileHelpers, MakeDirectoriesCreatesParentsAndRefusesAFile) {
    test::TempDir dir;
    const std::string nested = dir.file("a/b/c");
    EXPECT_TRUE(MakeDirectories(nested));
    EXPECT_TRUE(FileExists(nested));
    EXPECT_TRUE(MakeDirectories(nested));  // already there
    ASSERT_TRUE(WriteWholeFile(dir.file("f"), "x"));
    EXPECT_FALSE(MakeDirectories(dir.file("f/sub")));
    EXPECT_EQ(JoinPath("home//", "/a/b"), "home/a/b");
}
