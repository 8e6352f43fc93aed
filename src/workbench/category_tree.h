#pragma once
// The category tree behind the tree pane: loading TreeItems in display order, and the category
// commands new, rename and delete. Free of any window; the GUI adapts it, the command line prints
// it. Every operation takes g_csDatabase for its database work.

#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

// Node kinds (TreeItems.iType).
inline constexpr int kKindResults = 0;  // shows the results of its task
inline constexpr int kKindScriptEditor = 6;

struct CategoryNode {
    int id = 0;
    std::string name;
    int parentId = 0;
    int order = 0;
    int image = 0;
    bool expanded = false;
    int kind = 0;
    int taskId = 0;    // iTask; 0 none
    std::string germ;  // cGerm, the seed code
    int version = 0;   // iVer
    int depth = 0;     // 0 for a top-level node
};

// The whole tree in display order: each node followed by its children ("order by iOrder"),
// starting with the nodes under parent 0. A node filed under itself or under one of its own
// children is never reached and never loops. False with the error.
bool LoadCategoryTree(std::vector<CategoryNode>& nodes, std::string& error);

// One node; false with "类别%d不存在！" or the database error.
bool ReadCategory(int id, CategoryNode& node, std::string& error);

// Stores a node's expand flag: "update TreeItems set bExpand=%d where ID=%d". False with the error.
bool SetCategoryExpanded(int id, bool expanded, std::string& error);

// Creates one category per line of text (CR LF or LF), each line trimmed (an empty line gives an
// empty name), in order, as last children of the parent with icon 2. Returns the new IDs; on the
// first failure stops with the error (g_strDbError) and returns the IDs made so far.
std::vector<int> NewCategories(std::string_view text, int parentId, std::string& error);

// The name trimmed and cut to its first 50 characters.
std::string CategoryNameForRename(std::string_view name);

// Renames a category (CategoryNameForRename). False with the error: "类别%d不存在！", or
// g_strDbError of the rename.
bool RenameCategoryNode(int id, std::string_view name, std::string& error);

// Whether the delete command is offered for the node: it must be a result category (kind 0)
// without children, and its task must not be built in. False with the reason.
bool CanDeleteCategory(int id, std::string& reason);

// Deletes the node and every node below it; when the node has a task, also the task's results
// (from its "#表名=" table, by "#表数据过滤条件=" or "iNode_=<shared task number>"), its schedule
// rows and its task row. One transaction: on failure nothing is deleted and error holds
// "删除失败！" with the database's reason. A result table that does not exist (the task never
// ran) has no results to delete.
bool DeleteCategory(int id, std::string& error);

}  // namespace sorvik
