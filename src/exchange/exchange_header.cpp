#include "exchange/exchange_header.h"

#include <algorithm>

#include "text/gb_text.h"
#include "text/strings.h"

namespace sorvik {

namespace {

constexpr char kSeparator = '\x01';
constexpr size_t kLengthFieldWidth = 10;
constexpr size_t kHeaderPipes = 10;

// A category name inside field 7: the field's own separators become blanks.
std::string HeaderSafeName(std::string_view name) {
    std::string out;
    for (size_t i = 0; i < name.size();) {
        const size_t n = GbCharLength(name, i);
        const char c = name[i];
        if (n == 1 && (c == '|' || c == ';' || c == ',' || static_cast<unsigned char>(c) < 0x20)) {
            out += ' ';
        } else {
            out.append(name.substr(i, n));
        }
        i += n;
    }
    return out;
}

std::string LengthField(size_t length) {
    return std::string(1, kSeparator) + Format("%10zu", length);
}

bool Fail(std::string& error, std::string_view detail) {
    error = "文件格式不对！";
    if (!detail.empty()) {
        error += "\r\n";
        error.append(detail);
    }
    return false;
}

}  // namespace

std::string BuildSeedHeader(std::string_view germ, size_t length) {
    return Format("u|germ|%.*s|1.0|1|all|是否升级?||||", static_cast<int>(germ.size()), germ.data()) +
           LengthField(length);
}

std::string BuildFruitHeader(std::string_view germ, const std::vector<std::string>& requiredGerms,
                             const std::vector<std::string>& requiredNames, size_t length) {
    std::vector<std::string> names;
    for (const std::string& name : requiredNames)
        names.push_back(HeaderSafeName(name));
    const std::string required = Join(requiredGerms, ",") + ";" + Join(names, ",");
    return Format("u|fruit|%.*s|1.0|1|reg|是否导入数据?|%s|||", static_cast<int>(germ.size()), germ.data(),
                  required.c_str()) +
           LengthField(length);
}

bool IsWritableSeedCode(std::string_view germ) {
    if (germ.empty())
        return false;
    for (const char c : germ) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == '|' || c == ';' || c == ',' || c == '\'' || c == '"')
            return false;
    }
    return true;
}

bool ParseExchangeHeader(std::string_view content, ExchangeHeader& header, std::string& error) {
    header = ExchangeHeader();
    if (content.substr(0, 6) == "u|frui") {
        header.kind = ExchangeKind::kFruit;
    } else if (content.substr(0, 6) == "u|germ") {
        header.kind = ExchangeKind::kSeed;
    } else {
        return Fail(error, "");
    }
    const size_t end = content.find(kSeparator);
    if (end == std::string_view::npos)
        return Fail(error, "文件头没有结束标记");

    // Fields, walking whole characters so that no second byte is taken for a "|".
    const std::string_view text = content.substr(0, end);
    std::string field;
    size_t pipes = 0;
    size_t lastPipe = std::string_view::npos;
    for (size_t i = 0; i < text.size();) {
        const size_t n = GbCharLength(text, i);
        if (n == 1 && text[i] == '|') {
            header.fields.push_back(field);
            field.clear();
            ++pipes;
            lastPipe = i;
        } else {
            field.append(text.substr(i, n));
        }
        i += n;
    }
    header.fields.push_back(field);
    if (pipes != kHeaderPipes || lastPipe + 1 != end)
        return Fail(error, "文件头的字段数不对");
    header.germ = header.fields[2];
    header.version = header.fields[3];
    if (header.kind == ExchangeKind::kFruit) {
        const std::string& required = header.fields[7];
        const size_t semicolon = required.find(';');
        const std::string codes = required.substr(0, semicolon);
        const std::string names =
            semicolon == std::string::npos ? std::string() : required.substr(semicolon + 1);
        if (!codes.empty())
            header.requiredGerms = SplitAll(codes, ",");
        if (!names.empty())
            header.requiredNames = SplitAll(names, ",");
    }

    const size_t lengthStart = end + 1;
    if (content.size() < lengthStart + kLengthFieldWidth)
        return Fail(error, "长度字段不完整，文件被截断");
    const std::string_view lengthText = content.substr(lengthStart, kLengthFieldWidth);
    size_t digitsStart = 0;
    while (digitsStart < lengthText.size() && lengthText[digitsStart] == ' ')
        ++digitsStart;
    if (digitsStart == lengthText.size())
        return Fail(error, "长度字段不是数字");
    size_t length = 0;
    for (size_t i = digitsStart; i < lengthText.size(); ++i) {
        if (lengthText[i] < '0' || lengthText[i] > '9')
            return Fail(error, "长度字段不是数字");
        length = length * 10 + static_cast<size_t>(lengthText[i] - '0');
    }
    header.statementsBegin = lengthStart + kLengthFieldWidth;
    const size_t rest = content.size() - header.statementsBegin;
    if (length > rest) {
        return Fail(error, Format("长度字段(%zu)超过文件剩余的%zu字节，文件被截断或已损坏", length, rest));
    }
    header.statementsLength = length;
    return true;
}

bool IsUpgradePackage(const ExchangeHeader& header) {
    const bool noneRequired = std::all_of(header.requiredGerms.begin(), header.requiredGerms.end(),
                                          [](const std::string& germ) { return germ.empty(); });
    return header.kind == ExchangeKind::kFruit && header.germ.empty() && noneRequired;
}

}  // namespace sorvik
