#include "engine/extraction_settings.h"

#include <algorithm>
#include <cctype>

#include "engine/page_extractor.h"
#include "script/script_keys.h"
#include "script/script_text.h"
#include "text/strings.h"

namespace sorvik {

namespace {

// The line that starts at offset start, without its CR LF.
std::string_view LineAt(std::string_view script, size_t start) {
    size_t end = script.find('\n', start);
    if (end == std::string_view::npos)
        end = script.size();
    std::string_view line = script.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

// The first line that begins with prefix (at the start of the text or after an LF), or npos.
size_t FindLineStart(std::string_view script, std::string_view prefix) {
    size_t pos = 0;
    while (pos <= script.size()) {
        if (script.substr(pos).starts_with(prefix))
            return pos;
        const size_t lf = script.find('\n', pos);
        if (lf == std::string_view::npos)
            break;
        pos = lf + 1;
    }
    return std::string_view::npos;
}

}  // namespace

LoopLevels ReadLoopLevels(std::string_view script, bool testRun) {
    LoopLevels levels;
    levels.patterns.clear();
    for (int k = 1; k <= kMaxLevels; ++k) {
        std::string pattern;
        if (testRun)
            pattern = ScriptValue(std::to_string(k) + "_测试=", script);
        if (pattern.empty())
            pattern = ScriptValue(std::to_string(k) + "=", script);
        if (pattern.empty())
            break;
        levels.patterns.push_back(std::move(pattern));
    }
    if (levels.patterns.empty())
        levels.patterns.emplace_back();
    levels.count = static_cast<int>(levels.patterns.size());
    return levels;
}

FieldBinding BindField(std::string_view script, std::string_view name, int levels) {
    FieldBinding binding;
    binding.name = std::string(name);
    binding.keyName = binding.name;
    binding.level = levels;
    if (name.empty()) {
        binding.hasPattern = false;
        return binding;
    }
    const std::string prefix = binding.name + "_";
    const size_t start = FindLineStart(script, prefix);
    if (start == std::string_view::npos) {
        binding.pattern = ScriptValue(binding.name + "=", script);
        return binding;
    }
    const std::string_view line = LineAt(script, start);
    if (line.size() >= prefix.size() + 2 && line[prefix.size() + 1] == '=') {
        const char levelByte = line[prefix.size()];
        int level = std::isdigit(static_cast<unsigned char>(levelByte)) ? levelByte - '0' : 0;
        if (level == 0)
            level = 1;
        binding.level = std::min(level, levels);
        binding.keyName = prefix + levelByte;
        binding.pattern = std::string(line.substr(prefix.size() + 2));
        return binding;
    }
    binding.hasPattern = false;
    return binding;
}

NextPageRule ReadNextPageRule(std::string_view script) {
    NextPageRule rule;
    const std::string_view prefix = key::kNextPageStem;
    const size_t start = FindLineStart(script, prefix);
    if (start == std::string_view::npos) {
        rule.pattern = ScriptValue(key::kNextPage, script);
        return rule;
    }
    const std::string_view line = LineAt(script, start);
    if (line.size() >= prefix.size() + 2 && line[prefix.size() + 1] == '=' &&
        std::isdigit(static_cast<unsigned char>(line[prefix.size()]))) {
        rule.level = line[prefix.size()] - '0';
        rule.pattern = std::string(line.substr(prefix.size() + 2));
    }
    return rule;
}

int ReadUpdateMode(std::string_view script) {
    const std::string mode = Trim(ScriptValue(key::kUpdateMode, script));
    if (mode == "只是插入")
        return 1;
    if (mode == "只是插入和更新")
        return 2;
    return 0;
}

int ReadBatchSize(std::string_view script) {
    const std::string text = Trim(ScriptValue(key::kBatchSize, script));
    if (text.empty())
        return 500;
    return static_cast<int>(std::clamp<long long>(ParseLeadingInt(text), 1, 1000000));
}

std::string CutKeywordBlock(std::string& script) {
    const std::string_view open = "[#需要搜索关键字网址]{";
    const std::string_view close = "}[#需要搜索关键字网址]";
    const size_t begin = script.find(open);
    if (begin == std::string::npos)
        return {};
    const size_t end = script.find(close, begin + open.size());
    if (end == std::string::npos)
        return {};
    size_t contentStart = begin + open.size();
    if (script.compare(contentStart, 2, "\r\n") == 0)
        contentStart += 2;
    std::string content = script.substr(contentStart, end > contentStart ? end - contentStart : 0);
    size_t cutEnd = end + close.size();
    if (script.compare(cutEnd, 2, "\r\n") == 0)
        cutEnd += 2;
    script.erase(begin, cutEnd - begin);
    return content;
}

bool ParseUrlRange(std::string_view text, UrlRange& range) {
    const std::string trimmed = Trim(text);
    if (trimmed.empty())
        return false;
    const size_t comma = trimmed.find(',');
    range.start = ParseLeadingInt(std::string_view(trimmed).substr(0, comma));
    range.end = range.start;
    if (comma != std::string::npos) {
        const std::string endText = Trim(std::string_view(trimmed).substr(comma + 1));
        if (!endText.empty())
            range.end = ParseLeadingInt(endText);
    }
    return true;
}

std::string ApplyRangeValue(std::string_view urlTemplate, long long value) {
    std::string url(urlTemplate);
    ReplaceAll(url, "(*)", std::to_string(value));
    return url;
}

bool FindRangeValue(std::string_view urlTemplate, std::string_view url, long long& value) {
    const size_t marker = urlTemplate.find("(*)");
    if (marker == std::string_view::npos || !url.starts_with(urlTemplate.substr(0, marker)))
        return false;
    size_t pos = marker;
    size_t digitsEnd = pos;
    if (digitsEnd < url.size() && url[digitsEnd] == '-')
        ++digitsEnd;
    while (digitsEnd < url.size() && std::isdigit(static_cast<unsigned char>(url[digitsEnd])) &&
           digitsEnd - pos < 19)
        ++digitsEnd;
    if (digitsEnd == pos)
        return false;
    const long long candidate = ParseLeadingInt(url.substr(pos, digitsEnd - pos));
    if (ApplyRangeValue(urlTemplate, candidate) != url)
        return false;
    value = candidate;
    return true;
}

}  // namespace sorvik
