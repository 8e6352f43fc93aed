#pragma once
// The run queue: at most 64 entries, one per run that is waiting, running, paused or ended.
// Every entry is guarded by g_csDatabase (the run-queue lock): hold it to read or change one.

#include <ctime>
#include <string>

#include "engine/thread_params.h"
#include "store/task_table.h"

namespace sorvik {

inline constexpr int kMaxQueueEntries = 64;

// The state of a queue entry. Its own set: the Task row's states are TaskState.
enum class QueueState : int { kWaiting = 0, kRunning = 1, kPaused = 2, kEnded = 4 };

struct RunQueueEntry {
    int taskNumber = 0;  // 0: a test run
    QueueState state = QueueState::kWaiting;
    RunKind kind = RunKind::kHarvest;
    int slot = 0;  // index in the queue, 0 to 63
    std::string script;
    std::string taskName;
    std::string displayName;       // the name cut to 25 bytes (whole characters)
    TaskRunEntry run;              // keyword list, cursor and start time of the current run
    std::string nextUrl;           // resume URL (cNextSite)
    int startPage = 0;             // resume page (iStartPage)
    bool skipPage = false;         // the next start skips the page at the resume point
    std::string displayKeyword;    // the current keyword cut to 31 bytes (whole characters)
    std::string optionText;        // the run's download-option text
    std::string searchObjectText;  // the run's search object, one line per search category
    std::string testPage;          // test run: the page the task editor holds (may be empty)
    int testPageLimit = 0;         // test run: pages to process at most (0: no limit)
    int testRecordLimit = 0;       // test run: records to build at most (0: no limit)

    // Set by the extraction engine for the writer.
    int fieldCount = 0;
    std::string tableName;
    int batchSize = 500;
    int updateMode = 0;
};

}  // namespace sorvik
