#include "exchange/file_scramble.h"

#include <cstdio>

#include "text/file_helpers.h"

namespace sorvik {

namespace {

std::string Trailer(std::string_view marker) {
    std::string trailer(marker);
    trailer.push_back('\0');
    for (char& c : trailer)
        c = static_cast<char>(static_cast<std::uint8_t>(c) ^ kFileKeyByte);
    return trailer;
}

void XorAll(std::string& bytes, std::uint8_t key) {
    for (char& c : bytes)
        c = static_cast<char>(static_cast<std::uint8_t>(c) ^ key);
}

// Writes beside the file and renames, so a failed write leaves the old content.
bool ReplaceFile(const std::string& path, std::string_view bytes) {
    const std::string temporary = path + ".part";
    if (!WriteWholeFile(temporary, bytes)) {
        std::remove(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::string ScrambleBytes(std::string_view plain, std::string_view marker) {
    std::string stored(plain);
    XorAll(stored, static_cast<std::uint8_t>(kFileKeyByte ^ (plain.size() % 256)));
    stored += Trailer(marker);
    return stored;
}

bool UnscrambleBytes(std::string_view stored, std::string_view marker, std::string& plain) {
    const std::string trailer = Trailer(marker);
    if (stored.size() < trailer.size())
        return false;
    const size_t length = stored.size() - trailer.size();
    if (stored.substr(length) != trailer)
        return false;
    plain.assign(stored.substr(0, length));
    XorAll(plain, static_cast<std::uint8_t>(kFileKeyByte ^ (length % 256)));
    return true;
}

bool ScrambleFile(const std::string& path, std::string_view marker) {
    std::string plain;
    if (!ReadWholeFile(path, plain))
        return false;
    return ReplaceFile(path, ScrambleBytes(plain, marker));
}

bool UnscrambleFile(const std::string& path, std::string_view marker, const std::string& outputPath) {
    std::string stored;
    if (!ReadWholeFile(path, stored))
        return false;
    std::string plain;
    if (!UnscrambleBytes(stored, marker, plain))
        return false;
    return ReplaceFile(outputPath.empty() ? path : outputPath, plain);
}

}  // namespace sorvik
