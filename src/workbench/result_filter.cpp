#include "workbench/result_filter.h"

#include <algorithm>

#include "engine/result_table.h"
#include "text/gb_text.h"
#include "text/strings.h"
#include "workbench/result_query.h"

namespace sorvik {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// True when text ends with suffix and the suffix starts on a character boundary (a "\" can be
// the second byte of a GBK character).
bool EndsWithOnBoundary(std::string_view text, std::string_view suffix) {
    if (suffix.size() > text.size() || text.substr(text.size() - suffix.size()) != suffix)
        return false;
    const size_t start = text.size() - suffix.size();
    size_t pos = 0;
    while (pos < start)
        pos += GbCharLength(text, pos);
    return pos == start;
}

// The escapes of the produced text, in one pass: "\\" -> "\", "\=" -> "=", "\>" -> ">", "\ " -> " ".
std::string Unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const size_t length = GbCharLength(text, i);
        if (length == 1 && text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[i + 1];
            if (next == '\\' || next == '=' || next == '>' || next == ' ') {
                out += next;
                i += 2;
                continue;
            }
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

// Space-separated tokens; "\ " keeps its space (and its backslash, for Unescape) in the token.
std::vector<std::string> SplitTokens(std::string_view text) {
    std::vector<std::string> tokens;
    std::string token;
    for (size_t i = 0; i < text.size();) {
        const size_t length = GbCharLength(text, i);
        if (length == 1 && text[i] == '\\' && i + 1 < text.size() && text[i + 1] == ' ') {
            token += "\\ ";
            i += 2;
            continue;
        }
        if (length == 1 && text[i] == ' ') {
            if (!token.empty())
                tokens.push_back(std::move(token));
            token.clear();
            ++i;
            continue;
        }
        token.append(text.substr(i, length));
        i += length;
    }
    if (!token.empty())
        tokens.push_back(std::move(token));
    return tokens;
}

// "*" -> "%", "\*" -> "*"; wildcards is set when the text had a "*" of its own.
std::string TakeWildcards(std::string_view text, bool& wildcards, std::string& plain) {
    std::string out;
    wildcards = false;
    plain.clear();
    for (size_t i = 0; i < text.size();) {
        const size_t length = GbCharLength(text, i);
        if (length == 1 && text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '*') {
            out += '*';
            plain += '*';
            i += 2;
            continue;
        }
        if (length == 1 && text[i] == '*') {
            out += '%';
            wildcards = true;
            ++i;
            continue;
        }
        out.append(text.substr(i, length));
        plain.append(text.substr(i, length));
        i += length;
    }
    return out;
}

std::string FieldNotFound(std::string_view field) {
    return "找不到字段“" + std::string(field) + "”！";
}

// The field a sort directive names: "\" and a field number, or a title or name; -1 for none.
int SortDirectiveField(const std::vector<ResultColumn>& columns, std::string_view reference) {
    if (!reference.empty() && reference[0] == '\\') {
        reference.remove_prefix(1);
        if (!reference.empty() && reference.size() <= 4 &&
            std::all_of(reference.begin(), reference.end(), IsDigit)) {
            const int number = ToInt(reference);
            if (number >= 1 && number <= static_cast<int>(columns.size()))
                return number - 1;
        }
    }
    return FindResultColumn(columns, reference);
}

struct SuperContains {
    const std::vector<ResultColumn>& columns;
    int field;  // the condition's field; -1 when the bar names none
    std::string fieldText;
    std::string result;
    std::vector<std::string> orderItems;
    std::vector<std::string> searchTerms;
    std::string joiner;
    std::string pendingOpen;  // groups of a token that held nothing else
    std::string error;

    // Replaces "\<title>" by "\<number>", longest titles first so that a title that begins
    // another one does not take its place.
    void NumberFieldTitles(std::string& token) const {
        std::vector<size_t> order(columns.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return columns[a].title.size() > columns[b].title.size();
        });
        for (const size_t i : order) {
            if (!columns[i].title.empty())
                GbReplaceAll(token, "\\" + columns[i].title, "\\" + std::to_string(i + 1));
        }
    }

    bool AddTerm(std::string term, bool literal) {
        std::string open = pendingOpen;
        std::string close;
        pendingOpen.clear();
        int termField = field;
        std::string op = "like";
        bool like = true;
        if (!literal) {
            size_t opens = 0;
            while (opens < term.size() && term[opens] == '(')
                ++opens;
            open.append(opens, '(');
            term.erase(0, opens);
            size_t closes = 0;
            while (closes < term.size() && term[term.size() - 1 - closes] == ')')
                ++closes;
            close.assign(closes, ')');
            term.resize(term.size() - closes);
            for (int n = static_cast<int>(columns.size()); n >= 1; --n) {
                const std::string suffix = "\\" + std::to_string(n);
                if (EndsWithOnBoundary(term, suffix)) {
                    termField = n - 1;
                    term.resize(term.size() - suffix.size());
                    break;
                }
            }
            if (term.rfind(">=", 0) == 0 || term.rfind("<=", 0) == 0 || term.rfind("<>", 0) == 0) {
                op = term.substr(0, 2);
                like = false;
            } else if (!term.empty() && (term[0] == '=' || term[0] == '>' || term[0] == '<')) {
                op = term.substr(0, 1);
                like = false;
            } else if (!term.empty() && term[0] == '!') {
                op = "not like";
            }
            if (!like || op == "not like")
                term.erase(0, op == "not like" ? 1 : op.size());
            if (term.empty() && op == "like") {
                // Only brackets: they belong to the terms around them.
                pendingOpen = open;
                result += close;
                return true;
            }
        }
        if (termField < 0) {
            error = FieldNotFound(fieldText);
            return false;
        }
        const ResultColumn& column = columns[termField];
        std::string text;
        if (like) {
            bool wildcards = false;
            std::string plain;
            const std::string pattern = TakeWildcards(term, wildcards, plain);
            text = " " + op + (wildcards ? "'" + SqlQuote(pattern) + "'" : "'%" + SqlQuote(pattern) + "%'");
            term = plain;
        } else {
            const FilterFieldType type = FilterTypeOf(column);
            const bool bare = type == FilterFieldType::kOther && IsSqlNumber(Unescape(term));
            text = op + (bare ? term : "'" + SqlQuote(term) + "'");
        }
        result += joiner + open + column.column + text + close;
        joiner = " or ";
        const std::string searchText = Unescape(term);
        if (!searchText.empty())
            searchTerms.push_back(searchText);
        return true;
    }

    bool Compile(std::string_view expression) {
        for (std::string token : SplitTokens(expression)) {
            if (token == "&" || EqualsNoCase(token, "and")) {
                joiner = " and ";
                continue;
            }
            if (token == "|" || EqualsNoCase(token, "or")) {
                joiner = " or ";
                continue;
            }
            if (token == "\\&" || token == "\\|" || EqualsNoCase(token, "\\and") ||
                EqualsNoCase(token, "\\or")) {
                if (!AddTerm(token.substr(1), true))
                    return false;
                continue;
            }
            NumberFieldTitles(token);
            if (token.size() > 1 && (token[0] == '+' || token[0] == '-')) {
                const int sortField = SortDirectiveField(columns, std::string_view(token).substr(1));
                if (sortField >= 0) {
                    orderItems.push_back(columns[sortField].column + (token[0] == '+' ? " asc" : " desc"));
                    continue;
                }
            }
            if (!AddTerm(token, false))
                return false;
        }
        return true;
    }
};

bool CompileSuperContains(const std::vector<ResultColumn>& columns, int field,
                          const FilterCondition& condition, CompiledFilter& out, std::string& error) {
    std::string expression = condition.value;
    const size_t nameAt = GbFind(expression, "//");
    if (nameAt != std::string::npos)
        expression.resize(nameAt);
    GbReplaceAll(expression, "\\/", "/");
    // A final escaped space is part of the last term; trimming would take it away.
    const bool escapedSpace = EndsWithOnBoundary(expression, "\\ ");
    expression = Trim(expression);
    if (escapedSpace && !expression.empty())
        expression += ' ';
    SuperContains compiler{columns, field, condition.field, {}, {}, {}, {}, {}, {}};
    if (!expression.empty() && !compiler.Compile(expression)) {
        error = compiler.error;
        return false;
    }
    std::string result = Unescape(compiler.result);
    // A joiner before the first term has nothing to join.
    for (const char* leading : {" or ", " and "}) {
        if (result.rfind(leading, 0) == 0) {
            result.erase(0, std::string_view(leading).size());
            break;
        }
    }
    if (!IsSingleCondition(result)) {
        error = "过滤条件的括号不配对！";
        return false;
    }
    if (!result.empty())
        out.condition = " and (" + result + ")";
    out.searchTerms = std::move(compiler.searchTerms);
    std::vector<std::string> items = std::move(compiler.orderItems);
    if (condition.sort == "升序" || condition.sort == "降序") {
        if (field < 0) {
            error = FieldNotFound(condition.field);
            return false;
        }
        items.push_back(columns[field].column + (condition.sort == "升序" ? " asc" : " desc"));
    }
    if (!items.empty())
        out.orderBy = " order by " + Join(items, ",");
    return true;
}

}  // namespace

FilterFieldType FilterTypeOf(const ResultColumn& column) {
    std::string sqlType = "varchar";
    std::string size;
    std::string message;
    if (!Trim(column.type).empty() && !ParseFieldType(0, 1, Trim(column.type), sqlType, size, message))
        sqlType = "varchar";
    if (sqlType == "varchar")
        return FilterFieldType::kText;
    return sqlType == "datetime" ? FilterFieldType::kDate : FilterFieldType::kOther;
}

bool ApplyFilter(ResultQuery& query, const FilterCondition& condition, CompiledFilter& compiled,
                 std::string& error) {
    // Field numbers follow the script's list; a table the script does not describe is filtered
    // by the columns it shows.
    std::vector<ResultColumn> columns = ReadResultColumns(query.script);
    if (!query.columns.empty() && FindResultColumn(columns, query.columns[0].title) < 0)
        columns = query.columns;
    if (!CompileFilter(columns, condition, compiled, error))
        return false;
    if (!compiled.condition.empty())
        query.condition += (compiled.condition[0] == ' ' ? "" : " ") + compiled.condition;
    if (!compiled.orderBy.empty())
        query.orderBy = compiled.orderBy;
    return true;
}

std::string FilterConditionName(std::string_view value) {
    const size_t at = GbFind(value, "//");
    return at == std::string_view::npos ? std::string() : Trim(value.substr(at + 2));
}

bool CompileFilter(const std::vector<ResultColumn>& columns, const FilterCondition& condition,
                   CompiledFilter& out, std::string& error) {
    out = CompiledFilter{};
    const int field = FindResultColumn(columns, condition.field);
    if (condition.op == kSuperContains) {
        out.name = FilterConditionName(condition.value);
        return CompileSuperContains(columns, field, condition, out, error);
    }
    std::string prefix;
    std::string suffix;
    bool date = false;
    if (condition.op == "包含" || condition.op == "左包含" || condition.op == "右包含") {
        prefix = condition.op == "左包含" ? "like '" : "like '%";
        suffix = condition.op == "右包含" ? "'" : "%'";
    } else if (condition.op == "=" || condition.op == ">" || condition.op == ">=" || condition.op == "<" ||
               condition.op == "<=" || condition.op == "<>") {
        prefix = condition.op;
        if (field >= 0) {
            const FilterFieldType type = FilterTypeOf(columns[field]);
            date = type == FilterFieldType::kDate;
            if (type == FilterFieldType::kText ||
                (type == FilterFieldType::kOther && !IsSqlNumber(condition.value))) {
                prefix += "'";
                suffix = "'";
            }
        }
    } else if (!condition.value.empty()) {
        error = "不能识别的操作符“" + condition.op + "”！";
        return false;
    }
    const bool sorted = condition.sort == "升序" || condition.sort == "降序";
    if ((!condition.value.empty() || sorted) && field < 0) {
        error = FieldNotFound(condition.field);
        return false;
    }
    if (!condition.value.empty()) {
        const std::string& column = columns[field].column;
        const std::string value = SqlQuote(condition.value);
        out.condition =
            date ? Format("and %s %scdate('%s')%s", column.c_str(), prefix.c_str(), value.c_str(),
                          suffix.c_str())
                 : Format("and %s %s%s%s", column.c_str(), prefix.c_str(), value.c_str(), suffix.c_str());
        out.searchTerms.push_back(condition.value);
    }
    if (sorted)
        out.orderBy = Format(" order by %s %s", columns[field].column.c_str(),
                             condition.sort == "升序" ? "asc" : "desc");
    return true;
}

}  // namespace sorvik
