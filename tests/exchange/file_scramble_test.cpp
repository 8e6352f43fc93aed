// The scrambling pass of seed and fruit files.

#include "exchange/file_scramble.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "text/file_helpers.h"

using sorvik::test::TempDir;

namespace {

std::string Pattern(size_t size) {
    std::string bytes;
    for (size_t i = 0; i < size; ++i)
        bytes += static_cast<char>((i * 37 + 11) & 0xFF);
    return bytes;
}

}  // namespace

TEST(FileScramble, ThreeHundredBytesUseKeyXor44AndGrowByTheTrailer) {
    TempDir dir;
    const std::string path = dir.file("a.grm");
    const std::string plain = Pattern(300);
    ASSERT_TRUE(sorvik::WriteWholeFile(path, plain));
    ASSERT_TRUE(sorvik::ScrambleFile(path, "germ"));
    std::string stored;
    ASSERT_TRUE(sorvik::ReadWholeFile(path, stored));
    ASSERT_EQ(stored.size(), 305u);
    const auto key = static_cast<unsigned char>(sorvik::kFileKeyByte ^ 44);
    for (size_t i = 0; i < 300; ++i) {
        ASSERT_EQ(static_cast<unsigned char>(stored[i]), static_cast<unsigned char>(plain[i]) ^ key) << i;
    }
    const std::string marker("germ\0", 5);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(static_cast<unsigned char>(stored[300 + i]),
                  static_cast<unsigned char>(marker[i]) ^ sorvik::kFileKeyByte);
    }

    // Back in place.
    ASSERT_TRUE(sorvik::UnscrambleFile(path, "germ"));
    std::string restored;
    ASSERT_TRUE(sorvik::ReadWholeFile(path, restored));
    EXPECT_EQ(restored, plain);
}

TEST(FileScramble, AWrongTrailerWritesNothing) {
    TempDir dir;
    const std::string path = dir.file("b.fru");
    std::string stored = sorvik::ScrambleBytes(Pattern(40), "germ");
    stored.back() = static_cast<char>(stored.back() ^ 1);
    ASSERT_TRUE(sorvik::WriteWholeFile(path, stored));
    EXPECT_FALSE(sorvik::UnscrambleFile(path, "germ", dir.file("out")));
    EXPECT_FALSE(sorvik::FileExists(dir.file("out")));
    EXPECT_FALSE(sorvik::UnscrambleFile(path, "germ"));
    std::string after;
    ASSERT_TRUE(sorvik::ReadWholeFile(path, after));
    EXPECT_EQ(after, stored);

    // Shorter than the trailer, or scrambled with another marker.
    ASSERT_TRUE(sorvik::WriteWholeFile(path, "abc"));
    EXPECT_FALSE(sorvik::UnscrambleFile(path, "germ", dir.file("out")));
    ASSERT_TRUE(sorvik::WriteWholeFile(path, sorvik::ScrambleBytes("data", "seed")));
    EXPECT_FALSE(sorvik::UnscrambleFile(path, "germ", dir.file("out")));
    EXPECT_FALSE(sorvik::FileExists(dir.file("out")));
    std::string plain;
    EXPECT_FALSE(sorvik::UnscrambleBytes(std::string(), "germ", plain));
}
