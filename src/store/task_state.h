#pragma once
// The run state of a task as the Task row's iStatus column stores it. These are the row's
// numbers, not the run queue's entry states (engine/run_queue.h), which are a set of their own.

namespace sorvik {

enum class TaskState : int {
    kWaiting = 0,
    kRunning = 1,
    kPaused = 2,
    kFinished = 3,  // a further end state: shown in the list of ended tasks like kEnded
    kEnded = 4,
    // Given when a task deleted during its run stops; never stored: the row gets kPaused in
    // list 5.
    kStoppedForDeletion = 5,
    kHidden = 6,  // a row no task list shows (an imported definition)
};

}  // namespace sorvik
