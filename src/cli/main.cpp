// sorvik-cli: the command-line front end over the Sorvik core.

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "store/startup.h"

int main(int argc, char** argv) {
    using namespace sorvik::cli;
    CliContext context;
    std::vector<std::string> args(argv + 1, argv + argc);
    // Global options come before the command.
    while (!args.empty() && args.front().rfind("--", 0) == 0) {
        if (args.front() == "--home" && args.size() >= 2) {
            context.home = args[1];
            args.erase(args.begin(), args.begin() + 2);
        } else if (args.front() == "--help") {
            UsageError();
            return 0;
        } else {
            return UsageError("unknown option " + args.front());
        }
    }
    if (args.empty())
        return UsageError("no command given");
    const std::string name = args.front();
    args.erase(args.begin());
    for (const CliCommand& command : RegisteredCommands()) {
        if (name != command.name)
            continue;
        context.args = std::move(args);
        if (!StartCore(context, command.runsTasks))
            return 1;
        const int status = command.run(context);
        sorvik::ShutDown();
        return status;
    }
    return UsageError("unknown command " + name);
}
