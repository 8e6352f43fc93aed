#include "workbench/category_tree.h"

#include <mutex>
#include <set>

#include "engine/result_table.h"
#include "script/script_keys.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/task_table.h"
#include "store/transaction.h"
#include "text/gb_text.h"
#include "text/strings.h"

namespace sorvik {

namespace {

constexpr int kNewCategoryIcon = 2;
constexpr size_t kMaxNameChars = 50;

CategoryNode NodeFromRow(const Recordset& rows, int depth) {
    CategoryNode node;
    node.id = static_cast<int>(rows.Int("ID"));
    node.name = rows.Text("Name");
    node.parentId = static_cast<int>(rows.Int("ParentItemID"));
    node.order = static_cast<int>(rows.Int("iOrder"));
    node.image = static_cast<int>(rows.Int("iImage"));
    node.expanded = rows.Int("bExpand") != 0;
    node.kind = static_cast<int>(rows.Int("iType"));
    node.taskId = static_cast<int>(rows.Int("iTask"));
    node.germ = rows.Text("cGerm");
    node.version = static_cast<int>(rows.Int("iVer"));
    node.depth = depth;
    return node;
}

bool LoadLevel(CDbAccess& db, int parentId, int depth, std::set<int>& seen, std::vector<CategoryNode>& nodes,
               std::string& error) {
    auto rows =
        db.OpenRecordset(Format("SELECT * FROM TreeItemS where ParentItemID=%d order by iOrder", parentId));
    if (!rows) {
        error = db.m_strError;
        return false;
    }
    for (; !rows->IsEof(); rows->MoveNext()) {
        CategoryNode node = NodeFromRow(*rows, depth);
        if (!seen.insert(node.id).second)
            continue;
        const int id = node.id;
        nodes.push_back(std::move(node));
        if (!LoadLevel(db, id, depth + 1, seen, nodes, error))
            return false;
    }
    return true;
}

}  // namespace

bool LoadCategoryTree(std::vector<CategoryNode>& nodes, std::string& error) {
    std::scoped_lock lock(g_csDatabase);
    nodes.clear();
    CDbAccess db;
    std::set<int> seen{0};
    return LoadLevel(db, 0, 0, seen, nodes, error);
}

bool ReadCategory(int id, CategoryNode& node, std::string& error) {
    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    auto rows = db.OpenRecordset(Format("select * from TreeItems where ID=%d", id));
    if (!rows) {
        error = db.m_strError;
        return false;
    }
    if (rows->IsEof()) {
        error = Format("类别%d不存在！", id);
        return false;
    }
    node = NodeFromRow(*rows, 0);
    return true;
}

bool SetCategoryExpanded(int id, bool expanded, std::string& error) {
    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    if (!db.ExecuteSql(Format("update TreeItems set bExpand=%d where ID=%d", expanded ? 1 : 0, id))) {
        error = db.m_strError;
        return false;
    }
    return true;
}

std::vector<int> NewCategories(std::string_view text, int parentId, std::string& error) {
    std::string lines(text);
    ReplaceAll(lines, "\r\n", "\n");
    std::vector<int> ids;
    std::scoped_lock lock(g_csDatabase);
    CTaskTable table;
    for (const std::string& line : SplitAll(lines, "\n")) {
        const int id = table.NewCategory(Trim(line), parentId, kNewCategoryIcon);
        if (id <= 0) {
            error = g_strDbError.Get();
            break;
        }
        ids.push_back(id);
    }
    return ids;
}

std::string CategoryNameForRename(std::string_view name) {
    return std::string(GbPrefixChars(Trim(name), kMaxNameChars));
}

bool RenameCategoryNode(int id, std::string_view name, std::string& error) {
    std::scoped_lock lock(g_csDatabase);
    CategoryNode node;
    if (!ReadCategory(id, node, error))
        return false;
    CTaskTable table;
    if (!table.RenameCategory(id, CategoryNameForRename(name))) {
        error = g_strDbError.Get();
        return false;
    }
    return true;
}

bool CanDeleteCategory(int id, std::string& reason) {
    std::scoped_lock lock(g_csDatabase);
    CategoryNode node;
    if (!ReadCategory(id, node, reason))
        return false;
    if (node.kind != kKindResults) {
        reason = "只能删除结果类别！";
        return false;
    }
    CDbAccess db;
    if (db.RecordExists("TreeItems", Format("ParentItemID=%d", id))) {
        reason = "该类别下还有类别，不能删除！";
        return false;
    }
    if (node.taskId > 0) {
        CTaskTable table;
        if (table.ReadTaskInt("iMod", node.taskId) > 0) {
            reason = Format("系统的内置任务不能删除！(任务：%s)",
                            table.ReadTaskField("cTask", node.taskId).c_str());
            return false;
        }
    }
    return true;
}

bool DeleteCategory(int id, std::string& error) {
    std::scoped_lock lock(g_csDatabase);
    CategoryNode node;
    if (!ReadCategory(id, node, error))
        return false;
    CTaskTable db;
    // Whatever was deleted before a failure comes back when the transaction ends uncommitted.
    auto fail = [&](std::string reason = {}) {
        if (reason.empty())
            reason = db.m_strProviderError.empty() ? db.m_strError : db.m_strProviderError;
        error = "删除失败！";
        if (!reason.empty() && reason != error)
            error += "\r\n" + reason;
        return false;
    };

    // The node and everything below it.
    std::vector<int> collected;
    std::vector<int> pending{id};
    std::set<int> seen;
    while (!pending.empty()) {
        const int current = pending.back();
        pending.pop_back();
        if (!seen.insert(current).second)
            continue;
        collected.push_back(current);
        auto children = db.OpenRecordset(Format("select ID from TreeItems where ParentItemID=%d", current));
        if (!children)
            return fail();
        for (; !children->IsEof(); children->MoveNext())
            pending.push_back(static_cast<int>(children->Int("ID")));
    }

    std::string reason;
    Transaction transaction(reason);
    if (!transaction.IsOpen())
        return fail(reason);
    for (const int current : collected) {
        if (!db.DeleteRecords("TreeItems", Format("where ID=%d", current)))
            return fail();
    }
    if (node.taskId > 0 && db.TaskExists(node.taskId)) {
        const std::string script = db.ReadTaskScript(node.taskId);
        const std::string table = Trim(ScriptValue(key::kTable, script));
        const std::string condition = TaskRecordCondition(script, node.taskId);
        if (!table.empty() && !db.DeleteRecords(table, "where " + condition)) {
            // A task that never ran has no table; any other failure stops the delete.
            CDbAccess probe;
            if (probe.OpenRecordset(Format("select top 1 * from %s", table.c_str())))
                return fail();
        }
        // Schedule rows of a task that no longer exists would start nothing.
        if (!db.DeleteRecords("PlanTask", Format("where iTaskID=%d", node.taskId)) ||
            !db.DeleteRecords("Task", Format("where ID=%d", node.taskId))) {
            return fail();
        }
    }
    if (!transaction.Commit(reason))
        return fail(reason);
    return true;
}

}  // namespace sorvik
