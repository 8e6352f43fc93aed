#pragma once
// A server process started by a mail test (aiosmtpd, dovecot, a scripted peer): it runs in the
// background while the test talks to it and is ended with the object. Header-only, because the
// mail test program compiles only *_test.cpp files of this folder.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/run_process.h"

namespace sorvik::test {

class BackgroundServer {
  public:
    BackgroundServer() = default;
    ~BackgroundServer() { Stop(); }
    BackgroundServer(const BackgroundServer&) = delete;
    BackgroundServer& operator=(const BackgroundServer&) = delete;

    // Starts program with args; its standard output is read by ReadLine, its standard error
    // goes to errorFile (or /dev/null).
    bool Start(const std::string& program, const std::vector<std::string>& args,
               const std::string& errorFile = "") {
        int outPipe[2];
        if (pipe(outPipe) != 0) {
            return false;
        }
        pid_ = fork();
        if (pid_ < 0) {
            return false;
        }
        if (pid_ == 0) {
            setpgid(0, 0);  // its own group, so that Stop ends its children as well
            int devNull = open("/dev/null", O_RDWR);
            int err =
                errorFile.empty() ? devNull : open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(devNull, 0);
            dup2(outPipe[1], 1);
            dup2(err < 0 ? devNull : err, 2);
            close(outPipe[0]);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(program.c_str()));
            for (const auto& a : args) {
                argv.push_back(const_cast<char*>(a.c_str()));
            }
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        setpgid(pid_, pid_);
        close(outPipe[1]);
        out_ = outPipe[0];
        fcntl(out_, F_SETFL, fcntl(out_, F_GETFL) | O_NONBLOCK);
        return true;
    }

    // The next line the server printed, waiting at most timeoutSeconds; empty when none came.
    std::string ReadLine(int timeoutSeconds = 30) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
        while (true) {
            size_t lf = buffer_.find('\n');
            if (lf != std::string::npos) {
                std::string line = buffer_.substr(0, lf);
                buffer_.erase(0, lf + 1);
                return line;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || out_ < 0) {
                return {};
            }
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                continue;
            }
            char chunk[4096];
            ssize_t n = read(out_, chunk, sizeof chunk);
            if (n <= 0) {
                close(out_);
                out_ = -1;
                continue;
            }
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }

    void Stop() {
        if (pid_ > 0) {
            kill(-pid_, SIGTERM);
            int status = 0;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (waitpid(pid_, &status, WNOHANG) == 0) {
                if (std::chrono::steady_clock::now() > deadline) {
                    kill(-pid_, SIGKILL);
                    waitpid(pid_, &status, 0);
                    break;
                }
                usleep(20000);
            }
            kill(-pid_, SIGKILL);  // anything of the group still left
            pid_ = -1;
        }
        if (out_ >= 0) {
            close(out_);
            out_ = -1;
        }
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
};

// The Python interpreter of the system (where Debian puts python3-aiosmtpd), else one in
// /usr/local; empty when none can import the module (an empty module: plain python3).
inline std::string FindPython(const std::string& module = "") {
    for (const std::string c : {"/usr/bin/python3", "/usr/local/bin/python3"}) {
        if (access(c.c_str(), X_OK) == 0 &&
            (module.empty() || RunProcess(c, {"-c", "import " + module}, 60).exitCode == 0)) {
            return c;
        }
    }
    return {};
}

}  // namespace sorvik::test
