#pragma once
// The SQL statements of seed and fruit files, and the guard that lets only the exporter's
// statement families through. A file is data: the importer parses every statement into this
// form, refuses anything else, and runs the statement rendered again from the parsed parts, so
// no text of the file reaches the database unchecked.
//
// Accepted forms (keywords in any case, names plain, [bracketed], "quoted" or `quoted`):
//   insert into T (c1,c2,...) values (v1,v2,...)     values: 'text', numbers, null
//   update TreeItems set c=v,... where cGerm='X' and cGerm is not null
//   update Task set c=v,... where cGerm='X'           X not empty
//   create table T (c type[(n[,s])], ...)          the result writer's column types only; ID_
//                                                   may be the auto-numbered primary key; nothing
//                                                   else (no defaults, computed columns, checks,
//                                                   "as select"); run as rebuilt from its parts
// Never: a second statement (";"), comments, inserts into the ID, settings, schedule, template
// or keyword-history tables, or SQLite's own tables.
//
// An upgrade package (made from "sc_升级.txt") changes the installation's structure and carries
// its own set: inserts, "update T set ... [where ...]" and "delete from T [where ...]" on result
// tables and on TaskMod and ShowModule, "alter table T add [column] ...", and "create table" as
// above. Never, anywhere in such a statement: drop, attach, detach, pragma, vacuum,
// load_extension, SQLite's own tables, the ID counters or [Set].
//
// Inside a text value of a file the byte 0x01 (the statement separator, also the separator of a
// field's multiple values) is written as ESC 'a' and ESC itself as ESC ESC; every ' is doubled.

#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

// Quote doubling plus the escapes above, without the enclosing quotes.
std::string EscapeExchangeText(std::string_view text);

struct SqlValue {
    enum class Type { kNull, kNumber, kText };
    Type type = Type::kNull;
    std::string text;  // the number as written, or the text without quotes and escapes

    static SqlValue Null() { return {}; }
    static SqlValue Number(long long value);
    static SqlValue Text(std::string value) { return {Type::kText, std::move(value)}; }
    // The value as an integer (0 for null or text that does not start with a number).
    long long AsInt() const;
};

struct ExchangeStatement {
    enum class Kind { kInsert, kUpdate, kCreateTable, kUpgrade };
    Kind kind = Kind::kInsert;
    std::string table;      // as written (brackets kept)
    std::string tableName;  // without brackets or quotes
    // insert: the column list and the values; update: the assigned columns and their values.
    std::vector<std::string> columns;      // as written
    std::vector<std::string> columnNames;  // without brackets or quotes
    std::vector<SqlValue> values;
    std::string germ;          // update: the seed code of the where clause
    bool germNotNull = false;  // update: "and cGerm is not null" was present
    std::string createText;    // create table and upgrade statements: the statement, trimmed

    // Index of a column by name (case-insensitive), or -1.
    int ColumnIndex(std::string_view name) const;
    // Removes an assignment or column with its value.
    void RemoveColumn(size_t index);
    // The statement text to run (Jet dialect, GB18030, quotes doubled).
    std::string Render() const;
};

// Parses one statement of a file (upgrade: of an upgrade package). False with the reason
// (GB18030) in error.
bool ParseExchangeStatement(std::string_view text, ExchangeStatement& statement, std::string& error,
                            bool upgrade = false);

}  // namespace sorvik
