#include "store/startup.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>

#include "store/database.h"
#include "store/system_tables.h"
#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik {

namespace {

std::mutex g_startupMutex;
StartupSettings g_settings;                    // guarded by g_startupMutex
std::unique_ptr<InstanceLock> g_instanceLock;  // guarded by g_startupMutex

std::string ConnectFailed(const std::string& reason) {
    return "连接SearchResult.ddd数据库失败!\r\n错误信息:" + reason;
}

}  // namespace

bool StartUp(const StartupOptions& options, std::string& error) {
    std::scoped_lock lock(g_startupMutex);
    error.clear();
    const std::string home = ResolveHomeFolder(options.home);
    if (!MakeDirectories(home)) {
        error = ConnectFailed(Format("不能创建主目录 %s: %s", home.c_str(), std::strerror(errno)));
        return false;
    }
    SetAppDir(home);

    g_settings = ReadStartupSettings(home);
    g_bDebug = g_settings.debug;

    if (options.runsTasks && !g_settings.multiInstance) {
        auto instanceLock = std::make_unique<InstanceLock>();
        if (!instanceLock->Acquire(home, error))
            return false;
        g_instanceLock = std::move(instanceLock);
    }

    std::string dbPath =
        g_settings.dbPath.empty() ? std::string("DataBase/SearchResult.ddd") : g_settings.dbPath;
    for (char& c : dbPath) {
        if (c == '\\')
            c = '/';
    }
    if (dbPath.front() != '/')
        dbPath = JoinPath(home, dbPath);
    const size_t slash = dbPath.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : dbPath.substr(0, slash);
    if (!MakeDirectories(folder)) {
        error = ConnectFailed(Format("不能创建目录 %s: %s", folder.c_str(), std::strerror(errno)));
        g_instanceLock.reset();
        return false;
    }

    std::string reason;
    if (!TheDatabase().Open(dbPath, reason) || !EnsureSystemTables(reason)) {
        TheDatabase().Close();
        error = ConnectFailed(reason);
        g_instanceLock.reset();
        return false;
    }
    return true;
}

void ShutDown() {
    std::scoped_lock lock(g_startupMutex);
    TheDatabase().Close();
    g_instanceLock.reset();
}

const StartupSettings& CurrentStartupSettings() {
    std::scoped_lock lock(g_startupMutex);
    return g_settings;
}

}  // namespace sorvik
