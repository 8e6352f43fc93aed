#pragma once
// Translation of the Jet SQL that the rest of Sorvik writes into SQLite's dialect. The one place
// that knows both dialects; everything else writes Jet SQL.

#include <string>
#include <string_view>

namespace sorvik {

// Translates one Jet statement (UTF-8, or GB18030 when it is not valid UTF-8; only ASCII outside
// quoted literals and bracketed names is rewritten, those are kept byte for byte) into SQLite:
//   select [distinct] top N ...          -> select [distinct] ... LIMIT N (per select, also in
//                                            sub-selects and derived tables; a limited first
//                                            member of a union is wrapped in a derived table)
//   col IDENTITY [CONSTRAINT PK_x] PRIMARY KEY -> col INTEGER [CONSTRAINT PK_x] PRIMARY KEY AUTOINCREMENT
//   col counter (no primary key clause)   -> col INTEGER PRIMARY KEY AUTOINCREMENT
//   select ... into T from ...            -> CREATE TABLE T AS select ... from ...
// Column types of create table and alter table ... add [column] get SQLite types whose affinity
// keeps values as written: memo, text, varchar(n), char(n), datetime, date -> TEXT ("00123" and
// "2024-01-02 03:04:05" stay text); long, int, smallint, tinyint, bit -> INTEGER; money,
// decimal(p,s) -> NUMERIC; real, float -> REAL; image -> BLOB. Unknown type words stay.
// cdate('...') (a function the connection registers), [Set], alter table ... add column, drop
// table, insert ... select and not in (select ...) are valid SQLite already and are kept.
// A statement with an unterminated quote or bracket or unbalanced parentheses is returned
// unchanged, so SQLite reports the error; so is anything the translator does not recognise.
std::string TranslateJetSql(std::string_view jetSql);

}  // namespace sorvik
