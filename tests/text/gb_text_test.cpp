#include "text/gb_text.h"

#include <gtest/gtest.h>

using namespace sorvik;

TEST(GbText, SearchesStartOnCharacterBoundaries) {
    // 啊 (B0 A1), ⅰ (A2 A1), 、 (A1 A2): a plain byte search finds 、 at byte 1, across two
    // characters; on character boundaries it stands at byte 4.
    const std::string text = "\xB0\xA1\xA2\xA1\xA1\xA2";
    EXPECT_EQ(text.find("\xA1\xA2"), 1u);
    EXPECT_EQ(GbFind(text, "\xA1\xA2"), 4u);
    std::string replaced = "丄a";  // 81 41: the trail byte is the letter A
    EXPECT_EQ(GbReplaceAll(replaced, "A", "x"), 0u);
    EXPECT_EQ(replaced, "丄a");
    std::string words = "年月日年";
    EXPECT_EQ(GbReplaceAll(words, "年", "-"), 2u);
    EXPECT_EQ(words, "-月日-");
}

TEST(GbText, PrefixesNeverCutACharacter) {
    const std::string text = "a中文\x81\x30\x81\x30z";  // 1 + 2 + 2 + 4 + 1 bytes
    EXPECT_EQ(GbPrefix(text, 2), "a");
    EXPECT_EQ(GbPrefix(text, 3), "a中");
    EXPECT_EQ(GbPrefix(text, 8), "a中文");
    EXPECT_EQ(GbPrefix(text, 100), text);
    EXPECT_EQ(GbPrefixChars(text, 2), "a中");
    EXPECT_EQ(GbPrefixChars(text, 4), "a中文\x81\x30\x81\x30");
    EXPECT_EQ(GbCharLength(text, 5), 4u);
}

TEST(GbText, ValidLengthRefusesBrokenSequences) {
    EXPECT_EQ(GbValidCharLength("a", 0), 1u);
    EXPECT_EQ(GbValidCharLength("中", 0), 2u);
    EXPECT_EQ(GbValidCharLength("\x81\x30\x81\x30", 0), 4u);
    EXPECT_EQ(GbValidCharLength("\x80", 0), 0u);
    EXPECT_EQ(GbValidCharLength("\xFF\x41", 0), 0u);
    EXPECT_EQ(GbValidCharLength("\xB0", 0), 0u);          // cut after the lead byte
    EXPECT_EQ(GbValidCharLength("\x81\x30\x81", 0), 0u);  // cut four-byte form
    EXPECT_EQ(GbValidCharLength("\xB0\x20", 0), 0u);      // a blank is no trail byte
}
