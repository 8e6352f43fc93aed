#pragma once
// Helpers of the mail tests: a throw-away TLS certificate, and a scripted loopback peer for the
// faults no real server shows (a server that never answers, one that drops the line).
// Header-only, like background_server.h.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "support/run_process.h"

namespace sorvik::test {

// Makes a self-signed certificate for "localhost" and 127.0.0.1 in folder (cert.pem, key.pem)
// with the openssl command. Empty text on success, else the reason.
inline std::string MakeTestCertificate(const std::string& folder) {
    if (access("/usr/bin/openssl", X_OK) != 0) {
        return "the openssl command is not installed";
    }
    auto r = RunProcess("/usr/bin/openssl",
                        {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                         "-nodes", "-keyout", folder + "/key.pem", "-out", folder + "/cert.pem", "-days", "2",
                         "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1"},
                        60);
    return r.exitCode == 0 ? std::string() : "openssl failed: " + r.err;
}

// A loopback peer that accepts one connection and runs a script on its socket.
class ScriptedPeer {
  public:
    // The script gets the connected socket; it returns when the conversation is over.
    explicit ScriptedPeer(std::function<void(int)> script) : script_(std::move(script)) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listener_, 1);
        socklen_t len = sizeof a;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            pollfd p{listener_, POLLIN, 0};
            while (!stop_ && poll(&p, 1, 50) == 0) {
            }
            if (stop_) {
                return;
            }
            int fd = accept(listener_, nullptr, nullptr);
            if (fd >= 0) {
                script_(fd);
                close(fd);
            }
        });
    }
    ~ScriptedPeer() {
        stop_ = true;
        thread_.join();
        close(listener_);
    }
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    int port() const { return port_; }

    // Helpers for scripts.
    static void Say(int fd, const std::string& text) { (void)!write(fd, text.data(), text.size()); }
    // Reads until a line end arrives (or the client goes away); returns what came.
    static std::string ReadLine(int fd) {
        std::string got;
        char c;
        while (read(fd, &c, 1) == 1) {
            got += c;
            if (c == '\n') {
                break;
            }
        }
        return got;
    }

  private:
    std::function<void(int)> script_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace sorvik::test
