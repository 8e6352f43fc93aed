// sorvik-cli tasks: the task list with its run statistics.

#include <iostream>

#include "cli/cli_command.h"
#include "text/strings.h"
#include "workbench/task_list.h"

namespace sorvik::cli {

namespace {

int RunTasks(CliContext& context) {
    std::string listText = "3";
    bool ok = true;
    TakeOption(context.args, "--list", listText, ok);
    if (!ok || !context.args.empty())
        return UsageError("tasks [--list 3|4|5]");
    const int list = ToInt(listText);
    if (list < 3 || list > 5)
        return UsageError("--list must be 3, 4 or 5");

    std::vector<TaskListRow> rows;
    std::string error;
    if (!LoadTaskList(list, rows, error)) {
        PrintError(error);
        return 1;
    }
    std::string line = "ID\t状态";
    for (const std::string& title : TaskListTitles())
        line += "\t" + title;
    PrintLine(std::cout, line);
    for (const TaskListRow& row : rows) {
        line = Format("%d\t%d", row.id, row.status);
        for (const std::string& cell : row.columns)
            line += "\t" + TabSafe(cell);
        PrintLine(std::cout, line);
    }
    return 0;
}

const CliCommandRegistrar kTasks({"tasks", "tasks [--list 3|4|5]", false, RunTasks});

}  // namespace

}  // namespace sorvik::cli
