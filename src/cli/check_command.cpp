// sorvik-cli check: the script check of a script file, one line per problem ("line N: error: ..."),
// exit status 1 when one of them is an error. Needs no home folder.

#include <iostream>

#include "cli/cli_command.h"
#include "cli/cli_messages.h"
#include "engine/script_check.h"
#include "text/strings.h"

namespace sorvik::cli {

namespace {

int RunCheck(CliContext& context) {
    if (context.args.size() != 1 || context.args[0].starts_with("--"))
        return UsageOf("check SCRIPT");
    std::string bytes;
    if (!ReadInputFile(context.args[0], bytes))
        return 1;
    const std::vector<ScriptProblem> problems = CheckScript(ExternalTextAsLines(bytes));
    for (const ScriptProblem& problem : problems) {
        const Msg word = problem.severity == CheckSeverity::kError ? Msg::kCheckError : Msg::kCheckWarning;
        PrintLine(std::cout, Format(Text(Msg::kCheckLine).c_str(), problem.line, Text(word).c_str(),
                                    problem.message.c_str()));
    }
    return HasCheckErrors(problems) ? 1 : 0;
}

const CliCommandRegistrar kCheck({"check", "check SCRIPT", false, RunCheck, nullptr, false});

}  // namespace

}  // namespace sorvik::cli
