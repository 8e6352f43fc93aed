#pragma once
// The run controller's observer in the GUI. The controller calls it on the GUI thread (inside its
// calls and while it delivers worker messages, never holding a lock) and, for MessagesPending, on
// a worker's thread. Every call only emits a signal; the window connects to them with queued
// connections, so that widgets change later from the event loop, on the GUI thread and outside
// any lock of the core. MessagesPending posts one queued delivery of the worker messages.

#include <QObject>
#include <QString>
#include <atomic>

#include "engine/run_observer.h"

namespace sorvik {
class RunController;
}

namespace sorvik::gui {

class RunBridge : public QObject, public RunObserver {
    Q_OBJECT

  public:
    explicit RunBridge(QObject* parent = nullptr) : QObject(parent) {}
    // The controller whose messages the bridge delivers (null: none).
    void SetController(RunController* controller) { controller_ = controller; }

    void StatusText(int pane, const std::string& text) override;
    void TaskRowChanged(int taskNumber) override;
    void RunEnded(int taskNumber, TaskState state) override;
    void TestRunEnded(const ThreadParams& params) override;
    void ResultsChanged(int taskNumber) override;
    void ProgressWindowNeeded() override;
    void ProgressWindowText(const std::string& text) override;
    void MessagesPending() override;

  signals:
    void statusTextChanged(int pane, const QString& text);
    void taskRowChanged(int taskNumber);
    void runEnded(int taskNumber, int state);  // the TaskState number
    void testRunEnded(const QString& output, const QString& page);
    void resultsChanged(int taskNumber);
    void progressWindowNeeded();
    void progressWindowText(const QString& text);

  private:
    void DeliverMessages();

    RunController* controller_ = nullptr;
    std::atomic<bool> deliveryPosted_{false};
};

}  // namespace sorvik::gui
