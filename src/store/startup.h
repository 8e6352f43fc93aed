#pragma once
// Start-up of the core: home folder, settings, instance lock, database connection, system tables.

#include <string>

#include "store/app_home.h"

namespace sorvik {

struct StartupOptions {
    std::string home;        // --home; empty: $SORVIK_HOME or the default
    bool runsTasks = false;  // takes the single-instance lock (GUI, sorvik-cli run)
};

// Runs the start-up in order. On failure returns false with the message to show in error
// (for a database that can't be opened: "连接SearchResult.ddd数据库失败!\r\n错误信息:%s").
bool StartUp(const StartupOptions& options, std::string& error);

// Closes the database and releases the instance lock.
void ShutDown();

// The settings read at start-up.
const StartupSettings& CurrentStartupSettings();

}  // namespace sorvik
