#include "engine/run_recovery.h"

#include <mutex>

#include "store/app_home.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/startup.h"

namespace sorvik {

int RecoverStaleRuns(bool holdsInstanceLock) {
    if (!holdsInstanceLock &&
        (CurrentStartupSettings().multiInstance || InstanceLockHeldElsewhere(AppDir()))) {
        return 0;
    }
    CDbAccess db;
    std::scoped_lock lock(g_csDatabase);
    // ID 0 is the editor's test task (status 6); the list column (iType) keeps its 3 or 5.
    const long long stale = db.SelectCount("Task", "ID>0 and iStatus in (0,1)");
    if (!db.m_strError.empty())
        return -1;
    if (stale == 0)
        return 0;
    if (!db.ExecuteSql("update Task set iStatus=2 where ID>0 and iStatus in (0,1)"))
        return -1;
    return static_cast<int>(stale);
}

}  // namespace sorvik
