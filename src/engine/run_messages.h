#pragma once
// The messages a worker sends to the "main window" of its run, and the sink that receives them.
// A worker never calls a front end: it hands each message to its sink, in the order it produces
// them, and the sink delivers them on the host's thread (the run controller queues them and the
// host pumps the queue, see run_controller.h).

#include <string>

namespace sorvik {

struct ThreadParams;

enum class RunMessageType {
    kWorkerEnded = 1,         // params: OnWorkerDone
    kProgressWindowText = 2,  // params: its text goes to the progress window
    kRecordBatchWritten = 3,  // number: the task number of the run
    kProgressLine = 4,        // text: status-bar pane 0
    kConnectionStatus = 12,   // text: status-bar pane 1
    kUrlCount = 14,           // number: pane 3 shows "URLs:%d"
    kSaveJobEnded = 16,       // params: the result views reload
    kLinkCheckResult = 18,    // link: the result of one link check
    kStatusText = 20,         // text in pane `number` (a status text of another part, e.g. a writer error)
};

// The result of one link check (also the entry of the URL status table).
struct LinkCheckResult {
    int statusCode = 0;
    std::string url;  // host + object
    std::string statusText;
    std::string contentType;
    std::string contentLength;
    std::string lastModified;
};

struct RunMessage {
    RunMessageType type = RunMessageType::kProgressLine;
    ThreadParams* params = nullptr;
    std::string text;
    long long number = 0;
    LinkCheckResult link;
};

class RunMessageSink {
  public:
    virtual ~RunMessageSink() = default;
    // Called on the worker's thread (or any thread); must not block for long and must keep the
    // order of the calls of one thread.
    virtual void Send(RunMessage message) = 0;
};

}  // namespace sorvik
