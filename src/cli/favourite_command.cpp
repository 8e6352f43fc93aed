// sorvik-cli favourite list|add: the favourites collections of the category tree.

#include <iostream>
#include <mutex>
#include <set>

#include "cli/cli_command.h"
#include "cli/cli_messages.h"
#include "engine/result_table.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/task_table.h"
#include "text/strings.h"
#include "workbench/category_tree.h"
#include "workbench/favourites.h"
#include "workbench/result_query.h"

namespace sorvik::cli {

namespace {

constexpr const char* kListUsage = "favourite list [--task ID]";
constexpr const char* kAddUsage = "favourite add TASK_ID CATEGORY_ID (--ids ID,... | --all)";

// The records of a favourites task, or -1 when the task is none.
long long FavouriteRecords(int taskId) {
    if (taskId <= 0 || !IsFavouritesTask(taskId))
        return -1;
    std::scoped_lock lock(g_csDatabase);
    CTaskTable tasks;
    const std::string script = tasks.ReadTaskScript(taskId);
    const std::string table = Trim(ScriptValue("#表名=", script));
    if (table.empty() || !ResultTableExists(table))
        return 0;
    return tasks.SelectCount(table, TaskRecordCondition(script, taskId));
}

int FavouriteList(std::vector<std::string>& args) {
    std::string taskText;
    bool ok = true;
    const bool hasTask = TakeOption(args, "--task", taskText, ok);
    if (!ok || !args.empty())
        return UsageOf(kListUsage);
    int taskId = 0;
    if (hasTask) {
        if (const int status = TaskIdArgument(taskText, taskId); status != 0)
            return status;
    }
    std::vector<CategoryNode> nodes;
    std::string error;
    if (!LoadCategoryTree(nodes, error)) {
        PrintError(error);
        return 1;
    }
    const int preselected = hasTask ? DefaultFavouritesCategory(taskId, 0) : 0;
    PrintLine(std::cout, "ID\t任务\t收藏记录数\t名称");
    for (const CategoryNode& node : nodes) {
        const long long records = FavouriteRecords(node.taskId);
        const std::string name = std::string(static_cast<size_t>(node.depth) * 2, ' ') +
                                 (node.id == preselected ? "* " : "") + TabSafe(node.name);
        PrintLine(std::cout, Format("%d\t%s\t%s\t%s", node.id,
                                    node.taskId > 0 ? std::to_string(node.taskId).c_str() : "",
                                    records >= 0 ? std::to_string(records).c_str() : "", name.c_str()));
    }
    return 0;
}

// Every record ID of the task's records, in ID order.
bool AllRecordIds(int taskId, std::vector<long long>& ids, std::string& error) {
    ResultQuery query;
    bool refused = false;
    if (!PrepareResultQuery(taskId, "", query, error, refused))
        return false;
    if (!query.tableExists)
        return true;
    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    auto rows =
        db.OpenRecordset("select ID_ from " + query.table + " where " + query.condition + " order by ID_");
    if (!rows) {
        error = db.m_strError + "\r\n" + db.m_strProviderError;
        return false;
    }
    for (; !rows->IsEof(); rows->MoveNext())
        ids.push_back(rows->Int(size_t{0}));
    return true;
}

int FavouriteAdd(std::vector<std::string>& args) {
    std::string idsText;
    bool ok = true;
    const bool hasIds = TakeOption(args, "--ids", idsText, ok);
    const bool all = TakeFlag(args, "--all");
    int categoryId = 0;
    if (!ok || args.size() != 2 || !ParseIdArgument(args[1], categoryId))
        return UsageOf(kAddUsage);
    if (hasIds == all)
        return ArgumentError(Text(Msg::kFavouriteRecords));
    int taskId = 0;
    if (const int status = TaskIdArgument(args[0], taskId); status != 0)
        return status;
    std::vector<long long> ids;
    std::string error;
    if (hasIds) {
        for (const std::string& item : SplitAll(idsText, ",")) {
            int id = 0;
            if (!ParseIdArgument(Trim(item), id))
                return ArgumentError(Text(Msg::kIdsWords));
            ids.push_back(id);
        }
    } else if (!AllRecordIds(taskId, ids, error)) {
        PrintError(error);
        return 1;
    }
    CollectResult result;
    if (!CollectRecords(taskId, ids, categoryId, result, error)) {
        PrintError(error);
        return 1;
    }
    PrintLine(std::cout, Format(Text(Msg::kFavouriteAdded).c_str(), result.copied, categoryId,
                                result.destinationTaskId));
    return 0;
}

int RunFavourite(CliContext& context) {
    if (context.args.empty())
        return UsageError(Text(Msg::kFavouriteAction));
    const std::string action = context.args.front();
    context.args.erase(context.args.begin());
    if (action == "list")
        return FavouriteList(context.args);
    if (action == "add")
        return FavouriteAdd(context.args);
    return UsageError(Text(Msg::kFavouriteAction));
}

const CliCommandRegistrar kFavourite(
    {"favourite", "favourite list [--task ID] | add TASK_ID CATEGORY_ID (--ids ID,... | --all)", false,
     RunFavourite});

}  // namespace

}  // namespace sorvik::cli
