#pragma once
// A result set read whole from the database: column names and rows of nullable GB18030 texts.
// Values are converted to text as the design's variant-to-string conversion does: integers in
// decimal, reals in their shortest form, NULL as no value.

#include <optional>
#include <string>
#include <vector>

namespace sorvik {

class Recordset {
  public:
    using Value = std::optional<std::string>;
    using Row = std::vector<Value>;

    Recordset() = default;
    Recordset(std::vector<std::string> columns, std::vector<Row> rows)
        : columns_(std::move(columns)), rows_(std::move(rows)) {}

    // Cursor, as callers walk a recordset: while (!rs.IsEof()) { ...; rs.MoveNext(); }
    bool IsEof() const { return position_ >= rows_.size(); }
    void MoveNext() {
        if (position_ < rows_.size())
            ++position_;
    }
    void MoveFirst() { position_ = 0; }

    size_t ColumnCount() const { return columns_.size(); }
    const std::string& ColumnName(size_t index) const { return columns_.at(index); }
    const std::vector<std::string>& Columns() const { return columns_; }
    size_t RowCount() const { return rows_.size(); }
    const std::vector<Row>& Rows() const { return rows_; }

    // Value of the current row: by position, or by column name (compared case-insensitively).
    // Out of range, past the end or NULL: no value.
    Value Get(size_t column) const;
    Value Get(std::string_view columnName) const;
    // The same, with NULL and missing read as "".
    std::string Text(size_t column) const { return Get(column).value_or(std::string()); }
    std::string Text(std::string_view columnName) const { return Get(columnName).value_or(std::string()); }
    // Decimal prefix of the text (atoi); 0 for NULL.
    long long Int(size_t column) const;
    long long Int(std::string_view columnName) const;

  private:
    std::vector<std::string> columns_;
    std::vector<Row> rows_;
    size_t position_ = 0;
};

// Index of the first column whose name equals the given one, both lower-cased; -1 if none.
int FindFieldIndex(const Recordset& recordset, std::string_view columnName);

}  // namespace sorvik
