#pragma once
// The URL status table of link checks: one entry per checked URL (host + object) with its status
// code, status text and three response headers. Process-wide, guarded by its own lock.

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/run_messages.h"

namespace sorvik {

// The text of a link-check status code ("ok", "not found", "Connection timed out", ...; "no
// connection" for codes the table does not name).
std::string LinkStatusText(int code);

class UrlStatusTable {
  public:
    // The entry whose URL equals url without regard to ASCII letter case.
    std::optional<LinkCheckResult> Find(std::string_view url) const;
    // Enters the result unless an entry with exactly that URL exists; true when it was added.
    bool Add(const LinkCheckResult& result);
    void Clear();

  private:
    mutable std::mutex mutex_;
    std::vector<LinkCheckResult> entries_;  // guarded by mutex_
};

// The process's table.
UrlStatusTable& TheUrlStatusTable();

}  // namespace sorvik
