#pragma once
// SendMail: builds one message from plain values, delivers it over its own SMTP connection and
// disconnects. Used once per recipient by the mail-sending task.

#include <string>

#include "mail/smtp_client.h"

namespace sorvik {

struct SendMailRequest {
    std::string server;
    int port = 25;
    int method = 0;  // 0 none, 1 CRAM-MD5, 2 LOGIN, 3 PLAIN
    std::string user;
    std::string password;
    std::string senderName;
    std::string senderAddress;
    std::string to, cc, bcc;  // address lists separated by ",", ";" or line breaks
    std::string replyTo;      // one address, may be empty
    std::string subject;
    std::string body;
    bool html = false;
    bool mime = false;
    std::string charset = "gb18030";
    std::string attachments;  // file paths separated by "," or ";" or line breaks
    std::string imageFolder;  // completes relative "<%@@@path>" image paths
    std::string localHost = "auto";
    SmtpConnectionSettings connection;
};

struct SendMailResult {
    bool ok = false;
    // On failure: "不能连接到服务器!, Error:%d" (with the reason on the next line),
    // "发送信息失败!\nResponse:%s", or a check's message ("SMTP服务器不能为空！", ...).
    std::string error;
    // Inline images that could not be read ("文件读取错误！(%s)" lines); the mail went out without.
    std::string warnings;
    bool usedTls = false;
};

SendMailResult SendMail(const SendMailRequest& request);

// Splits an attachment list at ",", ";" and line breaks; blank items are dropped.
std::vector<std::string> SplitAttachmentList(std::string_view list);

}  // namespace sorvik
