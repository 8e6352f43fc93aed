#pragma once
// Runs a program to its end and captures what it printed (tests of sorvik-cli).

#include <string>
#include <vector>

namespace sorvik::test {

struct ProcessResult {
    int exitCode = -1;  // the exit status, or 128 + signal number when killed by a signal
    std::string out;    // standard output
    std::string err;    // standard error
};

// Runs program with args; standard input is empty. timeoutSeconds ends a program that hangs
// (killed with SIGKILL; exitCode 128 + 9).
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         int timeoutSeconds = 120);

// The sorvik-cli built beside the tests, with --home home and the arguments.
ProcessResult RunCli(const std::string& home, const std::vector<std::string>& args, int timeoutSeconds = 120);

}  // namespace sorvik::test
