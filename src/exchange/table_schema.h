#pragma once
// The definition of a table as a "create table" statement, so that a fruit can create the
// result tables and script tables its rows go into. This is the one place of the exchange that
// reads the database's own catalogue; it belongs to the store when a second database backend
// comes.

#include <string>
#include <string_view>

namespace sorvik {

// The create statement of a table (GB18030). False when the catalogue can't be read (reason in
// error); true with exists=false when there is no such table.
bool ReadTableDefinition(std::string_view table, std::string& createSql, bool& exists, std::string& error);

}  // namespace sorvik
