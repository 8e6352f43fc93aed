#include "engine/field_rules.h"

#include <vector>

#include "engine/link_helpers.h"
#include "engine/operations.h"
#include "engine/regex_ops.h"
#include "engine/script_index.h"
#include "engine/split_text.h"
#include "engine/variables.h"
#include "script/script_keys.h"
#include "script/script_text.h"
#include "text/gb_text.h"
#include "text/strings.h"

namespace sorvik {

namespace {

// Numbered key families end at their first empty value; this only bounds a script made of
// millions of numbered lines.
constexpr int kMaxFamilyMembers = 10000;
// The narrowing keys stop at "%s_9=".
constexpr int kMaxNarrowing = 9;
// Passes of the tail replacement ("%s_重复次数="), whatever number the script gives.
constexpr int kMaxTailPasses = 65536;

std::string Key(std::string_view name, std::string_view rule) {
    std::string key(name);
    key += rule;
    key += '=';
    return key;
}

std::string Key(std::string_view name, std::string_view rule, int number) {
    std::string key(name);
    key += rule;
    key += std::to_string(number);
    key += '=';
    return key;
}

std::string Lookup(std::string_view key, std::string_view script, std::string_view alternative) {
    return IndexedScriptValue(key, script, alternative);
}

// A pattern's leading boundary marker: '@', '~', '$', or 0 for none (then nothing is taken off).
char TakeMarker(std::string_view& pattern) {
    if (!pattern.empty() && (pattern.front() == '@' || pattern.front() == '~' || pattern.front() == '$')) {
        const char marker = pattern.front();
        pattern.remove_prefix(1);
        return marker;
    }
    return 0;
}

// The boundary rule of a match cut with a marked pattern.
void ApplyBoundaries(std::string& value, std::string_view pattern, char marker, bool keepBoundaries) {
    if (marker == '$')
        return;
    if (marker == '~' || !keepBoundaries)
        StripPatternBoundaries(value, pattern);
}

// Every match of the (marked) pattern in source, each with the boundary rule, concatenated.
std::string AllMatchesWithBoundaries(std::string_view source, std::string_view pattern, bool keepBoundaries) {
    const char marker = TakeMarker(pattern);
    std::string joined;
    for (auto& match : RegexMatchList(source, pattern)) {
        ApplyBoundaries(match, pattern, marker, keepBoundaries);
        joined += match;
    }
    return joined;
}

// The first match of the (marked) pattern in source with the boundary rule; empty when none.
std::string FirstMatchWithBoundaries(std::string_view source, std::string_view pattern, bool keepBoundaries) {
    const char marker = TakeMarker(pattern);
    std::string match;
    RegexFirstMatch(source, pattern, match, false);
    ApplyBoundaries(match, pattern, marker, keepBoundaries);
    return match;
}

// Step 5: the linked page.
void ApplyLinkedPage(CPageExtractor& context, std::string_view keyName, std::string& value,
                     std::string_view script, bool keepBoundaries) {
    bool all = true;
    std::string pattern = Lookup(Key(keyName, rule::kLinkAll), script, {});
    if (pattern.empty()) {
        all = false;
        pattern = Lookup(Key(keyName, rule::kLink), script, {});
    }
    if (pattern.empty() || value.empty())
        return;
    std::string page;
    if (!context.Fetch(value, false, page)) {
        value.clear();
        return;
    }
    value = all ? AllMatchesWithBoundaries(page, pattern, keepBoundaries)
                : FirstMatchWithBoundaries(page, pattern, keepBoundaries);
}

// Steps 10 and 11: the first pattern of the family whose match in value is not empty.
bool AnyConditionMatches(std::string_view keyName, std::string_view rule, const std::string& value,
                         std::string_view script, bool& familySet) {
    familySet = false;
    for (int n = 1; n <= kMaxFamilyMembers; ++n) {
        const std::string pattern = Lookup(Key(keyName, rule, n), script, {});
        if (pattern.empty())
            break;
        familySet = true;
        std::string match;
        RegexFirstMatch(value, pattern, match, false);
        if (!match.empty())
            return true;
    }
    return false;
}

// Plain replacement pairs of a family: every occurrence of each source becomes its target.
void ApplyReplacementFamily(std::string_view keyName, std::string_view sourceRule,
                            std::string_view targetRule, std::string& value, std::string_view script,
                            std::string_view alternative) {
    for (int n = 1; n <= kMaxFamilyMembers; ++n) {
        const std::string source = Lookup(Key(keyName, sourceRule, n), script, alternative);
        if (source.empty())
            break;
        GbReplaceAll(value, source, Lookup(Key(keyName, targetRule, n), script, alternative));
    }
}

// Variable chain step 8: the text between the last A and the end of the last B (or of A) becomes
// the replacement text. A pass changes nothing when A is missing or B is set and missing; from
// the second pass on also when B lies before A. (The first pass then keeps the text before A and
// the text after B, as the repetition's first step always did.)
bool ReplaceTail(std::string& value, const std::string& a, const std::string& b,
                 const std::string& replacement, bool firstPass) {
    const size_t posA = value.rfind(a);
    if (posA == std::string::npos)
        return false;
    size_t restFrom = posA + a.size();
    if (!b.empty()) {
        const size_t posB = value.rfind(b);
        if (posB == std::string::npos || (posB < posA && !firstPass))
            return false;
        restFrom = posB + b.size();
    }
    std::string changed = value.substr(0, posA);
    changed += replacement;
    changed.append(value, restFrom, std::string::npos);
    if (changed == value)
        return false;
    value.swap(changed);
    return true;
}

// Variable chain step 9: separator[,item] with item a number (from 1) or "<最后一个>".
void ApplySplit(CPageExtractor& context, std::string_view rule, std::string& value) {
    static constexpr std::string_view kLast = "<最后一个>";
    std::string_view separator = rule;
    std::string_view item;
    const size_t comma = rule.rfind(',');
    if (comma != std::string_view::npos && comma > 0) {
        const std::string_view after = rule.substr(comma + 1);
        const std::string trimmed = Trim(after);
        const bool isNumber =
            !trimmed.empty() && trimmed.find_first_not_of("+-0123456789") == std::string::npos;
        if (trimmed == kLast || isNumber) {
            separator = rule.substr(0, comma);
            item = after;
        }
    }
    const std::vector<std::string> items = SplitText(value, separator);
    context.systemStrings = Join(items, "\n");
    size_t index = 0;
    if (Trim(item) == kLast) {
        index = items.size() - 1;  // SplitText always gives at least one item
    } else if (!item.empty()) {
        const long long number = ParseLeadingInt(item);
        index = number < 1 ? 0 : static_cast<size_t>(number - 1);
    }
    value = index < items.size() ? items[index] : std::string();
}

}  // namespace

bool IsVariableToken(std::string_view text) {
    static constexpr std::string_view kPrefix = "<变量";
    return text.size() > kPrefix.size() && text.starts_with(kPrefix) && text.back() == '>';
}

bool KeepsFieldBoundaries(std::string_view script) {
    return Trim(IndexedScriptValue(key::kKeepBoundaries, script)) == "1";
}

bool ApplyNarrowing(CPageExtractor& context, std::string_view keyName, std::string& value,
                    std::string_view script, std::string_view alternative, bool keepBoundaries,
                    bool allowVariables) {
    bool link = false;
    for (int n = 1; n <= kMaxNarrowing; ++n) {
        const std::string text = Lookup(Key(keyName, rule::kNarrowing, n), script, alternative);
        if (text.empty())
            break;
        std::string_view pattern = text;
        const char marker = TakeMarker(pattern);
        if (marker == '@')
            link = true;
        if (allowVariables && IsVariableToken(pattern)) {
            std::string variable;
            EvaluateVariable(context, pattern, variable, script, alternative);
            value = std::move(variable);
            continue;
        }
        RegexFirstMatch(value, pattern, value, false);
        ApplyBoundaries(value, pattern, marker, keepBoundaries);
    }
    return link;
}

void ApplyReplacements(std::string_view keyName, std::string& value, std::string_view script,
                       std::string_view alternative) {
    ApplyReplacementFamily(keyName, rule::kReplaceSource, rule::kReplaceTarget, value, script, alternative);
}

void ApplyRegexReplacements(std::string_view keyName, std::string& value, std::string_view script,
                            std::string_view alternative) {
    for (int n = 1; n <= kMaxFamilyMembers; ++n) {
        const std::string pattern = Lookup(Key(keyName, rule::kRegexSource, n), script, alternative);
        if (pattern.empty())
            break;
        RegexReplaceAll(value, pattern, Lookup(Key(keyName, rule::kRegexTarget, n), script, alternative));
    }
}

namespace {

// Steps 1 to 4 of the field chain: the value cut out of the record (or the variable the pattern
// names), narrowed and, with the link marker, made absolute.
void CutFieldValue(CPageExtractor& context, std::string_view keyName, std::string_view pattern,
                   std::string_view recordText, std::string_view script, bool keepBoundaries,
                   std::string& value) {
    // 1 and 2: the pattern, or the variable it names.
    const char marker = TakeMarker(pattern);
    bool link = marker == '@';
    if (IsVariableToken(pattern)) {
        EvaluateVariable(context, pattern, value, script, {});
    } else {
        const std::string which = Lookup(Key(keyName, rule::kWhich), script, {});
        if (which.empty()) {
            RegexFirstMatch(recordText, pattern, value, false);
        } else {
            RegexNthMatch(recordText, pattern, value, ToInt(which) - 1);
        }
        ApplyBoundaries(value, pattern, marker, keepBoundaries);
    }

    // 3 and 4: narrowing, then the link marker.
    if (ApplyNarrowing(context, keyName, value, script, {}, keepBoundaries, false))
        link = true;
    if (link && !value.empty())
        value = ResolveUrl(context.pageUrl, value);
}

}  // namespace

std::string LinkedPageUrl(CPageExtractor& context, std::string_view keyName, std::string_view pattern,
                          std::string_view recordText, std::string_view script) {
    if (Lookup(Key(keyName, "_linkadd"), script, {}).empty() &&
        Lookup(Key(keyName, "_link"), script, {}).empty())
        return {};
    std::string_view bare = pattern;
    TakeMarker(bare);
    // A variable may read and change the run's state: its value is known only when the chain runs.
    if (IsVariableToken(bare))
        return {};
    std::string value;
    CutFieldValue(context, keyName, pattern, recordText, script, KeepsFieldBoundaries(script), value);
    return value;
}

FieldValue ApplyFieldRules(CPageExtractor& context, std::string_view keyName, std::string_view pattern,
                           std::string_view recordText, std::string_view script) {
    FieldValue field;
    std::string& value = field.value;
    const bool keepBoundaries = KeepsFieldBoundaries(script);
    CutFieldValue(context, keyName, pattern, recordText, script, keepBoundaries, value);

    // 5 to 9.
    ApplyLinkedPage(context, keyName, value, script, keepBoundaries);
    ApplyFetchMode(context, keyName, value, script, {});
    ApplyReplacements(keyName, value, script, {});
    ApplyRegexReplacements(keyName, value, script, {});
    ApplyReplacementFamily(keyName, rule::kPackSource, rule::kPackTarget, value, script, {});

    // 10 to 12: conditions. An empty value never satisfies a non-empty list of search conditions.
    bool searchSet = false;
    const bool searchMatched = AnyConditionMatches(keyName, rule::kSearchCondition, value, script, searchSet);
    field.satisfiesSearch = !searchSet || searchMatched;
    bool deleteSet = false;
    field.meetsDelete = AnyConditionMatches(keyName, rule::kDeleteCondition, value, script, deleteSet);

    // 13 and 14.
    if (value.empty())
        value = Lookup(Key(keyName, rule::kInitialValue), script, {});
    if (field.Accepted())
        ApplyOperations(context, keyName, value, script, {}, false);
    return field;
}

void ApplyFetchMode(CPageExtractor& context, std::string_view name, std::string& value,
                    std::string_view script, std::string_view alternative) {
    const std::string mode = Lookup(Key(name, rule::kFetchMode), script, alternative);
    if (!mode.empty())
        ApplyFetchModeText(context, mode, value);
}

void ApplyFetchModeText(CPageExtractor& context, std::string_view mode, std::string& value) {
    static constexpr std::string_view kPageSource = fetch::kPageSource;
    if (mode == fetch::kText) {
        std::string text;
        HtmlToText(value, text);
        ReplaceAll(text, "\r\n", "");
        ReplaceAll(text, "\r", "");
        ReplaceAll(text, "\t", "");
        GbReplaceAll(text, "　", "");  // the ideographic space A1 A1, found only as a whole character
        value = Trim(text);
    } else if (mode == fetch::kPlainText) {
        value = HtmlToPlainText(value);
    } else if (mode == fetch::kLink) {
        std::vector<std::string> links;
        if (ExtractHrefLinks(value, "href", links) && !links.empty()) {
            value = links.front();
        } else {
            value.clear();
        }
    } else if (mode == fetch::kEmail) {
        // The addresses come without their "?subject=..." part.
        std::vector<std::string> addresses;
        if (ExtractMailLinks(value, "href", addresses))
            value = std::move(addresses.front());
    } else if (mode.substr(0, kPageSource.size()) == kPageSource) {
        const std::string_view option = mode.substr(kPageSource.size());
        const bool utf8 = EqualsNoCase(option, ";UTF8") || EqualsNoCase(option, ";UTF-8");
        if (!option.empty() && !utf8)
            return;  // an unknown mode
        if (context.pageUrl.empty() || !context.HasConnection() || value.empty())
            return;
        std::string url = value.substr(0, value.find('\n'));
        ReplaceAll(url, "\n", "");
        url = Trim(url);  // the CR of a CR LF line end is no part of the link
        if (url.empty())
            return;
        std::string page;
        if (context.Fetch(ResolveUrl(context.pageUrl, url), utf8, page))
            value = std::move(page);
    }
}

void ApplyVariableChain(CPageExtractor& context, std::string_view name, std::string& value,
                        std::string_view script, std::string_view alternative) {
    // 1. Regex: the single key, else the family applied one after another.
    const std::string single = Lookup(Key(name, rule::kRegexCut), script, alternative);
    if (!single.empty()) {
        RegexFirstMatch(value, single, value, true);
    } else {
        for (int n = 1; n <= kMaxFamilyMembers; ++n) {
            const std::string pattern = Lookup(Key(name, rule::kRegexCut, n), script, alternative);
            if (pattern.empty())
                break;
            RegexFirstMatch(value, pattern, value, true);
        }
    }

    // 2 and 3.
    ApplyFetchMode(context, name, value, script, alternative);
    ApplyRegexReplacements(name, value, script, alternative);

    // 4. Date form: 2020年1月2日 -> 2020-1-2.
    if (!Lookup(Key(name, rule::kDateForm), script, alternative).empty()) {
        GbReplaceAll(value, "年", "-");
        GbReplaceAll(value, "月", "-");
        GbReplaceAll(value, "日", "");
        ReplaceAll(value, "--", "");
    }

    // 5. Left part, never ending inside a double-byte character.
    const long long left = ParseLeadingInt(Lookup(Key(name, rule::kLeftPart), script, alternative));
    if (left > 0 && static_cast<unsigned long long>(left) < value.size()) {
        value = std::string(GbPrefix(value, static_cast<size_t>(left)));
    }

    // 6 and 7.
    const std::string notEmpty = Lookup(Key(name, rule::kIfNotEmpty), script, alternative);
    if (!notEmpty.empty() && !value.empty())
        value = notEmpty;
    const std::string whenEmpty = Lookup(Key(name, rule::kIfEmpty), script, alternative);
    if (!whenEmpty.empty() && value.empty())
        value = whenEmpty;

    // 8. Tail replacement.
    const std::string a = Lookup(Key(name, rule::kTailFrom), script, alternative);
    if (!a.empty()) {
        const std::string b = Lookup(Key(name, rule::kTailTo), script, alternative);
        const std::string replacement = Lookup(Key(name, rule::kTailReplacement), script, alternative);
        const long long repeat = ParseLeadingInt(Lookup(Key(name, rule::kTailRepeat), script, alternative));
        const long long passes = repeat < 1 ? 1 : std::min<long long>(repeat, kMaxTailPasses);
        for (long long pass = 0; pass < passes; ++pass) {
            if (!ReplaceTail(value, a, b, replacement, pass == 0))
                break;
        }
    }

    // 9. Split.
    const std::string split = Lookup(Key(name, rule::kSplit), script, alternative);
    if (!split.empty())
        ApplySplit(context, split, value);

    // 10. Operations, without "保存".
    ApplyOperations(context, name, value, script, alternative, true);
}

}  // namespace sorvik
