#pragma once
// The run controller: turns start requests into runs on worker threads, keeps at most
// giMaxThreadCount of them running, pauses, resumes and stops them, and writes the Task rows'
// run columns when a run ends.
//
// Threads. The host (GUI, command line, test) owns the controller and calls it on one thread,
// its "main window" thread. Workers are std::threads; they never call the front end: each message
// of a worker (progress line, connection status, URL count, worker ended, ...) is queued in the
// order the worker sends it, and PumpMessages delivers the queue on the host's thread (the
// worker-ended message runs OnWorkerDone there).
//
// Driving it. The host calls DispatchTimerTick every 2000 ms and PumpMessages soon after a
// message is queued:
// - a GUI: a QTimer of 2000 ms calls DispatchTimerTick; its RunObserver::MessagesPending (called
//   on a worker thread) posts a queued call (QMetaObject::invokeMethod(..., Qt::QueuedConnection))
//   that runs PumpMessages on the GUI thread. Before the window closes it calls Shutdown.
// - the command line and tests: RunUntilIdle (or RunUntil) is the whole loop.
//
// Front-end calls. The observer and the prompt are called only on the host thread (inside the
// controller's calls, PumpMessages and the loops), never while the controller holds a lock of its
// own or g_csDatabase, so they may open a dialog, run a nested event loop and call the controller
// again (start, stop, resume, pump). Only RunObserver::MessagesPending is called on a worker
// thread. The observer, the prompt and the mail runner must outlive the controller.
//
// Locks. g_csDatabase guards the run queue, the worker list and the Task run columns (it is held
// around them by StartTask, DispatchQueue, OnWorkerDone, StopTask and ResumeTask, and released
// while a worker thread is created). The message queue has a lock of its own, never held while
// taking g_csDatabase. statusMutex_ guards the status-bar state.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/page_fetcher.h"
#include "engine/run_observer.h"
#include "engine/run_queue.h"
#include "engine/thread_params.h"
#include "store/task_state.h"

namespace sorvik {

// Runs a send-mail task on its worker thread (the mail module's RunMailTask): the task script is
// in params.script; it honours params' stop flags and counts into params.stats.
using MailRunner = std::function<void(ThreadParams& params)>;

// A request to start a run of a task (StartTask).
struct StartRequest {
    int taskNumber = 0;  // 0: a test run
    // Keywords of a keyword search (CR LF list, see url_list.h); given keywords make a paused
    // task ask whether to resume it instead.
    std::string keywordList;
    // Resume: take cNextSite, iStartPage and the keyword cursor from the Task row and the keyword
    // list from the keyword file (the values below are then ignored).
    bool resume = false;
    // With resume: the page at the resume point is not fetched again; the run goes on after it
    // (the next range value or keyword; a next-page chain ends there).
    bool skipPage = false;
    std::string resumeUrl;
    int resumePage = 0;
    int searchKeyIndexPre = 0;
    int searchKeyIndex = 0;
    std::string optionText;  // the run's download-option text
    // The search object: the choice for each "#搜索类别=" item, one line each (what the search
    // bar's categories hold); "<变量_对象" variables read it.
    std::string searchObjectText;
    // Test runs only: the editor's script and the page it holds (empty: none).
    std::string testScript;
    std::string testPage;
    // Test runs only: the run ends after this many pages (the start page counts one; pages that
    // fields link to do not) or this many records; 0 sets no limit.
    int testPageLimit = 0;
    int testRecordLimit = 0;
};

// The counts of a running harvest for a progress display (a copy).
struct RunProgressView {
    int taskNumber = 0;
    TaskRunStats stats;
    long long failedPages = 0;
    std::string url;  // the page being fetched
};

// The queue entry of a task as the front end sees it (a copy).
struct QueueEntryView {
    int taskNumber = 0;
    QueueState state = QueueState::kWaiting;
    RunKind kind = RunKind::kHarvest;
    int slot = 0;
    std::string displayName;
    std::string displayKeyword;
};

class RunController : public RunMessageSink {
  public:
    // Reads giMaxThreadCount from [Set] (1 to 63, else 5). Clears the global stop flag. sendMail
    // runs the send-mail tasks; without one, starting a send-mail task fails with a message.
    RunController(RunObserver& observer, RunPrompt& prompt, MailRunner sendMail = {});
    // Shuts down (see Shutdown).
    ~RunController() override;
    RunController(const RunController&) = delete;
    RunController& operator=(const RunController&) = delete;

    // Starts a run: queues it (at most 64 entries: "任务数过多，不能启动任务！"), marks the script's
    // category, records the start in the Task row and dispatches. False when nothing was queued
    // (the reason was shown through the prompt or pane 0), and always after Shutdown.
    bool StartTask(const StartRequest& request);
    // Continues a paused run of the task; without a paused entry, starts one from the resume
    // values of the Task row and the keyword file. skipPage: see StartRequest.
    bool ResumeTask(int taskNumber, bool skipPage = false);
    // Asks the running worker of the task (kAllTasks: every running worker, keeping a reason one
    // has already) to stop with reason 8 (pause) or 24 (deletion; the row gets iType 5). A
    // waiting entry of the task is paused at once. Returns without waiting: the run's end
    // arrives as its worker's message. False when the task has no waiting or running entry.
    bool StopTask(int taskNumber, int reason);
    // Asks the running harvest of the task (kAllTasks: every one) to store its buffered records
    // at its next batch check, as selecting the task or saving results does. Returns how many
    // runs were asked.
    int RequestSave(int taskNumber);
    // Starts waiting runs while fewer than giMaxThreadCount workers run. Skipped while the
    // global stop flag is set.
    void DispatchQueue();
    // The host's 2000 ms timer.
    void DispatchTimerTick();

    // Delivers the queued worker messages on the calling (host) thread, in order. Returns how
    // many were delivered.
    int PumpMessages();
    // Waits until a message is queued or the timeout passes; true when one waits.
    bool WaitForMessages(std::chrono::milliseconds timeout);

    // The host loop of a front end without an event loop: delivers messages as they come and
    // calls DispatchTimerTick every 2000 ms until no run is active (true) or the deadline passes
    // (false). When *interrupted becomes true, every run is asked once to pause (reason 8) and
    // the loop goes on until their workers have ended.
    bool RunUntilIdle(std::chrono::steady_clock::time_point deadline,
                      const std::atomic<bool>* interrupted = nullptr);
    // The same loop until done() holds (checked after each delivery); false at the deadline.
    bool RunUntil(std::chrono::steady_clock::time_point deadline, const std::function<bool()>& done);

    // The options dialog's thread limit: 1 to 63 (else "值应在1~63之间！" and false); stored in
    // [Set] when store is true; the queue is dispatched at once.
    bool SetMaxThreadCount(int count, bool store = true);

    // Marks the editor busy with a test run: start, search and resume answer "请等待！".
    void SetEditorBusy(bool busy) { editorBusy_ = busy; }

    // Sets a status-bar pane (text in GB18030). Dropped when a call is being served already or
    // the global stop flag is set. A text left by SetPendingStatusText is shown in pane 0 first.
    void SetStatusText(const std::string& text, int pane = kPaneProgress);
    void SetPendingStatusText(const std::string& text);

    // Workers started and whose end message has not been handled yet, and the queue.
    int RunningWorkers() const;
    bool HasActiveRuns() const;  // an entry waiting or running, or a worker not yet done
    std::vector<QueueEntryView> Queue() const;
    // The harvests running now (not test runs, save jobs or link checks).
    std::vector<RunProgressView> RunProgress() const;
    // The queue entry state of the task (none: no entry).
    std::optional<QueueState> EntryState(int taskNumber) const;
    // True when the task's entry waits or runs.
    bool TaskActive(int taskNumber) const;

    // Final: stops every worker (reason 8 unless it has one), waits for them while delivering
    // their messages, and pauses the entries still waiting. The global stop flag is set while it
    // runs and cleared at its end. Afterwards the controller starts nothing more (StartTask and
    // ResumeTask return false, dispatching does nothing); a second call does nothing. The
    // destructor calls it.
    void Shutdown();

    // RunMessageSink: called by workers.
    void Send(RunMessage message) override;

  private:
    struct Worker;

    // What a call has to say to the front end, collected while a lock is held and said after it
    // is released (Say).
    struct Notices;
    void Say(Notices& notices);
    // The loop of RunUntilIdle and RunUntil (done empty: until no run is active).
    bool HostLoop(std::chrono::steady_clock::time_point deadline, const std::function<bool()>& done,
                  const std::atomic<bool>* interrupted);

    // Everything below that touches queue_ or workers_ holds g_csDatabase.
    RunQueueEntry* FindEntry(int taskNumber);
    const RunQueueEntry* FindEntry(int taskNumber) const;
    RunQueueEntry* AllocateEntry(int taskNumber, bool& full);
    // Makes the run's ThreadParams from the entry and starts its thread; lock (on g_csDatabase)
    // is released while the thread is created.
    bool StartWorker(const std::string& url, RunMode mode, RunQueueEntry& entry,
                     std::unique_lock<std::recursive_mutex>& lock, Notices& notices);
    void DispatchLocked(std::unique_lock<std::recursive_mutex>& lock, Notices& notices);
    void OnWorkerDone(ThreadParams& params);
    void Deliver(RunMessage& message);
    void WriteRunState(RunQueueEntry& entry, TaskState state, const TaskRunStats& stats);
    void ShowTaskCount();
    static void WorkerMain(Worker& worker);

    RunObserver& observer_;
    RunPrompt& prompt_;
    const MailRunner sendMail_;
    std::atomic<bool> editorBusy_{false};
    std::atomic<bool> shutDown_{false};  // set by Shutdown, never cleared

    std::vector<std::unique_ptr<RunQueueEntry>> queue_;  // guarded by g_csDatabase
    std::vector<std::unique_ptr<Worker>> workers_;       // guarded by g_csDatabase

    std::mutex messagesMutex_;
    std::condition_variable messagesWaiting_;
    std::deque<RunMessage> messages_;  // guarded by messagesMutex_

    std::mutex statusMutex_;         // the status-bar lock
    bool inStatusText_ = false;      // guarded by statusMutex_
    std::string pendingStatusText_;  // guarded by statusMutex_
};

}  // namespace sorvik
