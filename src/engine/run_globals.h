#pragma once
// Process-wide run values shared by the run controller, the fetcher and the extraction engine.
// Each is an atomic: it is read on every thread and changed with interlocked operations.

#include <atomic>

namespace sorvik {

// Set while the program shuts down: every loop of the fetcher and the engine ends when it is set,
// the dispatcher starts nothing and the status bar shows nothing more.
inline std::atomic<bool> g_bStopAll{false};

// The most workers that the dispatcher runs at once (1 to 63, default 5; kept in [Set]).
inline std::atomic<int> giMaxThreadCount{5};

}  // namespace sorvik
