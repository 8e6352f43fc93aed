#include "engine/operations.h"

#include <mutex>
#include <vector>

#include "engine/field_rules.h"
#include "engine/link_helpers.h"
#include "engine/regex_ops.h"
#include "engine/script_index.h"
#include "engine/split_text.h"
#include "engine/variables.h"
#include "script/script_keys.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/db_access.h"
#include "text/gb_text.h"
#include "text/strings.h"

namespace sorvik {

namespace {

// Operation lists end at their first empty line; this only bounds a script of millions of lines.
constexpr int kMaxOperations = 10000;
constexpr char kMultiValueSeparator = '\x01';

// An operation line cut at ",": item 0 is the name, items 1.. the arguments.
class OperationLine {
  public:
    explicit OperationLine(std::string_view line) : line_(line), items_(SplitAll(line, ",")) {}

    const std::string& Name() const { return items_.front(); }
    // Argument i (from 1); empty when the line does not give it.
    std::string Arg(size_t i) const { return i < items_.size() ? items_[i] : std::string(); }
    size_t Count() const { return items_.size(); }
    // The rest of the line after its n-th comma; false when it has fewer commas.
    bool RestAfterComma(size_t n, std::string& rest) const {
        size_t position = 0;
        for (size_t i = 0; i < n; ++i) {
            position = line_.find(',', position);
            if (position == std::string_view::npos)
                return false;
            ++position;
        }
        rest.assign(line_.substr(position));
        return true;
    }

  private:
    std::string_view line_;
    std::vector<std::string> items_;
};

// "\r", "\n", "\t" and "\\" read as CR, LF, TAB and one backslash.
std::string Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[i + 1];
            const char plain = next == 'r'    ? '\r'
                               : next == 'n'  ? '\n'
                               : next == 't'  ? '\t'
                               : next == '\\' ? '\\'
                                              : 0;
            if (plain) {
                out += plain;
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// True when value is one or more repetitions of unit.
bool ConsistsOf(std::string_view value, std::string_view unit) {
    if (unit.empty() || value.empty() || value.size() % unit.size() != 0)
        return false;
    for (size_t at = 0; at < value.size(); at += unit.size()) {
        if (value.compare(at, unit.size(), unit) != 0)
            return false;
    }
    return true;
}

// Full-width digits (A3 B0 to A3 B9) become ASCII digits.
std::string HalfWidthDigits(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (size_t pos = 0; pos < value.size();) {
        const size_t length = GbCharLength(value, pos);
        const auto lead = static_cast<unsigned char>(value[pos]);
        const auto trail = length == 2 ? static_cast<unsigned char>(value[pos + 1]) : 0;
        if (length == 2 && lead == 0xA3 && trail >= 0xB0 && trail <= 0xB9) {
            out += static_cast<char>('0' + (trail - 0xB0));
        } else {
            out.append(value, pos, length);
        }
        pos += length;
    }
    return out;
}

void ReplaceString(const OperationLine& op, std::string& value, std::string_view script,
                   std::string_view alternative) {
    const std::string mode = op.Arg(1);
    const std::string source = op.Arg(2);
    const std::string target = op.Arg(3);  // missing: the source is deleted
    if (mode.empty() || mode == op::kPlain) {
        GbReplaceAll(value, source, target);
    } else if (mode == op::kEscaped) {
        GbReplaceAll(value, Unescape(source), target);
    } else if (mode == op::kOnly) {
        const std::string unit = Unescape(source);
        if (ConsistsOf(value, unit))
            GbReplaceAll(value, unit, target);
    } else if (mode == op::kHalfWidthDigits) {
        value = HalfWidthDigits(value);
    } else if (mode == op::kTrim) {
        value = Trim(value);
    } else if (mode == op::kCutFrom) {
        if (source.empty())
            return;
        const size_t found = GbFind(value, source);
        if (found != std::string::npos)
            value.resize(found);
    } else if (mode == op::kReturnId) {
        const std::vector<std::string> from =
            SplitList(IndexedScriptValue(source + "=", script, alternative));
        const std::vector<std::string> to = SplitList(IndexedScriptValue(target + "=", script, alternative));
        for (size_t i = 0; i < from.size(); ++i) {
            if (from[i] == value) {
                value = i < to.size() ? to[i] : std::string();
                return;
            }
        }
    } else if (mode == op::kRegex) {
        if (!source.empty())
            RegexReplaceAll(value, source, target);
    }
}

// "取值" (and "为空" on an empty value): what, or with "正则" a match in the chosen source text.
void TakeValue(CPageExtractor& context, const OperationLine& op, std::string& value, std::string_view script,
               std::string_view alternative) {
    const std::string what = op.Arg(1);
    if (what != op::kRegex) {
        value = what;
        return;
    }
    std::string pattern;  // the rest of the line: a pattern may hold commas
    if (!op.RestAfterComma(4, pattern)) {
        value.clear();  // no pattern, no value
        return;
    }
    const std::string source = op.Arg(2);
    std::string text;
    if (source == "\\源码") {
        text = context.pageSource;
    } else if (source.substr(0, std::string_view("<变量_").size()) == "<变量_") {
        EvaluateVariable(context, source, text, script, alternative);
    } else {
        int level = ToInt(source);
        if (level <= 0)
            level = context.currentLevel > 0 ? context.currentLevel : 1;
        text = std::string(context.CurrentRecord(level));
    }
    const std::string which = op.Arg(3);
    const int number = ToInt(which);
    if (which == "全部") {
        RegexAllMatches(text, pattern, value, std::string_view(&kMultiValueSeparator, 1), true);
    } else if (number != 0) {
        RegexNthMatch(text, pattern, value, number - 1);
    } else {
        RegexFirstMatch(text, pattern, value, true);
    }
}

// "比较": "\当前页" is the current page number, "\\" one backslash.
void Compare(const CPageExtractor& context, const OperationLine& op, std::string& value) {
    std::string text = op.Arg(1);
    ReplaceAll(text, "\\当前页", std::to_string(context.currentPage));
    ReplaceAll(text, "\\\\", "\\");
    value = value == text ? op.Arg(2) : op.Arg(3);
}

void ExecuteSqlOperation(std::string_view line) {
    const size_t comma = line.find(',');
    if (comma == std::string_view::npos)
        return;
    const std::string_view statement = line.substr(comma + 1);
    if (Trim(statement).empty())
        return;
    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    db.ExecuteSqlScript(statement);  // the user's own statements, as many as written
}

void TableData(CPageExtractor& context, const OperationLine& op, std::string& value, std::string_view script,
               std::string_view alternative) {
    const std::string table = op.Arg(1);
    const std::string column = op.Arg(2);
    const bool distinct = op.Arg(3) == "唯一";
    std::string separator = op.Arg(4);
    if (separator.empty()) {
        separator.assign(1, kMultiValueSeparator);
    } else if (separator.front() == '\\') {
        const int code = ToInt(std::string_view(separator).substr(1));
        separator.assign(1, code >= 1 && code <= 255 ? static_cast<char>(code) : kMultiValueSeparator);
    }
    // The condition is the rest of the line: a condition such as "id in (1,2)" holds commas.
    std::string where;
    op.RestAfterComma(6, where);
    if (where.empty()) {
        where = "1=1";
    } else if (op.Arg(5) == "替换变量") {
        SubstituteVariablesInSql(where, script, alternative, context);
    }
    if (table.empty() || column.empty()) {
        value.clear();
        return;
    }
    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    value = db.SelectJoinedEx(column, table, where, separator, distinct);
}

void AddToMemory(CPageExtractor& context, std::string_view fieldName, const OperationLine& op,
                 const std::string& value) {
    std::string name = op.Arg(1);
    if (name.empty()) {
        name.assign(fieldName);
        if (name.empty() || name.front() != '#')
            name.insert(0, "#");
    }
    context.memory.Add(name, value);
}

// "保存": each 0x01-separated path of value becomes rows of a category tree table (cName_,
// iGrade_, iParent_, cFullName_), one per level that is not there yet.
void SaveTree(CPageExtractor& context, const OperationLine& op, const std::string& value) {
    const std::string table = op.Arg(1);
    const std::string separator = op.Arg(2);
    if (table.empty() || value.empty())
        return;
    CDbAccess db;
    for (const std::string& path : SplitText(value, std::string_view(&kMultiValueSeparator, 1))) {
        if (path.empty())
            continue;
        // One path is checked and inserted while no other worker inserts.
        std::scoped_lock lock(g_csDatabase);
        if (db.RecordExists(table, "cFullName_='" + SqlQuote(path) + "'"))
            continue;
        const std::vector<std::string> levels =
            separator.empty() ? std::vector<std::string>{path} : SplitAll(path, separator);
        std::string fullName;
        std::string parentName;
        for (size_t k = 0; k < levels.size(); ++k) {
            parentName = fullName;
            if (k > 0)
                fullName += separator;
            fullName += levels[k];
            if (db.RecordExists(table, "cFullName_='" + SqlQuote(fullName) + "'"))
                continue;
            int parent = 0;
            if (k > 0)
                parent = ToInt(db.SelectTopString("ID_", table, "cFullName_='" + SqlQuote(parentName) + "'"));
            const std::string sql = Format(
                "insert into %s (cName_,iGrade_,iParent_,cFullName_) values ('%s',%d,%d,'%s')", table.c_str(),
                SqlQuote(levels[k]).c_str(), static_cast<int>(k + 1), parent, SqlQuote(fullName).c_str());
            if (!db.ExecuteSql(sql))
                context.ShowStatus(Format("插入表数据失败！(%s)", table.c_str()));
        }
    }
}

}  // namespace

bool ApplyOperation(CPageExtractor& context, std::string_view name, std::string& value, std::string_view line,
                    std::string_view script, std::string_view alternative, bool variableFlag) {
    const OperationLine op(line);
    const std::string& operation = op.Name();
    if (operation == op::kReplace) {
        ReplaceString(op, value, script, alternative);
    } else if (operation == op::kTake) {
        TakeValue(context, op, value, script, alternative);
    } else if (operation == op::kIfEmpty) {
        if (value.empty()) {
            TakeValue(context, op, value, script, alternative);
        } else {
            if (op.Arg(1) != op::kRegex)
                value = op.Arg(2);
            return false;
        }
    } else if (operation == op::kFetch) {
        ApplyFetchModeText(context, op.Arg(1), value);
    } else if (operation == op::kFind) {
        value = GbFind(value, op.Arg(1)) != std::string::npos ? op.Arg(2) : op.Arg(3);
    } else if (operation == op::kCompare) {
        Compare(context, op, value);
    } else if (operation == op::kToUrl) {
        if (!context.pageUrl.empty())
            value = ResolveUrl(context.pageUrl, value);
    } else if (operation == op::kToLink) {
        if (!value.empty()) {
            const char* form = value.find('@') != std::string::npos ? "<a href=mailto:%s>%s</a>"
                                                                    : "<a target=_blank  href=%s>%s</a>";
            value = Format(form, value.c_str(), value.c_str());
        }
    } else if (operation == op::kSql) {
        ExecuteSqlOperation(line);
    } else if (operation == op::kTableData) {
        TableData(context, op, value, script, alternative);
    } else if (operation == op::kAddToMemory) {
        AddToMemory(context, name, op, value);
    } else if (operation == op::kSave) {
        if (!variableFlag)
            SaveTree(context, op, value);
    }
    return true;
}

void ApplyOperations(CPageExtractor& context, std::string_view name, std::string& value,
                     std::string_view script, std::string_view alternative, bool variableFlag) {
    for (int n = 1; n <= kMaxOperations; ++n) {
        const std::string line = IndexedScriptValue(
            std::string(name) + std::string(rule::kOperation) + std::to_string(n) + "=", script, alternative);
        if (line.empty())
            break;
        if (!ApplyOperation(context, name, value, line, script, alternative, variableFlag))
            break;
    }
}

}  // namespace sorvik
