#include "store/recordset.h"

#include "text/strings.h"

namespace sorvik {

Recordset::Value Recordset::Get(size_t column) const {
    if (IsEof() || column >= columns_.size())
        return std::nullopt;
    const Row& row = rows_[position_];
    if (column >= row.size())
        return std::nullopt;
    return row[column];
}

Recordset::Value Recordset::Get(std::string_view columnName) const {
    const int index = FindFieldIndex(*this, columnName);
    if (index < 0)
        return std::nullopt;
    return Get(static_cast<size_t>(index));
}

long long Recordset::Int(size_t column) const {
    return ParseLeadingInt(Text(column));
}

long long Recordset::Int(std::string_view columnName) const {
    return ParseLeadingInt(Text(columnName));
}

int FindFieldIndex(const Recordset& recordset, std::string_view columnName) {
    for (size_t i = 0; i < recordset.ColumnCount(); ++i) {
        if (EqualsNoCase(recordset.ColumnName(i), columnName))
            return static_cast<int>(i);
    }
    return -1;
}

}  // namespace sorvik
