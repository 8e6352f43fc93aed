#pragma once
// The system tables of the database and their default rows. A new database gets them at first
// start; an existing one is left as it is (missing tables are added, rows are never replaced).

#include <string>

namespace sorvik {

// Well-known category nodes of the default tree.
inline constexpr int kNodeTaskManager = 40;     // grouping node of the three task lists
inline constexpr int kNodeActiveTasks = 44;     // task list of active tasks (kind 3); the default selection
inline constexpr int kNodeFinishedTasks = 45;   // "已完成" (kind 4)
inline constexpr int kNodeDeletedTasks = 46;    // deleted tasks (kind 5)
inline constexpr int kNodeScriptEditor = 41;    // script editor (kind 6)
inline constexpr int kNodeResults = 42;         // grouping node of the result categories
inline constexpr int kNodeDefaultResults = 43;  // a result category (kind 0)

// True for the nodes of the default tree above, which every installation has under the same IDs.
bool IsDefaultNode(long long id);

// Record-view template families in ShowModule.iType1 (mail templates are family 3).
inline constexpr int kTemplateDetailView = 1;
inline constexpr int kTemplateBrowseView = 2;
inline constexpr int kTemplateMail = 3;

// Creates the missing system tables and, for each table created now, its default rows.
// False with the database's reason in error.
bool EnsureSystemTables(std::string& error);

}  // namespace sorvik
