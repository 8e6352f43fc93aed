#pragma once
// A real POP3 server for the mail tests: Debian's dovecot (dovecot-core, dovecot-pop3d) with a
// configuration written into a test's temporary folder. One mailbox user, a passwd-file, a
// maildir filled by the test, loopback ports chosen free at start. Runs as the current user; when
// that is root, the login processes run as dovenull and the mail as nobody, as dovecot demands.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "mail/background_server.h"
#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik::test {

inline sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
}

inline int FreeLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

inline bool PortAccepts(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(port);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

class DovecotServer {
  public:
    static constexpr const char* kBinary = "/usr/sbin/dovecot";
    static constexpr const char* kUser = "alice";
    static constexpr const char* kPassword = "wonder land";

    static bool Installed() {
        return access(kBinary, X_OK) == 0 && access("/usr/lib/dovecot/pop3", X_OK) == 0;
    }

    // folder: a fresh temporary folder of the test. With tls, STLS is offered and a second
    // listener speaks TLS from the start; the certificate files must be in folder already.
    DovecotServer(const std::string& folder, bool tls) : folder_(folder), tls_(tls) {}

    // Puts a message into the mailbox; messages are numbered in the order they were added.
    bool AddMessage(const std::string& text) {
        ++added_;
        // Dovecot numbers new mail by the time stamp that starts the file name.
        std::string path = Maildir() + Format("/new/%d.M%dP1.sorvik", 1700000000 + added_, added_);
        if (!MakeMaildir() || !WriteWholeFile(path, text)) {
            return false;
        }
        if (geteuid() == 0) {
            ChownTree(folder_ + "/home", 65534, 65534);
        }
        return true;
    }

    // Messages still in the mailbox.
    int MessagesLeft() const {
        int n = 0;
        for (const char* sub : {"/new", "/cur"}) {
            std::error_code ec;
            n += static_cast<int>(std::distance(std::filesystem::directory_iterator(Maildir() + sub, ec),
                                                std::filesystem::directory_iterator()));
        }
        return n;
    }

    // Writes the configuration and starts dovecot; empty on success, else the reason.
    std::string Start() {
        const bool root = geteuid() == 0;
        std::string me = root ? "root" : CurrentUserName();
        std::string group = root ? "root" : me;
        int mailUid = root ? 65534 : static_cast<int>(getuid());
        int mailGid = root ? 65534 : static_cast<int>(getgid());
        port_ = FreeLoopbackPort();
        tlsPort_ = tls_ ? FreeLoopbackPort() : 0;
        MakeMaildir();
        if (root) {
            // The mail process runs as nobody: it must reach the maildir through the test folder.
            chmod(folder_.c_str(), 0755);
            ChownTree(folder_ + "/home", mailUid, mailGid);
        }
        WriteWholeFile(folder_ + "/passwd", Format("%s:{PLAIN}%s::::::\n", kUser, kPassword));
        std::string conf = Format(
            "base_dir = %s/run\n"
            "state_dir = %s/state\n"
            "log_path = %s/dovecot.log\n"
            "protocols = pop3\n"
            "listen = 127.0.0.1\n"
            "disable_plaintext_auth = no\n"
            "auth_mechanisms = plain\n"
            "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%%u %s/passwd\n}\n"
            "userdb {\n  driver = static\n  args = uid=%d gid=%d home=%s/home/%%u\n}\n"
            "mail_location = maildir:%s/home/%%u/Maildir\n"
            "default_internal_user = %s\n"
            "default_internal_group = %s\n"
            "default_login_user = %s\n"
            "first_valid_uid = 1\n"
            "service pop3-login {\n"
            "  inet_listener pop3 {\n    address = 127.0.0.1\n    port = %d\n  }\n"
            "  inet_listener pop3s {\n    address = 127.0.0.1\n    port = %d\n    ssl = yes\n  }\n"
            "}\n",
            folder_.c_str(), folder_.c_str(), folder_.c_str(), folder_.c_str(), mailUid, mailGid,
            folder_.c_str(), folder_.c_str(), me.c_str(), group.c_str(), root ? "dovenull" : me.c_str(),
            port_, tlsPort_);
        if (tls_) {
            conf += Format("ssl = yes\nssl_cert = <%s/cert.pem\nssl_key = <%s/key.pem\n", folder_.c_str(),
                           folder_.c_str());
        } else {
            conf += "ssl = no\n";
        }
        WriteWholeFile(folder_ + "/dovecot.conf", conf);
        if (!server_.Start(kBinary, {"-F", "-c", folder_ + "/dovecot.conf"}, folder_ + "/dovecot.err")) {
            return "cannot start dovecot";
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!PortAccepts(port_) || (tls_ && !PortAccepts(tlsPort_))) {
            if (std::chrono::steady_clock::now() > deadline) {
                return "dovecot did not start listening: " + Log();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return {};
    }

    int port() const { return port_; }
    int tlsPort() const { return tlsPort_; }

    std::string Log() const {
        std::string log, err;
        ReadWholeFile(folder_ + "/dovecot.log", log);
        ReadWholeFile(folder_ + "/dovecot.err", err);
        return log + err;
    }

  private:
    std::string Maildir() const { return folder_ + "/home/" + kUser + "/Maildir"; }
    bool MakeMaildir() const {
        return MakeDirectories(Maildir() + "/new") && MakeDirectories(Maildir() + "/cur") &&
               MakeDirectories(Maildir() + "/tmp");
    }

    static std::string CurrentUserName() {
        passwd* pw = getpwuid(getuid());
        return pw ? pw->pw_name : "nobody";
    }

    static void ChownTree(const std::string& path, int uid, int gid) {
        (void)!chown(path.c_str(), uid, gid);
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); ++it) {
            (void)!chown(it->path().c_str(), uid, gid);
        }
    }

    std::string folder_;
    bool tls_;
    int added_ = 0;
    int port_ = 0;
    int tlsPort_ = 0;
    BackgroundServer server_;
};

}  // namespace sorvik::test
