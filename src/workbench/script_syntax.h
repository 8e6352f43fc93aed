#pragma once
// The parts of a script line that the editor colours: comments, block tags, task keys, loop
// level keys, per-field keys with their rule word, variables, value markers and the capture
// "(.*?)". Byte ranges over one GB18030 line without its line end.

#include <cstddef>
#include <string_view>
#include <vector>

namespace sorvik {

enum class ScriptSpanKind {
    kComment,   // a line that begins with "//"
    kBlockTag,  // "[tag]{" or "}[tag]"
    kTaskKey,   // "#...=" at the start of a line
    kLevelKey,  // "1=" ... "9=": a loop level
    kFieldKey,  // the field or variable name of a per-field key
    kRuleWord,  // the rule word of a per-field key ("_获取", "_1_正则", ...)
    kVariable,  // "<变量_...>", "<搜索关键字>" and other "<...>" tokens of a value
    kMarker,    // a value's leading "$", "~" or "@"
    kCapture,   // "(.*?)"
};

struct ScriptSpan {
    size_t start = 0;
    size_t length = 0;
    ScriptSpanKind kind = ScriptSpanKind::kComment;
};

// The coloured parts of one line, in order, not overlapping.
std::vector<ScriptSpan> ScriptLineSpans(std::string_view line);

// The key of a key line ("#表名=", "标题_1_获取="), with its "="; empty for comments, block tags
// and lines without "=".
std::string_view ScriptLineKey(std::string_view line);

}  // namespace sorvik
