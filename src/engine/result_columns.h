#pragma once
// The columns of a result table as every reader must see them. The writer names a table's columns
// by its alias list ("#字段别名列表=", or the table's own "#表名_字段别名列表=" / "#表名N_字段别名列表="),
// and by the field names only when there is no alias list (see result_table.h); a reader that
// selects a field name where the writer used its alias finds no column. So every reader (the
// grid, the filter bar, levels, favourites, grid commands, `results`, the mail task, the keyword
// write-back) goes from a script to its columns through ReadResultColumns, and from a user's word
// (a title from a grid command or a "#...标题=" key, or a field name) to a column through
// FindResultColumn.

#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

struct ResultColumn {
    std::string name;    // the field's name ("#字段名列表="); the title when the list is shorter
    std::string title;   // what the user sees and writes in markers and keys: the alias, else the name
    std::string type;    // the field-type word as written; empty for varchar(255)
    std::string column;  // the column's name in the result table (the title, as the writer names it)
};

// The columns of table tableNumber (0: "#表名=", N: "#表名N=") in list order: one per column the
// writer creates. Empty when the script names no such table or no fields.
std::vector<ResultColumn> ReadResultColumns(std::string_view script, int tableNumber = 0);

// The index of the column a word means: the first whose title equals it, else the first whose
// field name equals it (surrounding blanks of the word ignored); -1 when none does or the word is
// empty.
int FindResultColumn(const std::vector<ResultColumn>& columns, std::string_view titleOrName);

}  // namespace sorvik
