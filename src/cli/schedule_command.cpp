// sorvik-cli schedule: a task's planned start times, edited with the checks of the plan dialog.
// The series form "N,S" continues from the last time of the plan (the dialog's selected entry).

#include <algorithm>
#include <iostream>

#include "cli/cli_command.h"
#include "cli/cli_messages.h"
#include "text/code_page.h"
#include "text/strings.h"
#include "workbench/schedule.h"

namespace sorvik::cli {

namespace {

constexpr char kUsage[] = "schedule ID [--add TIME]... [--remove TIME]... [--list]";

int RunSchedule(CliContext& context) {
    bool ok = true;
    std::vector<std::string> additions;
    for (std::string time; TakeOption(context.args, "--add", time, ok);)
        additions.push_back(Utf8ToGb(time));
    std::vector<std::string> removals;
    for (std::string time; TakeOption(context.args, "--remove", time, ok);)
        removals.push_back(Utf8ToGb(time));
    const bool list = TakeFlag(context.args, "--list");
    if (!ok || context.args.size() > 1)
        return UsageOf(kUsage);
    int id = 0;
    if (const int status = FirstTaskId(context.args, kUsage, id); status != 0)
        return status;

    std::vector<std::string> times;
    std::string error;
    if (!ReadTaskPlan(id, times, error)) {
        PrintError(error);
        return 1;
    }
    TaskPlanList plan(std::move(times));
    for (std::string& time : removals) {
        const auto& entries = plan.Entries();
        const auto found = std::find(entries.begin(), entries.end(), time);
        if (found == entries.end()) {
            PrintError(Format(Text(Msg::kNoSuchPlanTime).c_str(), time.c_str()));
            return 1;
        }
        plan.Select(static_cast<int>(found - entries.begin()));
        plan.Remove(time);
    }
    const LocalTime now = LocalTimeNow();
    for (std::string& time : additions) {
        plan.Select(static_cast<int>(plan.Entries().size()) - 1);
        std::string message;
        if (!plan.Add(time, now, message)) {
            PrintError(message.empty() ? Format(Text(Msg::kNotANumber).c_str(), "--add") : message);
            return 1;
        }
    }
    if ((!additions.empty() || !removals.empty()) && !SaveTaskPlan(id, plan.Entries(), error)) {
        PrintError(error);
        return 1;
    }
    if (list || (additions.empty() && removals.empty())) {
        for (const std::string& time : plan.Entries())
            PrintLine(std::cout, time);
    }
    return 0;
}

const CliCommandRegistrar kSchedule({"schedule", kUsage, false, RunSchedule});

}  // namespace

}  // namespace sorvik::cli
