#include "gui/run_bridge.h"

#include <QMetaObject>

#include "engine/run_controller.h"
#include "engine/thread_params.h"
#include "gui/gb_qstring.h"

namespace sorvik::gui {

void RunBridge::StatusText(int pane, const std::string& text) {
    emit statusTextChanged(pane, FromGb(text));
}

void RunBridge::TaskRowChanged(int taskNumber) {
    emit taskRowChanged(taskNumber);
}

void RunBridge::RunEnded(int taskNumber, TaskState state) {
    emit runEnded(taskNumber, static_cast<int>(state));
}

void RunBridge::TestRunEnded(const ThreadParams& params) {
    emit testRunEnded(FromGb(params.testOutput), FromGb(params.pageText));
}

void RunBridge::ResultsChanged(int taskNumber) {
    emit resultsChanged(taskNumber);
}

void RunBridge::ProgressWindowNeeded() {
    emit progressWindowNeeded();
}

void RunBridge::ProgressWindowText(const std::string& text) {
    emit progressWindowText(FromGb(text));
}

void RunBridge::MessagesPending() {
    // A worker's thread: post one delivery to the GUI thread; later messages ride along.
    if (!deliveryPosted_.exchange(true))
        QMetaObject::invokeMethod(this, &RunBridge::DeliverMessages, Qt::QueuedConnection);
}

void RunBridge::DeliverMessages() {
    deliveryPosted_ = false;
    if (controller_ != nullptr)
        controller_->PumpMessages();
}

}  // namespace sorvik::gui
