#include "exchange/seed_codes.h"

#include <mutex>
#include <random>
#include <set>
#include <vector>

#include "store/database.h"
#include "store/db_access.h"
#include "store/transaction.h"
#include "text/strings.h"

namespace sorvik {

namespace {

bool CodeInUse(CDbAccess& db, const std::string& code) {
    const std::string where = Format("cGerm='%s'", SqlQuote(code).c_str());
    return db.RecordExists("TreeItems", where) || db.RecordExists("Task", where);
}

}  // namespace

std::string NewSeedCode() {
    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    std::random_device random;
    while (true) {
        const unsigned long long value = (static_cast<unsigned long long>(random()) << 32) ^ random();
        std::string code = Format("G%016llX", value);
        if (!CodeInUse(db, code))
            return code;
    }
}

bool AssignSeedCodes(int nodeId, int& assigned, std::string& error) {
    assigned = 0;
    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    if (!db.RecordExists("TreeItems", Format("ID=%d", nodeId))) {
        error = Format("类别%d不存在！", nodeId);
        return false;
    }
    // Codes given before a failure are taken back when the transaction ends uncommitted.
    auto rollback = [&](const std::string& reason) {
        error = reason.empty() ? std::string("读取表失败！") : reason;
        assigned = 0;
        return false;
    };
    std::string reason;
    Transaction transaction(reason);
    if (!transaction.IsOpen())
        return rollback(reason);
    std::vector<int> pending{nodeId};
    std::set<int> seen;
    while (!pending.empty()) {
        const int id = pending.back();
        pending.pop_back();
        if (!seen.insert(id).second)
            continue;
        auto row = db.OpenRecordset(Format("select ID,cGerm,iTask from TreeItems where ID=%d", id));
        if (!row)
            return rollback(db.m_strError);
        if (row->IsEof())
            continue;
        if (row->Text("cGerm").empty()) {
            if (!db.ExecuteSql(
                    Format("update TreeItems set cGerm='%s' where ID=%d", NewSeedCode().c_str(), id))) {
                return rollback(db.m_strError);
            }
            ++assigned;
        }
        const long long task = row->Int("iTask");
        if (task > 0) {
            auto taskRow = db.OpenRecordset(Format("select ID,cGerm from Task where ID=%lld", task));
            if (!taskRow)
                return rollback(db.m_strError);
            if (!taskRow->IsEof() && taskRow->Text("cGerm").empty()) {
                if (!db.ExecuteSql(
                        Format("update Task set cGerm='%s' where ID=%lld", NewSeedCode().c_str(), task))) {
                    return rollback(db.m_strError);
                }
                ++assigned;
            }
        }
        auto children = db.OpenRecordset(Format("select ID from TreeItems where ParentItemID=%d", id));
        if (!children)
            return rollback(db.m_strError);
        for (; !children->IsEof(); children->MoveNext())
            pending.push_back(static_cast<int>(children->Int("ID")));
    }
    if (!transaction.Commit(reason))
        return rollback(reason);
    return true;
}

}  // namespace sorvik
