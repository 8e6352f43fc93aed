#pragma once
// MailSocket: the TCP connection under the SMTP client and the POP3 receiver, optionally
// encrypted with TLS (OpenSSL) from the start or after a STARTTLS/STLS command. Every wait is
// bounded by a timeout. One thread uses an object at a time; it owns its socket and TLS state.

#include <openssl/ssl.h>

#include <memory>
#include <string>
#include <string_view>

namespace sorvik {

struct TlsSettings {
    // Check the server's certificate chain against the trusted certificates and its name against
    // the host connected to. Turning this off accepts any certificate (self-signed servers).
    bool verifyPeer = true;
    // A PEM file of further trusted certificates; empty means the system store alone.
    std::string caFile;
};

class MailSocket {
  public:
    enum class ReadResult { Data, Closed, Timeout, Error };

    MailSocket() = default;
    ~MailSocket();
    MailSocket(const MailSocket&) = delete;
    MailSocket& operator=(const MailSocket&) = delete;

    // Resolves the host and connects within timeoutMs. False with Error() and ErrorCode() set
    // (an errno value; EHOSTUNREACH for a name that does not resolve).
    bool Connect(const std::string& host, int port, int timeoutMs);
    // TLS handshake over the open connection, checking the certificate as the settings say.
    bool StartTls(const TlsSettings& settings, int timeoutMs);
    // Sends every byte within timeoutMs.
    bool SendAll(std::string_view bytes, int timeoutMs);
    // Waits up to timeoutMs for data and appends what arrived to out.
    ReadResult Receive(std::string& out, int timeoutMs);
    // Ends TLS politely when active and closes the socket. Safe to call twice.
    void Close();

    bool IsOpen() const { return fd_ >= 0; }
    bool IsTls() const { return ssl_ != nullptr; }
    const std::string& Error() const { return error_; }
    int ErrorCode() const { return errorCode_; }

  private:
    bool Fail(std::string text, int code);
    bool WaitFor(short events, int timeoutMs);
    std::string TlsErrorText(int sslResult) const;

    struct SslCtxFree {
        void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
    };
    struct SslFree {
        void operator()(SSL* ssl) const { SSL_free(ssl); }
    };

    int fd_ = -1;
    std::string host_;
    std::unique_ptr<SSL_CTX, SslCtxFree> ctx_;
    std::unique_ptr<SSL, SslFree> ssl_;
    std::string error_;
    int errorCode_ = 0;
};

}  // namespace sorvik
