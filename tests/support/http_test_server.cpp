#include "support/http_test_server.h"

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include "support/temp_dir.h"

namespace sorvik::test {
namespace {

using RouteFn = std::function<void(const httplib::Request&, httplib::Response&)>;

bool SameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct X509Free {
    void operator()(X509* cert) const { X509_free(cert); }
};
struct FileClose {
    void operator()(FILE* file) const { std::fclose(file); }
};

bool AddExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext)
        return false;
    bool added = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return added;
}

// A self-signed P-256 certificate for 127.0.0.1 and localhost, valid for a day.
bool MakeCertificate(std::unique_ptr<EVP_PKEY, PkeyFree>& key, std::unique_ptr<X509, X509Free>& cert) {
    key.reset(EVP_EC_gen("P-256"));
    cert.reset(X509_new());
    if (!key || !cert)
        return false;
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 24 * 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"),
                               -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    if (!AddExtension(cert.get(), NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost"))
        return false;
    if (!AddExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE"))
        return false;
    return X509_sign(cert.get(), key.get(), EVP_sha256()) > 0;
}

bool WritePem(X509* cert, const std::string& path) {
    std::unique_ptr<FILE, FileClose> file(std::fopen(path.c_str(), "wb"));
    return file && PEM_write_X509(file.get(), cert) == 1;
}

HttpRequestRecord ToRecord(const httplib::Request& request) {
    HttpRequestRecord record;
    record.method = request.method;
    record.target = request.target;
    record.path = request.target.substr(0, request.target.find('?'));
    record.body = request.body;
    record.arrived = std::chrono::steady_clock::now();
    for (const auto& [name, value] : request.headers)
        record.headers.emplace_back(name, value);
    return record;
}

}  // namespace

std::string HttpRequestRecord::Header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (SameNoCase(key, name))
            return value;
    return {};
}

struct HttpTestServer::Impl {
    Scheme scheme = Scheme::kHttp;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    std::atomic<bool> loopEnded{false};  // set by the server thread when listen returns
    int port = -1;
    std::string error;
    std::string certificateFile;
    std::optional<TempDir> certificateFolder;

    mutable std::mutex mutex;          // guards routes, requests and stopping
    std::condition_variable released;  // signalled (under mutex) when stopping becomes true
    std::map<std::string, RouteFn> routes;
    std::vector<HttpRequestRecord> requests;
    bool stopping = false;
    std::chrono::milliseconds delay{0};
    int serving = 0;  // requests being served now
    int maxServing = 0;

    // Waits until the server stops or the pause ends; true when the server stops.
    bool WaitStopping(std::optional<std::chrono::milliseconds> pause) {
        std::unique_lock lock(mutex);
        if (!pause) {
            released.wait(lock, [this] { return stopping; });
            return true;
        }
        return released.wait_for(lock, *pause, [this] { return stopping; });
    }

    void Serve(const httplib::Request& request, httplib::Response& response) {
        HttpRequestRecord record = ToRecord(request);
        RouteFn route;
        std::chrono::milliseconds pause{0};
        {
            std::scoped_lock lock(mutex);
            auto found = routes.find(record.path);
            if (found != routes.end())
                route = found->second;
            requests.push_back(std::move(record));
            maxServing = std::max(maxServing, ++serving);
            pause = delay;
        }
        struct Served {
            Impl* impl;
            ~Served() {
                std::scoped_lock lock(impl->mutex);
                --impl->serving;
            }
        } served{this};
        if (pause.count() > 0 && WaitStopping(pause))
            return;
        if (!route) {
            response.status = 404;
            response.set_content("not found", "text/plain");
            return;
        }
        route(request, response);
    }

    void AddRoute(const std::string& path, RouteFn route) {
        std::scoped_lock lock(mutex);
        routes[path] = std::move(route);
    }
};

HttpTestServer::HttpTestServer(Scheme scheme) : impl_(std::make_unique<Impl>()) {
    impl_->scheme = scheme;
    if (scheme == Scheme::kHttps) {
        std::unique_ptr<EVP_PKEY, PkeyFree> key;
        std::unique_ptr<X509, X509Free> cert;
        if (!MakeCertificate(key, cert)) {
            impl_->error = "certificate generation failed";
            return;
        }
        impl_->certificateFolder.emplace();
        impl_->certificateFile = impl_->certificateFolder->file("server-cert.pem");
        if (!WritePem(cert.get(), impl_->certificateFile)) {
            impl_->error = "certificate file can't be written";
            return;
        }
        // The SSL context takes its own references to the certificate and the key.
        impl_->server = std::make_unique<httplib::SSLServer>(cert.get(), key.get());
    } else {
        impl_->server = std::make_unique<httplib::Server>();
    }
    if (!impl_->server->is_valid()) {
        impl_->error = "server setup failed";
        return;
    }
    // Short keep-alive so that stopping does not wait long for idle connections.
    impl_->server->set_keep_alive_timeout(1);
    Impl* impl = impl_.get();
    auto serve = [impl](const httplib::Request& request, httplib::Response& response) {
        impl->Serve(request, response);
    };
    impl_->server->Get(".*", serve);
    impl_->server->Post(".*", serve);
    impl_->server->Put(".*", serve);
    impl_->server->Delete(".*", serve);
    impl_->port = impl_->server->bind_to_any_port("127.0.0.1");
    if (impl_->port <= 0) {
        impl_->error = "bind failed";
        return;
    }
    // The socket listens already; connections made before the loop runs wait in the backlog.
    impl_->thread = std::thread([impl] {
        impl->server->listen_after_bind();
        impl->loopEnded = true;
    });
    // stop() only ends a loop that runs already, so wait for it (a few milliseconds).
    for (int i = 0; i < 5000 && !impl_->server->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

HttpTestServer::~HttpTestServer() {
    {
        std::scoped_lock lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->released.notify_all();
    // stop() does nothing while the loop has not started yet, so repeat it until the loop ends:
    // a single call could leave the thread blocked in accept() for ever.
    if (impl_->server && impl_->thread.joinable()) {
        while (!impl_->loopEnded) {
            impl_->server->stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    if (impl_->thread.joinable())
        impl_->thread.join();
}

bool HttpTestServer::ok() const {
    return impl_->error.empty() && impl_->port > 0;
}
const std::string& HttpTestServer::error() const {
    return impl_->error;
}
int HttpTestServer::port() const {
    return impl_->port;
}
const std::string& HttpTestServer::CertificateFile() const {
    return impl_->certificateFile;
}

std::string HttpTestServer::Url(std::string_view path) const {
    std::string url = impl_->scheme == Scheme::kHttps ? "https://" : "http://";
    url += "127.0.0.1:" + std::to_string(impl_->port);
    url += path;
    return url;
}

void HttpTestServer::AddPage(const std::string& path, std::string body, std::string contentType) {
    impl_->AddRoute(path, [body = std::move(body), contentType = std::move(contentType)](
                              const httplib::Request&, httplib::Response& response) {
        response.set_content(body, contentType.c_str());
    });
}

void HttpTestServer::AddStatus(const std::string& path, int status, std::string body) {
    impl_->AddRoute(path,
                    [status, body = std::move(body)](const httplib::Request&, httplib::Response& response) {
                        response.status = status;
                        response.set_content(body, "text/html");
                    });
}

void HttpTestServer::AddRedirect(const std::string& path, std::string location, int status) {
    impl_->AddRoute(
        path, [status, location = std::move(location)](const httplib::Request&, httplib::Response& response) {
            response.set_redirect(location, status);
        });
}

void HttpTestServer::AddStall(const std::string& path) {
    Impl* impl = impl_.get();
    impl_->AddRoute(path, [impl](const httplib::Request&, httplib::Response& response) {
        impl->WaitStopping(std::nullopt);
        response.status = 503;
    });
}

void HttpTestServer::AddStallThenPage(const std::string& path, int stalls, std::string body) {
    Impl* impl = impl_.get();
    auto remaining = std::make_shared<std::atomic<int>>(stalls);
    impl_->AddRoute(path, [impl, remaining, body = std::move(body)](const httplib::Request&,
                                                                    httplib::Response& response) {
        if (remaining->fetch_sub(1) > 0) {
            impl->WaitStopping(std::nullopt);
            response.status = 503;
            return;
        }
        response.set_content(body, "text/html");
    });
}

void HttpTestServer::AddStallInBody(const std::string& path, std::string firstPart, size_t declaredLength) {
    Impl* impl = impl_.get();
    impl_->AddRoute(path, [impl, firstPart = std::move(firstPart), declaredLength](
                              const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(declaredLength, "text/html",
                                      [impl, firstPart](size_t offset, size_t, httplib::DataSink& sink) {
                                          if (offset == 0 && !firstPart.empty())
                                              return sink.write(firstPart.data(), firstPart.size());
                                          impl->WaitStopping(std::nullopt);
                                          return false;
                                      });
    });
}

void HttpTestServer::AddSlowBody(const std::string& path, std::string body, size_t chunkBytes,
                                 std::chrono::milliseconds pause) {
    Impl* impl = impl_.get();
    chunkBytes = std::max<size_t>(chunkBytes, 1);
    impl_->AddRoute(path, [impl, body = std::move(body), chunkBytes, pause](const httplib::Request&,
                                                                            httplib::Response& response) {
        response.set_content_provider(
            body.size(), "text/html",
            [impl, body, chunkBytes, pause](size_t offset, size_t, httplib::DataSink& sink) {
                if (impl->WaitStopping(pause))
                    return false;
                size_t count = std::min(chunkBytes, body.size() - offset);
                return sink.write(body.data() + offset, count);
            });
    });
}

void HttpTestServer::AddEcho(const std::string& path) {
    impl_->AddRoute(path, [](const httplib::Request& request, httplib::Response& response) {
        response.set_content(request.body, "text/plain");
    });
}

void HttpTestServer::AddHandler(const std::string& path, HttpHandler handler) {
    impl_->AddRoute(
        path, [handler = std::move(handler)](const httplib::Request& request, httplib::Response& response) {
            HttpReply reply = handler(ToRecord(request));
            response.status = reply.status;
            for (const auto& [name, value] : reply.headers)
                response.set_header(name, value);
            response.set_content(reply.body, reply.contentType.c_str());
        });
}

void HttpTestServer::SetDelay(std::chrono::milliseconds delay) {
    std::scoped_lock lock(impl_->mutex);
    impl_->delay = delay;
}

int HttpTestServer::MaxConcurrentRequests() const {
    std::scoped_lock lock(impl_->mutex);
    return impl_->maxServing;
}

std::vector<HttpRequestRecord> HttpTestServer::Requests() const {
    std::scoped_lock lock(impl_->mutex);
    return impl_->requests;
}

int HttpTestServer::CountRequests(std::string_view path) const {
    std::scoped_lock lock(impl_->mutex);
    return static_cast<int>(std::count_if(impl_->requests.begin(), impl_->requests.end(),
                                          [path](const HttpRequestRecord& r) { return r.path == path; }));
}

std::optional<HttpRequestRecord> HttpTestServer::LastRequest(std::string_view path) const {
    std::scoped_lock lock(impl_->mutex);
    for (auto it = impl_->requests.rbegin(); it != impl_->requests.rend(); ++it)
        if (it->path == path)
            return *it;
    return std::nullopt;
}

}  // namespace sorvik::test
