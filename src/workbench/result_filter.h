#pragma once
// The filter bar's compiler: one condition of the bar (a field, an operator, a value, a sort
// option) becomes a condition and an ordering for the query over a task's result table, and the
// list of plain search terms that the record views highlight.
//
// Simple operators ("包含", "左包含", "右包含", "=", ">", ">=", "<", "<=", "<>") compare the chosen
// field with the value. "超包含" (super-contains) reads the value as a small search language:
//   terms separated by spaces            news sport          either (joined with " or ")
//   "&" / "and", "|" / "or" between them news & sport       both
//   "(" before, ")" after terms          (a b) & c           groups
//   "\" and a field title or number      abc\2, abc\标题      the term searches that field
//   "!" before a term                    !old                not like
//   "*" in a term                        old*                the term's own wildcards ("\*": a "*")
//   ">=", "<=", "<>", "=", ">", "<"      >=100               a comparison instead of like
//   "\&", "\|", "\and", "\or"            \&                  the words themselves as search text
//   "\ " inside a term, "\=", "\>", "\\" a\ b                a space, "=", ">", "\" as text
//   "+" or "-" with a field reference    -价格, +\2           order by that field asc / desc
//   "//" and a name at the end           news //新闻          the saved condition's name
//
// Values are data: every text goes into the statement as a quoted literal, with its quotes
// doubled. A comparison with a field that is neither text nor date is written bare only when the
// value is a plain number; any other value is quoted, so a value never becomes SQL. Field names
// come from the script's column list (plain names). A super-contains expression whose groups do
// not pair up is refused, so that it can't close the bracket that keeps the task's own rows.

#include <string>
#include <string_view>
#include <vector>

#include "engine/result_columns.h"
#include "workbench/result_query.h"

namespace sorvik {

// The operators in the order the operator box lists them, and the sort options.
inline constexpr const char* kFilterOperators[] = {"包含", "超包含", "左包含", "右包含", "=",
                                                   ">",    ">=",     "<",      "<=",     "<>"};
inline constexpr const char* kSuperContains = "超包含";
inline constexpr const char* kFilterSorts[] = {"不排序", "升序", "降序"};
// The text an empty filter bar shows.
inline constexpr const char* kEmptyFilterHint = "请在此处空白处点击鼠标右键设置过滤条件！";

// One condition of the bar, as the bar holds it and a saved slot keeps it (GB18030).
struct FilterCondition {
    std::string field;  // the field's title or name
    std::string op;     // one of kFilterOperators
    std::string value;  // the value box's text
    std::string sort;   // one of kFilterSorts (empty: "不排序")
    bool instant = false;

    bool operator==(const FilterCondition&) const = default;
};

struct CompiledFilter {
    // "and ..." (a simple operator) or " and (...)" (super-contains), to follow the query's base
    // condition; empty when the bar gives no condition.
    std::string condition;
    std::string orderBy;                   // " order by ..."; empty for none
    std::vector<std::string> searchTerms;  // plain texts of the terms, for highlighting
    std::string name;                      // the super-contains expression's "//" name, trimmed
};

// The field types the filter tells apart.
enum class FilterFieldType { kText, kDate, kOther };

// The type of a column: its type word through the writer's type mapping ("varchar" is text,
// "datetime" a date); a column without a type word is text.
FilterFieldType FilterTypeOf(const ResultColumn& column);

// Compiles the condition against the script's columns (ReadResultColumns; field numbers count
// from 1 in that order). False with error when a field the condition needs is not found
// ("找不到字段“%s”！"), the operator is unknown ("不能识别的操作符“%s”！") or the groups of a
// super-contains expression do not pair up ("过滤条件的括号不配对！").
bool CompileFilter(const std::vector<ResultColumn>& columns, const FilterCondition& condition,
                   CompiledFilter& out, std::string& error);

// Compiles the condition against the query's script (its columns in list order) and adds it to
// the query: its condition after the rows' own, its ordering. False as CompileFilter; the query
// is then unchanged.
bool ApplyFilter(ResultQuery& query, const FilterCondition& condition, CompiledFilter& compiled,
                 std::string& error);

// The name of a saved condition: the text after the first "//" of its value, trimmed; empty
// when it has none.
std::string FilterConditionName(std::string_view value);

}  // namespace sorvik
