#pragma once
// What the extraction engine reads from a task script before it touches a page: the loop levels
// and their patterns, how each field is bound to a level, the next-page rule, the batch size, the
// update mode, the keyword block and the ranges of URLs. Pure functions of the script text.

#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

// The loop levels of a script: level k's pattern is "k=" (in a test run "k_测试=" first). The
// number of levels is the number of consecutive non-empty keys from "1=", at most 9; none counts
// as one level with an empty pattern.
struct LoopLevels {
    int count = 1;
    std::vector<std::string> patterns;  // patterns[k - 1] is level k's pattern (count entries)
};
LoopLevels ReadLoopLevels(std::string_view script, bool testRun);

// How a field of the field list finds its value.
struct FieldBinding {
    std::string name;        // as the field list gives it
    std::string keyName;     // the name its per-field keys use: name, or name "_" N
    std::string pattern;     // with its boundary marker; empty for a field without a pattern
    int level = 1;           // the level whose record the field is cut from
    bool hasPattern = true;  // false: a line "name_..." that is not the level form came first
};

// The first script line beginning with name and "_" decides (see the engine's header comment):
// "name_N=" (one byte N) binds the field to level N (0 becomes 1, more than levels the deepest);
// any other such line leaves it without a pattern; no such line: "name=" at the deepest level.
FieldBinding BindField(std::string_view script, std::string_view name, int levels);

// The next-page rule: "#下一页网址=" for the page, or a level form "#下一页网址_N=" (the first line
// beginning with "#下一页网址_" decides; N a digit 1..9; "0" is the page). Any other first line
// with that prefix leaves the task without a rule.
struct NextPageRule {
    std::string pattern;  // empty: no rule
    int level = 0;        // 0: the page source; N: the current record of level N
};
NextPageRule ReadNextPageRule(std::string_view script);

// "#更新模式=": "只是插入" 1, "只是插入和更新" 2, anything else 0.
int ReadUpdateMode(std::string_view script);

// "#保存数据库的最大记录数=": 500 when empty; otherwise the number, kept between 1 and 1,000,000 so
// that a zero, negative or huge value can neither make every record a batch of its own by mistake
// nor let the buffer grow without end.
int ReadBatchSize(std::string_view script);

// Cuts the block "[#需要搜索关键字网址]{" ... "}[#需要搜索关键字网址]" (and the CR LF after its closing
// line) out of script. Returns the block's content (empty when there is no complete block; the
// script is then unchanged).
std::string CutKeywordBlock(std::string& script);

// A range "start,end": both decimal; a missing end part gives only the start value. False for an
// empty text.
struct UrlRange {
    long long start = 0;
    long long end = 0;
};
bool ParseUrlRange(std::string_view text, UrlRange& range);

// template with every "(*)" replaced by value.
std::string ApplyRangeValue(std::string_view urlTemplate, long long value);

// The range value that turns template into url, when there is one (template holds "(*)").
bool FindRangeValue(std::string_view urlTemplate, std::string_view url, long long& value);

}  // namespace sorvik
