#include "engine/variables.h"

#include <algorithm>
#include <mutex>
#include <set>

#include "engine/field_rules.h"
#include "engine/script_index.h"
#include "engine/split_text.h"
#include "script/script_keys.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/db_access.h"
#include "text/strings.h"

namespace sorvik {

namespace {

constexpr std::string_view kTokenStart = "<变量";
constexpr std::string_view kObjectPrefix = "<变量_对象";
constexpr std::string_view kSystemStringPrefix = "<系统变量_字符串";
constexpr std::string_view kKeywordDefinition = "<搜索关键字>";
constexpr std::string_view kSourceDefinition = "\\源码";
constexpr std::string_view kBlockPrefix = "[变量_";
// A substitution never lets the text grow by more than this.
constexpr size_t kMaxGrowthBytes = 16u * 1024 * 1024;
// Passes of the record-view substitution.
constexpr int kMaxFieldRefPasses = 256;

// Counts the nesting of one evaluation for as long as it runs.
class DepthGuard {
  public:
    explicit DepthGuard(CPageExtractor& context) : context_(context) {
        if (context_.variableDepth == 0)
            context_.variableEvaluations = 0;
        ++context_.variableDepth;
        ++context_.variableEvaluations;
    }
    ~DepthGuard() { --context_.variableDepth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

  private:
    CPageExtractor& context_;
};

std::string ReadDefinition(const CPageExtractor& context, std::string_view token, std::string_view script,
                           std::string_view alternative) {
    std::string definition;
    if (context.IsTestRun())
        definition = IndexedScriptValue(std::string(token) + "_测试=", script, alternative);
    if (definition.empty())
        definition = IndexedScriptValue(std::string(token) + "=", script, alternative);
    return definition;
}

// Line index (from 0) of text, lines ended by LF or CR LF.
std::string LineOf(std::string_view text, size_t index) {
    size_t start = 0;
    for (size_t line = 0; start <= text.size(); ++line) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        if (line == index) {
            std::string_view item = text.substr(start, end - start);
            if (!item.empty() && item.back() == '\r')
                item.remove_suffix(1);
            return std::string(item);
        }
        if (end == text.size())
            break;
        start = end + 1;
    }
    return {};
}

std::string SearchObjectValue(const CPageExtractor& context, std::string_view token, std::string_view script,
                              std::string_view alternative) {
    const std::vector<std::string> categories =
        SplitList(IndexedScriptValue(key::kSearchCategories, script, alternative));
    for (size_t i = 0; i < categories.size(); ++i) {
        if (categories[i] == token)
            return LineOf(context.searchObjectText, i);
    }
    return {};
}

std::string SystemStringValue(const CPageExtractor& context, std::string_view definition) {
    const size_t close = definition.find('>');
    if (close == std::string_view::npos || close >= kMaxTokenBytes)
        return {};
    const std::string_view number =
        definition.substr(kSystemStringPrefix.size(), close - kSystemStringPrefix.size());
    if (number.empty())
        return {};
    std::string value;
    GetSystemString(context, ToInt(number) - 1, value);
    return value;
}

// True for a definition that is exactly one token: "<变量" ... ">" with no ">" before its end.
bool IsSingleToken(std::string_view text) {
    return text.starts_with(kTokenStart) && text.size() <= kMaxTokenBytes &&
           text.find('>') == text.size() - 1;
}

std::string RawValue(CPageExtractor& context, std::string_view token, const std::string& definition,
                     std::string_view script, std::string_view alternative) {
    if (definition.starts_with(kObjectPrefix))
        return SearchObjectValue(context, token, script, alternative);
    if (definition.starts_with(kSystemStringPrefix))
        return SystemStringValue(context, definition);
    if (definition == kKeywordDefinition)
        return context.searchKeyword;
    if (definition.starts_with("#")) {
        const std::string* stored = context.memory.Find(definition);
        return stored ? *stored : std::string();
    }
    if (definition == kSourceDefinition)
        return context.pageSource;
    if (definition.starts_with(kBlockPrefix)) {
        return ScriptBlock(definition, alternative.empty() ? script : alternative);
    }
    if (definition == token)
        return definition;
    if (IsSingleToken(definition)) {
        std::string value;
        EvaluateVariable(context, definition, value, script, alternative);
        return value;
    }
    return definition;
}

// The next token at or after from: its position and length; false when there is none, or the
// first one found has no ">" fewer than 50 bytes away (which ends the substitution).
bool FindToken(const std::string& text, size_t from, size_t& position, size_t& length) {
    position = text.find(kTokenStart, from);
    if (position == std::string::npos)
        return false;
    const size_t close = text.find('>', position + kTokenStart.size());
    if (close == std::string::npos || close - position >= kMaxTokenBytes)
        return false;
    length = close - position + 1;
    return true;
}

// True when position lies inside a quoted SQL literal: an odd number of single quotes before it.
bool InsideSqlLiteral(const std::string& text, size_t position) {
    return std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(position), '\'') % 2 == 1;
}

void Substitute(std::string& text, std::string_view script, std::string_view alternative,
                CPageExtractor& context, bool sql) {
    const size_t maxSize = text.size() + kMaxGrowthBytes;
    std::set<std::string> selfReferring;  // tokens whose value holds the token: replaced once only
    for (int pass = 0; pass < kMaxSubstitutionPasses; ++pass) {
        size_t position = 0;
        size_t length = 0;
        size_t from = 0;
        std::string token;
        while (true) {
            if (!FindToken(text, from, position, length))
                return;
            token = text.substr(position, length);
            if (!selfReferring.count(token))
                break;
            from = position + length;
        }
        std::string value;
        EvaluateVariable(context, token, value, script, alternative);
        if (value.find(token) != std::string::npos)
            selfReferring.insert(token);
        const std::string quoted = sql ? SqlQuote(value) : value;

        // Every occurrence, each with its own form in an SQL text.
        std::string changed;
        size_t copied = 0;
        for (size_t at = text.find(token); at != std::string::npos;
             at = text.find(token, at + token.size())) {
            changed.append(text, copied, at - copied);
            changed += (sql && InsideSqlLiteral(text, at)) ? quoted : value;
            copied = at + token.size();
            if (changed.size() > maxSize)
                return;  // leave the text as it was before this pass
        }
        changed.append(text, copied, std::string::npos);
        if (changed.size() > maxSize)
            return;
        text.swap(changed);
    }
}

// The text between a token head such as "<字段标题=" and its ">"; false when there is no token or its
// ">" is missing or 50 bytes or more away.
bool FindRefToken(const std::string& text, std::string_view head, std::string& token, std::string& name) {
    const size_t position = text.find(head);
    if (position == std::string::npos)
        return false;
    const size_t close = text.find('>', position + head.size());
    if (close == std::string::npos || close - position >= kMaxTokenBytes)
        return false;
    token = text.substr(position, close - position + 1);
    name = text.substr(position + head.size(), close - position - head.size());
    return true;
}

// Replaces every occurrence of token; false (text unchanged) when the text would grow past limit.
bool ReplaceBounded(std::string& text, const std::string& token, const std::string& value, size_t limit) {
    std::string changed = text;
    ReplaceAll(changed, token, value);
    if (changed.size() > limit)
        return false;
    text.swap(changed);
    return true;
}

}  // namespace

bool EvaluateVariable(CPageExtractor& context, std::string_view token, std::string& value,
                      std::string_view script, std::string_view alternative) {
    if (context.variableDepth >= kMaxVariableDepth)
        return false;
    if (context.variableDepth > 0 && context.variableEvaluations >= kMaxVariableEvaluations)
        return false;
    DepthGuard guard(context);
    const std::string definition = ReadDefinition(context, token, script, alternative);
    if (definition.empty())
        return false;
    std::string raw = RawValue(context, token, definition, script, alternative);
    ApplyVariableChain(context, token, raw, script, alternative);
    value = std::move(raw);
    return true;
}

void SubstituteVariables(std::string& text, std::string_view script, std::string_view alternative,
                         CPageExtractor& context) {
    Substitute(text, script, alternative, context, false);
}

void SubstituteVariablesInSql(std::string& sql, std::string_view script, std::string_view alternative,
                              CPageExtractor& context) {
    Substitute(sql, script, alternative, context, true);
}

std::string SubstituteUrlVariables(std::string_view url, std::string_view script, int taskNumber,
                                   std::string_view searchKeyword, std::string_view searchObjectText) {
    CPageExtractor context;
    context.taskNumber = taskNumber;
    context.script.assign(script);
    context.searchKeyword.assign(searchKeyword);
    context.searchObjectText.assign(searchObjectText);
    std::string text(url);
    SubstituteVariables(text, context.script, {}, context);
    return text;
}

bool GetSystemString(const CPageExtractor& context, int index, std::string& out) {
    out.clear();
    if (index < 0)
        return false;
    const std::vector<std::string> items = SplitText(context.systemStrings, "\n");
    if (static_cast<size_t>(index) >= items.size())
        return false;
    out = items[static_cast<size_t>(index)];
    return true;
}

void SubstituteFieldRefs(std::string& text, const std::vector<std::string>& fieldNames,
                         const std::vector<std::string>& fieldTitles,
                         const std::function<std::string(const std::string& column)>& valueOf) {
    const size_t limit = text.size() + kMaxGrowthBytes;
    std::string token;
    std::string name;
    for (int pass = 0; pass < kMaxFieldRefPasses; ++pass) {
        if (!FindRefToken(text, "<字段标题=", token, name) || name.empty())
            break;
        const auto found = std::find(fieldNames.begin(), fieldNames.end(), name);
        if (found == fieldNames.end())
            break;
        const size_t place = static_cast<size_t>(found - fieldNames.begin());
        const std::string title = place < fieldTitles.size() ? fieldTitles[place] : std::string();
        if (!ReplaceBounded(text, token, title, limit))
            break;
    }
    for (int pass = 0; pass < kMaxFieldRefPasses; ++pass) {
        if (!FindRefToken(text, "<字段名=", token, name) || name.empty())
            break;
        if (!ReplaceBounded(text, token, valueOf(name), limit))
            break;
    }
}

void SubstituteFieldRefs(std::string& text, const std::vector<std::string>& fieldNames,
                         const std::vector<std::string>& fieldTitles, std::string_view table,
                         long long recordId) {
    SubstituteFieldRefs(text, fieldNames, fieldTitles, [&](const std::string& name) {
        // Only a column of the view is read: the token may come from a harvested value, and its
        // name goes into the statement as it is.
        const bool known = name == "ID_" || name == "iNode_" ||
                           std::find(fieldNames.begin(), fieldNames.end(), name) != fieldNames.end();
        if (!known)
            return std::string();
        std::scoped_lock lock(g_csDatabase);
        CDbAccess db;
        return db.SelectTopString(name, table, "ID_=" + std::to_string(recordId));
    });
}

}  // namespace sorvik
