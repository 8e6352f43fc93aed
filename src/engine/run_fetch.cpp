#include "engine/run_fetch.h"

#include <utility>

namespace sorvik {

namespace {

// Swaps the run's current request state out for the time of one side fetch.
class SavedRequest {
  public:
    explicit SavedRequest(ThreadParams& run) : run_(run) {
        url_ = std::move(run.url);
        parts_ = std::move(run.parts);
        postData_ = std::move(run.postData);
        pageText_ = std::move(run.pageText);
        run.url.clear();
        run.parts = UrlParts();
        run.postData.clear();
        run.pageText.clear();
    }
    ~SavedRequest() {
        run_.url = std::move(url_);
        run_.parts = std::move(parts_);
        run_.postData = std::move(postData_);
        run_.pageText = std::move(pageText_);
    }
    SavedRequest(const SavedRequest&) = delete;
    SavedRequest& operator=(const SavedRequest&) = delete;

  private:
    ThreadParams& run_;
    std::string url_;
    UrlParts parts_;
    std::string postData_;
    std::string pageText_;
};

}  // namespace

bool FetchRunPage(ThreadParams& run, PageFetcher& fetcher, const std::string& url, bool fromUtf8,
                  std::string& page, SideFetchFailure failure) {
    page.clear();
    if (url.empty() || run.StopRequested())
        return false;
    SavedRequest saved(run);
    run.url = url;
    run.progressUrl.Set(url);
    unsigned flags = kFetchPrepare | kFetchIntoMemory;
    if (fromUtf8)
        flags |= kFetchFromUtf8;
    if (failure == SideFetchFailure::kQuiet)
        flags |= kFetchQuiet;
    const long long pagesBefore = run.stats.pages.load();
    const bool ok = fetcher.GetSource(run, std::string(), flags);
    // A quiet fetch of a non-200 answer succeeds without a page: no page was counted for it.
    if (!ok || run.stats.pages.load() == pagesBefore) {
        if (!run.StopRequested())
            ++run.stats.failedPages;
        return false;
    }
    page = std::move(run.pageText);
    return true;
}

bool FetchRunFile(ThreadParams& run, PageFetcher& fetcher, const std::string& url, const std::string& path) {
    if (url.empty() || path.empty() || run.StopRequested())
        return false;
    SavedRequest saved(run);
    run.url = url;
    // A file that could not be saved (one over its cap too) is a failed link of the run.
    const bool ok = fetcher.GetSource(run, path, kFetchPrepare);
    if (!ok && !run.StopRequested())
        ++run.stats.failedPages;
    return ok;
}

}  // namespace sorvik
