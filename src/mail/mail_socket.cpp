#include "mail/mail_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "text/strings.h"

namespace sorvik {

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// OpenSSL writes to the socket with write(), which raises SIGPIPE on a closed connection. While
// an object of this class lives, SIGPIPE is blocked for the calling thread only, and a SIGPIPE
// raised meanwhile is consumed, so the write fails with EPIPE instead of ending the process.
class SigpipeBlock {
  public:
    SigpipeBlock() {
        sigset_t pipeSet;
        sigemptyset(&pipeSet);
        sigaddset(&pipeSet, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipeSet, &old_);
    }
    ~SigpipeBlock() {
        if (!wasPending_) {
            sigset_t pipeSet;
            sigemptyset(&pipeSet);
            sigaddset(&pipeSet, SIGPIPE);
            timespec zero{0, 0};
            while (sigtimedwait(&pipeSet, nullptr, &zero) > 0) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    SigpipeBlock(const SigpipeBlock&) = delete;
    SigpipeBlock& operator=(const SigpipeBlock&) = delete;

  private:
    sigset_t old_;
    bool wasPending_ = false;
};

bool IsIpLiteral(const std::string& host) {
    unsigned char buffer[sizeof(in6_addr)];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

}  // namespace

MailSocket::~MailSocket() {
    Close();
}

bool MailSocket::Fail(std::string text, int code) {
    error_ = std::move(text);
    errorCode_ = code;
    return false;
}

bool MailSocket::WaitFor(short events, int timeoutMs) {
    pollfd p{fd_, events, 0};
    while (true) {
        int n = poll(&p, 1, timeoutMs);
        if (n > 0) {
            return true;
        }
        if (n == 0) {
            return Fail("timed out", ETIMEDOUT);
        }
        if (errno != EINTR) {
            return Fail(std::string("poll: ") + std::strerror(errno), errno);
        }
    }
}

bool MailSocket::Connect(const std::string& host, int port, int timeoutMs) {
    Close();
    error_.clear();
    errorCode_ = 0;
    host_ = host;
    if (host.empty() || port <= 0 || port > 65535) {
        return Fail(Format("bad server address %s:%d", host.c_str(), port), EINVAL);
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0) {
        return Fail(Format("cannot resolve %s: %s", host.c_str(), gai_strerror(rc)), EHOSTUNREACH);
    }
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> list(found, &freeaddrinfo);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
        int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            Fail(std::string("不能创建socket: ") + std::strerror(errno), errno);
            continue;
        }
        fd_ = fd;
        if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
            return true;
        }
        if (errno == EINPROGRESS && WaitFor(POLLOUT, RemainingMs(deadline))) {
            int soError = 0;
            socklen_t len = sizeof soError;
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
            if (soError == 0) {
                return true;
            }
            Fail(Format("cannot connect to %s:%d: %s", host.c_str(), port, std::strerror(soError)), soError);
        } else if (errno != EINPROGRESS) {
            Fail(Format("cannot connect to %s:%d: %s", host.c_str(), port, std::strerror(errno)), errno);
        }
        ::close(fd);
        fd_ = -1;
    }
    if (errorCode_ == 0) {
        Fail(Format("cannot connect to %s:%d", host.c_str(), port), ECONNREFUSED);
    }
    return false;
}

std::string MailSocket::TlsErrorText(int sslResult) const {
    std::string text;
    if (ssl_) {
        long verify = SSL_get_verify_result(ssl_.get());
        if (verify != X509_V_OK) {
            text = std::string("certificate rejected: ") + X509_verify_cert_error_string(verify);
        }
    }
    unsigned long e;
    while ((e = ERR_get_error()) != 0) {
        char buffer[256];
        ERR_error_string_n(e, buffer, sizeof buffer);
        if (text.empty()) {
            text = buffer;
        }
    }
    if (text.empty()) {
        text = Format("TLS error %d", ssl_ ? SSL_get_error(ssl_.get(), sslResult) : sslResult);
    }
    return text;
}

bool MailSocket::StartTls(const TlsSettings& settings, int timeoutMs) {
    if (fd_ < 0) {
        return Fail("not connected", ENOTCONN);
    }
    ERR_clear_error();
    ctx_.reset(SSL_CTX_new(TLS_client_method()));
    if (!ctx_) {
        return Fail("TLS setup failed: " + TlsErrorText(0), EPROTO);
    }
    SSL_CTX_set_min_proto_version(ctx_.get(), TLS1_2_VERSION);
    if (settings.verifyPeer) {
        SSL_CTX_set_verify(ctx_.get(), SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_default_verify_paths(ctx_.get());
        if (!settings.caFile.empty() &&
            SSL_CTX_load_verify_locations(ctx_.get(), settings.caFile.c_str(), nullptr) != 1) {
            return Fail("cannot read the trusted certificates in " + settings.caFile, EPROTO);
        }
    } else {
        SSL_CTX_set_verify(ctx_.get(), SSL_VERIFY_NONE, nullptr);
    }
    ssl_.reset(SSL_new(ctx_.get()));
    if (!ssl_ || SSL_set_fd(ssl_.get(), fd_) != 1) {
        ssl_.reset();
        return Fail("TLS setup failed: " + TlsErrorText(0), EPROTO);
    }
    if (IsIpLiteral(host_)) {
        if (settings.verifyPeer) {
            X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_.get()), host_.c_str());
        }
    } else {
        SSL_set_tlsext_host_name(ssl_.get(), host_.c_str());
        if (settings.verifyPeer) {
            SSL_set1_host(ssl_.get(), host_.c_str());
        }
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    SigpipeBlock noSigpipe;
    while (true) {
        int rc = SSL_connect(ssl_.get());
        if (rc == 1) {
            return true;
        }
        int why = SSL_get_error(ssl_.get(), rc);
        if (why == SSL_ERROR_WANT_READ || why == SSL_ERROR_WANT_WRITE) {
            if (!WaitFor(why == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, RemainingMs(deadline))) {
                ssl_.reset();
                return Fail("TLS handshake timed out", ETIMEDOUT);
            }
            continue;
        }
        std::string text = "TLS handshake failed: " + TlsErrorText(rc);
        ssl_.reset();
        return Fail(text, EPROTO);
    }
}

bool MailSocket::SendAll(std::string_view bytes, int timeoutMs) {
    if (fd_ < 0) {
        return Fail("not connected", ENOTCONN);
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t sent = 0;
    while (sent < bytes.size()) {
        if (ssl_) {
            SigpipeBlock noSigpipe;
            size_t written = 0;
            int rc = SSL_write_ex(ssl_.get(), bytes.data() + sent, bytes.size() - sent, &written);
            if (rc == 1) {
                sent += written;
                continue;
            }
            int why = SSL_get_error(ssl_.get(), rc);
            if (why == SSL_ERROR_WANT_READ || why == SSL_ERROR_WANT_WRITE) {
                if (!WaitFor(why == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, RemainingMs(deadline))) {
                    return false;
                }
                continue;
            }
            return Fail("TLS send failed: " + TlsErrorText(rc), EPIPE);
        }
        ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitFor(POLLOUT, RemainingMs(deadline))) {
                return false;
            }
            continue;
        }
        return Fail(std::string("send failed: ") + std::strerror(errno), errno);
    }
    return true;
}

MailSocket::ReadResult MailSocket::Receive(std::string& out, int timeoutMs) {
    if (fd_ < 0) {
        Fail("not connected", ENOTCONN);
        return ReadResult::Error;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    while (true) {
        if (ssl_) {
            size_t got = 0;
            int rc;
            {
                SigpipeBlock noSigpipe;
                rc = SSL_read_ex(ssl_.get(), buffer, sizeof buffer, &got);
            }
            if (rc == 1) {
                out.append(buffer, got);
                return ReadResult::Data;
            }
            int why = SSL_get_error(ssl_.get(), rc);
            if (why == SSL_ERROR_ZERO_RETURN) {
                return ReadResult::Closed;
            }
            if (why == SSL_ERROR_WANT_READ || why == SSL_ERROR_WANT_WRITE) {
                if (!WaitFor(why == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, RemainingMs(deadline))) {
                    return errorCode_ == ETIMEDOUT ? ReadResult::Timeout : ReadResult::Error;
                }
                continue;
            }
            if (why == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) {
                ERR_clear_error();
                return ReadResult::Closed;  // the peer closed without a TLS close notice
            }
            Fail("TLS receive failed: " + TlsErrorText(rc), EPROTO);
            return ReadResult::Error;
        }
        ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n > 0) {
            out.append(buffer, static_cast<size_t>(n));
            return ReadResult::Data;
        }
        if (n == 0) {
            return ReadResult::Closed;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!WaitFor(POLLIN, RemainingMs(deadline))) {
                return errorCode_ == ETIMEDOUT ? ReadResult::Timeout : ReadResult::Error;
            }
            continue;
        }
        Fail(std::string("receive failed: ") + std::strerror(errno), errno);
        return ReadResult::Error;
    }
}

void MailSocket::Close() {
    if (ssl_) {
        SigpipeBlock noSigpipe;
        SSL_shutdown(ssl_.get());  // one close notice, without waiting for the peer's
        ssl_.reset();
    }
    ctx_.reset();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    ERR_clear_error();
}

}  // namespace sorvik
