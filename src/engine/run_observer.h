#pragma once
// The interfaces through which the run controller reaches a front end (GUI, command line, tests).
// The core never calls a window: it calls these, always on the host's thread (inside the
// controller's calls and PumpMessages) and never while it holds a lock, so a call may open a
// dialog or call the controller again; the exception is RunObserver::MessagesPending, which a
// worker thread calls. Both must outlive the controller they are given to.

#include <string>

#include "engine/run_messages.h"
#include "store/task_state.h"

namespace sorvik {

struct ThreadParams;

// Status-bar panes.
inline constexpr int kPaneProgress = 0;    // progress line and general messages
inline constexpr int kPaneConnection = 1;  // connection status
inline constexpr int kPaneTasks = 2;       // "任务数:%d"
inline constexpr int kPaneUrls = 3;        // "URLs:%d"

class RunObserver {
  public:
    virtual ~RunObserver() = default;

    // A status-bar pane shows text (GB18030).
    virtual void StatusText(int /*pane*/, const std::string& /*text*/) {}
    // A Task row changed (a run started, paused, ended): the task list refreshes.
    virtual void TaskRowChanged(int /*taskNumber*/) {}
    // A run of a task has ended and its row is written: kPaused, kEnded or kStoppedForDeletion.
    virtual void RunEnded(int /*taskNumber*/, TaskState /*state*/) {}
    // The run could not do what its script says (the reason names the key); called before
    // RunEnded, whose state is then kPaused.
    virtual void RunFailed(int /*taskNumber*/, const std::string& /*reason*/) {}
    // A test run (task 0) has ended: params.testOutput holds its trace and params.pageText the
    // page it worked on; the editor restores its panes.
    virtual void TestRunEnded(const ThreadParams& /*params*/) {}
    // A save job has ended: the result views reload.
    virtual void ResultsChanged(int /*taskNumber*/) {}
    // A harvest worker starts: the progress window opens if none is open.
    virtual void ProgressWindowNeeded() {}
    // A text for the progress window.
    virtual void ProgressWindowText(const std::string& /*text*/) {}
    // The result of one link check.
    virtual void LinkChecked(const LinkCheckResult& /*result*/) {}
    // Called on a worker's thread when a message waits: the host calls the controller's
    // PumpMessages on its own thread soon (a GUI posts a queued call; the command line's loop
    // waits with WaitForMessages instead).
    virtual void MessagesPending() {}
};

enum class PromptAnswer { kYes, kNo, kCancel };

class RunPrompt {
  public:
    virtual ~RunPrompt() = default;
    // A message box with the text (GB18030).
    virtual void ShowMessage(const std::string& text) = 0;
    // A question with Yes, No and Cancel.
    virtual PromptAnswer AskYesNoCancel(const std::string& text) = 0;
};

}  // namespace sorvik
