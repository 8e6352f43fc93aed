#pragma once
// The page fetcher: a worker's HTTP session on libcurl and the operations that turn a URL into
// page text or a file.
//
// A PageFetcher is the fetch state of one worker: its session (a curl multi handle: kept-alive
// connections, its own cookie store, redirects followed, every compression curl knows offered,
// proxy from the usual environment variables), the timeout seed, the current URL and the
// download display values. It is used only on its worker's thread. Stop requests come through
// the ThreadParams' stop flag and the global stop flag, which the transfers check at least once a
// second, so a stop ends the transfers in progress within about a second.
//
// Politeness (SetPoliteness): at most `connections` requests to one host at a time (curl never
// holds more connections to it either), at least `interval` between the starts of two requests to
// one host, the run's User-Agent, and optionally the host's robots.txt. A 429 answer, and a 503
// answer with Retry-After, is asked again after the wait it names (cut to maxBusyWait; at most
// busyRetries times), and the host gets no other request meanwhile.
//
// Fetching ahead (PlanAhead): a run names the pages it will soon ask for; the fetcher asks for
// them on its free connections while the run works, and a later in-memory GetSource of the same
// request takes the answer. The answer goes through the same checks, caps, decoding and messages
// as a request made at that moment, so a run sees what a sequential run would see.
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
//   12901  the host's robots.txt disallows the page (an addition: not fetched, no pause)

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
inline constexpr int kFetchErrorRobots = 12901;

// The User-Agent of a run that names none.
inline constexpr char kDefaultUserAgent[] = "ZID Odivav";

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
    // A busy answer (429, or 503 with Retry-After) is asked again at most this often, after the
    // wait it names, cut to maxBusyWait (a 429 without a wait waits busyWait).
    int busyRetries = 3;
    std::chrono::milliseconds busyWait{1000};
    std::chrono::milliseconds maxBusyWait{60000};
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
    std::string retryAfter;
};

// How a run treats the hosts it fetches from.
struct FetchPoliteness {
    int connections = 1;                    // requests (and connections) to one host at a time
    std::chrono::milliseconds interval{0};  // least time between the starts of two requests to a host
    std::string userAgent = kDefaultUserAgent;
    bool obeyRobots = false;  // skip what the host's robots.txt disallows for userAgent
};

// The wait a Retry-After value asks for (seconds, or an HTTP date); none for an empty or
// unreadable value.
std::optional<std::chrono::milliseconds> RetryAfterWait(std::string_view value);

// What a failed request was, for messages: "HTTP 404", or "网络错误12029：无法连接".
std::string FetchFailureText(int code);

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

    // The politeness of the requests from now on (see above). Connections are at least 1.
    void SetPoliteness(const FetchPoliteness& politeness);
    const FetchPoliteness& Politeness() const { return politeness_; }

    // The GET requests (URLs as GetSource takes them) that the run will soon make into memory,
    // in the order it will make them; a URL named twice is asked once and its answer serves both.
    // Replaces the plan made before (answers not taken are dropped). The fetcher keeps at most a
    // few answers ahead of the run, so memory stays bounded whatever the plan's length. Does
    // nothing with one connection: the run then fetches as it goes.
    void PlanAhead(ThreadParams& params, const std::vector<std::string>& urls);

    // After a failed in-memory GetSource: the message that named the URL and the status (empty
    // when it failed for a stop).
    const std::string& FailureText() const { return failureText_; }

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
    struct Ahead;      // an answer asked for ahead of the run
    struct Planned;    // a planned request not asked for yet
    struct Host;       // what the session knows of one host

    // A status notification of the session (the design's status codes: 20 connecting, 21
    // connected, 31 request sent, 40 receiving, 50 closing, 100 request complete, 110 redirect,
    // ...), shown throttled in the connection-status and progress lines of a run that has a
    // window.
    void Notify(ThreadParams& params, int status);
    int OpenUrlInto(ThreadParams& params, Transfer& transfer);
    std::string ProgressLine(const ThreadParams& params) const;

    // The transfer loop: queue, start what the politeness allows, and run the session until the
    // wanted transfer has its result (or the run stops: every transfer then ends with 0).
    bool Queue(ThreadParams& params, Transfer& transfer, const UrlParts& parts, std::string requestUrl,
               std::string postData);
    void RunUntilDone(ThreadParams& params, Transfer& wanted);
    void StartDue();
    bool Start(Transfer& transfer);
    void Reap();
    void Finish(Transfer& transfer, int code);
    int AttemptResult(Transfer& transfer, int rc);
    void AbortAll();
    void TopUpPlan(size_t beyondWindow = 0);
    void ApplyConnectionLimits();
    Host& HostOf(const Transfer& transfer);
    // Takes the answer of a planned request into transfer; false when the request was not planned.
    bool TakePlanned(ThreadParams& params, const std::string& requestUrl, Transfer& transfer);
    bool Conclude(ThreadParams& params, Transfer& transfer, int code, const std::string& fileName,
                  unsigned flags);

    struct Session;
    std::unique_ptr<Session> session_;
    int timeoutSeed_ = 2;
    std::string displayFileName_;
    long long bytesReceived_ = 0;
    long long totalBytes_ = 0;
    bool downloadingFile_ = false;
    std::string lastProgressLine_;
    std::string boundText_;
    std::string failureText_;
    FetchPoliteness politeness_;
};

// Fetches one URL into a text outside any run (prepare, new session, into memory); empty on
// failure. A non-empty postData is sent as a form body (POST).
std::string GetSourceOfUrl(const std::string& url, const std::string& postData = {});

}  // namespace sorvik
