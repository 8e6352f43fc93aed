#include "engine/page_fetcher.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "engine/page_charset.h"
#include "engine/robots_rules.h"
#include "engine/url_status_table.h"
#include "text/gb_text.h"
#include "text/strings.h"

namespace sorvik {
namespace {

std::mutex g_settingsMutex;
FetchSettings g_settings;  // guarded by g_settingsMutex

// The throttle of status notifications, shared by all sessions.
std::atomic<int> g_statusThrottle{0};

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

int NextTimeoutSeed(int seed) {
    switch (seed) {
        case 2:
            return 6;
        case 6:
            return 12;
        default:
            return 2;
    }
}

int InternetErrorFromCurl(CURLcode code) {
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT:
            return kFetchErrorTimeout;
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_URL_MALFORMAT:
            return kFetchErrorBadUrl;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return kFetchErrorNameNotResolved;
        case CURLE_COULDNT_CONNECT:
            return kFetchErrorCannotConnect;
        case CURLE_PEER_FAILED_VERIFICATION:
            return kFetchErrorInvalidCa;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
            return kFetchErrorSecureChannel;
        case CURLE_TOO_MANY_REDIRECTS:
            return kFetchErrorRedirects;
        default:
            return kFetchErrorAborted;
    }
}

// Errors after which the request is tried once more with a fresh session.
bool IsRetried(int error) {
    return error == kFetchErrorTimeout || error == kFetchErrorAborted || error == kFetchErrorCannotConnect;
}

std::string SpanText(long long seconds) {
    if (seconds < 0)
        seconds = 0;
    return Format("%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

// The body size the headers announce; none (or 0) counts as 10000.
long long ExpectedBytes(const ResponseHeaders& headers) {
    const long long length = ParseLeadingInt(headers.contentLength);
    return length == 0 ? 10000 : length;
}

}  // namespace

void SetFetchSettings(const FetchSettings& settings) {
    std::scoped_lock lock(g_settingsMutex);
    g_settings = settings;
}

FetchSettings CurrentFetchSettings() {
    std::scoped_lock lock(g_settingsMutex);
    return g_settings;
}

FetchSettings FetchSettingsFromStartup(const StartupSettings& startup) {
    FetchSettings settings;
    if (startup.maxPageMegabytes > 0)
        settings.maxPageBytes = static_cast<size_t>(startup.maxPageMegabytes) * 1024 * 1024;
    if (startup.maxFileMegabytes > 0)
        settings.maxFileBytes = static_cast<unsigned long long>(startup.maxFileMegabytes) * 1024 * 1024;
    if (startup.pageSeconds > 0)
        settings.pageSeconds = startup.pageSeconds;
    if (startup.fileSeconds > 0)
        settings.fileSeconds = startup.fileSeconds;
    if (startup.lowSpeedBytes > 0)
        settings.lowSpeedBytes = startup.lowSpeedBytes;
    if (startup.lowSpeedSeconds > 0)
        settings.lowSpeedSeconds = startup.lowSpeedSeconds;
    return settings;
}

std::optional<std::chrono::milliseconds> RetryAfterWait(std::string_view value) {
    const std::string text = Trim(value);
    if (text.empty())
        return std::nullopt;
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        if (text.size() > 9)
            return std::chrono::milliseconds(std::chrono::hours(24 * 365));
        return std::chrono::milliseconds(std::stoll(text) * 1000);
    }
    const time_t when = curl_getdate(text.c_str(), nullptr);
    if (when < 0)
        return std::nullopt;
    const long long seconds = static_cast<long long>(when - std::time(nullptr));
    return std::chrono::milliseconds(std::max(0LL, seconds) * 1000);
}

std::string FetchFailureText(int code) {
    if (code > 0 && code < 12000)
        return Format("HTTP %d", code);
    const char* what = "无法访问";
    switch (code) {
        case kFetchErrorTimeout:
            what = "超时";
            break;
        case kFetchErrorBadUrl:
            what = "网址无效";
            break;
        case kFetchErrorNameNotResolved:
            what = "无法解析主机名";
            break;
        case kFetchErrorCannotConnect:
            what = "无法连接";
            break;
        case kFetchErrorAborted:
            what = "连接中断";
            break;
        case kFetchErrorInvalidCa:
            what = "证书不受信任";
            break;
        case kFetchErrorRedirects:
            what = "重定向过多";
            break;
        case kFetchErrorSecureChannel:
            what = "无法建立安全连接";
            break;
        case kFetchErrorTooLarge:
            what = "网页太大";
            break;
        case kFetchErrorRobots:
            what = "robots.txt不允许";
            break;
        default:
            break;
    }
    return Format("网络错误%d：%s", code, what);
}

std::string DisplayFileName(std::string_view fileName) {
    if (fileName.size() <= 48)
        return std::string(fileName);
    const size_t wanted = fileName.size() - 46;
    size_t pos = 0;
    while (pos < wanted)
        pos += GbCharLength(fileName, pos);
    return "..." + std::string(fileName.substr(pos));
}

// One request's body sink, its place in the session and the values its callbacks report.
struct PageFetcher::Transfer {
    enum class Sink { kDiscard, kMemory, kFile, kProbe };
    enum class State { kIdle, kQueued, kRunning, kDone };
    struct EasyCleanup {
        void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
    };
    struct SlistFree {
        void operator()(curl_slist* list) const { curl_slist_free_all(list); }
    };

    PageFetcher* fetcher = nullptr;
    ThreadParams* params = nullptr;
    CURL* handle = nullptr;  // the easy handle of the running attempt
    std::unique_ptr<CURL, EasyCleanup> easy;
    std::unique_ptr<curl_slist, SlistFree> requestHeaders;
    Sink sink = Sink::kDiscard;
    size_t maxBytes = 0;

    // The request, fixed when it is queued.
    std::string url;  // as requested (RequestUrl)
    std::string hostKey;
    std::string object;
    std::string postData;
    bool robotsFile = false;  // the host's robots.txt, asked for by the session itself

    State state = State::kIdle;
    int result = 0;    // when done: the status code, an error number, or 0 for a stop
    int attempts = 0;  // attempts started
    int busyRetries = 0;
    bool retried = false;  // the second attempt after a broken connection is made
    std::chrono::steady_clock::time_point notBefore{};
    std::chrono::steady_clock::time_point started{};

    std::string body;      // kMemory
    std::string filePath;  // kFile: opened at the first byte of a 200 body
    std::unique_ptr<FILE, FileCloser> file;
    bool fileWritten = false;  // the file was created by this transfer

    bool fileFailed = false;
    unsigned long long maxFileBytes = 0;
    unsigned long long fileBytes = 0;
    long maxSeconds = 0;      // the whole-transfer time cap of this transfer
    bool timeCapped = false;  // the transfer met maxSeconds
    bool tooLarge = false;
    bool probeDone = false;
    bool gotHeaders = false;
    ResponseHeaders headers;
    long long lastNotifiedBytes = -1;

    // Before another attempt: forget what the last one received.
    void Reset() {
        body.clear();
        DiscardFile();
        fileFailed = tooLarge = timeCapped = probeDone = gotHeaders = false;
        fileBytes = 0;
        headers = ResponseHeaders();
        lastNotifiedBytes = -1;
    }
    // A chunk of the body was taken: the progress line shows it.
    void Received(size_t length) {
        fetcher->bytesReceived_ += static_cast<long long>(length);
        fetcher->totalBytes_ = ExpectedBytes(headers);
    }
    // Closes and deletes a file this transfer wrote.
    void DiscardFile() {
        file.reset();
        if (fileWritten)
            std::remove(filePath.c_str());
        fileWritten = false;
    }
};

// What the session knows of one host (scheme, name and port).
struct PageFetcher::Host {
    int running = 0;
    std::chrono::steady_clock::time_point nextStart{};  // no request starts before (interval, busy wait)
    enum class Robots { kUnknown, kAsking, kKnown } robots = Robots::kUnknown;
    std::unique_ptr<Transfer> robotsTransfer;
    RobotsRules rules;
};

// A planned request not asked for yet.
struct PageFetcher::Planned {
    std::string requestUrl;
    UrlParts parts;
};

// An answer asked for ahead of the run, with the number of GetSource calls that will take it.
struct PageFetcher::Ahead {
    std::unique_ptr<Transfer> transfer;
    int uses = 0;
};

// The session: a multi handle running the transfers, a share handle holding their cookies and
// names, and what it knows of the hosts.
struct PageFetcher::Session {
    struct MultiCleanup {
        void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
    };
    struct ShareCleanup {
        void operator()(CURLSH* handle) const { curl_share_cleanup(handle); }
    };
    std::unique_ptr<CURLSH, ShareCleanup> share;
    std::unique_ptr<CURLM, MultiCleanup> multi;
    std::deque<Transfer*> queue;     // waiting to start, oldest first
    std::vector<Transfer*> running;  // added to the multi handle
    std::map<std::string, Host> hosts;

    // The plan: answers by request URL, and the URLs not asked for yet, in order.
    ThreadParams* planParams = nullptr;
    std::map<std::string, Ahead> ahead;
    std::deque<Planned> planned;

    ~Session() {
        // Every easy handle leaves the multi handle before either is cleaned up.
        for (Transfer* t : running) {
            curl_multi_remove_handle(multi.get(), t->handle);
            t->easy.reset();
            t->handle = nullptr;
            t->state = Transfer::State::kDone;
            t->result = kFetchErrorAborted;
        }
        for (Transfer* t : queue) {
            t->state = Transfer::State::kDone;
            t->result = kFetchErrorAborted;
        }
        for (auto& [key, host] : hosts) {
            if (host.robotsTransfer)
                host.robotsTransfer->easy.reset();
        }
        for (auto& [url, entry] : ahead)
            entry.transfer->easy.reset();
    }
};

namespace {

long ResponseCode(CURL* handle) {
    long code = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

}  // namespace

struct PageFetcher::Callbacks {
    static size_t OnBody(char* data, size_t size, size_t count, void* user);
    static size_t OnHeader(char* data, size_t size, size_t count, void* user);
    static int OnProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t);
    static int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* user);
};

size_t PageFetcher::Callbacks::OnBody(char* data, size_t size, size_t count, void* user) {
    auto& t = *static_cast<PageFetcher::Transfer*>(user);
    const size_t length = size * count;
    if (t.params->StopRequested())
        return 0;
    using Sink = PageFetcher::Transfer::Sink;
    if (t.sink == Sink::kProbe) {
        // A link check needs the status and the headers only.
        t.probeDone = true;
        return 0;
    }
    if (t.sink == Sink::kDiscard || ResponseCode(t.handle) != 200)
        return length;
    if (t.sink == Sink::kMemory) {
        if (t.body.size() + length > t.maxBytes) {
            t.tooLarge = true;
            return 0;
        }
        t.body.append(data, length);
        t.Received(length);
        return length;
    }
    if (!t.file) {
        t.file.reset(std::fopen(t.filePath.c_str(), "w+b"));
        if (!t.file) {
            t.fileFailed = true;
            return 0;
        }
        t.fileWritten = true;
    }
    if (t.fileBytes + length > t.maxFileBytes) {
        t.tooLarge = true;
        return 0;
    }
    t.fileBytes += length;
    if (std::fwrite(data, 1, length, t.file.get()) != length) {
        t.fileFailed = true;
        return 0;
    }
    t.Received(length);
    return length;
}

size_t PageFetcher::Callbacks::OnHeader(char* data, size_t size, size_t count, void* user) {
    auto& t = *static_cast<PageFetcher::Transfer*>(user);
    const size_t length = size * count;
    std::string_view line(data, length);
    if (line.substr(0, 5) == "HTTP/") {
        // A new response (after a redirect or an interim answer) replaces the headers.
        t.headers = ResponseHeaders();
        t.gotHeaders = true;
        return length;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return length;
    const std::string name = ToLowerAscii(Trim(line.substr(0, colon)));
    std::string value = Trim(line.substr(colon + 1));
    if (name == "content-type") {
        t.headers.contentType = std::move(value);
    } else if (name == "content-length") {
        t.headers.contentLength = std::move(value);
    } else if (name == "last-modified") {
        t.headers.lastModified = std::move(value);
    } else if (name == "retry-after") {
        t.headers.retryAfter = std::move(value);
    }
    return length;
}

int PageFetcher::Callbacks::OnProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t,
                                       curl_off_t) {
    auto& t = *static_cast<PageFetcher::Transfer*>(user);
    if (t.params->StopRequested())
        return 1;
    if (downloaded > 0 && downloaded != t.lastNotifiedBytes) {
        t.lastNotifiedBytes = downloaded;
        t.fetcher->Notify(*t.params, 40);
    }
    return 0;
}

int PageFetcher::Callbacks::OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    auto& t = *static_cast<PageFetcher::Transfer*>(user);
    std::string_view text(data, size);
    int status = 0;
    if (type == CURLINFO_TEXT) {
        if (text.substr(0, 7) == "Trying ") {
            status = 20;
        } else if (text.substr(0, 13) == "Connected to " ||
                   text.substr(0, 28) == "Re-using existing connection") {
            status = 21;
        } else if (text.find("Closing connection") != std::string_view::npos) {
            status = 50;
        } else if (text.substr(0, 21) == "Issue another request") {
            status = 110;
        }
    } else if (type == CURLINFO_HEADER_OUT) {
        status = 31;
    } else if (type == CURLINFO_HEADER_IN && text.substr(0, 5) == "HTTP/") {
        status = 40;
    }
    if (status != 0)
        t.fetcher->Notify(*t.params, status);
    return 0;
}

PageFetcher::PageFetcher() {
    InitCurlOnce();
}
PageFetcher::~PageFetcher() = default;

bool PageFetcher::CreateSession(ThreadParams&) {
    timeoutSeed_ = NextTimeoutSeed(timeoutSeed_);
    session_.reset();
    auto session = std::make_unique<Session>();
    session->share.reset(curl_share_init());
    session->multi.reset(curl_multi_init());
    if (!session->share || !session->multi)
        return false;
    curl_share_setopt(session->share.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_share_setopt(session->share.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    session_ = std::move(session);
    ApplyConnectionLimits();
    return true;
}

void PageFetcher::SetPoliteness(const FetchPoliteness& politeness) {
    politeness_ = politeness;
    politeness_.connections = std::max(1, politeness.connections);
    if (politeness_.interval.count() < 0)
        politeness_.interval = std::chrono::milliseconds(0);
    if (politeness_.userAgent.empty())
        politeness_.userAgent = kDefaultUserAgent;
    if (session_)
        ApplyConnectionLimits();
}

void PageFetcher::ApplyConnectionLimits() {
    const long connections = politeness_.connections;
    curl_multi_setopt(session_->multi.get(), CURLMOPT_MAX_HOST_CONNECTIONS, connections);
    // Idle connections stay for the next requests instead of being closed as transfers end (and
    // opened again): room for the limit on a few hosts.
    curl_multi_setopt(session_->multi.get(), CURLMOPT_MAXCONNECTS, std::max(8L, connections * 4));
}

bool PageFetcher::CloseConnection(const ThreadParams& params) {
    session_.reset();
    return !params.StopRequested();
}

PageFetcher::Host& PageFetcher::HostOf(const Transfer& transfer) {
    return session_->hosts[transfer.hostKey];
}

bool PageFetcher::Queue(ThreadParams& params, Transfer& transfer, const UrlParts& parts,
                        std::string requestUrl, std::string postData) {
    // A session closed by an earlier failure is made again on demand.
    if (!session_ && !CreateSession(params))
        return false;
    transfer.fetcher = this;
    transfer.params = &params;
    transfer.url = std::move(requestUrl);
    transfer.hostKey = parts.scheme + "://" + parts.host + ":" + std::to_string(parts.port);
    transfer.object = parts.object;
    transfer.postData = std::move(postData);
    transfer.state = Transfer::State::kQueued;
    session_->queue.push_back(&transfer);
    return true;
}

bool PageFetcher::Start(Transfer& t) {
    CURL* handle = curl_easy_init();
    if (!handle)
        return false;
    t.easy.reset(handle);
    t.handle = handle;
    const FetchSettings settings = CurrentFetchSettings();
    curl_easy_setopt(handle, CURLOPT_PRIVATE, &t);
    curl_easy_setopt(handle, CURLOPT_SHARE, session_->share.get());
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, politeness_.userAgent.c_str());
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutSeed_) * 1000L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, settings.lowSpeedBytes);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, settings.lowSpeedSeconds);
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 20L);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");  // every encoding curl can decode
    curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "");       // the session's own cookie store
    curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, static_cast<long>(kFetchChunkBytes));
    if (!settings.caFile.empty())
        curl_easy_setopt(handle, CURLOPT_CAINFO, settings.caFile.c_str());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, Callbacks::OnBody);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, Callbacks::OnHeader);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, Callbacks::OnProgress);
    curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, Callbacks::OnDebug);
    curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);
    // The attempt after a broken connection does not reuse one.
    if (t.retried)
        curl_easy_setopt(handle, CURLOPT_FRESH_CONNECT, 1L);

    curl_easy_setopt(handle, CURLOPT_URL, t.url.c_str());
    if (!t.postData.empty()) {
        curl_slist* list = curl_slist_append(nullptr, "Accept: text*/*");
        list = curl_slist_append(list, "Content-Type: application/x-www-form-urlencoded");
        t.requestHeaders.reset(list);
        curl_easy_setopt(handle, CURLOPT_HTTPHEADER, list);
        curl_easy_setopt(handle, CURLOPT_POST, 1L);
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t.postData.size()));
        curl_easy_setopt(handle, CURLOPT_COPYPOSTFIELDS, t.postData.c_str());
    } else {
        curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(handle, CURLOPT_DEBUGDATA, &t);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, t.maxSeconds * 1000L);
    if (curl_multi_add_handle(session_->multi.get(), handle) != CURLM_OK) {
        t.easy.reset();
        t.handle = nullptr;
        return false;
    }
    ++t.attempts;
    t.started = std::chrono::steady_clock::now();
    t.state = Transfer::State::kRunning;
    session_->running.push_back(&t);
    return true;
}

// Starts the queued transfers whose host has a free connection and whose wait is over, oldest
// first. A host whose robots.txt is wanted and not known yet first gets that request alone.
void PageFetcher::StartDue() {
    const auto now = std::chrono::steady_clock::now();
    auto& queue = session_->queue;
    for (auto it = queue.begin(); it != queue.end();) {
        Transfer& t = **it;
        Host& host = HostOf(t);
        if (politeness_.obeyRobots && !t.robotsFile) {
            if (host.robots == Host::Robots::kUnknown) {
                host.robots = Host::Robots::kAsking;
                auto robots = std::make_unique<Transfer>();
                robots->sink = Transfer::Sink::kMemory;
                robots->maxBytes = 512 * 1024;
                robots->maxSeconds = 60;
                robots->robotsFile = true;
                robots->fetcher = this;
                robots->params = t.params;
                robots->hostKey = t.hostKey;
                robots->object = "/robots.txt";
                robots->url = t.hostKey + "/robots.txt";
                robots->state = Transfer::State::kQueued;
                host.robotsTransfer = std::move(robots);
                it = queue.insert(it, host.robotsTransfer.get());
                continue;
            }
            if (host.robots == Host::Robots::kAsking) {
                ++it;
                continue;
            }
            if (!host.rules.Allows(t.object)) {
                it = queue.erase(it);
                ++t.params->stats.robotsDenied;
                t.state = Transfer::State::kDone;
                t.result = kFetchErrorRobots;
                continue;
            }
        }
        if (now < t.notBefore || now < host.nextStart || host.running >= politeness_.connections) {
            ++it;
            continue;
        }
        it = queue.erase(it);
        if (!Start(t)) {
            t.state = Transfer::State::kDone;
            t.result = kFetchErrorAborted;
            if (t.robotsFile)
                host.robots = Host::Robots::kKnown;  // no rules: the host's pages are not held back
            continue;
        }
        ++host.running;
        host.nextStart = now + politeness_.interval;
    }
}

// The result of an attempt that curl ended with rc: the status code, an error number, or 0 for
// a stop.
int PageFetcher::AttemptResult(Transfer& t, int rcValue) {
    CURLcode rc = static_cast<CURLcode>(rcValue);
    if (t.gotHeaders)
        totalBytes_ = ExpectedBytes(t.headers);
    if (rc == CURLE_WRITE_ERROR && t.probeDone)
        rc = CURLE_OK;
    if (rc == CURLE_OK) {
        Notify(*t.params, 100);
        return static_cast<int>(ResponseCode(t.handle));
    }
    if (rc == CURLE_ABORTED_BY_CALLBACK || t.params->StopRequested())
        return 0;
    // The low-speed limit gives the same code: only the whole time tells the cap apart.
    if (rc == CURLE_OPERATION_TIMEDOUT && t.maxSeconds > 0 &&
        std::chrono::steady_clock::now() - t.started + std::chrono::milliseconds(200) >=
            std::chrono::seconds(t.maxSeconds)) {
        t.timeCapped = true;
    }
    if (t.tooLarge)
        return kFetchErrorTooLarge;
    if (t.fileFailed)
        return kFetchErrorAborted;
    return InternetErrorFromCurl(rc);
}

// Ends an attempt: the transfer is done, or queued again for its next attempt.
void PageFetcher::Finish(Transfer& t, int code) {
    Host& host = HostOf(t);
    const auto now = std::chrono::steady_clock::now();
    const FetchSettings settings = CurrentFetchSettings();
    auto again = [&](std::chrono::steady_clock::time_point when) {
        t.Reset();
        t.notBefore = when;
        t.state = Transfer::State::kQueued;
        session_->queue.push_front(&t);
    };
    if (code >= 12000 && IsRetried(code) && !t.retried && !t.fileFailed && !t.tooLarge && !t.timeCapped) {
        // A broken connection: one more attempt on a fresh connection with the next connect
        // timeout, after a pause when it timed out.
        timeoutSeed_ = NextTimeoutSeed(timeoutSeed_);
        t.retried = true;
        again(now + (code == kFetchErrorTimeout ? settings.retryWait : std::chrono::milliseconds(0)));
        return;
    }
    if (code >= 12000 && IsRetried(code))
        timeoutSeed_ = NextTimeoutSeed(timeoutSeed_);  // the next request starts as a fresh session would
    const bool busy = code == 429 || (code == 503 && !t.headers.retryAfter.empty());
    if (busy && !t.robotsFile && t.busyRetries < settings.busyRetries) {
        std::chrono::milliseconds wait = RetryAfterWait(t.headers.retryAfter).value_or(settings.busyWait);
        wait = std::clamp(wait, std::chrono::milliseconds(0), settings.maxBusyWait);
        ++t.busyRetries;
        host.nextStart = std::max(host.nextStart, now + wait);
        t.params->Send(
            RunMessageType::kProgressLine,
            Format("服务器繁忙(HTTP %d)，%lld秒后第%d次重试：%s", code,
                   static_cast<long long>((wait.count() + 999) / 1000), t.busyRetries, t.url.c_str()));
        again(now + wait);
        return;
    }
    t.state = Transfer::State::kDone;
    t.result = code;
    if (t.robotsFile) {
        host.rules = RobotsRules::Parse(code == 200 ? t.body : std::string(), politeness_.userAgent);
        host.robots = Host::Robots::kKnown;
    }
}

void PageFetcher::Reap() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(session_->multi.get(), &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        CURL* handle = message->easy_handle;
        const int rc = static_cast<int>(message->data.result);
        Transfer* t = nullptr;
        curl_easy_getinfo(handle, CURLINFO_PRIVATE, &t);
        curl_multi_remove_handle(session_->multi.get(), handle);
        auto& running = session_->running;
        running.erase(std::remove(running.begin(), running.end(), t), running.end());
        --HostOf(*t).running;
        const int code = AttemptResult(*t, rc);
        t->easy.reset();
        t->handle = nullptr;
        t->requestHeaders.reset();
        Finish(*t, code);
    }
}

// A stop ends every transfer of the session with 0; a partly written file is deleted.
void PageFetcher::AbortAll() {
    for (Transfer* t : session_->running) {
        curl_multi_remove_handle(session_->multi.get(), t->handle);
        t->easy.reset();
        t->handle = nullptr;
        --HostOf(*t).running;
        t->DiscardFile();
        t->state = Transfer::State::kDone;
        t->result = 0;
    }
    session_->running.clear();
    for (Transfer* t : session_->queue) {
        t->state = Transfer::State::kDone;
        t->result = 0;
    }
    session_->queue.clear();
    session_->planned.clear();
    // A robots.txt that was being asked for is asked again by the next request.
    for (auto& [name, host] : session_->hosts) {
        if (host.robots == Host::Robots::kAsking)
            host.robots = Host::Robots::kUnknown;
    }
}

void PageFetcher::RunUntilDone(ThreadParams& params, Transfer& wanted) {
    while (wanted.state != Transfer::State::kDone) {
        if (params.StopRequested()) {
            AbortAll();
            break;
        }
        TopUpPlan();
        StartDue();
        if (wanted.state == Transfer::State::kDone)
            break;
        int stillRunning = 0;
        curl_multi_perform(session_->multi.get(), &stillRunning);
        Reap();
        if (wanted.state == Transfer::State::kDone)
            break;
        // Wake for the first queued start that waits for its time; never sleep past 100 ms, so
        // that a stop is seen at once.
        auto wait = std::chrono::milliseconds(100);
        const auto now = std::chrono::steady_clock::now();
        for (const Transfer* t : session_->queue) {
            const auto due = std::max(t->notBefore, session_->hosts[t->hostKey].nextStart);
            wait = std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(due - now) +
                                      std::chrono::milliseconds(1));
        }
        if (wait.count() > 0)
            curl_multi_poll(session_->multi.get(), nullptr, 0, static_cast<int>(wait.count()), nullptr);
    }
}

int PageFetcher::OpenUrlInto(ThreadParams& params, Transfer& transfer) {
    if (params.StopRequested())
        return 0;
    if (params.parts.host.empty())
        return kFetchErrorBadUrl;
    bytesReceived_ = 0;
    totalBytes_ = 0;
    if (!Queue(params, transfer, params.parts, RequestUrl(params.parts, params.linksFromUtf8Page),
               params.postData))
        return kFetchErrorAborted;
    RunUntilDone(params, transfer);
    return transfer.state == Transfer::State::kDone ? transfer.result : 0;
}

int PageFetcher::OpenUrl(ThreadParams& params) {
    Transfer transfer;
    transfer.sink = Transfer::Sink::kDiscard;
    transfer.maxSeconds = CurrentFetchSettings().pageSeconds;
    boundText_.clear();
    const int code = OpenUrlInto(params, transfer);
    if (transfer.timeCapped)
        boundText_ = Format("传输超过时间上限(%ld秒)", transfer.maxSeconds);
    return code;
}

// --- fetching ahead ----------------------------------------------------------------------------

namespace {

// How many answers the plan keeps asked for and not yet taken, per connection.
constexpr size_t kAheadPerConnection = 2;

}  // namespace

void PageFetcher::PlanAhead(ThreadParams& params, const std::vector<std::string>& urls) {
    if (!session_)
        return;
    // Answers of the last plan that were not taken go; their transfers leave the session first.
    for (auto& [url, entry] : session_->ahead) {
        Transfer* t = entry.transfer.get();
        if (t->state == Transfer::State::kRunning) {
            curl_multi_remove_handle(session_->multi.get(), t->handle);
            auto& running = session_->running;
            running.erase(std::remove(running.begin(), running.end(), t), running.end());
            --HostOf(*t).running;
        } else if (t->state == Transfer::State::kQueued) {
            auto& queue = session_->queue;
            queue.erase(std::remove(queue.begin(), queue.end(), t), queue.end());
        }
    }
    session_->ahead.clear();
    session_->planned.clear();
    if (politeness_.connections <= 1 || params.StopRequested())
        return;
    session_->planParams = &params;
    for (const std::string& url : urls) {
        UrlParts parts;
        if (!PrepareUrlParts(url, parts))
            continue;
        std::string requestUrl = RequestUrl(parts, params.linksFromUtf8Page);
        auto [found, added] = session_->ahead.try_emplace(requestUrl);
        ++found->second.uses;
        if (added)
            session_->planned.push_back({std::move(requestUrl), std::move(parts)});
    }
    TopUpPlan();
}

// Asks for the next planned answers while fewer than the window (and beyondWindow more) are asked
// for and not taken.
void PageFetcher::TopUpPlan(size_t beyondWindow) {
    if (!session_ || session_->planned.empty() || !session_->planParams)
        return;
    ThreadParams& params = *session_->planParams;
    const size_t window = kAheadPerConnection * static_cast<size_t>(politeness_.connections) + beyondWindow;
    size_t open = 0;
    for (const auto& [url, entry] : session_->ahead) {
        if (entry.transfer)
            ++open;
    }
    const FetchSettings settings = CurrentFetchSettings();
    while (open < window && !session_->planned.empty()) {
        Planned next = std::move(session_->planned.front());
        session_->planned.pop_front();
        auto found = session_->ahead.find(next.requestUrl);
        if (found == session_->ahead.end() || found->second.transfer)
            continue;
        auto transfer = std::make_unique<Transfer>();
        transfer->sink = Transfer::Sink::kMemory;
        transfer->maxBytes = settings.maxPageBytes;
        transfer->maxSeconds = settings.pageSeconds;
        if (!Queue(params, *transfer, next.parts, next.requestUrl, {}))
            break;
        found->second.transfer = std::move(transfer);
        ++open;
    }
}

bool PageFetcher::TakePlanned(ThreadParams& params, const std::string& requestUrl, Transfer& transfer) {
    if (!session_)
        return false;
    auto found = session_->ahead.find(requestUrl);
    if (found == session_->ahead.end())
        return false;
    Ahead& entry = found->second;
    if (!entry.transfer) {
        // Not asked for yet: it is wanted now.
        auto& planned = session_->planned;
        auto it = std::find_if(planned.begin(), planned.end(),
                               [&](const Planned& item) { return item.requestUrl == requestUrl; });
        if (it == planned.end())
            return false;
        Planned item = std::move(*it);
        planned.erase(it);
        planned.push_front(std::move(item));
        // Answers the run skipped (a rejected record's later fields) may fill the window.
        TopUpPlan(1);
        if (!entry.transfer)
            return false;
    }
    RunUntilDone(params, *entry.transfer);
    Transfer& done = *entry.transfer;
    if (done.state != Transfer::State::kDone)
        return false;
    transfer.result = done.result;
    transfer.headers = done.headers;
    transfer.tooLarge = done.tooLarge;
    transfer.timeCapped = done.timeCapped;
    transfer.maxSeconds = done.maxSeconds;
    transfer.maxBytes = done.maxBytes;
    transfer.state = Transfer::State::kDone;
    if (--entry.uses > 0) {
        transfer.body = done.body;
    } else {
        transfer.body = std::move(done.body);
        session_->ahead.erase(found);
    }
    return true;
}

// --- GetSource ---------------------------------------------------------------------------------

bool PageFetcher::GetSource(ThreadParams& params, const std::string& fileName, unsigned flags) {
    const bool intoMemory = (flags & kFetchIntoMemory) != 0;
    if (intoMemory)
        params.pageText.clear();
    failureText_.clear();
    if (flags & kFetchPrepare) {
        if ((flags & kFetchNewSession) && !CreateSession(params))
            return false;
        if (params.url.empty())
            return false;
        if (params.StopRequested())
            return false;
        if (!PrepareUrl(params))
            return false;
    }
    if (!intoMemory)
        displayFileName_ = DisplayFileName(fileName);
    if (params.parts.object.empty())
        return false;

    const FetchSettings settings = CurrentFetchSettings();
    Transfer transfer;
    transfer.sink = intoMemory ? Transfer::Sink::kMemory : Transfer::Sink::kFile;
    transfer.filePath = fileName;
    transfer.maxBytes = settings.maxPageBytes;
    transfer.maxFileBytes = settings.maxFileBytes;
    transfer.maxSeconds = intoMemory ? settings.pageSeconds : settings.fileSeconds;
    downloadingFile_ = !intoMemory;
    boundText_.clear();
    int code = 0;
    if (intoMemory && params.postData.empty() && !params.StopRequested() &&
        TakePlanned(params, RequestUrl(params.parts, params.linksFromUtf8Page), transfer)) {
        code = transfer.result;
    } else {
        code = OpenUrlInto(params, transfer);
    }
    downloadingFile_ = false;
    return Conclude(params, transfer, code, fileName, flags);
}

// What GetSource makes of a transfer's result: the page or the file, or the failure's messages.
bool PageFetcher::Conclude(ThreadParams& params, Transfer& transfer, int code, const std::string& fileName,
                           unsigned flags) {
    const bool intoMemory = (flags & kFetchIntoMemory) != 0;
    const FetchSettings settings = CurrentFetchSettings();
    if (code != 200) {
        transfer.DiscardFile();
        if (!intoMemory && transfer.tooLarge) {
            boundText_ = Format("文件超过大小上限(%lluMB)", settings.maxFileBytes / (1024 * 1024));
        } else if (transfer.timeCapped) {
            boundText_ = Format("传输超过时间上限(%ld秒)", transfer.maxSeconds);
        }
        if (!boundText_.empty()) {
            const std::string text = boundText_ + "：" + params.url;
            params.Send(RunMessageType::kStatusText, text, 0);
            params.Send(RunMessageType::kProgressLine, text);
        }
        if (code == kFetchErrorRobots) {
            failureText_ = "robots.txt不允许访问，已跳过：" + params.url;
            params.Send(RunMessageType::kProgressLine, failureText_);
            return !intoMemory || (flags & kFetchQuiet) != 0;
        }
        if (!intoMemory) {
            // A file that could not be written, met a bound, or was stopped part way is a
            // failure (its part is deleted); any other answer is success without data.
            return !(transfer.fileFailed || !boundText_.empty() || code == 0);
        }
        if (code == kFetchErrorTooLarge) {
            // Fetching it again would give the same: the page is skipped, the run goes on.
            failureText_ = Format("网页太大(超过%zuMB)，已跳过：%s", transfer.maxBytes / (1024 * 1024),
                                  params.url.c_str());
            params.Send(RunMessageType::kProgressLine, failureText_);
            return (flags & kFetchQuiet) != 0;
        }
        if (flags & kFetchQuiet)
            return true;
        params.pageText.clear();
        if (code == 0) {
            // Stopped: the stop's own reason stands.
            params.RequestStop(kStopPause);
            return false;
        }
        // The message names the page and what it answered, so the user can tell a dead network
        // from a page the site no longer has.
        if (!boundText_.empty()) {
            failureText_ = boundText_ + "，系统自动暂停！";  // the bound's line named the page
        } else {
            failureText_ = (code < 12000 ? "网页打开失败，系统自动暂停！(" : "连接已断开，系统自动暂停！(") +
                           FetchFailureText(code) + ") " + params.url;
        }
        // The task's message says it too.
        params.failure = boundText_.empty() ? failureText_ : boundText_ + "：" + params.url;
        params.Send(RunMessageType::kProgressLine, failureText_);
        params.RequestStop(kStopPause);
        return false;
    }
    if (intoMemory) {
        ++params.stats.pages;
        const bool fromUtf8 = (flags & kFetchFromUtf8) != 0;
        params.linksFromUtf8Page = SendsQueryInUtf8(
            fromUtf8 ? "utf-8" : DetectPageCharset(transfer.headers.contentType, transfer.body));
        std::string text = PageTextToGb(transfer.body, transfer.headers.contentType, fromUtf8);
        ReplaceAll(text, "\n", "\r\n");
        params.pageText = std::move(text);
        return true;
    }
    if (!transfer.file) {
        // An empty 200 body still makes the file.
        transfer.file.reset(std::fopen(fileName.c_str(), "w+b"));
        if (!transfer.file)
            return false;
    }
    const bool closed = std::fclose(transfer.file.release()) == 0;
    if (!closed)
        std::remove(fileName.c_str());
    return closed;
}

bool PageFetcher::CheckLink(ThreadParams& params) {
    LinkCheckResult result;
    result.url = HostAndObject(params.parts);
    std::optional<LinkCheckResult> known = TheUrlStatusTable().Find(result.url);
    if ((!known || known->statusCode == kFetchErrorTimeout) && !params.StopRequested()) {
        Transfer transfer;
        transfer.sink = Transfer::Sink::kProbe;
        transfer.maxSeconds = CurrentFetchSettings().pageSeconds;
        result.statusCode = OpenUrlInto(params, transfer);
        if (transfer.gotHeaders) {
            result.contentType = transfer.headers.contentType;
            result.contentLength = transfer.headers.contentLength;
            result.lastModified = transfer.headers.lastModified;
        }
        result.statusText = LinkStatusText(result.statusCode);
    } else if (known) {
        const std::string url = result.url;
        result = *known;
        result.url = url;
    }
    TheUrlStatusTable().Add(result);
    params.linkCheck = result;
    if (params.window) {
        RunMessage message;
        message.type = RunMessageType::kLinkCheckResult;
        message.params = &params;
        message.link = result;
        params.window->Send(std::move(message));
    }
    return result.statusCode == 200;
}

std::string PageFetcher::ProgressLine(const ThreadParams& params) const {
    if (downloadingFile_) {
        return Format("正下载文件：%s %lld / %lld Byte", displayFileName_.c_str(), bytesReceived_,
                      totalBytes_);
    }
    const long long elapsed =
        params.runStart > 0 ? static_cast<long long>(std::time(nullptr) - params.runStart) : 0;
    return Format(
        "【关键字】%-10s 【用时】%-s 【记录数】%-8lld 【大小】%-8lldKB 【链接数】%-5lld 【网页大小】%-8lldKB",
        params.currentKeyword.c_str(), SpanText(elapsed).c_str(), params.stats.records.load(),
        params.stats.recordBytes.load() / 1024, params.stats.pages.load(),
        params.stats.pageBytes.load() / 1024);
}

void PageFetcher::Notify(ThreadParams& params, int status) {
    // Only a run under a controller shows anything.
    if (!params.window || params.StopRequested())
        return;
    // Show the first two notifications, then one in a thousand. One atomic step per
    // notification, so that sessions on several workers never count one twice.
    int count = g_statusThrottle.load();
    while (!g_statusThrottle.compare_exchange_weak(count, count >= 1000 ? 0 : count + 1)) {
    }
    if (count >= 2 && count < 1000)
        return;
    std::string text;
    switch (status) {
        case 50:
            text = "正关闭连接...";
            break;
        case 100:
            text = "请求完成";
            break;
        case 110:
            text = "已重新连接到网址";
            break;
        case 200:
            text = "忙";
            break;
        case 10:
        case 11:
        case 20:
        case 21:
        case 30:
        case 31:
        case 40:
        case 41:
        case 51:
        case 60:
        case 70:
            break;
        default:
            text = Format("未识别状态:%d", status);
            break;
    }
    std::string connection =
        params.queueEntry ? Format("%-10s %s", params.currentKeyword.c_str(), text.c_str()) : text;
    params.Send(RunMessageType::kConnectionStatus, std::move(connection));
    if (params.stopReason.load() != kStopPause || lastProgressLine_.empty())
        lastProgressLine_ = ProgressLine(params);
    params.Send(RunMessageType::kProgressLine, lastProgressLine_);
}

std::string GetSourceOfUrl(const std::string& url, const std::string& postData) {
    ThreadParams params;
    PageFetcher fetcher;
    params.fetcher = &fetcher;
    params.url = url;
    params.postData = postData;
    if (!fetcher.GetSource(params, std::string(), kFetchPrepare | kFetchNewSession | kFetchIntoMemory))
        return {};
    return params.pageText;
}

}  // namespace sorvik
