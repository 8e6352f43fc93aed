#pragma once
// Start-up recovery of runs that a dead process (a crash, kill -9, power loss) left behind.

namespace sorvik {

// Marks Task rows left waiting or running (iStatus 0 or 1) as paused (2), keeping whatever resume
// point they hold (cNextSite, iStartPage, keyword cursor), so that they can be resumed instead of
// looking as if they still ran. Call once at start-up, before anything is dispatched.
// holdsInstanceLock: this process holds the home folder's instance lock, so no other process runs
// tasks; otherwise rows are changed only when no process holds the lock (and never when the
// settings allow several instances, since another one may be running them). Returns the number of
// rows changed, or -1 on a database error.
int RecoverStaleRuns(bool holdsInstanceLock);

}  // namespace sorvik
