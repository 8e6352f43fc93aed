#include "engine/result_columns.h"

#include "engine/result_table.h"
#include "text/strings.h"

namespace sorvik {

std::vector<ResultColumn> ReadResultColumns(std::string_view script, int tableNumber) {
    // The writer's layout is the one source of the column names.
    const ResultTableLayout layout = ReadResultTableLayout(script, tableNumber);
    std::vector<ResultColumn> columns;
    if (layout.table.empty())
        return columns;
    for (size_t i = 0; i < layout.columns.size(); ++i) {
        ResultColumn column;
        column.column = layout.columns[i];
        column.title = layout.columns[i];
        column.name = i < layout.fieldNames.size() ? layout.fieldNames[i] : layout.columns[i];
        column.type = i < layout.typeWords.size() ? layout.typeWords[i] : std::string();
        columns.push_back(std::move(column));
    }
    return columns;
}

int FindResultColumn(const std::vector<ResultColumn>& columns, std::string_view titleOrName) {
    const std::string wanted = Trim(titleOrName);
    if (wanted.empty())
        return -1;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].title == wanted)
            return static_cast<int>(i);
    }
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].name == wanted)
            return static_cast<int>(i);
    }
    return -1;
}

}  // namespace sorvik
