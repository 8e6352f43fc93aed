#pragma once
// The run controller: turns start requests into runs on worker threads, keeps at most
// giMaxThreadCount of them running, pauses, resumes and stops them, and writes the Task rows'
// run columns when a run ends.
//
// Threads. The host (GUI, command line, test) owns the controller and calls it on one thread,
// its "main window" thread. Workers are std::threads; they never call the front end: each message
// of a worker (progress line, connection status, URL count, worker ended, ...) is queued in the
// order the worker sends it, and PumpMessages delivers the queue on the host's thread (the
// worker-ended message runs OnWorkerDone there). The host also drives the dispatch timer: it
// calls DispatchTimerTick every 2000 ms.
//
// Locks. g_csDatabase guards the run queue, the worker list and the Task run columns (it is held
// around them by StartTask, DispatchQueue, OnWorkerDone, StopTask and ResumeTask, and released
// while a worker thread is created). The message queue has a lock of its own, never held while
// taking g_csDatabase. The status-bar lock guards the status texts.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/page_fetcher.h"
#include "engine/run_observer.h"
#include "engine/run_queue.h"
#include "engine/thread_params.h"

namespace sorvik {

// A request to start a run of a task (StartTask).
struct StartRequest {
    int taskNumber = 0;  // 0: a test run
    // Keywords of a keyword search (CR LF list, see url_list.h); given keywords make a paused
    // task ask whether to resume it instead.
    std::string keywordList;
    // Resume: take cNextSite, iStartPage and the keyword cursor from the Task row and the keyword
    // list from the keyword file (the values below are then ignored).
    bool resume = false;
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
};

// The queue entry of a task as the front end sees it (a copy).
struct QueueEntryView {
    int taskNumber = 0;
    int state = 0;
    RunKind kind = RunKind::kHarvest;
    int slot = 0;
    std::string displayName;
    std::string displayKeyword;
};

class RunController : public RunMessageSink {
  public:
    // Reads giMaxThreadCount from [Set] (1 to 63, else 5). Clears the global stop flag.
    RunController(RunObserver& observer, RunPrompt& prompt);
    // Shuts down (see Shutdown).
    ~RunController() override;
    RunController(const RunController&) = delete;
    RunController& operator=(const RunController&) = delete;

    // Starts a run: queues it (at most 64 entries: "任务数过多，不能启动任务！"), marks the script's
    // category, records the start in the Task row and dispatches. False when nothing was queued
    // (the reason was shown through the prompt or pane 0).
    bool StartTask(const StartRequest& request);
    // Continues a paused run of the task; without a paused entry, starts one from the resume
    // values of the Task row and the keyword file.
    bool ResumeTask(int taskNumber);
    // Asks the running worker of the task (kAllTasks: every running worker, keeping a reason one
    // has already) to stop with reason 8 (pause) or 24 (deletion; the row gets iType 5). A
    // waiting entry of the task is paused at once. Then waits 500 ms, as the design does. False
    // when the task has no waiting or running entry.
    static constexpr int kAllTasks = -1;
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

    // The options dialog's thread limit: 1 to 63 (else "值应在1~63之间！" and false); stored in
    // [Set] when store is true; the queue is dispatched at once.
    bool SetMaxThreadCount(int count, bool store = true);

    // Marks the editor busy with a test run: start, search and resume answer "请等待！".
    void SetEditorBusy(bool busy) { editorBusy_ = busy; }

    // Sets a status-bar pane (text in GB18030). Dropped when a call is being served already or
    // the global stop flag is set. A text left by SetPendingStatusText is shown in pane 0 first.
    void SetStatusText(const std::string& text, int pane = kPaneProgress);
    void SetPendingStatusText(const std::string& text);

    // Worker counts and the queue.
    int RunningWorkers() const { return g_nRunningWorkers.load(); }
    bool HasActiveRuns() const;  // an entry waiting or running, or a worker not yet done
    std::vector<QueueEntryView> Queue() const;
    // The queue entry state of the task (-1: none).
    int EntryState(int taskNumber) const;

    // Sets the global stop flag, stops every worker, waits for them (delivering their messages),
    // pauses the entries still waiting, and clears the flag again. Nothing is dispatched while it
    // runs.
    void Shutdown();

    // RunMessageSink: called by workers.
    void Send(RunMessage message) override;

  private:
    struct Worker;

    // Everything below that touches queue_ or workers_ holds g_csDatabase.
    RunQueueEntry* FindEntry(int taskNumber);
    const RunQueueEntry* FindEntry(int taskNumber) const;
    RunQueueEntry* AllocateEntry(int taskNumber, bool& full);
    // Makes the run's ThreadParams from the entry and starts its thread; lock (on g_csDatabase)
    // is released while the thread is created.
    bool StartWorker(const std::string& url, RunMode mode, RunQueueEntry& entry,
                     std::unique_lock<std::recursive_mutex>& lock);
    void OnWorkerDone(ThreadParams& params);
    void Deliver(RunMessage& message);
    void WriteRunState(RunQueueEntry& entry, int state, const TaskRunStats& stats);
    void ShowTaskCount();
    static void WorkerMain(Worker& worker);

    RunObserver& observer_;
    RunPrompt& prompt_;
    std::atomic<bool> editorBusy_{false};
    std::atomic<bool> shuttingDown_{false};

    std::vector<std::unique_ptr<RunQueueEntry>> queue_;  // guarded by g_csDatabase
    std::vector<std::unique_ptr<Worker>> workers_;       // guarded by g_csDatabase

    std::mutex messagesMutex_;
    std::condition_variable messagesWaiting_;
    std::deque<RunMessage> messages_;  // guarded by messagesMutex_

    std::recursive_mutex statusMutex_;  // the status-bar lock
    bool inStatusText_ = false;         // guarded by statusMutex_
    std::string pendingStatusText_;     // guarded by statusMutex_
};

}  // namespace sorvik
