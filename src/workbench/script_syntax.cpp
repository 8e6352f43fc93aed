#include "workbench/script_syntax.h"

#include "text/gb_text.h"

namespace sorvik {

namespace {

bool IsDigits(std::string_view text) {
    if (text.empty())
        return false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// The value's parts: its leading marker, "<...>" tokens and captures.
void ValueSpans(std::string_view line, size_t from, std::vector<ScriptSpan>& spans) {
    if (from < line.size() && (line[from] == '$' || line[from] == '~' || line[from] == '@'))
        spans.push_back({from, 1, ScriptSpanKind::kMarker});
    size_t i = from;
    while (i < line.size()) {
        if (line.compare(i, 5, "(.*?)") == 0) {
            spans.push_back({i, 5, ScriptSpanKind::kCapture});
            i += 5;
            continue;
        }
        if (line[i] == '<') {
            const size_t close = line.find('>', i + 1);
            const std::string_view inner =
                close == std::string_view::npos ? std::string_view() : line.substr(i + 1, close - i - 1);
            // A token names something ("<变量_a>", "<搜索关键字>"); an HTML tag of a pattern does not
            // begin with a Chinese character.
            if (!inner.empty() && static_cast<unsigned char>(inner[0]) >= 0x80 &&
                inner.find('<') == std::string_view::npos) {
                spans.push_back({i, close - i + 1, ScriptSpanKind::kVariable});
                i = close + 1;
                continue;
            }
        }
        i += GbCharLength(line, i);
    }
}

}  // namespace

std::string_view ScriptLineKey(std::string_view line) {
    if (line.substr(0, 2) == "//" || line.empty() || line.front() == '[' || line.front() == '}')
        return {};
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || equals == 0)
        return {};
    return line.substr(0, equals + 1);
}

std::vector<ScriptSpan> ScriptLineSpans(std::string_view line) {
    std::vector<ScriptSpan> spans;
    if (line.substr(0, 2) == "//") {
        spans.push_back({0, line.size(), ScriptSpanKind::kComment});
        return spans;
    }
    if ((!line.empty() && line.front() == '[' && line.back() == '{') ||
        (line.size() > 1 && line.front() == '}' && line[1] == '[')) {
        spans.push_back({0, line.size(), ScriptSpanKind::kBlockTag});
        return spans;
    }
    const std::string_view key = ScriptLineKey(line);
    if (key.empty()) {
        ValueSpans(line, 0, spans);
        return spans;
    }
    const std::string_view name = key.substr(0, key.size() - 1);
    if (name.front() == '#') {
        spans.push_back({0, key.size(), ScriptSpanKind::kTaskKey});
    } else if (IsDigits(name)) {
        spans.push_back({0, key.size(), ScriptSpanKind::kLevelKey});
    } else {
        // field "_" [level "_"] rule: the field's name, then its rule word (a bare level key such as
        // "标题_1=" has none).
        size_t underscore = name.find('_');
        if (name.front() == '<') {  // a variable's own definition "<变量_a>="
            const size_t close = name.find('>');
            underscore = close == std::string_view::npos ? std::string_view::npos : name.find('_', close);
        }
        if (underscore == std::string_view::npos || IsDigits(name.substr(underscore + 1))) {
            spans.push_back({0, key.size(), ScriptSpanKind::kFieldKey});
        } else {
            size_t rule = underscore;
            const size_t next = name.find('_', underscore + 1);
            if (next != std::string_view::npos &&
                IsDigits(name.substr(underscore + 1, next - underscore - 1)))
                rule = next;
            spans.push_back({0, rule, ScriptSpanKind::kFieldKey});
            spans.push_back({rule, key.size() - rule, ScriptSpanKind::kRuleWord});
        }
    }
    ValueSpans(line, key.size(), spans);
    return spans;
}

}  // namespace sorvik
