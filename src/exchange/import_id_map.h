#pragma once
// The local IDs of the categories and tasks a seed or fruit brings. IDs are numbered per
// installation, so a file's category 100 or task 3 may already be a different row here. Before
// any statement runs, the map decides for every category and task row the file inserts:
//   - a row with the same seed code (cGerm) exists here: that row is the same one; its ID is used;
//   - else a node of the default tree (same ID and kind here, no seed code yet) is that node: it
//     takes the file's seed code instead of being inserted again;
//   - else the file's ID is free here: it is kept;
//   - else a fresh ID is allocated (above every ID of the file and of this database).
// The statements are then rewritten with the local IDs: TreeItems.ID, ParentItemID and iTask,
// Task.ID, the "#类别号=" and "#共用任务号=" keys of the scripts, the iNode_ of result rows and the
// names of the download folders. A category whose parent is neither in the file nor here is filed
// under the "搜索结果" node. Updates never change a row's ID (its children and tasks refer to it).
// Afterwards the ID counters are raised above every ID in use, so that categories and tasks made
// here later never collide with imported ones.

#include <map>
#include <string>
#include <vector>

#include "exchange/exchange_statement.h"
#include "store/db_access.h"

namespace sorvik {

class ImportIdMap {
  public:
    // Looks at the inserts of TreeItems and Task rows. The caller holds g_csDatabase from here
    // until the statements have run. False with the reason in error.
    bool Plan(const std::vector<ExchangeStatement>& statements, std::string& error);

    // Rewrites one statement with the local IDs; false when nothing is left to run.
    bool Apply(ExchangeStatement& statement);

    // The download folder name for a folder record of the file.
    std::string MapFolder(const std::string& name) const;

    // Raises Task_ID and TreeItems_ID above the largest IDs of Task and TreeItems.
    bool RaiseIdCounters(std::string& error);

    long long LocalCategory(long long fileId) const;  // the file's ID when not mapped
    long long LocalTask(long long fileId) const;

  private:
    long long MaxId(const char* table);
    bool RaiseCounter(const char* counterTable, long long atLeast, std::string& error);
    void RewriteScript(SqlValue& script) const;
    // The parent of a category row; -1 when an update should leave the parent as it is.
    long long LocalParent(long long fileParent, bool insert);

    CDbAccess db_;
    std::map<long long, long long> categories_;
    std::map<long long, long long> tasks_;
    std::map<long long, std::string> adoptedGerms_;  // default nodes joined, with their new seed codes
    long long fallbackParent_ = 0;
};

}  // namespace sorvik
