#pragma once
// MailAccount: the mail account settings kept in a task's settings text (cSetInfo), read and
// written with the script key functions, with the account dialog's checks.

#include <string>
#include <string_view>

#include "mail/mail_socket.h"

namespace sorvik {

struct MailAccount {
    std::string senderName;         // "#发信姓名"
    std::string senderAddress;      // "#发信地址"
    std::string smtpServer;         // "#SMTP服务器"
    std::string pop3Server;         // "#POP3服务器": host, or host:port (110 when not given)
    std::string smtpPort;           // "#服务器端口": "25" when empty
    bool securePassword = false;    // "#使用安全密码验证登录": "1" / "0"
    std::string user;               // "#用户名"
    std::string password;           // "#密码"
    bool verifyCertificate = true;  // "#验证服务器证书": "0" accepts any TLS certificate
};

// Reads the account keys from a settings text.
MailAccount ReadMailAccount(std::string_view settings);

// Writes every account key into the settings text (an empty value removes its line).
void WriteMailAccount(const MailAccount& account, std::string& settings);

// The dialog's checks, in its order (values trimmed on the left): sender address, port, server.
// The first message that applies ("发信地址不能为空！", "服务器端口不能为空！",
// "SMTP服务器不能为空！"), or empty when the account may be saved.
std::string CheckMailAccount(const MailAccount& account);

// The account of a task (its settings text); an empty account when the task has none.
MailAccount LoadMailAccount(int taskId);

// The account dialog's OK: the checks (CheckMailAccount, then a port that is no port number:
// "服务器端口不是端口号：%s"), then every key written into the task's settings. False with the
// message, nothing written; "更新任务表失败！" when the task can't be written.
bool SaveMailAccount(int taskId, const MailAccount& account, std::string& error);

// The SMTP authentication method of the account: 3 (PLAIN) with the secure-password box ticked,
// 2 (LOGIN) when a user name is set, else 0 (none).
int SmtpAuthMethodFor(const MailAccount& account);

// The SMTP port as a number (25 when empty); 0 when it is not a port number.
int SmtpPortFor(const MailAccount& account);

// Splits "#POP3服务器" into host and port (110 when not given). False when the port part is not
// a port number.
bool SplitPop3Server(std::string_view value, std::string& host, int& port);

// Certificate checks as the account asks for them.
TlsSettings TlsSettingsFor(const MailAccount& account);

}  // namespace sorvik
