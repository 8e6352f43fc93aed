#pragma once
// The scrambling pass over seed and fruit files. A plain content of P bytes is stored with every
// byte XOR-ed with (k XOR (P mod 256)) and followed by the trailer: the marker with its NUL, each
// byte XOR-ed with k. k is the file key byte (kFileKeyByte).

#include <cstdint>
#include <string>
#include <string_view>

namespace sorvik {

namespace detail {

// The key is the lowest byte of a 64-bit value built from a seven-character digit string and two
// 32-bit starting words: each character, with its top bit set, is XOR-ed into the low word (as a
// sign-extended byte) and its sign into the high word.
constexpr std::uint8_t BuildFileKeyByte() {
    std::uint32_t low = 0x6D2B79F5u;
    std::uint32_t high = 0x3C6EF372u;
    for (const char c : {'5', '8', '1', '1', '9', '6', '3'}) {
        const auto marked = static_cast<std::int8_t>(static_cast<std::uint8_t>(c) | 0x80u);
        low ^= static_cast<std::uint32_t>(static_cast<std::int32_t>(marked));
        high ^= marked < 0 ? 0xFFFFFFFFu : 0u;
    }
    const std::uint64_t value = (static_cast<std::uint64_t>(high) << 32) | low;
    return static_cast<std::uint8_t>(value & 0xFFu);
}

}  // namespace detail

// The file key byte of this program's seed and fruit files: 0x44. Files scrambled with another
// key are not readable here (their trailer does not match).
inline constexpr std::uint8_t kFileKeyByte = detail::BuildFileKeyByte();
static_assert(kFileKeyByte == 0x44);

// The marker both kinds of file use.
inline constexpr std::string_view kExchangeMarker = "germ";

// In-memory forms. ScrambleBytes returns the stored form of plain. UnscrambleBytes checks the
// trailer and gives the plain content; false (plain untouched) when the trailer does not match
// or the data is shorter than it.
std::string ScrambleBytes(std::string_view plain, std::string_view marker);
bool UnscrambleBytes(std::string_view stored, std::string_view marker, std::string& plain);

// Scrambles a written file in place and appends the trailer. False when the file can't be read
// or written; a file that could not be rewritten is left as it was.
bool ScrambleFile(const std::string& path, std::string_view marker);

// Reads the file, checks its trailer and writes the plain content to outputPath (empty: back in
// place). A mismatch or an unreadable file fails without writing anything.
bool UnscrambleFile(const std::string& path, std::string_view marker, const std::string& outputPath = {});

}  // namespace sorvik
