#pragma once
// The text part's header of seed and fruit files:
//   seed:  "u|germ|<code>|1.0|1|all|是否升级?||||" 0x01 "%10d"
//   fruit: "u|fruit|<code>|1.0|1|reg|是否导入数据?|<codes>;<names>|||" 0x01 "%10d"
// followed by exactly L bytes of statements separated by 0x01, then the binary part.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

enum class ExchangeKind { kSeed, kFruit };

struct ExchangeHeader {
    ExchangeKind kind = ExchangeKind::kSeed;
    std::vector<std::string> fields;  // the "|" fields before the 0x01
    std::string germ;                 // field 2, the seed code of the exported root
    std::string version;              // field 3
    // Fruit field 7: the seeds an importing installation must hold, with their category names.
    std::vector<std::string> requiredGerms;
    std::vector<std::string> requiredNames;
    size_t statementsBegin = 0;   // offset of the statement section
    size_t statementsLength = 0;  // L
};

// The header with its 0x01 and length field, for a statement section of length bytes.
std::string BuildSeedHeader(std::string_view germ, size_t length);
std::string BuildFruitHeader(std::string_view germ, const std::vector<std::string>& requiredGerms,
                             const std::vector<std::string>& requiredNames, size_t length);

// A seed code can be written into a header: not empty, and free of "|", ";", ",", quotes and
// control characters (they would break the header's fields or the statements' literals).
bool IsWritableSeedCode(std::string_view germ);

// An upgrade package: a fruit header without a seed code and without required seeds.
bool IsUpgradePackage(const ExchangeHeader& header);

// Reads and checks the header of a plain (unscrambled) file. On failure error holds
// "文件格式不对！" and, after CR LF, what is wrong: an unknown kind, a header without its 0x01,
// a length field that is cut short, not a number, or larger than the rest of the file.
bool ParseExchangeHeader(std::string_view content, ExchangeHeader& header, std::string& error);

}  // namespace sorvik
