#pragma once
// The front end of the run-controller tests: an observer and a prompt that record what the
// controller says (host thread only, as the controller calls them), with hooks through which a
// test calls back into the controller from inside a call, and a check that no call comes while
// the calling thread holds g_csDatabase. Header-only: the support library does not link the engine.

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/run_observer.h"
#include "engine/thread_params.h"
#include "store/database.h"

namespace sorvik::test {

// True when the calling thread holds g_csDatabase: another thread can't take it for two seconds
// (a worker holds it only for moments).
inline bool DatabaseLockHeldHere() {
    bool taken = false;
    std::thread probe([&taken] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!taken && std::chrono::steady_clock::now() < end) {
            if (g_csDatabase.try_lock()) {
                g_csDatabase.unlock();
                taken = true;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
    });
    probe.join();
    return !taken;
}

// Counts the calls made while the calling thread holds g_csDatabase (when checkLocks is set).
struct LockCheck {
    void Check() {
        if (checkLocks && DatabaseLockHeldHere())
            ++callsUnderLock;
    }
    bool checkLocks = false;
    int callsUnderLock = 0;
};

class RecordingObserver : public RunObserver, public LockCheck {
  public:
    void StatusText(int pane, const std::string& text) override {
        Check();
        panes[pane] = text;
        if (pane == kPaneProgress)
            progressLines.push_back(text);
    }
    void TaskRowChanged(int) override { Check(); }
    void RunEnded(int task, TaskState state) override {
        Check();
        ended.emplace_back(task, state);
        if (onRunEnded)
            onRunEnded(task, state);
    }
    void TestRunEnded(const ThreadParams& params) override {
        Check();
        testOutputs.push_back(params.testOutput);
    }
    void ProgressWindowNeeded() override {
        Check();
        if (onProgressWindow)
            onProgressWindow();
    }

    // The state the task's last run ended in; none when no run of it ended.
    std::optional<TaskState> EndOf(int task) const {
        for (auto it = ended.rbegin(); it != ended.rend(); ++it)
            if (it->first == task)
                return it->second;
        return std::nullopt;
    }

    std::map<int, std::string> panes;
    std::vector<std::string> progressLines;
    std::vector<std::pair<int, TaskState>> ended;
    std::vector<std::string> testOutputs;
    std::function<void(int, TaskState)> onRunEnded;
    std::function<void()> onProgressWindow;
};

class RecordingPrompt : public RunPrompt, public LockCheck {
  public:
    void ShowMessage(const std::string& text) override {
        Check();
        messages.push_back(text);
    }
    PromptAnswer AskYesNoCancel(const std::string& text) override {
        Check();
        questions.push_back(text);
        return answer;
    }

    std::vector<std::string> messages;  // GB18030
    std::vector<std::string> questions;
    PromptAnswer answer = PromptAnswer::kCancel;
};

}  // namespace sorvik::test
