#include "mail/mail_account.h"

#include <cctype>
#include <mutex>

#include "script/script_text.h"
#include "store/database.h"
#include "store/task_table.h"
#include "text/strings.h"

namespace sorvik {

namespace {

std::string TrimLeft(std::string_view text) {
    size_t start = 0;
    while (start < text.size() &&
           (text[start] == ' ' || text[start] == '\t' || text[start] == '\r' || text[start] == '\n')) {
        ++start;
    }
    return std::string(text.substr(start));
}

bool IsPortNumber(std::string_view text, int& port) {
    if (text.empty() || text.size() > 5) {
        return false;
    }
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    port = ToInt(text);
    return port > 0 && port <= 65535;
}

}  // namespace

MailAccount ReadMailAccount(std::string_view settings) {
    MailAccount a;
    a.senderName = ScriptValue("#发信姓名=", settings);
    a.senderAddress = ScriptValue("#发信地址=", settings);
    a.smtpServer = ScriptValue("#SMTP服务器=", settings);
    a.pop3Server = ScriptValue("#POP3服务器=", settings);
    a.smtpPort = ScriptValue("#服务器端口=", settings);
    if (Trim(a.smtpPort).empty()) {
        a.smtpPort = "25";
    }
    a.securePassword = ToInt(ScriptValue("#使用安全密码验证登录=", settings)) != 0;
    a.user = ScriptValue("#用户名=", settings);
    a.password = ScriptValue("#密码=", settings);
    a.verifyCertificate = Trim(ScriptValue("#验证服务器证书=", settings)) != "0";
    return a;
}

void WriteMailAccount(const MailAccount& account, std::string& settings) {
    // A value is one line of the settings text: line breaks can't be kept in it.
    auto line = [](std::string_view v) {
        std::string out;
        for (char c : v) {
            if (c != '\r' && c != '\n') {
                out += c;
            }
        }
        return out;
    };
    SetScriptValue("#发信姓名=", settings, line(account.senderName));
    SetScriptValue("#发信地址=", settings, line(account.senderAddress));
    SetScriptValue("#SMTP服务器=", settings, line(account.smtpServer));
    SetScriptValue("#POP3服务器=", settings, line(account.pop3Server));
    SetScriptValue("#服务器端口=", settings, line(account.smtpPort));
    SetScriptValue("#使用安全密码验证登录=", settings, account.securePassword ? "1" : "0");
    SetScriptValue("#用户名=", settings, line(account.user));
    SetScriptValue("#密码=", settings, line(account.password));
    SetScriptValue("#验证服务器证书=", settings, account.verifyCertificate ? "" : "0");
}

std::string CheckMailAccount(const MailAccount& account) {
    if (TrimLeft(account.senderAddress).empty()) {
        return "发信地址不能为空！";
    }
    if (TrimLeft(account.smtpPort).empty()) {
        return "服务器端口不能为空！";
    }
    if (TrimLeft(account.smtpServer).empty()) {
        return "SMTP服务器不能为空！";
    }
    return {};
}

MailAccount LoadMailAccount(int taskId) {
    return ReadMailAccount(CTaskTable().ReadTaskText(taskId, true));
}

bool SaveMailAccount(int taskId, const MailAccount& account, std::string& error) {
    error = CheckMailAccount(account);
    if (error.empty() && SmtpPortFor(account) == 0)
        error = "服务器端口不是端口号：" + account.smtpPort;
    if (!error.empty())
        return false;
    // One read and write of the settings text, no other writer between them.
    std::scoped_lock lock(g_csDatabase);
    CTaskTable tasks;
    if (!tasks.TaskExists(taskId)) {
        error = "更新任务表失败！";
        return false;
    }
    std::string settings = tasks.ReadTaskText(taskId, true);
    WriteMailAccount(account, settings);
    if (!tasks.ExecuteSql(
            Format("update Task set cSetInfo='%s' where ID=%d", SqlQuote(settings).c_str(), taskId))) {
        error = "更新任务表失败！";
        return false;
    }
    return true;
}

int SmtpAuthMethodFor(const MailAccount& account) {
    if (account.securePassword) {
        return 3;
    }
    return Trim(account.user).empty() ? 0 : 2;
}

int SmtpPortFor(const MailAccount& account) {
    std::string text = Trim(account.smtpPort);
    if (text.empty()) {
        return 25;
    }
    int port = 0;
    return IsPortNumber(text, port) ? port : 0;
}

bool SplitPop3Server(std::string_view value, std::string& host, int& port) {
    std::string text = Trim(value);
    port = 110;
    size_t colon = text.rfind(':');
    // A bare IPv6 address has several colons; only "[addr]:port" or "host:port" carry a port.
    if (colon != std::string::npos && text.find(':') == colon) {
        host = Trim(text.substr(0, colon));
        return IsPortNumber(Trim(text.substr(colon + 1)), port);
    }
    if (!text.empty() && text.front() == '[') {
        size_t close = text.find(']');
        if (close != std::string::npos) {
            host = text.substr(1, close - 1);
            if (close + 1 < text.size()) {
                return text[close + 1] == ':' && IsPortNumber(text.substr(close + 2), port);
            }
            return true;
        }
    }
    host = text;
    return true;
}

TlsSettings TlsSettingsFor(const MailAccount& account) {
    TlsSettings tls;
    tls.verifyPeer = account.verifyCertificate;
    return tls;
}

}  // namespace sorvik
