#pragma once
// Translation of the Jet SQL that the rest of Sorvik writes into SQLite's dialect. The one place
// that knows both dialects; everything else writes Jet SQL.

#include <string>
#include <string_view>

namespace sorvik {

// Translates one Jet statement (UTF-8 or GB18030 text; only ASCII is rewritten, quoted literals
// and bracketed names are left byte for byte) into SQLite:
//   select [distinct] top N ...          -> select [distinct] ... LIMIT N (per select, also in
//                                            sub-selects and derived tables)
//   col IDENTITY [CONSTRAINT PK_x] PRIMARY KEY -> col INTEGER [CONSTRAINT PK_x] PRIMARY KEY AUTOINCREMENT
//   counter / COUNTER column type         -> INTEGER PRIMARY KEY AUTOINCREMENT
//   select ... into T from ...            -> CREATE TABLE T AS SELECT ... FROM ...
//   memo / text column types              -> TEXT (never numeric affinity: "00123" stays)
//   varchar(n), char(n)                   -> TEXT
//   cdate('...'), [Set], alter table ... add column, drop table: kept (cdate is a registered
//   function, the others are valid SQLite already)
// Statements the translator does not recognise pass through unchanged.
std::string TranslateJetSql(std::string_view jetSql);

}  // namespace sorvik
