// sorvik-cli task show|edit|rename|delete|restart: the task list's commands on one task.

#include <iostream>

#include "cli/cli_command.h"
#include "cli/cli_messages.h"
#include "engine/run_recovery.h"
#include "store/database.h"
#include "store/keyword_file.h"
#include "store/startup.h"
#include "store/task_table.h"
#include "text/code_page.h"
#include "text/strings.h"
#include "workbench/task_actions.h"
#include "workbench/task_list.h"

namespace sorvik::cli {

namespace {

constexpr char kUsage[] =
    "task show ID | edit ID SCRIPT | rename ID NAME | delete ID [--purge] [--yes] | restart ID [--threads N]";

// A text of CR LF lines as terminal lines.
void PrintBlock(std::string text) {
    ReplaceAll(text, "\r\n", "\n");
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    if (!text.empty())
        PrintLine(std::cout, text);
}

int TaskShow(int id, const std::vector<std::string>& rest) {
    if (!rest.empty())
        return UsageOf(kUsage);
    CTaskTable table;
    std::string script, settings, nextUrl;
    int status = 0, list = 0, page = 0;
    std::vector<std::pair<Msg, std::string>> lines;
    {
        std::scoped_lock lock(g_csDatabase);
        script = table.ReadTaskScript(id);
        settings = table.ReadTaskText(id, true);
        status = table.ReadTaskInt("iStatus", id);
        list = table.ReadTaskInt("iType", id);
        nextUrl = table.ReadTaskField("cNextSite", id);
        page = table.ReadTaskInt("iStartPage", id);
        const auto field = [&](const char* column) { return table.ReadTaskField(column, id); };
        const auto count = [&](const char* column) { return std::to_string(table.ReadTaskInt(column, id)); };
        lines = {{Msg::kShowName, field("cTask")},
                 {Msg::kShowUrl, field("cWeb")},
                 {Msg::kShowStart, FormatListDate(field("dStartTime"))},
                 {Msg::kShowEnd, FormatListDate(field("dEndTime"))},
                 {Msg::kShowTime, FormatListSpan(field("iUseTime"))},
                 {Msg::kShowRecords, count("iRecordCount")},
                 {Msg::kShowRecordBytes, count("iRecordSize")},
                 {Msg::kShowLinks, count("iConnCount")},
                 {Msg::kShowPageBytes, count("iWebBytes")}};
    }
    const Msg listName = list == 5 ? Msg::kListDeleted : list == 4 ? Msg::kListFinished : Msg::kListActive;
    PrintLine(std::cout, Format("ID: %d", id));
    PrintLine(std::cout, Text(Msg::kShowStatus) + ": " + TaskStateWord(status, list));
    PrintLine(std::cout, Text(Msg::kShowList) + ": " + Text(listName) + Format(" (%d)", list));
    for (const auto& [label, value] : lines)
        PrintLine(std::cout, Text(label) + ": " + value);
    if (!nextUrl.empty())
        PrintLine(std::cout, Text(Msg::kShowResume) + ": " + nextUrl + Format(" (%d)", page));
    PrintLine(std::cout, "[" + Text(Msg::kShowScript) + "]");
    PrintBlock(script);
    PrintLine(std::cout, "[" + Text(Msg::kShowSettings) + "]");
    PrintBlock(settings);
    return 0;
}

int TaskEdit(int id, const std::vector<std::string>& rest) {
    if (rest.size() != 1)
        return UsageOf(kUsage);
    std::string bytes;
    if (!ReadInputFile(rest[0], bytes))
        return 1;
    std::string error;
    if (!ReplaceTaskScript(id, ExternalTextAsLines(bytes), error)) {
        PrintError(error);
        return 1;
    }
    PrintLine(std::cout, Format(Text(Msg::kTaskScriptReplaced).c_str(), id));
    return 0;
}

int TaskRename(int id, const std::vector<std::string>& rest) {
    if (rest.size() != 1)
        return UsageOf(kUsage);
    const std::string name = Trim(ExternalTextToGb(rest[0]));
    std::string error;
    if (!RenameTask(id, name, error)) {
        PrintError(error);
        return 1;
    }
    PrintLine(std::cout, Format(Text(Msg::kTaskRenamed).c_str(), id, name.c_str()));
    return 0;
}

// A task that a live run holds can't be deleted or restarted from here: the run belongs to
// another process. Rows left "running" by a dead process are made paused first.
bool RefuseWhileRunning(int id, bool holdsLock) {
    RecoverStaleRuns(holdsLock);
    if (!TaskIsRunning(id))
        return false;
    PrintError(Format(Text(Msg::kTaskRunning).c_str(), id));
    return true;
}

int TaskDelete(int id, std::vector<std::string> rest) {
    const bool purgeAsked = TakeFlag(rest, "--purge");
    const bool yes = TakeFlag(rest, "--yes");
    if (!rest.empty())
        return UsageOf(kUsage);
    if (RefuseWhileRunning(id, false))
        return 1;
    std::string error;
    int list = 0;
    {
        std::scoped_lock lock(g_csDatabase);
        list = CTaskTable().ReadTaskInt("iType", id);
    }
    // From the deleted list a delete is for good, as in the task list.
    if (!purgeAsked && list != 5) {
        if (!MoveTaskToDeleted(id, error)) {
            PrintError(error);
            return 1;
        }
        PrintLine(std::cout, Format(Text(Msg::kTaskMovedToDeleted).c_str(), id, id));
        return 0;
    }
    PurgeResult result;
    if (!DeleteTaskForGood(id, true, yes, result, error)) {
        PrintError(error);
        return 1;
    }
    if (result.sharedResultsKept)
        PrintError(Format(Text(Msg::kSharedResultsKept).c_str(), id));
    PrintLine(std::cout,
              Format(Text(Msg::kTaskPurgedResults).c_str(), id, static_cast<int>(result.resultRows)));
    return 0;
}

// "重新搜索": the task starts again from its start URL (and its first keyword) with fresh
// statistics, then runs as `run` runs it.
int TaskRestart(CliContext& context, int id, std::vector<std::string> rest) {
    if (RefuseWhileRunning(id, !CurrentStartupSettings().multiInstance))
        return 1;
    std::string error;
    if (!ResetTaskForRestart(id, error)) {
        PrintError(error);
        return 1;
    }
    for (const CliCommand& command : RegisteredCommands()) {
        if (std::string_view(command.name) != "run")
            continue;
        rest.insert(rest.begin(), std::to_string(id));
        context.args = std::move(rest);
        context.keywordList = LoadTaskKeywords(id);
        return command.run(context);
    }
    return 1;
}

int RunTask(CliContext& context) {
    std::vector<std::string> args = context.args;
    if (args.empty()) {
        PrintError(Text(Msg::kTaskAction));
        return UsageOf(kUsage);
    }
    const std::string action = args.front();
    args.erase(args.begin());
    if (action != "show" && action != "edit" && action != "rename" && action != "delete" &&
        action != "restart")
        return ArgumentError(Format(Text(Msg::kUnknownAction).c_str(), Utf8ToGb(action).c_str()));
    int id = 0;
    if (const int status = FirstTaskId(args, kUsage, id); status != 0)
        return status;
    args.erase(args.begin());
    if (action == "show")
        return TaskShow(id, args);
    if (action == "edit")
        return TaskEdit(id, args);
    if (action == "rename")
        return TaskRename(id, args);
    if (action == "delete")
        return TaskDelete(id, std::move(args));
    return TaskRestart(context, id, std::move(args));
}

bool RestartRunsTasks(const std::vector<std::string>& args) {
    return !args.empty() && args.front() == "restart";
}

const CliCommandRegistrar kTask({"task", kUsage, false, RunTask, RestartRunsTasks});

}  // namespace

}  // namespace sorvik::cli
