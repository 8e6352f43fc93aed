#pragma once
// An HTTP (or HTTPS) server on 127.0.0.1 for tests: it listens on an ephemeral port from its
// construction to its destruction and serves the routes a test registers. Routes can be added
// at any time; a request for a path without a route gets 404 "not found".
//
// Paths are matched exactly against the request path without its query. Every request is logged
// (Requests) before its route runs. The destructor first releases every stalling or slow route,
// then stops the server, so a test never hangs on a route that is still waiting.
//
// The HTTPS variant makes a fresh self-signed certificate for 127.0.0.1 and localhost; a client
// trusts it by taking CertificateFile() as its CA file.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sorvik::test {

struct HttpRequestRecord {
    std::string method;
    std::string path;    // without the query
    std::string target;  // path and query as sent
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    std::chrono::steady_clock::time_point arrived;  // when the server began to serve it

    // First header of that name (case-insensitive); empty when missing.
    std::string Header(std::string_view name) const;
};

struct HttpReply {
    int status = 200;
    std::string body;
    std::string contentType = "text/html";
    std::vector<std::pair<std::string, std::string>> headers;  // extra response headers
};

using HttpHandler = std::function<HttpReply(const HttpRequestRecord&)>;

class HttpTestServer {
  public:
    enum class Scheme { kHttp, kHttps };

    explicit HttpTestServer(Scheme scheme = Scheme::kHttp);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    // True when the server listens; otherwise error() says why.
    bool ok() const;
    const std::string& error() const;
    int port() const;
    // "http://127.0.0.1:<port>" + path (or https).
    std::string Url(std::string_view path = "/") const;
    // HTTPS only: PEM file of the server's certificate (empty for HTTP).
    const std::string& CertificateFile() const;

    // A page served with status 200 (any method).
    void AddPage(const std::string& path, std::string body, std::string contentType = "text/html");
    // A reply with the given status and body.
    void AddStatus(const std::string& path, int status, std::string body = {});
    // A redirect to location (absolute or relative) with the given status.
    void AddRedirect(const std::string& path, std::string location, int status = 302);
    // Accepts the request and answers nothing until the server ends.
    void AddStall(const std::string& path);
    // Stalls as AddStall for the first `stalls` requests, then serves body with status 200.
    void AddStallThenPage(const std::string& path, int stalls, std::string body);
    // Sends the headers with Content-Length declaredLength and firstPart of the body, then
    // nothing more until the server ends.
    void AddStallInBody(const std::string& path, std::string firstPart, size_t declaredLength);
    // Sends the body in pieces of chunkBytes with a pause before each piece (Content-Length set).
    void AddSlowBody(const std::string& path, std::string body, size_t chunkBytes,
                     std::chrono::milliseconds pause);
    // Replies 200 with the request body as it arrived (text/plain).
    void AddEcho(const std::string& path);
    // Any reply computed from the request.
    void AddHandler(const std::string& path, HttpHandler handler);

    // Every request from now on is answered only after delay (a slow, far site).
    void SetDelay(std::chrono::milliseconds delay);
    // The most requests the server was serving at one time, each on its own connection.
    int MaxConcurrentRequests() const;

    // The requests served so far, oldest first.
    std::vector<HttpRequestRecord> Requests() const;
    int CountRequests(std::string_view path) const;
    std::optional<HttpRequestRecord> LastRequest(std::string_view path) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sorvik::test
