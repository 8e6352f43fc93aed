// The page fetcher against a real HTTP(S) server on loopback.

#include "engine/page_fetcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/fetch_politeness.h"
#include "engine/rules_test_helpers.h"
#include "engine/url_status_table.h"
#include "support/http_test_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik {
namespace {

using test::HttpReply;
using test::HttpRequestRecord;
using test::HttpTestServer;

using test::U8;

// Each test gets a short low-speed limit and retry wait.
class FetcherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.ok()) << server_.error();
        params_.fetcher = &fetcher_;
        params_.window = &sink_;
    }

    bool FetchIntoMemory(const std::string& path, unsigned extra = 0) {
        params_.url = server_.Url(path);
        return fetcher_.GetSource(params_, {}, kFetchPrepare | kFetchIntoMemory | extra);
    }

    test::QuickFetchSettings quick_{std::chrono::milliseconds(200)};
    HttpTestServer server_;
    PageFetcher fetcher_;
    ThreadParams params_;
    test::RecordingSink sink_;
    test::TempDir folder_;
};

TEST(FetchUrl, FolderPathsGetASlashSchemeAndPortAreHonoured) {
    ThreadParams params;
    const std::pair<const char*, const char*> cases[] = {
        {"http://example.com", "/"},
        {"http://example.com/news", "/news/"},
        {"http://example.com/page#top", "/page/"},
        {"http://example.com?q=1", "/?q=1"},
    };
    for (const auto& [url, object] : cases) {
        params.url = url;
        ASSERT_TRUE(PrepareUrl(params)) << url;
        EXPECT_EQ(params.parts.object, object) << url;
        EXPECT_EQ(params.parts.host, "example.com");
    }
    params.url = "https://Example.com:8443/x.htm";
    ASSERT_TRUE(PrepareUrl(params));
    EXPECT_EQ(params.parts.scheme, "https");
    EXPECT_EQ(params.parts.port, 8443);
    EXPECT_EQ(RequestUrl(params.parts), "https://Example.com:8443/x.htm");
    params.url = "example.com/a b.htm";
    ASSERT_TRUE(PrepareUrl(params));
    EXPECT_EQ(params.parts.scheme, "http");
    EXPECT_EQ(params.parts.port, 80);
    EXPECT_EQ(RequestUrl(params.parts), "http://example.com:80/a%20b.htm");
    // Chinese leaves percent-encoded: the path in UTF-8, the query in the encoding of the page the
    // link came from; a keyword put in as UTF-8 keeps its bytes.
    params.url = "example.com/价目/表.txt?q=中国";
    ASSERT_TRUE(PrepareUrl(params));
    EXPECT_EQ(RequestUrl(params.parts),
              "http://example.com:80/%E4%BB%B7%E7%9B%AE/%E8%A1%A8.txt?q=%D6%D0%B9%FA");
    EXPECT_EQ(RequestUrl(params.parts, true),
              "http://example.com:80/%E4%BB%B7%E7%9B%AE/%E8%A1%A8.txt?q=%E4%B8%AD%E5%9B%BD");
    params.url = std::string("example.com/s/") + test::U8(u8"中") + "?q=" + test::U8(u8"中");
    ASSERT_TRUE(PrepareUrl(params));
    EXPECT_EQ(RequestUrl(params.parts, true), "http://example.com:80/s/%E4%B8%AD?q=%E4%B8%AD");
    for (const char* url : {"", "ftp://example.com/", "http:///path", "http://host:99999/",
                            "javascript:void(0)", "http://a b/"}) {
        params.url = url;
        EXPECT_FALSE(PrepareUrl(params)) << url;
        EXPECT_TRUE(params.parts.host.empty());
    }
}

TEST(FetchDisplay, ALongNameIsNeverCutInsideADoubleByteCharacter) {
    std::string gb = "x";
    for (int i = 0; i < 30; ++i)
        gb += "中";
    gb += "y";  // 62 bytes: the plain cut at byte 16 would fall inside a character
    EXPECT_EQ(DisplayFileName(gb), "..." + gb.substr(17));
}

TEST_F(FetcherTest, LargeCompressedPageAfterARedirectWithLineEndsMadeCrLf) {
    std::string body = "one\r\ntwo\nthree";
    for (int i = 0; i < 20000; ++i)
        body += "line " + std::to_string(i) + "\n";
    server_.AddRedirect("/old.htm", "/page.htm", 301);
    server_.AddPage("/page.htm", body);
    ASSERT_TRUE(FetchIntoMemory("/old.htm"));
    std::string expected = body;
    ReplaceAll(expected, "\n", "\r\n");
    EXPECT_EQ(params_.pageText, expected);
    EXPECT_EQ(params_.stats.pages.load(), 1);
    auto request = server_.LastRequest("/page.htm");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->Header("User-Agent"), "ZID Odivav");
    EXPECT_NE(request->Header("Accept-Encoding").find("gzip"), std::string::npos);
}

TEST_F(FetcherTest, FileKeepsTheBytesAsServed) {
    const std::string bytes = std::string(U8(u8"\u4e2d\u6587\n")) + std::string("\x00\x01\xff\n", 4);
    server_.AddPage("/file.bin", bytes, "application/octet-stream");
    params_.url = server_.Url("/file.bin");
    const std::string path = folder_.file("file.bin");
    ASSERT_TRUE(fetcher_.GetSource(params_, path, kFetchPrepare));
    std::string written;
    ASSERT_TRUE(ReadWholeFile(path, written));
    EXPECT_EQ(written, bytes);
    EXPECT_EQ(params_.stats.pages.load(), 0);
}

TEST_F(FetcherTest, NotFoundPausesAHarvestButNotADownloadOrAQuietFetch) {
    server_.AddStatus("/gone.htm", 404, "missing");
    const std::string path = folder_.file("gone.htm");
    params_.url = server_.Url("/gone.htm");
    EXPECT_TRUE(fetcher_.GetSource(params_, path, kFetchPrepare));
    EXPECT_FALSE(FileExists(path));
    EXPECT_TRUE(FetchIntoMemory("/gone.htm", kFetchQuiet));
    EXPECT_TRUE(params_.pageText.empty());
    EXPECT_FALSE(params_.StopRequested());

    EXPECT_FALSE(FetchIntoMemory("/gone.htm"));
    EXPECT_TRUE(params_.stopFlag.load());
    EXPECT_EQ(params_.stopReason.load(), kStopPause);
    EXPECT_TRUE(params_.pageText.empty());
    const auto lines = sink_.Texts(RunMessageType::kProgressLine);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "网页打开失败，系统自动暂停！(HTTP 404) " + params_.url);
    // A deletion asked for meanwhile is not turned into a pause.
    params_.stopReason = kStopDelete;
    EXPECT_FALSE(FetchIntoMemory("/gone.htm"));
    EXPECT_EQ(params_.stopReason.load(), kStopDelete);
}

TEST_F(FetcherTest, TimeoutIsRetriedOnceWithTheNextSeed) {
    server_.AddStallThenPage("/slow.htm", 1, "finally");
    ASSERT_TRUE(FetchIntoMemory("/slow.htm"));
    EXPECT_EQ(params_.pageText, "finally");
    EXPECT_EQ(server_.CountRequests("/slow.htm"), 2);
    // The first session used 6 s, the fresh one for the second attempt 12 s.
    EXPECT_EQ(fetcher_.TimeoutSeed(), 12);
}

TEST_F(FetcherTest, StalledServerEndsAsTimeoutAfterTwoAttempts) {
    server_.AddStall("/stall.htm");
    params_.url = server_.Url("/stall.htm");
    ASSERT_TRUE(PrepareUrl(params_));
    EXPECT_EQ(fetcher_.OpenUrl(params_), kFetchErrorTimeout);
    EXPECT_EQ(server_.CountRequests("/stall.htm"), 2);
}

TEST_F(FetcherTest, StallInTheMiddleOfABodyPausesTheRun) {
    server_.AddStallInBody("/half.htm", "<html>first part", 100000);
    EXPECT_FALSE(FetchIntoMemory("/half.htm"));
    EXPECT_EQ(params_.stopReason.load(), kStopPause);
    const std::string path = folder_.file("half.htm");
    params_.stopFlag = false;
    params_.stopReason = kStopNone;
    params_.url = server_.Url("/half.htm");
    EXPECT_TRUE(fetcher_.GetSource(params_, path, kFetchPrepare));
    EXPECT_FALSE(FileExists(path));  // the partial file is deleted
}

TEST_F(FetcherTest, APageOverTheLimitIsFetchedOnceAndSkippedWithoutAPause) {
    // Not a text type: the server sends it as it is instead of compressing 65 MB first.
    server_.AddPage("/huge.htm", std::string(65 * 1024 * 1024, 'x'), "application/octet-stream");
    EXPECT_FALSE(FetchIntoMemory("/huge.htm"));
    EXPECT_EQ(server_.CountRequests("/huge.htm"), 1);
    EXPECT_FALSE(params_.StopRequested());
    EXPECT_TRUE(params_.pageText.empty());
    const auto lines = sink_.Texts(RunMessageType::kProgressLine);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "网页太大(超过64MB)，已跳过：" + server_.Url("/huge.htm"));
}

TEST_F(FetcherTest, StopRequestAbortsATransferInProgress) {
    // The drip (20 bytes/s for 30 s) stays above the low-speed limit here, so only the stop can
    // end the transfer early; a stop that did not abort it would let the whole body arrive.
    FetchSettings settings = CurrentFetchSettings();
    settings.lowSpeedBytes = 1;
    settings.lowSpeedSeconds = 60;
    SetFetchSettings(settings);
    server_.AddSlowBody("/drip.htm", std::string(600, 'x'), 1, std::chrono::milliseconds(50));
    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        params_.RequestStop(kStopPause);
    });
    const std::string path = folder_.file("drip.htm");
    params_.url = server_.Url("/drip.htm");
    EXPECT_FALSE(fetcher_.GetSource(params_, path, kFetchPrepare));
    stopper.join();
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(fetcher_.OpenUrl(params_), 0);
}

// A trickling body meets the whole-transfer time cap; a body that grows past the size caps (sent
// compressed: the caps count what it expands to) ends there. None is tried twice, the file's
// part is deleted and the bound is named.
TEST_F(FetcherTest, BoundsEndHostileTransfersWithoutASecondAttempt) {
    FetchSettings settings = CurrentFetchSettings();
    settings.lowSpeedBytes = 1;
    settings.pageSeconds = 1;
    settings.fileSeconds = 1;
    settings.maxPageBytes = 1024 * 1024;
    settings.maxFileBytes = 1024 * 1024;
    SetFetchSettings(settings);
    server_.AddSlowBody("/trickle.htm", std::string(600, 'x'), 1, std::chrono::milliseconds(50));
    EXPECT_FALSE(FetchIntoMemory("/trickle.htm"));
    EXPECT_EQ(server_.CountRequests("/trickle.htm"), 1);
    EXPECT_EQ(fetcher_.BoundText(), "传输超过时间上限(1秒)");
    EXPECT_EQ(sink_.Texts(RunMessageType::kProgressLine).back(), "传输超过时间上限(1秒)，系统自动暂停！");
    EXPECT_EQ(params_.failure, "传输超过时间上限(1秒)：" + server_.Url("/trickle.htm"));

    params_.stopFlag = false;
    params_.stopReason = kStopNone;
    settings.pageSeconds = settings.fileSeconds = 600;  // only the size caps end these
    SetFetchSettings(settings);
    server_.AddPage("/bomb.txt", std::string(8 * 1024 * 1024, 'a'), "text/plain");
    const std::string path = folder_.file("bomb.txt");
    params_.url = server_.Url("/bomb.txt");
    EXPECT_FALSE(fetcher_.GetSource(params_, path, kFetchPrepare));
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(fetcher_.BoundText(), "文件超过大小上限(1MB)");
    EXPECT_EQ(sink_.Texts(RunMessageType::kStatusText).back(), "文件超过大小上限(1MB)：" + params_.url);
    EXPECT_FALSE(params_.StopRequested());  // a file over its cap is a failed link, the run goes on
    EXPECT_FALSE(FetchIntoMemory("/bomb.txt"));
    EXPECT_TRUE(params_.pageText.empty());
    EXPECT_EQ(server_.CountRequests("/bomb.txt"), 2);
}

TEST_F(FetcherTest, RawKeywordBytesInTheQueryLeavePercentEncoded) {
    server_.AddEcho("/s.php");
    const std::string raw = U8(u8"中文");
    params_.url = server_.Url("/s.php?q=" + raw + "&w=%d6%d0");
    ASSERT_TRUE(fetcher_.GetSource(params_, {}, kFetchPrepare | kFetchIntoMemory));
    auto request = server_.LastRequest("/s.php");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->target, "/s.php?q=%E4%B8%AD%E6%96%87&w=%d6%d0");
}

TEST_F(FetcherTest, ProxyComesFromTheEnvironment) {
    // The test server acts as the proxy: it gets the request in absolute form.
    server_.AddPage("http://proxied.invalid/x.htm", "via proxy");
    setenv("http_proxy", server_.Url("/").c_str(), 1);
    const bool fetched = [this] {
        params_.url = "http://proxied.invalid/x.htm";
        return fetcher_.GetSource(params_, {}, kFetchPrepare | kFetchNewSession | kFetchIntoMemory);
    }();
    unsetenv("http_proxy");
    ASSERT_TRUE(fetched);
    EXPECT_EQ(params_.pageText, "via proxy");
}

TEST_F(FetcherTest, PostBodyArrivesIntactWithTheFormType) {
    server_.AddEcho("/post.php");
    params_.postData = "name=%D6%D0%CE%C4&x=a+b&empty=";
    ASSERT_TRUE(FetchIntoMemory("/post.php"));
    auto request = server_.LastRequest("/post.php");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->method, "POST");
    EXPECT_EQ(request->body, params_.postData);
    EXPECT_EQ(request->Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(params_.pageText, params_.postData);
    // The next request without post data is a GET again.
    params_.postData.clear();
    ASSERT_TRUE(FetchIntoMemory("/post.php"));
    EXPECT_EQ(server_.LastRequest("/post.php")->method, "GET");
}

TEST_F(FetcherTest, CookiesStayWithTheirSession) {
    server_.AddHandler("/set.php", [](const HttpRequestRecord&) {
        return HttpReply{200, "set", "text/html", {{"Set-Cookie", "sid=42; Path=/"}}};
    });
    server_.AddHandler("/show.php", [](const HttpRequestRecord& request) {
        return HttpReply{200, "cookie:" + request.Header("Cookie"), "text/html", {}};
    });
    ASSERT_TRUE(FetchIntoMemory("/set.php"));
    ASSERT_TRUE(FetchIntoMemory("/show.php"));
    EXPECT_EQ(params_.pageText, "cookie:sid=42");
    ASSERT_TRUE(FetchIntoMemory("/show.php", kFetchNewSession));
    EXPECT_EQ(params_.pageText, "cookie:");
}

TEST_F(FetcherTest, CharsetsAreConvertedAsDeclared) {
    const std::string utf8 = U8(u8"<p>中文</p>");
    const std::string gb = "<p>中文</p>";  // GB bytes (the sources are compiled to GB18030)
    server_.AddPage("/utf8-header.php", utf8, "text/html; charset=UTF-8");
    server_.AddPage("/gbk-header.php", gb, "text/html; charset=GBK");
    server_.AddPage("/utf8-meta.php", std::string(U8(u8"<meta charset=\"utf-8\">中文")), "text/html");
    server_.AddPage("/undeclared-utf8.php", utf8, "text/html");

    ASSERT_TRUE(FetchIntoMemory("/utf8-header.php"));
    EXPECT_EQ(params_.pageText, gb);
    ASSERT_TRUE(FetchIntoMemory("/gbk-header.php"));
    EXPECT_EQ(params_.pageText, gb);
    ASSERT_TRUE(FetchIntoMemory("/utf8-meta.php"));
    EXPECT_EQ(params_.pageText, "<meta charset=\"utf-8\">中文");
    ASSERT_TRUE(FetchIntoMemory("/undeclared-utf8.php"));
    EXPECT_EQ(params_.pageText, gb);
    // Declared as GB, but the script says UTF-8: the flag wins; a declared UTF-8 page is converted once.
    server_.AddPage("/mislabelled.php", utf8, "text/html; charset=gb2312");
    ASSERT_TRUE(FetchIntoMemory("/mislabelled.php", kFetchFromUtf8));
    EXPECT_EQ(params_.pageText, gb);
    ASSERT_TRUE(FetchIntoMemory("/utf8-header.php", kFetchFromUtf8));
    EXPECT_EQ(params_.pageText, gb);
}

TEST_F(FetcherTest, LinkCheckRecordsStatusHeadersAndRemembers) {
    TheUrlStatusTable().Clear();
    server_.AddHandler("/doc.htm", [](const HttpRequestRecord&) {
        return HttpReply{200, "d", "text/plain", {{"Last-Modified", "Wed, 21 Oct 2015 07:28:00 GMT"}}};
    });
    server_.AddStatus("/missing.htm", 404);
    params_.mode = RunMode::kLinkCheck;
    params_.url = server_.Url("/doc.htm");
    ASSERT_TRUE(PrepareUrl(params_));
    EXPECT_TRUE(fetcher_.CheckLink(params_));
    EXPECT_EQ(params_.linkCheck.statusCode, 200);
    EXPECT_EQ(params_.linkCheck.statusText, "ok");
    EXPECT_EQ(params_.linkCheck.contentType, "text/plain");
    EXPECT_EQ(params_.linkCheck.lastModified, "Wed, 21 Oct 2015 07:28:00 GMT");

    // The same URL in other letter case comes from the table without a request.
    params_.url = server_.Url("/DOC.htm");
    ASSERT_TRUE(PrepareUrl(params_));
    EXPECT_TRUE(fetcher_.CheckLink(params_));
    EXPECT_EQ(server_.CountRequests("/doc.htm") + server_.CountRequests("/DOC.htm"), 1);
    EXPECT_EQ(params_.linkCheck.contentType, "text/plain");

    params_.url = server_.Url("/missing.htm");
    ASSERT_TRUE(PrepareUrl(params_));
    EXPECT_FALSE(fetcher_.CheckLink(params_));
    EXPECT_EQ(params_.linkCheck.statusText, "not found");
}

TEST_F(FetcherTest, RefusedConnectionGivesCannotConnect) {
    int port = 0;
    {
        HttpTestServer gone;
        port = gone.port();
    }
    params_.url = "http://127.0.0.1:" + std::to_string(port) + "/x.htm";
    ASSERT_TRUE(PrepareUrl(params_));
    EXPECT_EQ(fetcher_.OpenUrl(params_), kFetchErrorCannotConnect);
}

// A 429 (or a 503 with Retry-After) is asked again after the wait it names, and says so; a 503
// without one pauses as any failed page does.
TEST_F(FetcherTest, BusyAnswersAreAskedAgainAfterTheirWait) {
    std::atomic<int> busy{2};
    server_.AddHandler("/busy.htm", [&](const HttpRequestRecord&) {
        if (busy.fetch_sub(1) > 0)
            return HttpReply{429, "slow down", "text/html", {{"Retry-After", "1"}}};
        return HttpReply{200, "served", "text/html", {}};
    });
    ASSERT_TRUE(FetchIntoMemory("/busy.htm"));
    EXPECT_EQ(params_.pageText, "served");
    EXPECT_EQ(server_.CountRequests("/busy.htm"), 3);
    const auto lines = sink_.Texts(RunMessageType::kProgressLine);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "服务器繁忙(HTTP 429)，1秒后第2次重试：" + server_.Url("/busy.htm")),
              lines.end());

    server_.AddStatus("/down.htm", 503);
    EXPECT_FALSE(FetchIntoMemory("/down.htm"));
    EXPECT_EQ(server_.CountRequests("/down.htm"), 1);
    EXPECT_EQ(fetcher_.FailureText(), "网页打开失败，系统自动暂停！(HTTP 503) " + server_.Url("/down.htm"));

    EXPECT_EQ(RetryAfterWait(" 120 "), std::chrono::milliseconds(120000));
    EXPECT_EQ(RetryAfterWait("Wed, 21 Oct 2015 07:28:00 GMT"), std::chrono::milliseconds(0));
    EXPECT_EQ(RetryAfterWait("soon"), std::nullopt);
}

// Planned pages are asked for on at most the limit of connections, each request started at least
// the interval after the one before (as the server saw them arrive).
TEST_F(FetcherTest, PlannedPagesKeepTheConnectionLimitAndTheInterval) {
    constexpr int kPages = 6;
    server_.SetDelay(std::chrono::milliseconds(50));
    std::vector<std::string> urls;
    for (int i = 0; i < kPages; ++i) {
        server_.AddPage(Format("/p%d.htm", i), Format("page %d", i));
        if (i > 0)
            urls.push_back(server_.Url(Format("/p%d.htm", i)));
    }
    FetchPoliteness politeness;
    politeness.connections = 3;
    politeness.interval = std::chrono::milliseconds(150);
    fetcher_.SetPoliteness(politeness);
    ASSERT_TRUE(FetchIntoMemory("/p0.htm"));
    fetcher_.PlanAhead(params_, urls);
    for (int i = 1; i < kPages; ++i) {
        ASSERT_TRUE(FetchIntoMemory(Format("/p%d.htm", i)));
        EXPECT_EQ(params_.pageText, Format("page %d", i));
    }
    const std::vector<HttpRequestRecord> requests = server_.Requests();
    ASSERT_EQ(requests.size(), static_cast<size_t>(kPages));
    EXPECT_LE(server_.MaxConcurrentRequests(), 3);
    // Arrival times may jitter by a few milliseconds; the whole span may not.
    const auto span = requests.back().arrived - requests.front().arrived;
    EXPECT_GE(span, (kPages - 1) * std::chrono::milliseconds(150) * 9 / 10);
}

// With "#遵守robots=1" the host's robots.txt is asked for once and what it disallows is skipped.
TEST_F(FetcherTest, RobotsTxtIsAskedOnceAndDisallowedPagesAreSkipped) {
    server_.AddPage(
        "/robots.txt",
        "User-agent: other\nDisallow: /\n\nUser-agent: *\nDisallow: /private\nAllow: /private/ok\n",
        "text/plain");
    server_.AddPage("/private/x.htm", "secret");
    server_.AddPage("/private/ok.htm", "fine");
    FetchPoliteness politeness;
    politeness.obeyRobots = true;
    fetcher_.SetPoliteness(politeness);
    EXPECT_TRUE(FetchIntoMemory("/private/x.htm", kFetchQuiet));
    EXPECT_TRUE(params_.pageText.empty());
    ASSERT_TRUE(FetchIntoMemory("/private/ok.htm"));
    EXPECT_EQ(params_.pageText, "fine");
    EXPECT_EQ(server_.CountRequests("/robots.txt"), 1);
    EXPECT_EQ(server_.CountRequests("/private/x.htm"), 0);
    EXPECT_EQ(params_.stats.robotsDenied.load(), 1);
    EXPECT_FALSE(params_.StopRequested());  // a disallowed page is skipped, not a reason to pause
}

TEST(FetchPoliteness, ScriptKeysHoldOverTheDefaultsWhenInRange) {
    RunFetchSettings defaults;
    defaults.politeness.connections = 4;
    defaults.maxPages = 7;
    const RunFetchSettings read = RunFetchSettingsOf(
        "#并发连接数=99\r\n#访问间隔=250\r\n#最大页数=x\r\n#遵守robots=1\r\n#用户代理=Bot/1.0\r\n", defaults);
    EXPECT_EQ(read.politeness.connections, 4);
    EXPECT_EQ(read.politeness.interval, std::chrono::milliseconds(250));
    EXPECT_EQ(read.maxPages, 7);
    EXPECT_TRUE(read.politeness.obeyRobots);
    EXPECT_EQ(read.politeness.userAgent, "Bot/1.0");
}

TEST_F(FetcherTest, GetSourceOfUrlFetchesOutsideARun) {
    server_.AddPage("/one.htm", "one");
    EXPECT_EQ(GetSourceOfUrl(server_.Url("/one.htm")), "one");
    EXPECT_EQ(GetSourceOfUrl("not a url at all"), "");
}

TEST(FetcherHttps, HttpsWorksWithTheTrustedTestCertificate) {
    HttpTestServer server(HttpTestServer::Scheme::kHttps);
    ASSERT_TRUE(server.ok()) << server.error();
    server.AddPage("/secure.htm", "secret");
    const FetchSettings saved = CurrentFetchSettings();
    ThreadParams params;
    PageFetcher fetcher;
    params.url = server.Url("/secure.htm");
    // Not trusted: refused.
    ASSERT_TRUE(PrepareUrl(params));
    EXPECT_EQ(fetcher.OpenUrl(params), kFetchErrorInvalidCa);
    FetchSettings trusted = saved;
    trusted.caFile = server.CertificateFile();
    SetFetchSettings(trusted);
    EXPECT_TRUE(fetcher.GetSource(params, {}, kFetchPrepare | kFetchNewSession | kFetchIntoMemory));
    EXPECT_EQ(params.pageText, "secret");
    SetFetchSettings(saved);
}

}  // namespace
}  // namespace sorvik
