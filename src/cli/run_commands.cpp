// sorvik-cli add, run, resume and serve: creating a task from a script file and running tasks
// headless.
//
// run and resume drive the run controller with its host loop (RunUntilIdle) and show the progress
// line on standard error. serve runs the same loop without end, with the schedule's 2-second tick
// beside the dispatch timer, and starts the tasks whose planned time has come.
// SIGINT or SIGTERM pauses every run (reason 8) and waits for the workers, so that the Task rows
// keep their resume points and resume continues with the same keyword and page.

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <map>
#include <optional>

#include "cli/cli_command.h"
#include "cli/cli_messages.h"
#include "cli/progress_line.h"
#include "engine/run_controller.h"
#include "engine/run_recovery.h"
#include "engine/url_list.h"
#include "mail/send_mail_task.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/startup.h"
#include "store/task_table.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/strings.h"
#include "workbench/schedule.h"
#include "workbench/task_actions.h"

namespace sorvik::cli {

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) {
    g_interrupted = true;
}

// Installs the pause-on-signal handlers for the life of the object.
class InterruptHandlers {
  public:
    InterruptHandlers() {
        g_interrupted = false;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &oldInt_);
        sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~InterruptHandlers() {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
    }
    InterruptHandlers(const InterruptHandlers&) = delete;
    InterruptHandlers& operator=(const InterruptHandlers&) = delete;

  private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

// The terminal side of a run: the progress line on standard error and the end of each run.
class CliRunObserver : public RunObserver {
  public:
    explicit CliRunObserver(bool quiet) : progress(quiet) {}

    void StatusText(int pane, const std::string& text) override {
        if (pane == kPaneProgress)
            progress.StatusText(text);
    }
    void RunEnded(int task, TaskState state) override { states[task] = state; }
    void RunFailed(int task, const std::string& reason) override { failures[task] = reason; }

    void EndLine() { progress.Finish(); }

    std::map<int, TaskState> states;      // the state each task's run ended in
    std::map<int, std::string> failures;  // why a run could not do what its script says

    ProgressLine progress;
};

class CliPrompt : public RunPrompt {
  public:
    void ShowMessage(const std::string& text) override { PrintError(text); }
    // A paused task given new keywords starts the new search: the command line asks nothing.
    PromptAnswer AskYesNoCancel(const std::string&) override { return PromptAnswer::kNo; }
};

// Runs until no run is active, redrawing the progress line between the waits. On an interrupt,
// pauses every run and goes on until their workers have ended.
void DriveRuns(RunController& controller, CliRunObserver& observer) {
    bool pausing = false;
    controller.RunUntil(std::chrono::steady_clock::time_point::max(), [&] {
        observer.progress.Tick(controller);
        if (g_interrupted && !pausing) {
            pausing = true;
            controller.StopTask(kAllTasks, kStopPause);
        }
        return !controller.HasActiveRuns();
    });
}

const std::string& StateText(std::optional<TaskState> state) {
    if (state == TaskState::kPaused)
        return Text(Msg::kStatePaused);
    if (state == TaskState::kEnded)
        return Text(Msg::kStateFinished);
    if (state == TaskState::kStoppedForDeletion)
        return Text(Msg::kStateStopped);
    return Text(Msg::kStateNotRun);
}

// Reports each task's end; 0 when every run ended normally.
int ReportRuns(const std::vector<int>& tasks, CliRunObserver& observer, bool quiet) {
    observer.EndLine();
    int status = 0;
    for (int task : tasks) {
        auto found = observer.states.find(task);
        const std::optional<TaskState> state =
            found == observer.states.end() ? std::nullopt : std::optional(found->second);
        if (const auto failed = observer.failures.find(task); failed != observer.failures.end())
            PrintError(Format("%d: ", task) + failed->second);
        // Quiet: a run that ended as its script says is no error.
        if (!quiet || state != TaskState::kEnded)
            PrintLine(std::cerr, Format(Text(Msg::kTaskEnded).c_str(), task, StateText(state).c_str()));
        if (state != TaskState::kEnded)
            status = 1;
    }
    return status;
}

// Prepares the process for running tasks: runs left by a dead process become resumable.
void RecoverBeforeRunning() {
    const bool holdsLock = !CurrentStartupSettings().multiInstance;
    const int recovered = RecoverStaleRuns(holdsLock);
    if (recovered > 0)
        PrintError(Format(Text(Msg::kRecoveredRuns).c_str(), recovered));
}

int RunAdd(CliContext& context) {
    if (context.args.size() != 1)
        return UsageOf("add SCRIPT");
    std::string bytes;
    if (!ReadInputFile(context.args[0], bytes))
        return 1;
    const std::string script = ExternalTextAsLines(bytes);
    std::string error;
    const int id = AddTaskFromScript(script, error);
    if (!error.empty())
        PrintError(error);
    if (id <= 0)
        return 1;
    std::cout << id << "\n";
    return 0;
}

int RunRun(CliContext& context) {
    std::string keywordsOption;
    std::string threadsText;
    bool ok = true;
    const bool quiet = TakeFlag(context.args, "--quiet");
    bool hasKeywords = TakeOption(context.args, "--keywords", keywordsOption, ok);
    const bool hasThreads = TakeOption(context.args, "--threads", threadsText, ok);
    // The search object: one choice per "#搜索类别=" item, in the list's order.
    std::vector<std::string> searchObject;
    for (std::string category; TakeOption(context.args, "--category", category, ok);)
        searchObject.push_back(Utf8ToGb(category));
    static constexpr char kUsage[] =
        "run ID... [--keywords TEXT|@FILE] [--threads N] [--category NAME]... [--quiet]";
    if (!ok)
        return UsageOf(kUsage);
    if (context.args.empty()) {
        PrintError(Text(Msg::kTaskIdMissing));
        return UsageOf(kUsage);
    }
    int threads = 0;
    if (hasThreads) {
        threads = ToInt(threadsText);
        if (threads < 1 || threads > 63)
            return ArgumentError(Text(Msg::kThreadsRange));
    }
    std::vector<int> tasks;
    for (const std::string& arg : context.args) {
        int id = 0;
        if (const int status = TaskIdArgument(arg, id); status != 0)
            return status;
        tasks.push_back(id);
    }
    std::string keywordText;
    bool keywordFile = false;
    if (!hasKeywords && !context.keywordList.empty()) {
        hasKeywords = keywordFile = true;
        keywordText = context.keywordList;
    } else if (hasKeywords) {
        if (!keywordsOption.empty() && keywordsOption[0] == '@') {
            std::string bytes;
            if (!ReadInputFile(keywordsOption.substr(1), bytes))
                return 1;
            keywordText = ExternalTextAsLines(bytes);
            keywordFile = true;
        } else {
            keywordText = Utf8ToGb(keywordsOption);
        }
    }

    RecoverBeforeRunning();
    CliRunObserver observer(quiet);
    CliPrompt prompt;
    InterruptHandlers interrupts;
    RunController controller(observer, prompt, RunMailTask);
    if (threads > 0)
        controller.SetMaxThreadCount(threads, false);
    std::vector<int> started;
    int status = 0;
    for (int task : tasks) {
        StartRequest request;
        request.taskNumber = task;
        request.searchObjectText = Join(searchObject, "\r\n");
        if (hasKeywords) {
            // A keyword file is used as it is; typed keywords are normalised and kept in the history.
            const std::string script = CTaskTable().ReadTaskScript(task);
            request.keywordList = keywordFile ? keywordText : BuildKeywordList(keywordText, script, task);
        }
        if (!controller.StartTask(request)) {
            status = 1;
            break;
        }
        started.push_back(task);
    }
    DriveRuns(controller, observer);
    const int runs = ReportRuns(started, observer, quiet);
    return status != 0 ? status : runs;
}

int RunResume(CliContext& context) {
    int task = 0;
    const bool quiet = TakeFlag(context.args, "--quiet");
    const bool skipPage = TakeFlag(context.args, "--skip-page");
    if (context.args.size() > 1)
        return UsageOf("resume ID [--skip-page] [--quiet]");
    if (const int status = FirstTaskId(context.args, "resume ID", task); status != 0)
        return status;
    RecoverBeforeRunning();
    CliRunObserver observer(quiet);
    CliPrompt prompt;
    InterruptHandlers interrupts;
    RunController controller(observer, prompt, RunMailTask);
    if (!controller.ResumeTask(task, skipPage))
        return 1;
    DriveRuns(controller, observer);
    return ReportRuns({task}, observer, quiet);
}

// The log of serve: one line on standard error per scheduled start and per run's end.
class ServeObserver : public CliRunObserver {
  public:
    ServeObserver() : CliRunObserver(true) {}
    void RunEnded(int task, TaskState state) override {
        CliRunObserver::RunEnded(task, state);
        PrintLine(std::cerr, FormatLocalTime(LocalTimeNow()) + " " +
                                 Format(Text(Msg::kTaskEnded).c_str(), task, StateText(state).c_str()));
    }
    void RunFailed(int task, const std::string& reason) override {
        PrintError(FormatLocalTime(LocalTimeNow()) + Format(" %d: ", task) + reason);
    }
};

void NoteScheduledStart(int task, ScheduledStart result, const std::string& error) {
    if (result == ScheduledStart::kGone)
        return;
    const Msg message = result == ScheduledStart::kAlreadyActive ? Msg::kScheduledActive
                        : result == ScheduledStart::kFailed      ? Msg::kScheduledFailed
                                                                 : Msg::kScheduledStart;
    PrintLine(std::cerr, FormatLocalTime(LocalTimeNow()) + " " + Format(Text(message).c_str(), task));
    if (!error.empty())
        PrintError(error);
}

int RunServe(CliContext& context) {
    if (!context.args.empty())
        return UsageOf("serve");
    RecoverBeforeRunning();
    ServeObserver observer;
    CliPrompt prompt;
    InterruptHandlers interrupts;
    RunController controller(observer, prompt, RunMailTask);
    Scheduler scheduler(controller, LocalTimeNow, NoteScheduledStart);
    std::string error;
    if (!scheduler.Load(error)) {
        PrintError(error);
        return 1;
    }
    PrintLine(std::cerr, Format(Text(Msg::kServing).c_str(), static_cast<int>(scheduler.Entries().size())));
    constexpr auto kScheduleInterval = std::chrono::milliseconds(2000);
    auto nextTick = std::chrono::steady_clock::now();
    bool pausing = false;
    controller.RunUntil(std::chrono::steady_clock::time_point::max(), [&] {
        if (g_interrupted) {
            if (!pausing) {
                pausing = true;
                controller.StopTask(kAllTasks, kStopPause);
            }
            return !controller.HasActiveRuns();
        }
        if (std::chrono::steady_clock::now() >= nextTick) {
            scheduler.Tick();
            nextTick = std::chrono::steady_clock::now() + kScheduleInterval;
        }
        return false;
    });
    return 0;
}

const CliCommandRegistrar kAdd({"add", "add SCRIPT", false, RunAdd});
const CliCommandRegistrar kRun(
    {"run", "run ID... [--keywords TEXT|@FILE] [--threads N] [--category NAME]... [--quiet]", true, RunRun});
const CliCommandRegistrar kResume({"resume", "resume ID [--skip-page] [--quiet]", true, RunResume});
const CliCommandRegistrar kServe({"serve", "serve", true, RunServe});

}  // namespace

}  // namespace sorvik::cli
