// sorvik-cli test: a test run (task 0) of a script file, as the task editor's test command runs it.
// With --page the file is the page the test works on; otherwise the script's start URL is
// fetched. The test output is printed as the engine wrote it (UTF-8, CR LF line ends kept); no
// record is stored.

#include <chrono>
#include <iostream>

#include "cli/cli_command.h"
#include "cli/cli_messages.h"
#include "engine/run_controller.h"
#include "engine/thread_params.h"
#include "engine/url_list.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik::cli {

namespace {

// Keeps what the test run reports: its output and the last progress line (which says why a run
// that never reached the engine ended).
class TestRunObserver : public RunObserver {
  public:
    void StatusText(int pane, const std::string& text) override {
        // "就绪" is what pane 0 shows once no worker runs any more: no reason of its own.
        if (pane == kPaneProgress && !text.empty() && text != "就绪")
            lastProgress = text;
    }
    void TestRunEnded(const ThreadParams& params) override {
        ended = true;
        output = params.testOutput;
        failure = params.failure;
    }

    bool ended = false;
    std::string output;
    std::string failure;  // the engine could not set the test up
    std::string lastProgress;
};

class TestRunPrompt : public RunPrompt {
  public:
    void ShowMessage(const std::string& text) override { PrintError(text); }
    PromptAnswer AskYesNoCancel(const std::string&) override { return PromptAnswer::kCancel; }
};

int RunTest(CliContext& context) {
    static constexpr char kUsage[] = "test SCRIPT [--page FILE] [--pages N] [--records N]";
    std::string pageFile, pagesText, recordsText;
    bool ok = true;
    const bool hasPage = TakeOption(context.args, "--page", pageFile, ok);
    const bool hasPages = TakeOption(context.args, "--pages", pagesText, ok);
    const bool hasRecords = TakeOption(context.args, "--records", recordsText, ok);
    if (!ok || context.args.size() != 1)
        return UsageOf(kUsage);
    // A test shows what a script does on the start page and what its records link to; more pages
    // are asked for. On a page of its own the test follows what the page leads to.
    int pages = hasPage ? 0 : 1;
    int records = 0;
    if (hasPages && !(ParseIdArgument(pagesText, pages) && pages > 0))
        return ArgumentError(Format(Text(Msg::kNotANumber).c_str(), "--pages"));
    if (hasRecords && !(ParseIdArgument(recordsText, records) && records > 0))
        return ArgumentError(Format(Text(Msg::kNotANumber).c_str(), "--records"));
    std::string bytes;
    if (!ReadInputFile(context.args[0], bytes))
        return 1;
    const std::string script = ExternalTextAsLines(bytes);
    if (Trim(script).empty()) {
        PrintError("测试脚本不能为空！");
        return 1;
    }
    std::string page;
    if (hasPage) {
        std::string pageBytes;
        if (!ReadInputFile(pageFile, pageBytes))
            return 1;
        page = ExternalTextAsLines(pageBytes);
    } else if (BuildStartUrl(script, {}, 0, 0, 0).url.empty()) {
        PrintError(Text(Msg::kNoStartUrl));
        return 1;
    }

    TestRunObserver observer;
    TestRunPrompt prompt;
    RunController controller(observer, prompt);
    StartRequest request;
    request.taskNumber = 0;
    request.testScript = script;
    request.testPage = page;
    request.testPageLimit = pages;
    request.testRecordLimit = records;
    if (!controller.StartTask(request))
        return 1;
    controller.RunUntilIdle(std::chrono::steady_clock::time_point::max());

    if (!observer.ended || observer.output.empty()) {
        // The run ended before the engine wrote anything: say why.
        PrintError(observer.lastProgress.empty() ? Text(Msg::kTestNoOutput) : observer.lastProgress);
        return 1;
    }
    if (!observer.failure.empty()) {
        PrintError(observer.failure);
        return 1;
    }
    std::cout << GbToUtf8(observer.output) << std::flush;
    return 0;
}

const CliCommandRegistrar kTest({"test", "test SCRIPT [--page FILE] [--pages N] [--records N]", false,
                                 RunTest});

}  // namespace

}  // namespace sorvik::cli
