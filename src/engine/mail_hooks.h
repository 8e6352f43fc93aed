#pragma once
// Entry points of the mail module that a mail run's worker calls. The engine does not link the
// mail module: the mail module registers its functions at start-up (before any run is started),
// and a worker of a mail task calls them on its thread. Unregistered, a send-mail run does
// nothing and ends normally.

#include <atomic>

namespace sorvik {

struct ThreadParams;

// Runs the mail-sending task of the run (task script in params.script), honouring the stop
// flags; statistics go to params.stats.
using SendMailTaskFunction = void (*)(ThreadParams& params);

inline std::atomic<SendMailTaskFunction> g_sendMailTask{nullptr};

inline void RegisterSendMailTask(SendMailTaskFunction function) {
    g_sendMailTask.store(function);
}

}  // namespace sorvik
