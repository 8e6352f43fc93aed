// The text part's header: its fields, the length field and the checks of the importer.

#include "exchange/exchange_header.h"

#include <gtest/gtest.h>

using sorvik::ExchangeHeader;
using sorvik::ExchangeKind;

namespace {

std::string Error(const std::string& content) {
    ExchangeHeader header;
    std::string error;
    EXPECT_FALSE(sorvik::ParseExchangeHeader(content, header, error));
    EXPECT_EQ(error.rfind("文件格式不对！", 0), 0u) << error;
    return error;
}

}  // namespace

TEST(ExchangeHeader, SeedHeaderIsTheFixedLineWithTheLength) {
    const std::string header = sorvik::BuildSeedHeader("G01", 11);
    EXPECT_EQ(header, std::string("u|germ|G01|1.0|1|all|是否升级?||||\x01") + "        11");
    ExchangeHeader parsed;
    std::string error;
    const std::string content = header + "insert x\x01y!" + "\x05rest";
    ASSERT_TRUE(sorvik::ParseExchangeHeader(content, parsed, error)) << error;
    EXPECT_EQ(parsed.kind, ExchangeKind::kSeed);
    EXPECT_EQ(parsed.germ, "G01");
    EXPECT_EQ(content.substr(parsed.statementsBegin, parsed.statementsLength), "insert x\x01y!");
}

TEST(ExchangeHeader, FruitHeaderCarriesTheRequiredSeeds) {
    // A name with the field's own separators, and one whose GBK second byte is "|" (0x81 0x7C).
    const std::string header =
        sorvik::BuildFruitHeader("G1", {"G1", "G2"}, {"新闻|体育;a,b", "x\x81\x7C"}, 0);
    EXPECT_EQ(header.substr(0, header.find('\x01')),
              "u|fruit|G1|1.0|1|reg|是否导入数据?|G1,G2;新闻 体育 a b,x\x81\x7C|||");
    ExchangeHeader parsed;
    std::string error;
    ASSERT_TRUE(sorvik::ParseExchangeHeader(header, parsed, error)) << error;
    EXPECT_EQ(parsed.kind, ExchangeKind::kFruit);
    EXPECT_EQ(parsed.requiredGerms, (std::vector<std::string>{"G1", "G2"}));
    EXPECT_EQ(parsed.requiredNames, (std::vector<std::string>{"新闻 体育 a b", "x\x81\x7C"}));
}

TEST(ExchangeHeader, BrokenHeadersAreRefusedWithTheReason) {
    const std::string good = sorvik::BuildSeedHeader("G", 3) + "abc";
    Error("x|germ|G|1.0|1|all|q||||\x01         0");
    Error("u|germ|G|1.0|1|all|q|||");                  // no 0x01 at all
    Error("u|germ|G|1.0|1|all|q|||\x01         0");    // nine "|"
    Error("u|germ|G|1.0|1|all|q|||||\x01         0");  // eleven
    EXPECT_NE(Error(good.substr(0, good.find('\x01') + 5)).find("截断"),
              std::string::npos);  // cut in the length field
    Error("u|germ|G|1.0|1|all|q||||\x01      -12");
    Error("u|germ|G|1.0|1|all|q||||\x01  12    3");
    Error("u|germ|G|1.0|1|all|q||||\x01          ");
    // A length that promises more than the file holds.
    const std::string lying = sorvik::BuildSeedHeader("G", 50) + "abc";
    EXPECT_NE(Error(lying).find("长度字段(50)"), std::string::npos);
    Error(sorvik::BuildSeedHeader("G", 4000000000u) + "abc");
    EXPECT_FALSE(sorvik::IsWritableSeedCode("a|b"));
    EXPECT_FALSE(sorvik::IsWritableSeedCode(""));
}
