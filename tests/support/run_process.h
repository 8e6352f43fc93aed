#pragma once
// Runs a program to its end and captures what it printed (tests of sorvik-cli).

#include <sys/types.h>

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

// The same for tests that work in the internal code page: the arguments (GB18030) go out as UTF-8,
// what comes back must be UTF-8 (checked) and is handed back converted to GB18030.
ProcessResult RunCliGb(const std::string& home, const std::vector<std::string>& gbArgs,
                       int timeoutSeconds = 120);

// The running child processes of this process whose program name is name (from /proc).
std::vector<pid_t> ChildProcessesNamed(const std::string& name);

// Sets LANG for the children started while it lives (the command line's own messages follow it).
class ScopedLang {
  public:
    explicit ScopedLang(const char* value);
    ~ScopedLang();
    ScopedLang(const ScopedLang&) = delete;
    ScopedLang& operator=(const ScopedLang&) = delete;

  private:
    bool had_ = false;
    std::string old_;
};

// A u8"..." literal as the UTF-8 bytes it holds.
inline const char* U8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

}  // namespace sorvik::test
