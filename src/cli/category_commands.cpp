// sorvik-cli categories and category new|rename|delete|assign-seed: the category tree.

#include <iostream>
#include <map>

#include "cli/cli_command.h"
#include "cli/cli_messages.h"
#include "exchange/seed_codes.h"
#include "store/db_access.h"
#include "store/system_tables.h"
#include "text/code_page.h"
#include "text/strings.h"
#include "workbench/category_tree.h"

namespace sorvik::cli {

namespace {

int RunCategories(CliContext& context) {
    if (!context.args.empty())
        return UsageError(Format(Text(Msg::kNoArguments).c_str(), "categories"));
    std::vector<CategoryNode> nodes;
    std::string error;
    if (!LoadCategoryTree(nodes, error)) {
        PrintError(error);
        return 1;
    }
    std::map<int, std::string> taskNames;
    CDbAccess db;
    if (auto tasks = db.OpenRecordset("select ID,cTask from Task")) {
        for (; !tasks->IsEof(); tasks->MoveNext())
            taskNames[static_cast<int>(tasks->Int("ID"))] = tasks->Text("cTask");
    }
    PrintLine(std::cout, "ID\t类型\t任务\t任务名称\t种子号\t名称");
    for (const CategoryNode& node : nodes) {
        std::string task, taskName;
        if (node.taskId > 0) {
            task = std::to_string(node.taskId);
            const auto found = taskNames.find(node.taskId);
            taskName = found == taskNames.end() ? "(不存在)" : found->second;
        }
        const std::string name = std::string(static_cast<size_t>(node.depth) * 2, ' ') + TabSafe(node.name);
        PrintLine(std::cout, Format("%d\t%d\t%s\t%s\t%s\t%s", node.id, node.kind, task.c_str(),
                                    taskName.c_str(), node.germ.c_str(), name.c_str()));
    }
    return 0;
}

int CategoryNew(std::vector<std::string>& args) {
    std::string parentText = std::to_string(kNodeResults);
    bool ok = true;
    TakeOption(args, "--parent", parentText, ok);
    int parent = 0;
    if (!ok || args.size() != 1 || !ParseIdArgument(parentText, parent))
        return UsageOf("category new NAME [--parent ID]");
    std::string error;
    CategoryNode parentNode;
    if (!ReadCategory(parent, parentNode, error)) {
        PrintError(error);
        return 1;
    }
    const std::vector<int> ids = NewCategories(ExternalTextToGb(args[0]), parent, error);
    for (const int id : ids)
        std::cout << id << "\n";
    if (!error.empty()) {
        PrintError(error);
        return 1;
    }
    return 0;
}

int CategoryRename(std::vector<std::string>& args) {
    int id = 0;
    if (args.size() != 2 || !ParseIdArgument(args[0], id))
        return UsageOf("category rename ID NAME");
    std::string error;
    if (!RenameCategoryNode(id, ExternalTextToGb(args[1]), error)) {
        PrintError(error);
        return 1;
    }
    PrintLine(std::cout, Format(Text(Msg::kCategoryRenamed).c_str(), id,
                                CategoryNameForRename(ExternalTextToGb(args[1])).c_str()));
    return 0;
}

// The command line is the confirmation: "删除当前类别吗？" is not asked.
int CategoryDelete(std::vector<std::string>& args) {
    int id = 0;
    if (args.size() != 1 || !ParseIdArgument(args[0], id))
        return UsageOf("category delete ID");
    std::string error;
    if (!CanDeleteCategory(id, error) || !DeleteCategory(id, error)) {
        PrintError(error);
        return 1;
    }
    PrintLine(std::cout, Format(Text(Msg::kCategoryDeleted).c_str(), id));
    return 0;
}

int CategoryAssignSeed(std::vector<std::string>& args) {
    int id = 0;
    if (args.size() != 1 || !ParseIdArgument(args[0], id))
        return UsageOf("category assign-seed ID");
    int assigned = 0;
    std::string error;
    if (!AssignSeedCodes(id, assigned, error)) {
        PrintError(error);
        return 1;
    }
    PrintLine(std::cout, Format(Text(Msg::kSeedCodesAssigned).c_str(), assigned));
    return 0;
}

int RunCategory(CliContext& context) {
    std::vector<std::string>& args = context.args;
    if (args.empty())
        return UsageError(Text(Msg::kCategoryAction));
    const std::string action = args.front();
    args.erase(args.begin());
    if (action == "new")
        return CategoryNew(args);
    if (action == "rename")
        return CategoryRename(args);
    if (action == "delete")
        return CategoryDelete(args);
    if (action == "assign-seed")
        return CategoryAssignSeed(args);
    return UsageError(Format(Text(Msg::kUnknownAction).c_str(), Utf8ToGb(action).c_str()));
}

const CliCommandRegistrar kCategories({"categories", "categories", false, RunCategories});
const CliCommandRegistrar kCategory(
    {"category", "category new NAME [--parent ID] | rename ID NAME | delete ID | assign-seed ID", false,
     RunCategory});

}  // namespace

}  // namespace sorvik::cli
