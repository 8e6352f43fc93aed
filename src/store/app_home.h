#pragma once
// The program folder ("home"), the start-up settings of scSet.txt, the single-instance lock and
// the debug trace. The home folder is chosen once at start-up; afterwards it is read-only.

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

namespace sorvik {

// Start-up settings read from "<home>/scSet.txt" (key=value lines).
struct StartupSettings {
    std::string dbPath;          // DBPath: absolute, or relative to home; empty = DataBase/SearchResult.ddd
    bool multiInstance = false;  // Muli=1
    bool debug = false;          // Test=1
    bool myWeb = false;          // MyWeb=1
    // Bounds of one transfer (0: the default): MaxPageMB=, MaxFileMB=, PageTimeout= and
    // FileTimeout= (seconds), LowSpeedBytes= and LowSpeedSeconds=.
    long maxPageMegabytes = 0;
    long maxFileMegabytes = 0;
    long pageSeconds = 0;
    long fileSeconds = 0;
    long lowSpeedBytes = 0;
    long lowSpeedSeconds = 0;
};

// --home DIR, else $SORVIK_HOME, else ~/.local/share/sorvik.
std::string ResolveHomeFolder(const std::string& homeOption);

// The home folder in force (set by StartUp; tests may set it directly).
std::string AppDir();
void SetAppDir(std::string folder);

// Path below the home folder ("download/3" -> "<home>/download/3").
std::string AppPath(std::string_view relative);

// Reads scSet.txt from the home folder; a missing file gives the defaults.
StartupSettings ReadStartupSettings(const std::string& home);

// The debug flag (Test=1).
extern std::atomic<bool> g_bDebug;

// Appends an entry to "<home>/debug.txt" (number -1) or "<home>/debug%d_%s.txt" (number, name)
// when the debug flag is set: old content, "\r\n\r\n", title, ":\r\n", text.
void DebugLog(std::string_view text, std::string_view title, int number = -1, std::string_view name = {});

// The single-instance lock: an exclusive advisory lock on "<home>/sorvik.lock", held for the
// object's life. A process that dies loses it, so a stale lock never blocks a new start.
class InstanceLock {
  public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // False when another live process holds it (or the file can't be made), reason in error.
    bool Acquire(const std::string& home, std::string& error);
    bool Held() const { return fd_ >= 0; }
    void Release();

  private:
    int fd_ = -1;
};

// True when some process holds the instance lock of the home folder right now.
bool InstanceLockHeldElsewhere(const std::string& home);

}  // namespace sorvik
