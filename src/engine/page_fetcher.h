#pragma once
// The page fetcher: a worker's HTTP session on libcurl and the operations that turn a URL into
// page text or a file.
//
// A PageFetcher is the fetch state of one worker: its session (one curl easy handle: kept-alive
// connections, its own cookie store, redirects followed, every compression curl knows offered,
// proxy from the usual environment variables), the timeout seed, the current URL and the
// download display values. It is used only on its worker's thread. Stop requests come through
// the ThreadParams' stop flag and the global stop flag, which the transfer checks at least once a
// second, so a stop ends a transfer in progress within about a second.
//
// Results of a request are HTTP status codes, or these error numbers (the numbering of the
// original Windows client, which the rest of the system and the link-check texts rely on):
//   0      the run was stopped
//   12002  timed out (connect timeout, or the low-speed limit: a stalled server)
//   12005  the URL is invalid
//   12007  the host name can't be resolved
//   12029  the connection can't be made
//   12030  the connection broke off (also: nothing received)
//   12045  the server's certificate is not trusted
//   12156  too many redirects
//   12157  the secure channel can't be set up
//   12900  the page is larger than the in-memory limit (an addition: not retried, no pause)

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "engine/fetch_url.h"
#include "engine/thread_params.h"
#include "store/app_home.h"

namespace sorvik {

inline constexpr int kFetchErrorTimeout = 12002;
inline constexpr int kFetchErrorBadUrl = 12005;
inline constexpr int kFetchErrorNameNotResolved = 12007;
inline constexpr int kFetchErrorCannotConnect = 12029;
inline constexpr int kFetchErrorAborted = 12030;
inline constexpr int kFetchErrorInvalidCa = 12045;
inline constexpr int kFetchErrorRedirects = 12156;
inline constexpr int kFetchErrorSecureChannel = 12157;
inline constexpr int kFetchErrorTooLarge = 12900;

// The bytes of one read: body chunks arrive in pieces of at most this size.
inline constexpr size_t kFetchChunkBytes = 24576;

// The five flags of GetSource.
enum GetSourceFlags : unsigned {
    kFetchPrepare = 1,     // parse params.url first
    kFetchNewSession = 2,  // with kFetchPrepare: make a fresh session first
    kFetchIntoMemory = 4,  // the body becomes params.pageText (else it is written to the file)
    kFetchFromUtf8 = 8,    // decode the page as UTF-8 whatever it declares
    kFetchQuiet = 16,      // a failed in-memory fetch does not pause the run
};

// Process-wide fetch settings (guarded by their own lock; read at each session's creation).
struct FetchSettings {
    // The low-speed limit: a transfer slower than lowSpeedBytes per second for lowSpeedSeconds
    // ends as a timeout (12002). This is what ends a server that accepts and then sends nothing,
    // or trickles a few bytes a second.
    long lowSpeedBytes = 100;
    long lowSpeedSeconds = 60;
    // The longest one transfer may take, whatever its speed: a page into memory (or a request
    // whose body is not kept), and a file. A transfer that meets it ends as a timeout (12002),
    // is not tried again and says so (BoundText).
    long pageSeconds = 600;
    long fileSeconds = 3600;
    // The wait before the second attempt after a timeout.
    std::chrono::milliseconds retryWait{1000};
    // Largest page taken into memory (a larger one ends the request as 12900), and largest
    // downloaded file, both counted in decoded bytes (a small compressed body can expand without
    // end). Neither is tried again; a file's part is deleted.
    size_t maxPageBytes = 64 * 1024 * 1024;
    unsigned long long maxFileBytes = 1024ULL * 1024 * 1024;
    // A PEM file of certificates to trust instead of the system's (empty: the system's).
    std::string caFile;
};
void SetFetchSettings(const FetchSettings& settings);
FetchSettings CurrentFetchSettings();
// The settings with the limits of the start-up file (scSet.txt) applied over the defaults.
FetchSettings FetchSettingsFromStartup(const StartupSettings& startup);

// "..." and the last 46 bytes for a name longer than 48 bytes (never starting inside a
// double-byte character); the name itself otherwise.
std::string DisplayFileName(std::string_view fileName);

// The response headers of a request that got an answer.
struct ResponseHeaders {
    std::string contentType;
    std::string contentLength;
    std::string lastModified;
};

class PageFetcher {
  public:
    PageFetcher();
    ~PageFetcher();
    PageFetcher(const PageFetcher&) = delete;
    PageFetcher& operator=(const PageFetcher&) = delete;

    // Advances the timeout seed (2 -> 6 -> 12 -> 2; a new fetcher's first session uses 6) and
    // replaces the session by a fresh one with that connect timeout. False when curl can't make one.
    bool CreateSession(ThreadParams& params);

    // One request for params.parts (GET, or POST of params.postData), the body discarded. The
    // status code, an error number, or 0 when the run was stopped. After a timeout (or a broken
    // or refused connection) the session is closed and one second attempt is made with a fresh
    // session; after a timeout it waits retryWait first. No third attempt.
    int OpenUrl(ThreadParams& params);

    // Fetches params.url (see GetSourceFlags). Into memory: the body, converted to GB18030 by its
    // charset and with every "\n" made "\r\n", becomes params.pageText and one page is counted.
    // Into a file: the bytes as served are written to fileName (a partly written file is
    // deleted on failure). A status other than 200 gives success without data for a file or a
    // quiet fetch; an in-memory fetch instead shows "连接已断开，系统自动暂停！", pauses the run (stop
    // reason 8 unless it is 24) and fails. A page over the size limit is a failed page, not a
    // broken connection: it is fetched once, named in the progress line as too large, and fails
    // without pausing (a quiet fetch succeeds without data). A file or a transfer that meets a bound (file
    // size, transfer time) fails, says which bound in the status text and the progress line, and is not tried
    // again. Returns true on success.
    bool GetSource(ThreadParams& params, const std::string& fileName, unsigned flags);

    // After a failed GetSource or OpenUrl: which bound the transfer met, as the run shows it
    // ("文件超过大小上限(...)" , "传输超过时间上限(...)"); empty when it met none.
    const std::string& BoundText() const { return boundText_; }

    // Closes the session. False when the run was stopped meanwhile.
    bool CloseConnection(const ThreadParams& params);

    // Link check of params.parts: the result (from the URL status table when the URL was checked
    // before, unless it timed out) goes to params.linkCheck, into the table and to the window.
    // True only for status 200.
    bool CheckLink(ThreadParams& params);

    int TimeoutSeed() const { return timeoutSeed_; }
    // The last composed progress line.
    const std::string& LastProgressLine() const { return lastProgressLine_; }

  private:
    struct Transfer;   // one request's body sink and what its callbacks report
    struct Callbacks;  // the curl callbacks of a transfer

    // A status notification of the session (the design's status codes: 20 connecting, 21
    // connected, 31 request sent, 40 receiving, 50 closing, 100 request complete, 110 redirect,
    // ...), shown throttled in the connection-status and progress lines of a run that has a
    // window.
    void Notify(ThreadParams& params, int status);
    int Perform(ThreadParams& params, Transfer& transfer);
    int OpenUrlInto(ThreadParams& params, Transfer& transfer);
    bool WaitUnlessStopped(const ThreadParams& params, std::chrono::milliseconds wait) const;
    std::string ProgressLine(const ThreadParams& params) const;

    struct Session;
    std::unique_ptr<Session> session_;
    int timeoutSeed_ = 2;
    std::string displayFileName_;
    long long bytesReceived_ = 0;
    long long totalBytes_ = 0;
    bool downloadingFile_ = false;
    std::string lastProgressLine_;
    std::string boundText_;
};

// Fetches one URL into a text outside any run (prepare, new session, into memory); empty on
// failure.
std::string GetSourceOfUrl(const std::string& url);

}  // namespace sorvik
