// sorvik-cli: the command-line front end over the Sorvik core.

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/cli_messages.h"
#include "store/startup.h"
#include "text/code_page.h"
#include "text/strings.h"

int main(int argc, char** argv) {
    using namespace sorvik::cli;
    using sorvik::Format;
    using sorvik::Utf8ToGb;
    CliContext context;
    std::vector<std::string> args(argv + 1, argv + argc);
    // Global options come before the command.
    while (!args.empty() && args.front().rfind("--", 0) == 0) {
        if (args.front() == "--home" && args.size() >= 2) {
            context.home = args[1];
            args.erase(args.begin(), args.begin() + 2);
        } else if (args.front() == "--help") {
            PrintUsage(std::cout);
            return 0;
        } else {
            return UsageError(Format(Text(Msg::kUnknownOption).c_str(), Utf8ToGb(args.front()).c_str()));
        }
    }
    if (args.empty())
        return UsageError(Text(Msg::kNoCommand));
    const std::string name = args.front();
    args.erase(args.begin());
    for (const CliCommand& command : RegisteredCommands()) {
        if (name != command.name)
            continue;
        // Help needs no home folder and touches nothing.
        if (AnswerHelp(command, args))
            return 0;
        const bool runsTasks = command.runsTasks || (command.runsTasksFor && command.runsTasksFor(args));
        context.args = std::move(args);
        if (!command.needsCore)
            return command.run(context);
        if (!StartCore(context, runsTasks))
            return 1;
        const int status = command.run(context);
        sorvik::ShutDown();
        return status;
    }
    return UsageError(Format(Text(Msg::kUnknownCommand).c_str(), Utf8ToGb(name).c_str()));
}
