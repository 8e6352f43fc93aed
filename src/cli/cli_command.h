#pragma once
// The command table of sorvik-cli. Each command lives in its own file and registers itself with a
// static CliCommandRegistrar, so that adding a command never touches the dispatcher.

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "workbench/result_filter.h"

namespace sorvik::cli {

struct CliContext {
    std::string home;               // --home, empty for the default
    std::vector<std::string> args;  // the arguments after the command name
    // A command that hands its task to run: the task's keyword list (GB18030), used as a keyword
    // file is when no --keywords is given.
    std::string keywordList;
};

// Returns the process exit status: 0 success, 1 failure, 2 usage error.
using CliCommandFunction = int (*)(CliContext& context);

struct CliCommand {
    const char* name;
    const char* usage;  // one line, after "sorvik-cli [--home DIR] "
    bool runsTasks;     // takes the single-instance lock of the home folder
    CliCommandFunction run;
    // For a command that takes the lock for some of its forms only: true when args need it.
    bool (*runsTasksFor)(const std::vector<std::string>& args) = nullptr;
    // False for a command that works on its arguments alone: no home folder, no database.
    bool needsCore = true;
};

class CliCommandRegistrar {
  public:
    explicit CliCommandRegistrar(const CliCommand& command);
};

const std::vector<CliCommand>& RegisteredCommands();

// Prints the message (GB18030, may be empty) and the usage list to standard error; returns 2.
int UsageError(std::string_view gbMessage = {});
// Prints a wrong argument's message (GB18030) to standard error; returns 2.
int ArgumentError(std::string_view gbMessage);
// Prints the usage list with the help hint to out.
void PrintUsage(std::ostream& out);
// Prints "usage: sorvik-cli [--home DIR] syntax" of one command to standard error; returns 2.
int UsageOf(std::string_view syntax);
// "--help" anywhere in the arguments of a command: prints its usage lines and description to
// standard output. True when it was asked for.
bool AnswerHelp(const CliCommand& command, const std::vector<std::string>& args);

// Output helpers: texts inside are GB18030, the terminal gets UTF-8.
void PrintLine(std::ostream& out, std::string_view gbText);
void PrintError(std::string_view gbText);

// Starts the core for a command (home, settings, database). Prints the error and returns false
// on failure.
bool StartCore(const CliContext& context, bool runsTasks);

// Reads "--name value" out of args (removing both); false when absent. A missing value is a
// usage error reported through ok=false.
bool TakeOption(std::vector<std::string>& args, std::string_view name, std::string& value, bool& ok);
// Reads "--where FIELD OPERATOR VALUE" out of args (texts converted to GB18030); false when
// absent, ok=false when incomplete.
bool TakeWhere(std::vector<std::string>& args, FilterCondition& where, bool& ok);
// Reads a flag "--name" out of args.
bool TakeFlag(std::vector<std::string>& args, std::string_view name);

// A number argument (a task or category ID, a count): 1 to 9 decimal digits and nothing else.
bool ParseIdArgument(std::string_view text, int& id);

// Reads a file given on the command line; prints "can't read" in the run's language on failure.
bool ReadInputFile(const std::string& path, std::string& bytes);

// A task ID argument: a number naming a task row. Returns 0 with the ID; otherwise prints the one
// message for a malformed or unknown task ID and returns the exit status (2 not a number, 1 no
// such task).
int TaskIdArgument(std::string_view text, int& id);
// The same for a command whose first argument is the task ID: a missing one is a usage error (2).
int FirstTaskId(const std::vector<std::string>& args, std::string_view syntax, int& id);

// A cell of a tab-separated line: tabs and line ends inside it become blanks.
std::string TabSafe(std::string_view text);

// A text file from outside (a script, a keyword list, a mail text) as the system holds texts:
// GB18030 (converted when it is valid UTF-8), every line end (CR LF, LF or a bare CR) made CR LF.
std::string ExternalTextAsLines(std::string_view bytes);

}  // namespace sorvik::cli
