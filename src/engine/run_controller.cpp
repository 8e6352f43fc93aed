#include "engine/run_controller.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "engine/entry_list.h"
#include "engine/extraction.h"
#include "engine/fetch_politeness.h"
#include "engine/operations.h"
#include "engine/page_extractor.h"
#include "engine/record_writer.h"
#include "engine/result_table.h"
#include "engine/url_list.h"
#include "script/script_keys.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/keyword_file.h"
#include "store/task_table.h"
#include "text/gb_text.h"
#include "text/strings.h"

namespace sorvik {
namespace {

constexpr size_t kDisplayNameBytes = 25;
constexpr size_t kDisplayKeywordBytes = 31;
constexpr auto kDispatchInterval = std::chrono::milliseconds(2000);
// How soon the host loop sees an interrupt while no message comes.
constexpr auto kInterruptPoll = std::chrono::milliseconds(100);

// Shown when a send-mail task is started on a controller made without a mail runner.
constexpr const char* kNoMailRunner = "不能运行发送邮件任务：没有邮件发送模块！";

bool IsActive(QueueState state) {
    return state == QueueState::kWaiting || state == QueueState::kRunning;
}

RunKind KindOfScript(std::string_view script) {
    const std::string type = Trim(ScriptValue(key::kTaskType, script));
    if (type == "发送邮件")
        return RunKind::kSendMail;
    if (type == "接收邮件")
        return RunKind::kReceiveMail;
    return RunKind::kHarvest;
}

// A harvest that needs keywords: no start URL and empty keywords not allowed.
bool NeedsKeywords(std::string_view script) {
    return Trim(ScriptValue(key::kStartUrl, script)).empty() && !EmptyKeywordAllowed(script);
}

// The operations of "#下载完成后" after a run.
void RunAfterDownloadOperations(const ThreadParams& params) {
    if (ScriptValue(NumberedKey(key::kAfterRunStem, 1, "="), params.script).empty())
        return;
    CPageExtractor context;
    context.taskNumber = params.taskNumber;
    context.script = params.script;
    context.optionText = params.optionText;
    context.searchObjectText = params.searchObjectText;
    std::string value;
    ApplyOperations(context, "#下载完成后", value, params.script, {}, false);
}

}  // namespace

struct RunController::Worker {
    std::unique_ptr<ThreadParams> params = std::make_unique<ThreadParams>();
    PageFetcher fetcher;
    std::string testPage;  // a test run's page from the editor
    MailRunner sendMail;   // a send-mail run's runner
    std::thread thread;
};

// Front-end calls in the order they were collected.
struct RunController::Notices {
    std::vector<std::function<void()>> calls;
    void Add(std::function<void()> call) { calls.push_back(std::move(call)); }
};

void RunController::Say(Notices& notices) {
    std::vector<std::function<void()>> calls;
    calls.swap(notices.calls);
    for (const auto& call : calls)
        call();
}

RunController::RunController(RunObserver& observer, RunPrompt& prompt, MailRunner sendMail)
    : observer_(observer), prompt_(prompt), sendMail_(std::move(sendMail)) {
    g_bStopAll = false;
    CDbAccess db;
    const int stored = ToInt(db.GetSetValue("giMaxThreadCount"));
    giMaxThreadCount = stored >= 1 && stored <= 63 ? stored : 5;
}

int RunController::RequestSave(int taskNumber) {
    std::scoped_lock lock(g_csDatabase);
    std::vector<ThreadParams*> running;
    for (const auto& worker : workers_)
        running.push_back(worker->params.get());
    return sorvik::RequestSave(running, taskNumber);
}

RunController::~RunController() {
    Shutdown();
}

// --- queue helpers (g_csDatabase held) --------------------------------------------------------

RunQueueEntry* RunController::FindEntry(int taskNumber) {
    for (auto& entry : queue_)
        if (entry->taskNumber == taskNumber)
            return entry.get();
    return nullptr;
}

const RunQueueEntry* RunController::FindEntry(int taskNumber) const {
    for (const auto& entry : queue_)
        if (entry->taskNumber == taskNumber)
            return entry.get();
    return nullptr;
}

RunQueueEntry* RunController::AllocateEntry(int taskNumber, bool& full) {
    full = false;
    if (RunQueueEntry* own = FindEntry(taskNumber))
        return own;
    for (auto& entry : queue_)
        if (entry->state == QueueState::kEnded)
            return entry.get();
    if (queue_.size() >= static_cast<size_t>(kMaxQueueEntries)) {
        full = true;
        return nullptr;
    }
    queue_.push_back(std::make_unique<RunQueueEntry>());
    queue_.back()->slot = static_cast<int>(queue_.size()) - 1;
    queue_.back()->state = QueueState::kEnded;
    return queue_.back().get();
}

void RunController::WriteRunState(RunQueueEntry& entry, TaskState state, const TaskRunStats& stats) {
    if (entry.taskNumber == 0)
        return;
    CTaskTable table;
    const bool failedBefore = entry.run.keywordFileFailed;
    table.UpdateTaskRunStats(entry.taskNumber, state, entry.nextUrl, entry.startPage, stats, &entry.run);
    if (entry.run.keywordFileFailed && !failedBefore)
        prompt_.ShowMessage("保存搜索关键字失败！");
}

// --- starting ---------------------------------------------------------------------------------

bool RunController::StartTask(const StartRequest& request) {
    if (shutDown_)
        return false;
    if (editorBusy_) {
        prompt_.ShowMessage("请等待！");
        return false;
    }
    const int task = request.taskNumber;
    const bool test = task == 0;
    std::string script;
    std::string name;
    bool exists = true;
    bool stillActive = false;
    bool askResume = false;
    CTaskTable table;
    {
        std::scoped_lock lock(g_csDatabase);
        if (test) {
            script = request.testScript;
            name = Trim(ScriptValue(key::kTaskName, script)) + "(测试任务)";
        } else if (table.TaskExists(task)) {
            script = table.ReadTaskScript(task);
            name = table.ReadTaskField("cTask", task);
        } else {
            exists = false;
        }
        if (const RunQueueEntry* existing = exists ? FindEntry(task) : nullptr) {
            stillActive = IsActive(existing->state);
            askResume = existing->state == QueueState::kPaused && !test && !request.resume &&
                        !request.keywordList.empty() && table.ReadTaskInt("iType", task) != 5;
        }
    }
    if (!exists) {
        prompt_.ShowMessage("取脚本失败！");
        return false;
    }
    if (stillActive) {
        SetStatusText("当前任务还没完成，执行失败！", kPaneProgress);
        return false;
    }
    if (askResume) {
        switch (
            prompt_.AskYesNoCancel("当前任务是暂停状态，选择[是]启动暂停的任务,选择[否]进行本次搜索任务？")) {
            case PromptAnswer::kYes:
                return ResumeTask(task);
            case PromptAnswer::kCancel:
                return false;
            case PromptAnswer::kNo:
                break;
        }
        // The question ran without the lock (a GUI's nested event loop may have shut down).
        if (shutDown_)
            return false;
    }

    std::string keywords = request.keywordList;
    std::string nextUrl = request.resumeUrl;
    int startPage = request.resumePage;
    int keyPre = request.searchKeyIndexPre;
    int key = request.searchKeyIndex;
    long long rangeValue = 0;
    long long pageRecord = 0;
    if (request.resume && !test) {
        std::scoped_lock lock(g_csDatabase);
        nextUrl = table.ReadTaskField("cNextSite", task);
        startPage = table.ReadTaskInt("iStartPage", task);
        keyPre = table.ReadTaskInt("iSearchKeyIndexPre", task);
        key = table.ReadTaskInt("iSearchKeyIndex", task);
        rangeValue = std::strtoll(table.ReadTaskField("iRangeValue", task).c_str(), nullptr, 10);
        pageRecord = std::strtoll(table.ReadTaskField("iPageRecord", task).c_str(), nullptr, 10);
        keywords = LoadTaskKeywords(task);
        // A keyword file that could not be saved: the row keeps the list as well.
        if (keywords.empty())
            keywords = table.ReadTaskField("cMemo", task);
    }
    const RunKind kind = KindOfScript(script);
    if (!test && kind == RunKind::kHarvest && keywords.empty() && NeedsKeywords(script)) {
        prompt_.ShowMessage("请输入搜索关键字！");
        return false;
    }
    if (kind == RunKind::kSendMail && !sendMail_) {
        prompt_.ShowMessage(kNoMailRunner);
        return false;
    }

    std::string failure;  // a message box
    {
        std::scoped_lock lock(g_csDatabase);
        bool full = false;
        RunQueueEntry* entry = nullptr;
        const RunQueueEntry* existing = FindEntry(task);
        if (existing && IsActive(existing->state)) {
            // Started by a call made while the question was open.
            stillActive = true;
        } else if (!(entry = AllocateEntry(task, full))) {
            failure = "任务数过多，不能启动任务！";
        } else if (const int category = ToInt(ScriptValue(key::kCategory, script));
                   !test && category > 0 &&
                   !table.ExecuteSql(
                       Format("update TreeItems set iTask=%d,iImage=3 where ID=%d", task, category))) {
            failure = "更新类别表失败，不能启动任务！";
        } else {
            const int slot = entry->slot;
            *entry = RunQueueEntry();
            entry->slot = slot;
            entry->taskNumber = task;
            entry->state = QueueState::kWaiting;
            entry->kind = kind;
            entry->script = script;
            entry->taskName = name;
            entry->displayName = std::string(GbPrefix(name, kDisplayNameBytes));
            entry->run.keywordList = keywords;
            entry->run.searchKeyIndexPre = keyPre;
            entry->run.searchKeyIndex = key;
            entry->run.rangeValue = rangeValue;
            entry->run.pageRecord = pageRecord;
            entry->nextUrl = nextUrl;
            entry->startPage = startPage;
            entry->skipPage = request.resume && request.skipPage;
            entry->optionText = request.optionText;
            entry->searchObjectText = request.searchObjectText;
            entry->testPage = request.testPage;
            entry->testPageLimit = request.testPageLimit;
            entry->testRecordLimit = request.testRecordLimit;
            if (test) {
                entry->run.runStart = std::time(nullptr);
            } else {
                WriteRunState(*entry, TaskState::kWaiting, TaskRunStats());
            }
        }
    }
    if (stillActive) {
        SetStatusText("当前任务还没完成，执行失败！", kPaneProgress);
        return false;
    }
    if (!failure.empty()) {
        prompt_.ShowMessage(failure);
        return false;
    }
    if (!test)
        observer_.TaskRowChanged(task);
    DispatchQueue();
    return true;
}

bool RunController::ResumeTask(int taskNumber, bool skipPage) {
    if (shutDown_)
        return false;
    if (editorBusy_) {
        prompt_.ShowMessage("请等待！");
        return false;
    }
    bool resumed = false;
    {
        std::scoped_lock lock(g_csDatabase);
        for (auto& entry : queue_) {
            if (entry->taskNumber != taskNumber || entry->state != QueueState::kPaused)
                continue;
            entry->state = QueueState::kWaiting;
            entry->skipPage = skipPage;
            WriteRunState(*entry, TaskState::kWaiting, TaskRunStats());
            resumed = true;
        }
    }
    if (!resumed) {
        StartRequest request;
        request.taskNumber = taskNumber;
        request.resume = true;
        request.skipPage = skipPage;
        return StartTask(request);
    }
    observer_.TaskRowChanged(taskNumber);
    DispatchQueue();
    return true;
}

void RunController::DispatchQueue() {
    if (g_bStopAll || shutDown_)
        return;
    Notices notices;
    {
        std::unique_lock lock(g_csDatabase);
        for (size_t i = 0; i < queue_.size(); ++i) {
            RunQueueEntry& entry = *queue_[i];
            if (entry.state != QueueState::kWaiting)
                continue;
            if (static_cast<int>(workers_.size()) >= giMaxThreadCount.load())
                break;
            entry.state = QueueState::kRunning;
            entry.kind = KindOfScript(entry.script);
            std::string url;
            std::string keyword;
            if (entry.kind == RunKind::kHarvest) {
                if (!entry.nextUrl.empty()) {
                    // A resumed run continues at the page it stopped at, with its keyword.
                    url = entry.nextUrl;
                    keyword = Trim(SelectCurrentKeyword(entry.run.keywordList, entry.run.searchKeyIndexPre,
                                                        entry.run.searchKeyIndex));
                } else {
                    StartUrl start =
                        BuildStartUrl(entry.script, entry.run.keywordList, entry.run.searchKeyIndexPre,
                                      entry.run.searchKeyIndex, entry.taskNumber, entry.searchObjectText);
                    url = std::move(start.url);
                    keyword = std::move(start.keyword);
                }
            }
            entry.displayKeyword = std::string(GbPrefix(keyword, kDisplayKeywordBytes));
            const bool test = entry.taskNumber == 0;
            bool started = false;
            if (entry.kind != RunKind::kHarvest || !url.empty() || test) {
                started = StartWorker(url, RunMode::kHarvest, entry, lock, notices);
            }
            if (!started) {
                if (test) {
                    entry.state = QueueState::kEnded;
                } else {
                    entry.state = QueueState::kPaused;
                    WriteRunState(entry, TaskState::kPaused, TaskRunStats());
                    const bool noUrl = entry.kind == RunKind::kHarvest && url.empty();
                    notices.Add([this, task = entry.taskNumber, noUrl] {
                        if (noUrl)
                            SetStatusText(Format("任务%d没有起始网址，已暂停", task));
                        observer_.TaskRowChanged(task);
                        // No worker will end for this run: its end is reported here.
                        observer_.RunEnded(task, TaskState::kPaused);
                    });
                }
            }
        }
    }
    Say(notices);
}

void RunController::DispatchTimerTick() {
    DispatchQueue();
}

bool RunController::StartWorker(const std::string& url, RunMode mode, RunQueueEntry& entry,
                                std::unique_lock<std::recursive_mutex>& lock, Notices& notices) {
    auto worker = std::make_unique<Worker>();
    ThreadParams& params = *worker->params;
    params.mode = mode;
    params.kind = entry.kind;
    params.taskNumber = entry.taskNumber;
    params.sharedTaskNumber = SharedTaskNumber(entry.script, entry.taskNumber);
    params.taskName = entry.taskName;
    params.script = entry.script;
    params.optionText = entry.optionText;
    params.searchObjectText = entry.searchObjectText;
    params.runStart = entry.run.runStart != 0 ? entry.run.runStart : std::time(nullptr);
    params.window = this;
    params.queueEntry = &entry;
    params.url = url;
    params.keywordList = entry.run.keywordList;
    params.searchKeyIndexPre = entry.run.searchKeyIndexPre;
    params.searchKeyIndex = entry.run.searchKeyIndex;
    params.currentKeyword = entry.displayKeyword;
    params.nextUrl = entry.nextUrl;
    params.startPage = entry.startPage;
    params.skipFirstPage = entry.skipPage;
    entry.skipPage = false;
    params.rangeValue = entry.run.rangeValue;
    params.pageRecord = entry.run.pageRecord;
    params.fetcher = &worker->fetcher;
    worker->testPage = entry.testPage;
    if (entry.kind == RunKind::kSendMail)
        worker->sendMail = sendMail_;
    params.testPageLimit = entry.testPageLimit;
    params.testRecordLimit = entry.testRecordLimit;
    if (mode == RunMode::kHarvest && entry.kind == RunKind::kHarvest)
        notices.Add([this] { observer_.ProgressWindowNeeded(); });

    // The thread is made without the lock: a worker that needs g_csDatabase at once must not wait.
    lock.unlock();
    Worker* raw = worker.get();
    try {
        worker->thread = std::thread([raw] { WorkerMain(*raw); });
    } catch (const std::system_error&) {
        lock.lock();
        notices.Add([this] { prompt_.ShowMessage("不能启动新任务."); });
        return false;
    }
    lock.lock();
    workers_.push_back(std::move(worker));
    notices.Add([this] { ShowTaskCount(); });
    return true;
}

// --- the worker thread ------------------------------------------------------------------------

std::vector<RunProgressView> RunController::RunProgress() const {
    std::vector<RunProgressView> runs;
    std::scoped_lock lock(g_csDatabase);
    for (const auto& worker : workers_) {
        const ThreadParams& params = *worker->params;
        if (params.mode != RunMode::kHarvest || params.taskNumber == 0)
            continue;
        RunProgressView view;
        view.taskNumber = params.taskNumber;
        view.stats = params.stats.Snapshot();
        view.failedPages = params.stats.failedPages.load();
        view.url = params.progressUrl.Get();
        runs.push_back(std::move(view));
    }
    return runs;
}

void RunController::WorkerMain(Worker& worker) {
    ThreadParams& params = *worker.params;
    PageFetcher& fetcher = worker.fetcher;
    switch (params.mode) {
        case RunMode::kSaveJob:
            if (params.recordBuffer)
                SaveRecords(params, *params.recordBuffer);
            params.Send(RunMessageType::kSaveJobEnded, {}, params.taskNumber);
            break;
        case RunMode::kLinkCheck:
            if (PrepareUrl(params))
                fetcher.CheckLink(params);
            break;
        case RunMode::kHarvest: {
            const bool mail = params.kind != RunKind::kHarvest;
            const bool editorPage = params.taskNumber == 0 && !worker.testPage.empty();
            if (!mail) {
                const RunFetchSettings fetchSettings = ReadRunFetchSettings(params.script);
                fetcher.SetPoliteness(fetchSettings.politeness);
                params.maxPages = fetchSettings.maxPages;
            }
            if (!mail && !editorPage) {
                if (!fetcher.CreateSession(params) || params.url.empty() || params.StopRequested())
                    break;
                PrepareUrl(params);
                params.progressUrl.Set(params.url);
            }
            params.Send(RunMessageType::kProgressLine, Format("正打开任务: %s", params.taskName.c_str()));
            if (params.kind == RunKind::kSendMail) {
                if (worker.sendMail) {
                    worker.sendMail(params);
                } else {
                    // Not "ended": nothing was sent.
                    params.Send(RunMessageType::kProgressLine, kNoMailRunner);
                    params.RequestStop(kStopPause);
                }
                break;
            }
            // A mailbox receives its mail on the interface thread; the worker has nothing to do.
            if (params.kind == RunKind::kReceiveMail)
                break;
            // A download option without text fetches no page: the engine only runs its downloads.
            if (editorPage) {
                params.pageText = worker.testPage;
            } else if (params.skipFirstPage) {
                // Resumed past the page it paused on: the engine goes on after that page.
                params.pageText.clear();
            } else if (DownloadOptionTakesText(params.script, params.optionText) &&
                       !fetcher.GetSource(params, {}, kFetchIntoMemory)) {
                // The fetcher's own message names the page and its answer.
                if (fetcher.FailureText().empty() && !params.StopRequested())
                    params.Send(RunMessageType::kProgressLine, "可能是网络不通，无法打开网页！");
                break;
            }
            RunExtraction(params);
            params.Send(RunMessageType::kRecordBatchWritten, {}, params.taskNumber);
            break;
        }
    }
    RunAfterDownloadOperations(params);
    fetcher.CloseConnection(params);
    params.Send(RunMessageType::kWorkerEnded);
}

// --- messages ---------------------------------------------------------------------------------

void RunController::Send(RunMessage message) {
    {
        std::scoped_lock lock(messagesMutex_);
        messages_.push_back(std::move(message));
    }
    messagesWaiting_.notify_all();
    observer_.MessagesPending();
}

bool RunController::WaitForMessages(std::chrono::milliseconds timeout) {
    std::unique_lock lock(messagesMutex_);
    return messagesWaiting_.wait_for(lock, timeout, [this] { return !messages_.empty(); });
}

int RunController::PumpMessages() {
    int delivered = 0;
    while (true) {
        RunMessage message;
        {
            std::scoped_lock lock(messagesMutex_);
            if (messages_.empty())
                break;
            message = std::move(messages_.front());
            messages_.pop_front();
        }
        Deliver(message);
        ++delivered;
    }
    return delivered;
}

void RunController::Deliver(RunMessage& message) {
    switch (message.type) {
        case RunMessageType::kWorkerEnded:
            if (message.params)
                OnWorkerDone(*message.params);
            break;
        case RunMessageType::kProgressLine:
            SetStatusText(message.text, kPaneProgress);
            break;
        case RunMessageType::kConnectionStatus:
            SetStatusText(message.text, kPaneConnection);
            break;
        case RunMessageType::kUrlCount:
            SetStatusText(Format("URLs:%lld", message.number), kPaneUrls);
            break;
        case RunMessageType::kStatusText:
            SetStatusText(message.text, static_cast<int>(message.number));
            break;
        case RunMessageType::kSaveJobEnded:
            observer_.ResultsChanged(static_cast<int>(message.number));
            break;
        case RunMessageType::kRecordBatchWritten:
            // The batch is in its table already: nothing on the screen depends on it.
            break;
        case RunMessageType::kProgressWindowText:
            observer_.ProgressWindowText(message.text);
            break;
        case RunMessageType::kLinkCheckResult:
            observer_.LinkChecked(message.link);
            break;
    }
}

// --- a worker's end ---------------------------------------------------------------------------

void RunController::OnWorkerDone(ThreadParams& params) {
    std::unique_ptr<Worker> worker;
    int endedTask = -1;
    TaskState endedState = TaskState::kEnded;
    std::string failure;
    {
        std::scoped_lock lock(g_csDatabase);
        auto found = std::find_if(workers_.begin(), workers_.end(),
                                  [&params](const auto& w) { return w->params.get() == &params; });
        if (found == workers_.end())
            return;
        RunQueueEntry* entry = params.queueEntry;
        if (params.mode != RunMode::kSaveJob && entry) {
            if (params.taskNumber != 0) {
                const int reason = params.stopReason.load();
                const TaskState state = reason == kStopPause    ? TaskState::kPaused
                                        : reason == kStopDelete ? TaskState::kStoppedForDeletion
                                                                : TaskState::kEnded;
                entry->run.keywordList = params.keywordList;
                entry->run.searchKeyIndexPre = params.searchKeyIndexPre;
                entry->run.searchKeyIndex = params.searchKeyIndex;
                entry->nextUrl = params.nextUrl;
                entry->startPage = params.startPage;
                entry->run.rangeValue = params.rangeValue;
                entry->run.pageRecord = params.pageRecord;
                WriteRunState(*entry, state, params.stats.Snapshot());
                entry->state = state == TaskState::kPaused ? QueueState::kPaused : QueueState::kEnded;
                endedTask = params.taskNumber;
                endedState = state;
                failure = params.failure;
            } else {
                entry->state = QueueState::kEnded;
            }
        }
        worker = std::move(*found);
        workers_.erase(found);
    }
    // The end message is the worker's last act: the join is immediate.
    if (worker->thread.joinable())
        worker->thread.join();
    if (endedTask > 0) {
        if (!failure.empty())
            observer_.RunFailed(endedTask, failure);
        observer_.TaskRowChanged(endedTask);
        observer_.RunEnded(endedTask, endedState);
    } else if (params.taskNumber == 0 && params.mode == RunMode::kHarvest) {
        observer_.TestRunEnded(params);
    }
    const RunMode mode = params.mode;
    worker.reset();
    ShowTaskCount();
    if (RunningWorkers() == 0) {
        SetStatusText("就绪", kPaneProgress);
        SetStatusText("连接已关闭", kPaneConnection);
    }
    if (mode != RunMode::kSaveJob)
        DispatchQueue();
}

// --- stopping ---------------------------------------------------------------------------------

bool RunController::StopTask(int taskNumber, int reason) {
    bool any = false;
    {
        std::scoped_lock lock(g_csDatabase);
        for (auto& entry : queue_) {
            if ((taskNumber != kAllTasks && entry->taskNumber != taskNumber) ||
                entry->state != QueueState::kWaiting)
                continue;
            // Not started yet: it pauses (or ends, for a deletion) without a worker.
            entry->state =
                reason == kStopDelete || entry->taskNumber == 0 ? QueueState::kEnded : QueueState::kPaused;
            WriteRunState(*entry, reason == kStopDelete ? TaskState::kStoppedForDeletion : TaskState::kPaused,
                          TaskRunStats());
            any = true;
        }
        for (auto& worker : workers_) {
            ThreadParams& params = *worker->params;
            if (params.mode == RunMode::kSaveJob)
                continue;
            if (taskNumber == kAllTasks) {
                if (params.stopReason.load() == kStopNone)
                    params.RequestStop(reason);
                any = true;
                continue;
            }
            if (params.taskNumber != taskNumber)
                continue;
            const RunQueueEntry* entry = params.queueEntry;
            if (entry && entry->state == QueueState::kEnded)
                continue;
            params.RequestStop(reason);
            any = true;
        }
        if (reason == kStopDelete && taskNumber > 0 && any) {
            CDbAccess db;
            db.ExecuteSql(Format("update Task set iType=5 where ID=%d", taskNumber));
        }
    }
    if (!any)
        return false;
    if (taskNumber != kAllTasks)
        observer_.TaskRowChanged(taskNumber);
    return true;
}

void RunController::Shutdown() {
    if (shutDown_.exchange(true))
        return;
    g_bStopAll = true;
    {
        std::scoped_lock lock(g_csDatabase);
        for (auto& worker : workers_) {
            if (worker->params->stopReason.load() == kStopNone)
                worker->params->RequestStop(kStopPause);
        }
    }
    while (true) {
        PumpMessages();
        {
            std::scoped_lock lock(g_csDatabase);
            if (workers_.empty())
                break;
        }
        WaitForMessages(std::chrono::milliseconds(100));
    }
    {
        std::scoped_lock lock(g_csDatabase);
        for (auto& entry : queue_) {
            if (entry->state != QueueState::kWaiting)
                continue;
            entry->state = entry->taskNumber == 0 ? QueueState::kEnded : QueueState::kPaused;
            WriteRunState(*entry, TaskState::kPaused, TaskRunStats());
        }
    }
    g_bStopAll = false;
}

// --- the host loop ----------------------------------------------------------------------------

bool RunController::RunUntilIdle(std::chrono::steady_clock::time_point deadline,
                                 const std::atomic<bool>* interrupted) {
    return HostLoop(deadline, {}, interrupted);
}

bool RunController::RunUntil(std::chrono::steady_clock::time_point deadline,
                             const std::function<bool()>& done) {
    return HostLoop(deadline, done, nullptr);
}

bool RunController::HostLoop(std::chrono::steady_clock::time_point deadline,
                             const std::function<bool()>& done, const std::atomic<bool>* interrupted) {
    using Clock = std::chrono::steady_clock;
    auto nextTick = Clock::now() + kDispatchInterval;
    bool pausing = false;
    while (true) {
        PumpMessages();
        if (done ? done() : !HasActiveRuns())
            return true;
        if (interrupted && !pausing && interrupted->load()) {
            pausing = true;
            StopTask(kAllTasks, kStopPause);
            continue;
        }
        const auto now = Clock::now();
        if (now >= deadline)
            return false;
        if (now >= nextTick) {
            DispatchTimerTick();
            nextTick = now + kDispatchInterval;
            continue;
        }
        const Clock::duration wait =
            std::min<Clock::duration>({kInterruptPoll, nextTick - now, deadline - now});
        WaitForMessages(std::chrono::ceil<std::chrono::milliseconds>(wait));
    }
}

// --- settings and status ----------------------------------------------------------------------

bool RunController::SetMaxThreadCount(int count, bool store) {
    if (count < 1 || count > 63) {
        prompt_.ShowMessage("值应在1~63之间！");
        return false;
    }
    giMaxThreadCount = count;
    if (store) {
        CDbAccess db;
        db.SetSetValue("giMaxThreadCount", std::to_string(count));
    }
    DispatchQueue();
    return true;
}

void RunController::SetStatusText(const std::string& text, int pane) {
    if (g_bStopAll)
        return;
    std::string pending;
    {
        std::scoped_lock lock(statusMutex_);
        if (inStatusText_)
            return;
        inStatusText_ = true;
        pending.swap(pendingStatusText_);
    }
    if (!pending.empty())
        observer_.StatusText(kPaneProgress, pending);
    observer_.StatusText(pane, text);
    std::scoped_lock lock(statusMutex_);
    inStatusText_ = false;
}

void RunController::SetPendingStatusText(const std::string& text) {
    std::scoped_lock lock(statusMutex_);
    pendingStatusText_ = text;
}

void RunController::ShowTaskCount() {
    SetStatusText(Format("任务数:%d", RunningWorkers()), kPaneTasks);
}

int RunController::RunningWorkers() const {
    std::scoped_lock lock(g_csDatabase);
    return static_cast<int>(workers_.size());
}

bool RunController::HasActiveRuns() const {
    std::scoped_lock lock(g_csDatabase);
    if (!workers_.empty())
        return true;
    return std::any_of(queue_.begin(), queue_.end(),
                       [](const auto& entry) { return IsActive(entry->state); });
}

std::vector<QueueEntryView> RunController::Queue() const {
    std::scoped_lock lock(g_csDatabase);
    std::vector<QueueEntryView> views;
    for (const auto& entry : queue_) {
        QueueEntryView view;
        view.taskNumber = entry->taskNumber;
        view.state = entry->state;
        view.kind = entry->kind;
        view.slot = entry->slot;
        view.displayName = entry->displayName;
        view.displayKeyword = entry->displayKeyword;
        views.push_back(std::move(view));
    }
    return views;
}

bool RunController::TaskActive(int taskNumber) const {
    const std::optional<QueueState> state = EntryState(taskNumber);
    return state && IsActive(*state);
}

std::optional<QueueState> RunController::EntryState(int taskNumber) const {
    std::scoped_lock lock(g_csDatabase);
    const RunQueueEntry* entry = FindEntry(taskNumber);
    if (!entry)
        return std::nullopt;
    return entry->state;
}

}  // namespace sorvik
