#pragma once
// Indexed script lookup for the per-record rules. The field chain reads a dozen keys for every
// field of every record; scanning the script for each costs more than the regular expressions.
// IndexedScriptValue gives exactly what GetScriptValue gives (first matching line wins, the value
// ends one byte before the next LF) from an index of the script's lines, built once per script
// text and thread. A cached index is used only for a text equal byte for byte to the one it was
// built from, so a changed script is never read stale.

#include <string>
#include <string_view>

namespace sorvik {

// The value of key in alternative when that is not empty, else in script. Keys that end with
// their only "=" are served from the index; any other key is looked up by a scan.
std::string IndexedScriptValue(std::string_view key, std::string_view script,
                               std::string_view alternative = {});

}  // namespace sorvik
