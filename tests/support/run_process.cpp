#include "support/run_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "text/code_page.h"

namespace sorvik::test {

ScopedLang::ScopedLang(const char* value) {
    if (const char* old = getenv("LANG")) {
        had_ = true;
        old_ = old;
    }
    setenv("LANG", value, 1);
}

ScopedLang::~ScopedLang() {
    if (had_)
        setenv("LANG", old_.c_str(), 1);
    else
        unsetenv("LANG");
}

namespace {

void SetNonBlocking(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

}  // namespace

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         int timeoutSeconds) {
    ProcessResult result;
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0)
        return result;
    const pid_t pid = fork();
    if (pid < 0)
        return result;
    if (pid == 0) {
        const int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    SetNonBlocking(outPipe[0]);
    SetNonBlocking(errPipe[0]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    bool outOpen = true, errOpen = true, killed = false;
    char buffer[65536];
    while (outOpen || errOpen) {
        pollfd fds[2] = {{outOpen ? outPipe[0] : -1, POLLIN, 0}, {errOpen ? errPipe[0] : -1, POLLIN, 0}};
        poll(fds, 2, 200);
        for (int i = 0; i < 2; ++i) {
            const int fd = i == 0 ? outPipe[0] : errPipe[0];
            bool& open = i == 0 ? outOpen : errOpen;
            std::string& sink = i == 0 ? result.out : result.err;
            if (!open)
                continue;
            while (true) {
                const ssize_t n = read(fd, buffer, sizeof buffer);
                if (n > 0) {
                    sink.append(buffer, static_cast<size_t>(n));
                    continue;
                }
                if (n == 0)
                    open = false;
                break;
            }
        }
        if (!killed && std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            killed = true;
        }
    }
    close(outPipe[0]);
    close(errPipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.exitCode = 128 + WTERMSIG(status);
    }
    return result;
}

ProcessResult RunCli(const std::string& home, const std::vector<std::string>& args, int timeoutSeconds) {
    std::vector<std::string> all = {"--home", home};
    all.insert(all.end(), args.begin(), args.end());
    return RunProcess(SORVIK_CLI_PATH, all, timeoutSeconds);
}

ProcessResult RunCliGb(const std::string& home, const std::vector<std::string>& gbArgs, int timeoutSeconds) {
    std::vector<std::string> utf8;
    for (const std::string& arg : gbArgs)
        utf8.push_back(GbToUtf8(arg));
    ProcessResult result = RunCli(home, utf8, timeoutSeconds);
    EXPECT_TRUE(IsValidUtf8(result.out)) << "standard output is not UTF-8";
    EXPECT_TRUE(IsValidUtf8(result.err)) << "standard error is not UTF-8";
    result.out = Utf8ToGb(result.out);
    result.err = Utf8ToGb(result.err);
    return result;
}

std::vector<pid_t> ChildProcessesNamed(const std::string& name) {
    std::vector<pid_t> pids;
    DIR* proc = opendir("/proc");
    if (!proc)
        return pids;
    const std::string tag = "(" + name + ")";
    while (dirent* entry = readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(atoi(entry->d_name));
        if (pid <= 0)
            continue;
        std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
        std::string line;
        std::getline(stat, line);
        const size_t close = line.rfind(')');
        if (close == std::string::npos || line.find(tag) == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        int parent = 0;
        rest >> state >> parent;
        if (parent == getpid())
            pids.push_back(pid);
    }
    closedir(proc);
    return pids;
}

}  // namespace sorvik::test
