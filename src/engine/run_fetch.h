#pragma once
// Fetches that a run makes besides its current page: linked pages of fields and entries, next
// pages, and files of the download step. Each goes through the run's fetcher (its session, its
// cookies, its stop flag and statistics) and leaves the run's current URL, parsed URL, post data
// and page text as they were, so the page being cut into records is never replaced under the
// engine's feet.
//
// Worker thread only (the fetcher and the run's worker fields belong to it).

#include <string>

#include "engine/page_fetcher.h"
#include "engine/thread_params.h"

namespace sorvik {

// How a failed page fetch counts for the run.
enum class SideFetchFailure {
    kQuiet,  // the value is just empty: a linked page or an entry's page
    kPause,  // the run pauses (the fetcher's "connection broken" rule): a next page, a keyword page
};

// Fetches url (GET) into page (GB18030; fromUtf8: decoded as UTF-8). False when it fails or is not
// a 200 answer (page then empty). A fetched page counts as a page of the run, not as page bytes:
// the caller adds those.
bool FetchRunPage(ThreadParams& run, PageFetcher& fetcher, const std::string& url, bool fromUtf8,
                  std::string& page, SideFetchFailure failure);

// Downloads url (GET) into the file path. False when the file could not be written or the run
// was stopped; an answer other than 200 writes no file (and returns true: nothing to retry).
bool FetchRunFile(ThreadParams& run, PageFetcher& fetcher, const std::string& url, const std::string& path);

}  // namespace sorvik
