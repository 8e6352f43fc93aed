#include "engine/page_fetcher.h"

#include <curl/curl.h>

#include <cstdio>
#include <mutex>
#include <thread>

#include "engine/page_charset.h"
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

std::string DisplayFileName(std::string_view fileName) {
    if (fileName.size() <= 48)
        return std::string(fileName);
    const size_t wanted = fileName.size() - 46;
    size_t pos = 0;
    while (pos < wanted)
        pos += GbCharLength(fileName, pos);
    return "..." + std::string(fileName.substr(pos));
}

// The session: one curl easy handle.
struct PageFetcher::Session {
    struct Cleanup {
        void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
    };
    std::unique_ptr<CURL, Cleanup> handle;
};

// One request's body sink and the values its callbacks report.
struct PageFetcher::Transfer {
    enum class Sink { kDiscard, kMemory, kFile, kProbe };

    PageFetcher* fetcher = nullptr;
    ThreadParams* params = nullptr;
    CURL* handle = nullptr;
    Sink sink = Sink::kDiscard;
    size_t maxBytes = 0;

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

    // Before a second attempt: forget what the first one received.
    void Reset() {
        body.clear();
        DiscardFile();
        fileFailed = tooLarge = timeCapped = probeDone = gotHeaders = false;
        fileBytes = 0;
        headers = ResponseHeaders();
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
    CURL* handle = curl_easy_init();
    if (!handle)
        return false;
    auto session = std::make_unique<Session>();
    session->handle.reset(handle);
    const FetchSettings settings = CurrentFetchSettings();
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "ZID Odivav");
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
    session_ = std::move(session);
    return true;
}

bool PageFetcher::CloseConnection(const ThreadParams& params) {
    session_.reset();
    return !params.StopRequested();
}

bool PageFetcher::WaitUnlessStopped(const ThreadParams& params, std::chrono::milliseconds wait) const {
    const auto end = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < end) {
        if (params.StopRequested())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return !params.StopRequested();
}

int PageFetcher::Perform(ThreadParams& params, Transfer& transfer) {
    CURL* handle = session_->handle.get();
    transfer.fetcher = this;
    transfer.params = &params;
    transfer.handle = handle;
    bytesReceived_ = 0;
    totalBytes_ = 0;

    const std::string url = RequestUrl(params.parts, params.linksFromUtf8Page);
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    struct SlistFree {
        void operator()(curl_slist* list) const { curl_slist_free_all(list); }
    };
    std::unique_ptr<curl_slist, SlistFree> headers;
    if (!params.postData.empty()) {
        curl_slist* list = curl_slist_append(nullptr, "Accept: text*/*");
        list = curl_slist_append(list, "Content-Type: application/x-www-form-urlencoded");
        headers.reset(list);
        curl_easy_setopt(handle, CURLOPT_POST, 1L);
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(params.postData.size()));
        curl_easy_setopt(handle, CURLOPT_COPYPOSTFIELDS, params.postData.c_str());
    } else {
        curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_DEBUGDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, transfer.maxSeconds * 1000L);

    const auto started = std::chrono::steady_clock::now();
    CURLcode rc = curl_easy_perform(handle);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, nullptr);
    if (transfer.gotHeaders)
        totalBytes_ = ExpectedBytes(transfer.headers);
    if (rc == CURLE_WRITE_ERROR && transfer.probeDone)
        rc = CURLE_OK;
    if (rc != CURLE_OK) {
        if (rc == CURLE_ABORTED_BY_CALLBACK || params.StopRequested())
            return 0;
        // The low-speed limit gives the same code: only the whole time tells the cap apart.
        if (rc == CURLE_OPERATION_TIMEDOUT && transfer.maxSeconds > 0 &&
            std::chrono::steady_clock::now() - started + std::chrono::milliseconds(200) >=
                std::chrono::seconds(transfer.maxSeconds)) {
            transfer.timeCapped = true;
        }
        if (transfer.tooLarge)
            return kFetchErrorTooLarge;
        if (transfer.fileFailed)
            return kFetchErrorAborted;
        return InternetErrorFromCurl(rc);
    }
    Notify(params, 100);
    return static_cast<int>(ResponseCode(handle));
}

int PageFetcher::OpenUrlInto(ThreadParams& params, Transfer& transfer) {
    if (params.StopRequested())
        return 0;
    if (params.parts.host.empty())
        return kFetchErrorBadUrl;
    // A session closed by an earlier failure is made again on demand.
    if (!session_ && !CreateSession(params))
        return kFetchErrorAborted;
    if (params.StopRequested())
        return 0;
    const int first = Perform(params, transfer);
    if (first < 12000)
        return first;  // a status code, or 0 for a stop

    if (!CloseConnection(params))
        return 0;
    // A bound met once is met again: no second attempt.
    if (!IsRetried(first) || transfer.fileFailed || transfer.tooLarge || transfer.timeCapped)
        return first;
    if (first == kFetchErrorTimeout && !WaitUnlessStopped(params, CurrentFetchSettings().retryWait))
        return 0;
    if (!CreateSession(params))
        return first;
    transfer.Reset();
    const int second = Perform(params, transfer);
    if (second >= 12000)
        CloseConnection(params);
    return second;
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

bool PageFetcher::GetSource(ThreadParams& params, const std::string& fileName, unsigned flags) {
    const bool intoMemory = (flags & kFetchIntoMemory) != 0;
    if (intoMemory)
        params.pageText.clear();
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
    const int code = OpenUrlInto(params, transfer);
    downloadingFile_ = false;

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
        if (!intoMemory) {
            // A file that could not be written, met a bound, or was stopped part way is a
            // failure (its part is deleted); any other answer is success without data.
            return !(transfer.fileFailed || !boundText_.empty() || code == 0);
        }
        if (code == kFetchErrorTooLarge) {
            // Fetching it again would give the same: the page is skipped, the run goes on.
            params.Send(RunMessageType::kProgressLine,
                        Format("网页太大(超过%zuMB)，已跳过：%s", transfer.maxBytes / (1024 * 1024),
                               params.url.c_str()));
            return (flags & kFetchQuiet) != 0;
        }
        if (flags & kFetchQuiet)
            return true;
        params.Send(RunMessageType::kProgressLine, boundText_.empty()
                                                       ? std::string("连接已断开，系统自动暂停！")
                                                       : boundText_ + "，系统自动暂停！");
        // The task's message says which bound paused the run.
        if (!boundText_.empty())
            params.failure = boundText_ + "：" + params.url;
        params.RequestStop(kStopPause);
        params.pageText.clear();
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

std::string GetSourceOfUrl(const std::string& url) {
    ThreadParams params;
    PageFetcher fetcher;
    params.fetcher = &fetcher;
    params.url = url;
    if (!fetcher.GetSource(params, std::string(), kFetchPrepare | kFetchNewSession | kFetchIntoMemory))
        return {};
    return params.pageText;
}

}  // namespace sorvik
