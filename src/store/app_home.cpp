#include "store/app_home.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>

#include "script/script_text.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik {

std::atomic<bool> g_bDebug{false};

namespace {

std::mutex g_appDirMutex;
std::string g_appDir;        // guarded by g_appDirMutex; written at start-up only
std::mutex g_debugLogMutex;  // one writer at a time per trace file

}  // namespace

std::string ResolveHomeFolder(const std::string& homeOption) {
    if (!homeOption.empty())
        return homeOption;
    if (const char* env = std::getenv("SORVIK_HOME"); env && *env)
        return env;
    const char* home = std::getenv("HOME");
    std::string base = (home && *home) ? home : ".";
    return base + "/.local/share/sorvik";
}

std::string AppDir() {
    std::scoped_lock lock(g_appDirMutex);
    return g_appDir;
}

void SetAppDir(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    std::scoped_lock lock(g_appDirMutex);
    g_appDir = std::move(folder);
}

std::string AppPath(std::string_view relative) {
    return JoinPath(AppDir(), relative);
}

StartupSettings ReadStartupSettings(const std::string& home) {
    StartupSettings settings;
    std::string text;
    if (!ReadWholeFile(JoinPath(home, "scSet.txt"), text))
        return settings;
    text = ExternalTextToGb(text);
    // The file is written by hand: accept bare LF line ends as well.
    std::string normalised;
    normalised.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            normalised += '\r';
        normalised += text[i];
    }
    settings.dbPath = Trim(ScriptValue("DBPath=", normalised));
    settings.multiInstance = Trim(ScriptValue("Muli=", normalised)) == "1";
    settings.debug = Trim(ScriptValue("Test=", normalised)) == "1";
    settings.myWeb = Trim(ScriptValue("MyWeb=", normalised)) == "1";
    auto number = [&](const char* key) {
        return std::max(0L, std::strtol(Trim(ScriptValue(key, normalised)).c_str(), nullptr, 10));
    };
    settings.maxPageMegabytes = number("MaxPageMB=");
    settings.maxFileMegabytes = number("MaxFileMB=");
    settings.pageSeconds = number("PageTimeout=");
    settings.fileSeconds = number("FileTimeout=");
    settings.lowSpeedBytes = number("LowSpeedBytes=");
    settings.lowSpeedSeconds = number("LowSpeedSeconds=");
    return settings;
}

void DebugLog(std::string_view text, std::string_view title, int number, std::string_view name) {
    if (!g_bDebug.load())
        return;
    const std::string file =
        number == -1
            ? AppPath("debug.txt")
            : AppPath(Format("debug%d_%.*s.txt", number, static_cast<int>(name.size()), name.data()));
    std::string entry;
    entry.append(title);
    entry += ":\r\n";
    entry.append(text);
    std::scoped_lock lock(g_debugLogMutex);
    // Appended, not rewritten: a trace grows by one entry per call and may grow large.
    std::ofstream out(file, std::ios::binary | std::ios::app);
    if (!out)
        return;
    out.seekp(0, std::ios::end);
    if (out.tellp() > 0)
        out << "\r\n\r\n";
    out << entry;
}

InstanceLock::~InstanceLock() {
    Release();
}

bool InstanceLock::Acquire(const std::string& home, std::string& error) {
    Release();
    const std::string path = JoinPath(home, "sorvik.lock");
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = Format("不能创建锁文件 %s: %s", path.c_str(), std::strerror(errno));
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        error = "Sorvik已经在运行！(" + home + ")";
        return false;
    }
    // The holder's process number, for people who look at the file.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::write(fd, pid.data(), pid.size());
    }
    fd_ = fd;
    return true;
}

void InstanceLock::Release() {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
    }
}

bool InstanceLockHeldElsewhere(const std::string& home) {
    const std::string path = JoinPath(home, "sorvik.lock");
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    if (!held)
        ::flock(fd, LOCK_UN);
    ::close(fd);
    return held;
}

}  // namespace sorvik
