// sorvik-cli tasks: the task list with its run statistics.

#include <iostream>

#include "cli/cli_command.h"
#include "cli/cli_messages.h"
#include "text/strings.h"
#include "workbench/task_list.h"

namespace sorvik::cli {

namespace {

int RunTasks(CliContext& context) {
    static constexpr char kUsage[] = "tasks [--list 3|4|5 | --all]";
    std::string listText = "3";
    bool ok = true;
    const bool hasList = TakeOption(context.args, "--list", listText, ok);
    const bool all = TakeFlag(context.args, "--all");
    if (!ok || !context.args.empty() || (all && hasList))
        return UsageOf(kUsage);
    const int list = ToInt(listText);
    if (list < 3 || list > 5)
        return ArgumentError(Text(Msg::kListWords));

    std::vector<TaskListRow> rows;
    for (const int shown : all ? std::vector<int>{3, 4, 5} : std::vector<int>{list}) {
        std::vector<TaskListRow> listRows;
        std::string error;
        if (!LoadTaskList(shown, listRows, error)) {
            PrintError(error);
            return 1;
        }
        rows.insert(rows.end(), listRows.begin(), listRows.end());
    }
    std::string line = "ID\t状态";
    for (const std::string& title : TaskListTitles())
        line += "\t" + title;
    PrintLine(std::cout, line);
    for (const TaskListRow& row : rows) {
        line = std::to_string(row.id) + "\t" + TaskStateWord(row.status, row.list);
        for (const std::string& cell : row.columns)
            line += "\t" + TabSafe(cell);
        PrintLine(std::cout, line);
    }
    return 0;
}

const CliCommandRegistrar kTasks({"tasks", "tasks [--list 3|4|5 | --all]", false, RunTasks});

}  // namespace

}  // namespace sorvik::cli
