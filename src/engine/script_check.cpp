#include "engine/script_check.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "engine/entry_list.h"
#include "engine/regex_ops.h"
#include "engine/result_table.h"
#include "script/script_keys.h"
#include "script/script_text.h"
#include "text/strings.h"

namespace sorvik {

namespace {

constexpr std::string_view kKeywordBlockTag = "[#需要搜索关键字网址]";

struct ScriptLine {
    int number = 0;
    std::string_view text;  // without its line end
    bool inKeywordBlock = false;
};

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

bool IsVariableText(std::string_view text) {
    return text.size() > 4 && text.starts_with("<变量") && text.back() == '>';
}

// The text a pattern is compiled from: without its boundary marker.
std::string_view WithoutMarker(std::string_view pattern) {
    if (!pattern.empty() && (pattern.front() == '~' || pattern.front() == '$' || pattern.front() == '@'))
        pattern.remove_prefix(1);
    return pattern;
}

class ScriptChecker {
  public:
    explicit ScriptChecker(std::string_view script) : script_(script) {}

    std::vector<ScriptProblem> Run() {
        SplitLines();
        CollectNames();
        std::map<std::string, int, std::less<>> seen[2];
        for (const ScriptLine& line : lines_) {
            current_ = line.number;
            const std::string_view text = line.text;
            if (text.empty() || text.starts_with("//"))
                continue;
            const size_t equals = text.find('=');
            if (equals == std::string_view::npos)
                continue;
            if (text.front() == ' ' || text.front() == '\t') {
                Warn(Format("行首有空白，这一行不会被读到：%s",
                            std::string(Trim(text.substr(0, equals + 1))).c_str()));
                continue;
            }
            const std::string_view key = text.substr(0, equals + 1);
            auto& region = seen[line.inKeywordBlock ? 1 : 0];
            if (auto earlier = region.find(key); earlier != region.end()) {
                Warn(Format("“%s”在第%d行已有，这一行不会被读到", std::string(key).c_str(), earlier->second));
                continue;
            }
            region.emplace(std::string(key), line.number);
            CheckLine(key, text.substr(equals + 1));
        }
        CheckLists();
        std::stable_sort(problems_.begin(), problems_.end(),
                         [](const ScriptProblem& a, const ScriptProblem& b) { return a.line < b.line; });
        return std::move(problems_);
    }

  private:
    // Lines of the script, without the content of blocks other than the keyword block (their lines
    // are values, not keys).
    void SplitLines() {
        std::string closing;  // the closing line of the block being skipped
        bool keywordBlock = false;
        int number = 0;
        for (size_t start = 0; start <= script_.size();) {
            size_t end = script_.find('\n', start);
            if (end == std::string_view::npos)
                end = script_.size();
            std::string_view text = script_.substr(start, end - start);
            if (!text.empty() && text.back() == '\r')
                text.remove_suffix(1);
            ++number;
            start = end + 1;
            if (!closing.empty()) {
                if (text == closing)
                    closing.clear();
                continue;
            }
            if (text.starts_with('[') && text.ends_with("]{")) {
                const std::string_view tag = text.substr(0, text.size() - 1);
                if (tag == kKeywordBlockTag)
                    keywordBlock = true;
                else
                    closing = "}" + std::string(tag);
                continue;
            }
            if (keywordBlock && text == "}" + std::string(kKeywordBlockTag)) {
                keywordBlock = false;
                continue;
            }
            lines_.push_back({number, text, keywordBlock});
            if (end == script_.size())
                break;
        }
    }

    // The names per-field keys may be built from, as the engine finds them.
    void CollectNames() {
        auto add = [&](std::string_view list, unsigned owner) {
            for (const std::string& name : SplitList(list))
                names_[name] |= owner;
        };
        add(ScriptValue(key::kFieldList, script_), kFieldOwner);
        add(ScriptValue(key::kTestFieldList, script_), kFieldOwner);
        add(ScriptValue(key::kFirstTableFields, script_), kFieldOwner);
        for (int n = 1; !ScriptValue(NumberedKey(key::kTableStem, n, "="), script_).empty(); ++n)
            add(ScriptValue(NumberedKey(key::kTableStem, n, "_字段名列表="), script_), kFieldOwner);
        for (std::string_view list : {key::kTakeValueList, key::kSourceCopyList, key::kFileList,
                                      key::kHeadCopyList, key::kNextPageExitList}) {
            for (const std::string& name : EntryNames(list, script_))
                names_[name] |= kEntryOwner;
        }
        add(ScriptValue(key::kDownloadOptions, script_), kOptionOwner);
        add(ScriptValue(key::kDownloadOption, script_), kOptionOwner);
        add(ScriptValue(key::kSearchCategories, script_), kCategoryOwner);
        categories_ = SplitList(ScriptValue(key::kSearchCategories, script_));
        // "替换字符串,返回ID,A,B" reads the lists "A=" and "B=" of the script.
        for (const ScriptLine& line : lines_) {
            const size_t equals = line.text.find('=');
            if (equals == std::string_view::npos || line.text.starts_with("//"))
                continue;
            const std::vector<std::string> items = SplitAll(line.text.substr(equals + 1), ",");
            if (items.size() >= 4 && items[0] == op::kReplace && items[1] == op::kReturnId) {
                lookupLists_.insert(items[2] + "=");
                lookupLists_.insert(items[3] + "=");
            }
        }
    }

    void Report(CheckSeverity severity, std::string message) {
        problems_.push_back({current_, severity, std::move(message)});
    }
    void Error(std::string message) { Report(CheckSeverity::kError, std::move(message)); }
    void Warn(std::string message) { Report(CheckSeverity::kWarning, std::move(message)); }

    void CheckPattern(std::string_view key, std::string_view value) {
        const std::string_view pattern = WithoutMarker(value);
        if (pattern.empty() || IsVariableText(pattern))
            return;
        std::string reason;
        if (!IsValidPattern(pattern, &reason))
            Error(Format("正则表达式有误（%s）：%s (%s)", std::string(key).c_str(),
                         std::string(pattern).c_str(), reason.c_str()));
    }

    void CheckFetchMode(std::string_view key, std::string_view mode) {
        const std::string trimmed = Trim(mode);
        if (!trimmed.empty() && !IsKnownFetchMode(trimmed))
            Error(Format("未知的获取方式“%s”（%s）", trimmed.c_str(), std::string(key).c_str()));
    }

    // An operation line: its name, the mode of "替换字符串" and "获取", and its patterns.
    void CheckOperation(std::string_view key, std::string_view line) {
        if (line.empty())
            return;
        const std::vector<std::string> items = SplitAll(line, ",");
        const std::string& name = items[0];
        auto arg = [&](size_t i) { return i < items.size() ? items[i] : std::string(); };
        const auto& known = KnownOperations();
        if (std::find(known.begin(), known.end(), name) == known.end()) {
            Error(Format("未知的处理操作“%s”（%s）", name.c_str(), std::string(key).c_str()));
            return;
        }
        if (name == op::kReplace) {
            const std::string mode = arg(1);
            const auto& modes = KnownReplaceModes();
            if (!mode.empty() && std::find(modes.begin(), modes.end(), mode) == modes.end())
                Error(Format("未知的替换方式“%s”（%s）", mode.c_str(), std::string(key).c_str()));
            else if (mode == op::kRegex)
                CheckPattern(key, arg(2));
            else if (mode == op::kReturnId)
                CheckLookupLists(arg(2), arg(3));
        } else if (name == op::kFetch) {
            CheckFetchMode(key, arg(1));
        } else if ((name == op::kTake || name == op::kIfEmpty) && arg(1) == op::kRegex) {
            // The pattern is the rest of the line after the fourth comma.
            size_t position = 0;
            for (int i = 0; i < 4 && position != std::string_view::npos; ++i) {
                position = line.find(',', position);
                if (position != std::string_view::npos)
                    ++position;
            }
            if (position != std::string_view::npos)
                CheckPattern(key, line.substr(position));
        }
    }

    void CheckLookupLists(const std::string& from, const std::string& to) {
        const size_t a = SplitList(ScriptValue(from + "=", script_)).size();
        const size_t b = SplitList(ScriptValue(to + "=", script_)).size();
        if (a != b)
            Warn(Format("“%s=”有%zu项，“%s=”有%zu项", from.c_str(), a, to.c_str(), b));
    }

    void CheckLine(std::string_view key, std::string_view value) {
        if (lookupLists_.count(std::string(key)))
            return;
        if (key.starts_with('#')) {
            CheckTaskKey(key, value);
        } else if (key == key::kTestKeyword) {
            return;
        } else if (key.starts_with("<变量")) {
            CheckVariableKey(key, value);
        } else {
            CheckNamedKey(key, value);
        }
    }

    void CheckTaskKey(std::string_view key, std::string_view value) {
        if (!IsKnownTaskKey(key) && !IsCategoryKeywordUrl(key)) {
            const std::string closest = ClosestTaskKey(key);
            if (closest.empty())
                Error(Format("未知的任务键“%s”", std::string(key).c_str()));
            else
                Error(Format("未知的任务键“%s”，是不是“%s”？", std::string(key).c_str(), closest.c_str()));
            return;
        }
        if (key == key::kNextPage ||
            (key.starts_with(key::kNextPageStem) && key.size() > key::kNextPageStem.size()))
            CheckPattern(key, value);
        else if (key.starts_with(key::kAfterRunStem))
            CheckOperation(key, value);
    }

    // "#需要搜索关键字网址" [N] "_" CATEGORY "=": the template of one search category.
    bool IsCategoryKeywordUrl(std::string_view key) const {
        if (!key.starts_with(key::kKeywordUrlStem))
            return false;
        std::string_view rest = key.substr(key::kKeywordUrlStem.size());
        while (!rest.empty() && IsDigit(rest.front()))
            rest.remove_prefix(1);
        if (!rest.starts_with('_') || !rest.ends_with('='))
            return false;
        const std::string_view category = rest.substr(1, rest.size() - 2);
        return std::find(categories_.begin(), categories_.end(), category) != categories_.end();
    }

    void CheckVariableKey(std::string_view key, std::string_view value) {
        const size_t close = key.find('>');
        if (close == std::string_view::npos)
            return;  // no token: the engine never builds such a key
        const std::string_view token = key.substr(0, close + 1);
        const std::string_view rest = key.substr(close + 1, key.size() - close - 2);
        if (rest.empty())
            return;  // the definition
        const RuleWordEntry* word = FindRuleWord(rest, kVariableOwner);
        if (!word) {
            Error(Format("未知的规则词“%s”（变量“%s”）", std::string(rest).c_str(),
                         std::string(token).c_str()));
            return;
        }
        CheckRuleValue(*word, key, value);
    }

    void CheckRuleValue(const RuleWordEntry& word, std::string_view key, std::string_view value) {
        if (word.pattern)
            CheckPattern(key, value);
        else if (word.word == rule::kFetchMode)
            CheckFetchMode(key, value);
        else if (word.word == rule::kOperation)
            CheckOperation(key, value);
    }

    // A key made of a name: a loop level ("1=", "1_测试="), a field, an entry, a download option or a
    // search category, with or without a rule word.
    void CheckNamedKey(std::string_view key, std::string_view value) {
        const std::string_view body = key.substr(0, key.size() - 1);
        size_t digits = 0;
        while (digits < body.size() && IsDigit(body[digits]))
            ++digits;
        if (digits > 0 && (digits == body.size() || body.substr(digits) == rule::kTest)) {
            CheckPattern(key, value);
            return;
        }
        // The longest known name the key starts with.
        std::string_view name;
        unsigned owners = 0;
        for (const auto& [known, bits] : names_) {
            if (known.size() > name.size() && body.starts_with(known) &&
                (body.size() == known.size() || body[known.size()] == '_')) {
                name = known;
                owners = bits;
            }
        }
        if (name.empty()) {
            ReportUnknownName(body);
            return;
        }
        const std::string_view rest = body.substr(name.size());
        if (rest.empty()) {
            if (owners & (kFieldOwner | kEntryOwner))
                CheckPattern(key, value);
            return;
        }
        if ((owners & kFieldOwner) && rest.size() >= 2 && IsDigit(rest[1]) &&
            (rest.size() == 2 || rest[2] == '_')) {
            // The level form "F_N=", and its rule keys "F_N_RULE=".
            if (rest.size() == 2) {
                CheckPattern(key, value);
                return;
            }
            const std::string_view ruleText = rest.substr(2);
            if (const RuleWordEntry* word = FindRuleWord(ruleText, kFieldOwner)) {
                CheckRuleValue(*word, key, value);
                return;
            }
            if (!(owners & kEntryOwner)) {
                Error(Format("未知的规则词“%s”（字段“%s”）", std::string(ruleText).c_str(),
                             std::string(name).c_str()));
                return;
            }
        }
        if (const RuleWordEntry* word = FindRuleWord(rest, owners & ~kFieldOwner)) {
            CheckRuleValue(*word, key, value);
            return;
        }
        if ((owners & kFieldOwner) && FindRuleWord(rest, kFieldOwner)) {
            Warn(Format("字段“%s”的规则键要写成层次形式（%s_1%s=），这样写字段没有模式",
                        std::string(name).c_str(), std::string(name).c_str(), std::string(rest).c_str()));
            return;
        }
        Error(Format("未知的规则词“%s”（“%s”）", std::string(rest).c_str(), std::string(name).c_str()));
    }

    // A key whose name is nothing the script declares: a per-field key of a field missing from the
    // field list, when it ends in a rule word; otherwise a line the engine never reads.
    void ReportUnknownName(std::string_view body) {
        for (size_t cut = body.find('_'); cut != std::string_view::npos; cut = body.find('_', cut + 1)) {
            std::string_view name = body.substr(0, cut);
            std::string_view rest = body.substr(cut);
            if (name.empty())
                continue;
            // "F_N_RULE": the level belongs to the field's key name.
            if (rest.size() >= 3 && IsDigit(rest[1]) && rest[2] == '_')
                rest.remove_prefix(2);
            else if (rest.size() == 2 && IsDigit(rest[1]))
                rest = {};
            if (rest.empty() || FindRuleWord(rest, ~0u)) {
                Warn(Format("“%s”不在“#字段名列表=”中，也不是条目或选项：“%s=”不会被读到",
                            std::string(name).c_str(), std::string(body).c_str()));
                return;
            }
        }
        Warn(Format("“%s=”不是字段、变量、条目或选项的键，不会被读到", std::string(body).c_str()));
    }

    // The line of the first line that starts with key (the one the lookup reads), 0 when none.
    int LineOf(std::string_view key) const {
        for (const ScriptLine& line : lines_) {
            if (line.text.starts_with(key))
                return line.number;
        }
        return 0;
    }

    // Lists that must have one item per field.
    void CheckLists() {
        const std::vector<std::string> fields = SplitList(ScriptValue(key::kFieldList, script_));
        for (const ResultTableLayout& layout : ReadResultTableLayouts(script_)) {
            const size_t count =
                layout.tableNumber == 0 && !fields.empty() ? fields.size() : layout.fieldNames.size();
            if (layout.columns.size() != count && !layout.columnsKey.empty()) {
                current_ = LineOf(layout.columnsKey);
                Error(Format("“%s”有%zu项，字段名列表有%zu项", layout.columnsKey.c_str(),
                             layout.columns.size(), count));
            }
            const std::string typeKey =
                layout.tableNumber == 0
                    ? std::string(ScriptValue(key::kFirstTableTypes, script_).empty() ? key::kTypeList
                                                                                      : key::kFirstTableTypes)
                    : NumberedKey(key::kTableStem, layout.tableNumber, "_字段类型=");
            current_ = LineOf(typeKey);
            if (!layout.typeWords.empty() && layout.typeWords.size() != count)
                Warn(Format("“%s”有%zu项，字段有%zu个", typeKey.c_str(), layout.typeWords.size(), count));
            for (size_t i = 0; i < layout.typeWords.size(); ++i) {
                std::string type, size, message;
                if (!ParseFieldType(i, layout.typeWords.size(), layout.typeWords[i], type, size, message))
                    Error(message + "（" + typeKey + "）");
            }
        }
        const size_t engines = SplitList(ScriptValue(key::kSearchEngines, script_)).size();
        const std::string flags = ScriptValue(key::kEnginesInBrowser, script_);
        if (!Trim(flags).empty() && SplitAll(flags, ",").size() != engines) {
            current_ = LineOf(key::kEnginesInBrowser);
            Warn(Format("“%s”有%zu项，“%s”有%zu项", std::string(key::kEnginesInBrowser).c_str(),
                        SplitAll(flags, ",").size(), std::string(key::kSearchEngines).c_str(), engines));
        }
    }

    std::string_view script_;
    std::vector<ScriptLine> lines_;
    std::map<std::string, unsigned, std::less<>> names_;  // name -> RuleOwner bits
    std::vector<std::string> categories_;
    std::set<std::string> lookupLists_;  // "A=" keys read by "返回ID"
    std::vector<ScriptProblem> problems_;
    int current_ = 0;
};

}  // namespace

std::vector<ScriptProblem> CheckScript(std::string_view script) {
    // The lookup reads CR LF lines: an editor's LF (or a lone CR) ends a line as CR LF does.
    std::string lines;
    lines.reserve(script.size() + script.size() / 16);
    for (size_t i = 0; i < script.size(); ++i) {
        if (script[i] == '\r' || script[i] == '\n') {
            lines += "\r\n";
            if (script[i] == '\r' && i + 1 < script.size() && script[i + 1] == '\n')
                ++i;
        } else {
            lines += script[i];
        }
    }
    return ScriptChecker(lines).Run();
}

bool HasCheckErrors(const std::vector<ScriptProblem>& problems) {
    return std::any_of(problems.begin(), problems.end(),
                       [](const ScriptProblem& p) { return p.severity == CheckSeverity::kError; });
}

}  // namespace sorvik
