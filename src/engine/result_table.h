#pragma once
// Result tables: the tables a task's records are written to. Their names, columns and column
// types come from the task script; the tables are created on demand and only ever extended
// with new columns (never dropped, never changed).
//
// Script keys of one table (first table / further table N):
//   name          "#表名="               / "#表名N="
//   columns       "#表名_字段别名列表=", "#字段别名列表=", else the field names / "#表名N_字段别名列表=",
//   else the field names field names   "#表名_字段名列表=", "#字段名列表="   / "#表名N_字段名列表=" field
//   types   "#表名_字段类型=", "#字段类型="       / "#表名N_字段类型=" unique fields "#唯一字段=" /
//   "#表名N_唯一字段="
// Every table has ID_ (auto-numbered primary key) and iNode_ (the node a record is filed under).
//
// The operations here touch the database under g_csDatabase (they take it themselves) and
// report failures as a message; they never show anything.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

// One result table as a task script describes it.
struct ResultTableLayout {
    int tableNumber = 0;                    // 0: "#表名=", N >= 1: "#表名N="
    std::string table;                      // empty: the script names no such table
    std::vector<std::string> columns;       // column names in list order
    std::vector<std::string> fieldNames;    // the table's field names (the columns when no aliases)
    std::vector<std::string> typeWords;     // the field-type list as written
    std::vector<std::string> uniqueFields;  // the unique-field list as written
    std::string tableKey;                   // the keys the table name and the columns came from
    std::string columnsKey;
};

// Reads the keys of table tableNumber from the script. Lists are split at "," and trimmed.
ResultTableLayout ReadResultTableLayout(std::string_view script, int tableNumber);

// The first table and every further table up to the first one without a name.
std::vector<ResultTableLayout> ReadResultTableLayouts(std::string_view script);

// The node under which a task's records are filed (their iNode_): the script's "#共用任务号=" when it
// is a number other than 0 (several tasks may share one node), else the task's own number.
int SharedTaskNumber(std::string_view script, int taskNumber);

// The condition that selects a task's records in its result table: the script's
// "#表数据过滤条件=" in parentheses when set, else "iNode_=" and the shared task number.
std::string TaskRecordCondition(std::string_view script, int taskNumber);

// The table name and the column names go into statements as they are: each must be a plain name
// (IsPlainName). False with the message "“name”不能用作名称(key)：名称只能由字母、数字、下划线和汉字组成"
// naming the script key it came from.
bool CheckResultTableNames(const ResultTableLayout& layout, std::string& message);

// True when the database has a table of that name (compared case-insensitively).
bool ResultTableExists(std::string_view tableName);

// Maps a field-type word to its SQL type (lower case, e.g. "varchar", "decimal") and size
// (e.g. "(100)", "(10,2)", or empty). A field at or beyond the end of the type list
// (fieldIndex >= typeCount) is varchar (255). A size is kept for 文本/超链接/varchar and
// 小数/decimal only; it must be digits (decimal: digits "," or "." digits).
// False with the message "“word”中缺少“)！”" for a word with "(" and no ")" after it, or
// "“word”中系统无法识别字段类型！" for a word not in the type table.
bool ParseFieldType(size_t fieldIndex, size_t typeCount, std::string_view typeWord, std::string& sqlType,
                    std::string& size, std::string& message);

// Creates table tableNumber of the script ("Create Table ...") or adds the columns it lacks
// ("alter table ... add column ..."). True when the table is ready. False with the message:
// the type-word message of ParseFieldType, "增加字段失败!" + CR LF + the database's reason,
// "建表失败!(#表名=NAME)" with the database's reason, "打开一个记录集失败!", or "没有设置表名！(#表名=)" when
// the script names no such table (the key of the table's number in both), or the message of
// CheckResultTableNames.
bool EnsureResultTable(std::string_view script, int tableNumber, std::string& message);

}  // namespace sorvik
