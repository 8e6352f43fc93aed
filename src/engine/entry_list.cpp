#include "engine/entry_list.h"

#include "engine/field_rules.h"
#include "engine/link_helpers.h"
#include "engine/operations.h"
#include "engine/regex_ops.h"
#include "engine/script_index.h"
#include "engine/variables.h"
#include "script/script_keys.h"
#include "text/strings.h"

namespace sorvik {

namespace {

// A list numbered past this is malformed; its entries are not looked for further.
constexpr int kMaxEntries = 100000;

std::string EntryKey(std::string_view name, std::string_view rule) {
    std::string key(name);
    key += rule;
    key += '=';
    return key;
}

std::string NumberedKey(std::string_view name, std::string_view rule, int number) {
    std::string key(name);
    key += rule;
    key += std::to_string(number);
    key += '=';
    return key;
}

// The value of pattern on text for the kind: all matches one per line (files and values) or the
// first match (page and header copies); a variable token gives that variable's value.
std::string PatternValue(CPageExtractor& context, std::string_view pattern, std::string_view text,
                         EntryKind kind) {
    std::string value;
    if (pattern.empty())
        return value;
    if (IsVariableToken(pattern)) {
        EvaluateVariable(context, pattern, value, context.script);
        return value;
    }
    if (kind == EntryKind::kFiles || kind == EntryKind::kValue) {
        RegexAllMatches(text, pattern, value, "\n", true);
        // Lines are separated, not ended: a value taken into memory or a URL must not end in LF.
        if (!value.empty() && value.back() == '\n')
            value.pop_back();
    } else {
        RegexFirstMatch(text, pattern, value, true);
    }
    return value;
}

// The pattern E= and then E_为空1=, E_为空2=, ... while the value is empty. prefix is E or E_link.
std::string ValueWithFallbacks(CPageExtractor& context, std::string_view prefix, std::string_view text,
                               EntryKind kind) {
    std::string value =
        PatternValue(context, IndexedScriptValue(EntryKey(prefix, ""), context.script), text, kind);
    for (int n = 1; value.empty() && n <= kMaxEntries; ++n) {
        const std::string pattern =
            IndexedScriptValue(NumberedKey(prefix, rule::kIfEmpty, n), context.script);
        if (pattern.empty())
            break;
        value = PatternValue(context, pattern, text, kind);
    }
    return value;
}

// "E_网址=": the URL of the entry's page, or empty.
std::string EntryUrl(CPageExtractor& context, std::string_view name) {
    std::string url = Trim(IndexedScriptValue(EntryKey(name, rule::kEntryUrl), context.script));
    if (url.empty())
        return url;
    if (url.front() == '#') {
        // The "加入内存" operation names its values with their "#"; "E_加入内存=1" names them E.
        const std::string* remembered = context.memory.Find(url);
        if (!remembered)
            remembered = context.memory.Find(std::string_view(url).substr(1));
        url = remembered ? Trim(*remembered) : std::string();
        if (url.empty())
            return url;
    }
    ReplaceAll(url, "<搜索关键字>", context.searchKeyword);
    return ResolveUrl(context.pageUrl, url);
}

// "E_link=": the value names a page; the pattern's first match in it is the new value.
void FollowEntryLink(CPageExtractor& context, std::string_view name, std::string_view base,
                     std::string& value) {
    const std::string linkPrefix = std::string(name) + "_link";
    const std::string linkPattern = IndexedScriptValue(EntryKey(linkPrefix, ""), context.script);
    if (linkPattern.empty())
        return;
    std::string link = value.substr(0, value.find('\n'));
    ReplaceAll(link, "\r", "");
    link = Trim(link);
    if (link.rfind("./", 0) == 0)
        link.erase(0, 2);
    std::string page;
    if (link.empty() || !context.Fetch(ResolveUrl(base, link), false, page)) {
        value.clear();
        return;
    }
    value = ValueWithFallbacks(context, linkPrefix, page, EntryKind::kSourceCopy);
}

// "E_替换源串N=" / "E_替换目标N=" with the keyword and variables put into each source first.
void ReplaceWithKeyword(CPageExtractor& context, std::string_view name, std::string& value) {
    for (int n = 1; n <= kMaxEntries; ++n) {
        std::string source = IndexedScriptValue(NumberedKey(name, rule::kReplaceSource, n), context.script);
        if (source.empty())
            break;
        const std::string target =
            IndexedScriptValue(NumberedKey(name, rule::kReplaceTarget, n), context.script);
        ReplaceAll(source, "<搜索关键字>", context.searchKeyword);
        SubstituteVariables(source, context.script, {}, context);
        ReplaceAll(value, source, target);
    }
    for (int n = 1; n <= kMaxEntries; ++n) {
        std::string pattern = IndexedScriptValue(NumberedKey(name, rule::kRegexSource, n), context.script);
        if (pattern.empty())
            break;
        std::string target = IndexedScriptValue(NumberedKey(name, rule::kRegexTarget, n), context.script);
        ReplaceAll(pattern, "<搜索关键字>", context.searchKeyword);
        ReplaceAll(target, "<搜索关键字>", context.searchKeyword);
        SubstituteVariables(pattern, context.script, {}, context);
        RegexReplaceAll(value, pattern, target);
    }
}

// The text an entry's pattern is applied to.
std::string EntryText(const CPageExtractor& context, EntryKind kind, bool fetched, const std::string& page,
                      std::string_view givenText) {
    const int level = context.currentLevel >= 1 ? context.currentLevel : 1;
    switch (kind) {
        case EntryKind::kValue:
            return std::string(context.CurrentRecord(level));
        case EntryKind::kSourceCopy:
            return fetched ? page : std::string();
        case EntryKind::kHeadCopy:
            return fetched ? page : std::string(givenText);
        case EntryKind::kFiles:
            if (fetched)
                return page;
            return level <= kMaxLevels ? Join(context.levelRecords[level], "") : std::string();
    }
    return {};
}

// Saves what a download entry's value names (value flag clear).
void SaveEntryValue(CPageExtractor& context, EntryKind kind, std::string_view value, std::string_view base,
                    const DownloadSite& site) {
    if (!site.folder || value.empty())
        return;
    if (kind == EntryKind::kFiles) {
        for (const std::string& line : SplitAll(value, "\n")) {
            if (site.stopRequested && site.stopRequested())
                return;
            const std::string link = Trim(line);
            if (link.empty())
                continue;
            site.folder->SaveLinkedFile(ResolveUrl(base, link), site.fetchFile);
        }
        return;
    }
    // A page or header copy is the whole value in one numbered file.
    const int level =
        context.currentLevel >= 1 && context.currentLevel <= kMaxLevels ? context.currentLevel : 1;
    if (kind == EntryKind::kSourceCopy) {
        for (int k = 2; k <= level; ++k)
            site.folder->EnsureLevelMarker(k, context.CurrentRecord(k - 1));
        site.folder->WritePageCopy(PageCopyKind::kSource, level, value);
    } else {
        site.folder->WritePageCopy(PageCopyKind::kHead, level, value);
    }
}

}  // namespace

std::vector<std::string> EntryNames(std::string_view listKey, std::string_view script,
                                    const std::function<bool()>& stopRequested) {
    std::vector<std::string> names;
    const std::string single = Trim(IndexedScriptValue(EntryKey(listKey, ""), script));
    if (!single.empty()) {
        names.push_back(single);
        return names;
    }
    for (int n = 1; n <= kMaxEntries; ++n) {
        if (stopRequested && stopRequested())
            break;
        std::string name = Trim(IndexedScriptValue(NumberedKey(listKey, "", n), script));
        if (name.empty())
            name = Trim(IndexedScriptValue(std::string(listKey) + std::to_string(n) + "_1=", script));
        if (name.empty())
            break;
        names.push_back(std::move(name));
    }
    return names;
}

std::optional<std::string> DownloadOptionValue(std::string_view script, std::string_view optionText) {
    const std::string option = Trim(IndexedScriptValue(key::kDownloadOption, script, optionText));
    if (option.empty())
        return std::nullopt;
    return IndexedScriptValue(option + "=", script, optionText);
}

bool DownloadOptionTakesText(std::string_view script, std::string_view optionText) {
    const std::optional<std::string> value = DownloadOptionValue(script, optionText);
    if (!value)
        return true;
    return value->find("<下载全部数据>") != std::string::npos ||
           value->find("<下载文本>") != std::string::npos;
}

bool OptionAllowsEntry(const std::optional<std::string>& optionValue, std::string_view name) {
    if (!optionValue)
        return true;
    return optionValue->find("<下载全部数据>") != std::string::npos ||
           (!name.empty() && optionValue->find(name) != std::string::npos);
}

std::vector<std::string> EntryPageUrls(CPageExtractor& context, const EntryListCall& call) {
    std::vector<std::string> urls;
    const std::optional<std::string> optionValue = DownloadOptionValue(context.script, context.optionText);
    for (const std::string& name : EntryNames(call.listKey, context.script)) {
        if (!OptionAllowsEntry(optionValue, name))
            continue;
        // A URL taken from the memory list is known only when the list runs.
        if (Trim(IndexedScriptValue(EntryKey(name, "_网址"), context.script)).starts_with('#'))
            continue;
        std::string url = EntryUrl(context, name);
        if (!url.empty())
            urls.push_back(std::move(url));
    }
    return urls;
}

bool RunEntryList(CPageExtractor& context, const EntryListCall& call, std::string_view givenText,
                  const DownloadSite& site, std::string& result) {
    const std::string_view script = context.script;
    const std::vector<std::string> names = EntryNames(call.listKey, script, site.stopRequested);
    if (names.empty())
        return false;
    const std::optional<std::string> optionValue = DownloadOptionValue(script, context.optionText);
    const bool keepBoundaries = KeepsFieldBoundaries(script);
    bool ran = false;
    for (const std::string& name : names) {
        if (site.stopRequested && site.stopRequested())
            break;
        if (!OptionAllowsEntry(optionValue, name))
            continue;

        // The entry's own page.
        std::string base = context.pageUrl;
        std::string page;
        bool fetched = false;
        const std::string url = EntryUrl(context, name);
        if (!url.empty()) {
            const bool fromUtf8 = EqualsNoCase(
                Trim(IndexedScriptValue(EntryKey(name, rule::kEntryUrlEncoding), script)), "UTF-8");
            fetched = context.Fetch(url, fromUtf8, page);
            if (fetched)
                base = url;
            if (IndexedScriptValue(EntryKey(name, rule::kEntryUrlToMemory), script) == "1")
                context.memory.Add(name + "_网址", page);
        }

        // Its value.
        const std::string text = EntryText(context, call.kind, fetched, page, givenText);
        std::string value = ValueWithFallbacks(context, name, text, call.kind);
        if (IndexedScriptValue(EntryKey(name, rule::kToMemory), script) == "1")
            context.memory.Add(name, value);
        if (ApplyNarrowing(context, name, value, script, {}, keepBoundaries, true) && !value.empty())
            value = ResolveUrl(context.pageUrl, value);
        ApplyFetchMode(context, name, value, script);
        ApplyOperations(context, name, value, script, {}, false);
        FollowEntryLink(context, name, base, value);
        ReplaceWithKeyword(context, name, value);
        if (IndexedScriptValue(EntryKey(name, rule::kLinkToMemory), script) == "1")
            context.memory.Add(name + "_link", value);

        ran = true;
        if (call.valueFlag) {
            result = value;
        } else {
            SaveEntryValue(context, call.kind, value, base, site);
        }
    }
    return ran;
}

}  // namespace sorvik
