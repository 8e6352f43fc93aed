#pragma once
// CheckScript: the mistakes a task script can hold that the engine would pass over in silence or
// meet only on a page: keys it never reads, rule words and operations it does not know, patterns
// that do not compile, lists whose lengths differ. The known words come from the one table the
// engine reads its keys with (script/script_keys.h); patterns are compiled as the engine compiles
// them (IsValidPattern). The task editor underlines the lines; `sorvik-cli check` prints them.
//
// Errors are what makes a run fail or a line do nothing: an unknown task key, rule word, fetch mode
// or operation, a pattern that does not compile, a field list and a title list of different
// lengths. Warnings are lines that are read but likely not as meant: per-field keys of a name that is
// no field, entry, variable, option or search category; a key hidden by a blank at the line start
// or by an earlier line with the same key; type lists of another length than the field list.

#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

enum class CheckSeverity { kError, kWarning };

struct ScriptProblem {
    int line = 0;  // 1-based line of the script
    CheckSeverity severity = CheckSeverity::kError;
    std::string message;  // GB18030, names the key and, for an unknown key, the nearest known one
};

// The problems of script (GB18030; lines ended by CR LF, LF or CR), ordered by line. Never fails.
std::vector<ScriptProblem> CheckScript(std::string_view script);

// True when one of the problems is an error.
bool HasCheckErrors(const std::vector<ScriptProblem>& problems);

}  // namespace sorvik
