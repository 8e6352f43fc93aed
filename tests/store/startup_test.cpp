#include "store/startup.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "store/app_home.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/system_tables.h"
#include "support/temp_dir.h"
#include "text/file_helpers.h"

using namespace sorvik;
using sorvik::test::TempDir;

namespace {

const char kConnectFailed[] = "连接SearchResult.ddd数据库失败!\r\n错误信息:";

bool Start(const std::string& home, std::string& error, bool runsTasks = false) {
    StartupOptions options;
    options.home = home;
    options.runsTasks = runsTasks;
    return StartUp(options, error);
}

}  // namespace

TEST(Startup, FirstStartCreatesTheSystemTablesWithDefaultRows) {
    TempDir home;
    std::string error;
    ASSERT_TRUE(Start(home.path(), error)) << error;
    EXPECT_TRUE(FileExists(home.file("DataBase/SearchResult.ddd")));
    CDbAccess db;
    for (const char* table : {"Task", "Task_ID", "TreeItems", "TreeItems_ID", "PlanTask", "ShowModule",
                              "TaskMod", "[Set]", "sc_tm_SearchKey", "sc_ReceiveBox"}) {
        EXPECT_TRUE(db.ExecuteQuery(std::string("select count(*) from ") + table).has_value()) << table;
    }
    // The task lists, the editor node, a result category; the node selected by default exists.
    EXPECT_EQ(db.SelectTopInt("iType", "TreeItems", "ID=44", -1), 3);
    EXPECT_EQ(db.SelectTopString("Name", "TreeItems", "iType=4"), "已完成");
    EXPECT_EQ(db.SelectCount("TreeItems", "iType=5"), 1);
    EXPECT_EQ(db.SelectCount("TreeItems", "iType=6"), 1);
    EXPECT_GE(db.SelectCount("TreeItems", "iType=0"), 1);
    EXPECT_EQ(db.SelectTopInt("iType", "Task", "ID=0", -1), 3);
    EXPECT_GE(db.SelectCount("TaskMod", "iMod=1"), 3);
    EXPECT_GE(db.SelectCount("ShowModule", "iType1=3 and iType2=0"), 1);
    // A second start adds nothing: the CLI init test runs init twice and compares the rows.
    ShutDown();
}

TEST(Startup, SettingsFileChoosesTheDatabaseAndTheDebugTrace) {
    TempDir home;
    ASSERT_TRUE(WriteWholeFile(home.file("scSet.txt"), "DBPath=data/my.ddd\nTest=1\r\nMuli=1\r\n"));
    std::string error;
    ASSERT_TRUE(Start(home.path(), error)) << error;
    EXPECT_TRUE(FileExists(home.file("data/my.ddd")));
    EXPECT_TRUE(CurrentStartupSettings().multiInstance);
    ASSERT_TRUE(g_bDebug);
    DebugLog("first", "标题");
    EXPECT_TRUE(FileExists(home.file("debug.txt")));
    ShutDown();
    g_bDebug = false;
}

TEST(Startup, ADatabaseThatCannotBeOpenedGivesTheConnectMessageWithTheReason) {
    TempDir home;
    ASSERT_TRUE(MakeDirectories(home.file("DataBase")));
    ASSERT_TRUE(WriteWholeFile(home.file("DataBase/SearchResult.ddd"), std::string(4096, 'x')));
    // A file that is not a database, a path that names a folder, a folder that can't be made.
    for (const std::string& settings : {std::string(), "DBPath=" + home.file("DataBase") + "\r\n",
                                        std::string("DBPath=/proc/sorvik-no/x.ddd\r\n")}) {
        ASSERT_TRUE(WriteWholeFile(home.file("scSet.txt"), settings));
        std::string error;
        EXPECT_FALSE(Start(home.path(), error));
        EXPECT_EQ(error.rfind(kConnectFailed, 0), 0u) << error;
        EXPECT_GT(error.size(), sizeof(kConnectFailed));
        EXPECT_FALSE(TheDatabase().IsOpen());
    }
}

TEST(Startup, OneProcessRunsTasksPerHomeAndADeadHolderFreesTheLock) {
    TempDir home;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        InstanceLock lock;
        std::string error;
        const char ok = lock.Acquire(home.path(), error) ? '1' : '0';
        [[maybe_unused]] ssize_t n = write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');
    EXPECT_TRUE(InstanceLockHeldElsewhere(home.path()));

    std::string error;
    EXPECT_FALSE(Start(home.path(), error, /*runsTasks=*/true));
    EXPECT_FALSE(error.empty());
    // Commands that run no tasks may run beside the holder.
    EXPECT_TRUE(Start(home.path(), error, /*runsTasks=*/false)) << error;
    ShutDown();

    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_FALSE(InstanceLockHeldElsewhere(home.path()));
    EXPECT_TRUE(Start(home.path(), error, /*runsTasks=*/true)) << error;
    ShutDown();
    close(ready[0]);
    close(ready[1]);
}
