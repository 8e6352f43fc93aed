#pragma once
// ThreadParams: the parameter block of one run. The run controller makes it when it starts a
// worker and frees it when it has handled the worker's end message; in between the worker thread
// owns it.
//
// Ownership and locks, member by member:
// - "set before start": written by the controller before the worker thread starts; read-only
//   afterwards (no lock needed).
// - "worker": read and written only by the worker thread while it runs (the fetcher and the
//   extraction engine run on that thread); the controller reads them after the end message.
// - "atomic": read and written by any thread (statistics, stop flag and reason, save request).
// - queueEntry points into the run queue, which is guarded by g_csDatabase: hold it to touch the
//   entry.

#include <atomic>
#include <ctime>
#include <string>

#include "engine/run_globals.h"
#include "engine/run_messages.h"
#include "store/shared_text.h"
#include "store/task_table.h"

namespace sorvik {

class PageFetcher;
class RecordBuffer;
struct RunQueueEntry;

// Run mode of a worker.
enum class RunMode : int { kHarvest = 0, kSaveJob = 1, kLinkCheck = 3 };

// Kind of task ("#任务类型=").
enum class RunKind : int { kHarvest = 0, kSendMail = 1, kReceiveMail = 2 };

// Stop reasons: none, paused (resumable), stopped because the task is being deleted.
inline constexpr int kStopNone = 0;
inline constexpr int kStopPause = 8;
inline constexpr int kStopDelete = 24;

// Task number meaning every running task (stop and save requests).
inline constexpr int kAllTasks = -1;

// Parts of a prepared URL (PrepareUrl).
struct UrlParts {
    std::string scheme;    // "http" or "https"
    std::string userInfo;  // "user:password" before "@", usually empty
    std::string host;      // as written (an IPv6 address keeps its brackets)
    int port = 0;          // the URL's port, or 80/443 for the scheme
    std::string object;    // path and query, "/" at least; a folder path gets a trailing "/"
};

// Run statistics, changed by the worker and read by any thread.
struct RunStatistics {
    std::atomic<long long> records{0};      // records saved
    std::atomic<long long> recordBytes{0};  // bytes of the saved values
    std::atomic<long long> pages{0};        // pages fetched (【链接数】)
    std::atomic<long long> pageBytes{0};    // bytes of the fetched pages
    std::atomic<long long> failedPages{0};  // pages and linked files the run could not fetch (progress only)
    std::atomic<long long> robotsDenied{0}; // pages skipped because robots.txt disallows them

    TaskRunStats Snapshot() const {
        TaskRunStats stats;
        stats.records = records.load();
        stats.recordBytes = recordBytes.load();
        stats.pages = pages.load();
        stats.pageBytes = pageBytes.load();
        return stats;
    }
};

struct ThreadParams {
    // --- set before start ---
    RunMode mode = RunMode::kHarvest;
    RunKind kind = RunKind::kHarvest;
    int taskNumber = 0;        // 0: a test run
    int sharedTaskNumber = 0;  // "#共用任务号", or the task number; records are filed under it
    std::string taskName;
    std::string script;                // the task script (GB18030)
    std::string optionText;            // the run's download-option text (task editor), may be empty
    std::string searchObjectText;      // the run's search object, one line per "#搜索类别=" item
    std::time_t runStart = 0;          // start of this run
    RunMessageSink* window = nullptr;  // receives the worker's messages; null drops them
    RunQueueEntry* queueEntry =
        nullptr;  // the run's queue entry (guarded by g_csDatabase); null outside a run

    // --- worker ---
    std::string url;            // the current URL
    std::string referrerUrl;    // the URL that led to the current page
    std::string pageText;       // the current page (GB18030 after an in-memory fetch)
    std::string postData;       // non-empty: requests are POST requests with this body
    UrlParts parts;             // the current URL, parsed by PrepareUrl
    std::string keywordList;    // CR LF separated keywords of the run
    int searchKeyIndexPre = 0;  // keyword cursor
    int searchKeyIndex = 0;
    std::string currentKeyword;      // the current keyword, for the progress line
    std::string nextUrl;             // resume URL, handed back to the queue entry and the Task row
    int startPage = 0;               // resume page
    long long rangeValue = 0;        // resume: 1 + the offset in the "(*)" range of nextUrl's chain; 0 none
    long long pageRecord = 0;        // resume: matches of nextUrl's page already stored (skipped on resume)
    int updateMode = 0;              // "#更新模式=": 0, 1 insert only, 2 insert and update
    int batchSize = 500;             // "#保存数据库的最大记录数="
    std::string testOutput;          // the readable trace of a test run
    int testPageLimit = 0;           // test run: pages to process at most (0: none)
    int testRecordLimit = 0;         // test run: records to build at most (0: none)
    int maxPages = 0;                // "#最大页数=": pages the run moves to at most (0: none)
    bool skipFirstPage = false;      // resume past the page the run paused on (it is not fetched)
    SharedText progressUrl;          // the page being fetched, for the progress line of another thread
    std::string failure;             // why the run paused: its setup, or a page it could not fetch
    LinkCheckResult linkCheck;       // run mode 3: the last link check
    PageFetcher* fetcher = nullptr;  // the worker's fetch state (owned by the worker)
    RecordBuffer* recordBuffer = nullptr;  // the run's record buffer while the engine runs (owned by it)

    // The last page fetched into memory was UTF-8 (or UTF-16): the links it gave send the
    // characters of their query as UTF-8.
    bool linksFromUtf8Page = false;

    // --- atomic ---
    RunStatistics stats;
    std::atomic<bool> stopFlag{false};
    std::atomic<int> stopReason{kStopNone};
    std::atomic<bool> saveRequested{false};  // the engine saves its buffer at the next check

    // True when this run or the whole program is being stopped.
    bool StopRequested() const { return stopFlag.load() || g_bStopAll.load(); }

    // Asks the run to stop: the reason is kept when it is already 24 (deletion wins over pause).
    void RequestStop(int reason) {
        int current = stopReason.load();
        while (current != kStopDelete && !stopReason.compare_exchange_weak(current, reason)) {
        }
        stopFlag.store(true);
    }

    // Sends a message to the run's window (dropped when there is none).
    void Send(RunMessageType type, std::string text = {}, long long number = 0) {
        if (!window)
            return;
        RunMessage message;
        message.type = type;
        message.params = this;
        message.text = std::move(text);
        message.number = number;
        window->Send(std::move(message));
    }
};

}  // namespace sorvik
