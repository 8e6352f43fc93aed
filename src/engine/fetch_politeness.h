#pragma once
// How a run fetches: the task script's keys, with the database's [Set] values as defaults.
//   "#并发连接数="  requests to one host at a time (1 to 32; default 4; 1 fetches one page after another)
//   "#访问间隔="    least milliseconds between the starts of two requests to one host (default 0)
//   "#用户代理="    the User-Agent text (default the system's own)
//   "#最大页数="    the most pages a run moves to: start, next, range and keyword pages (0: no cap)
//   "#遵守robots="  "1": pages the host's robots.txt disallows are skipped (default 0)
// The [Set] keys are the same words without "#" and "=" ("并发连接数", ...).

#include <string>
#include <string_view>

#include "engine/page_fetcher.h"

namespace sorvik {

struct RunFetchSettings {
    FetchPoliteness politeness;
    int maxPages = 0;
};

inline constexpr int kDefaultConnections = 4;
inline constexpr int kMaxConnections = 32;

// The defaults of every run: [Set] over the built-in defaults (takes g_csDatabase).
RunFetchSettings StoredFetchDefaults();

// The script's keys over defaults. A value that is not a number in range keeps the default.
RunFetchSettings RunFetchSettingsOf(std::string_view script, const RunFetchSettings& defaults);

// Both together: what a run of script uses.
RunFetchSettings ReadRunFetchSettings(std::string_view script);

// The defaults as the options dialog shows and edits them.
struct FetchDefaultTexts {
    std::string connections;  // 1 to 32
    std::string interval;     // milliseconds, 0 to 3600000
    std::string userAgent;    // one line; empty: the system's own
};
FetchDefaultTexts StoredFetchDefaultTexts();
// Checks the texts and stores them in [Set]. False with the message to show (nothing stored)
// when a number is out of range or the User-Agent holds a line break, or with the database's
// error when it could not store them.
bool StoreFetchDefaults(const FetchDefaultTexts& texts, std::string& message);

}  // namespace sorvik
