#include "mail/send_mail.h"

#include "text/strings.h"

namespace sorvik {

std::vector<std::string> SplitAttachmentList(std::string_view list) {
    std::vector<std::string> out;
    std::string item;
    auto flush = [&] {
        std::string trimmed = Trim(item);
        if (!trimmed.empty()) {
            out.push_back(trimmed);
        }
        item.clear();
    };
    for (char c : list) {
        if (c == ',' || c == ';' || c == '\r' || c == '\n') {
            flush();
        } else {
            item += c;
        }
    }
    flush();
    return out;
}

SendMailResult SendMail(const SendMailRequest& request) {
    SendMailResult result;
    // Without a server nothing can be delivered; reporting success here would mark the
    // recipient as mailed.
    if (Trim(request.server).empty()) {
        result.error = "SMTP服务器不能为空！";
        return result;
    }

    SmtpMessage message;
    message.charset = request.charset;
    message.SetMime(request.mime);
    message.from = SmtpAddress{request.senderName, Trim(request.senderAddress)};
    message.AddRecipients(ParseSmtpAddressList(request.to), 0);
    message.AddRecipients(ParseSmtpAddressList(request.cc), 1);
    message.AddRecipients(ParseSmtpAddressList(request.bcc), 2);
    if (!Trim(request.replyTo).empty()) {
        message.replyTo = ParseSmtpAddress(request.replyTo);
    }
    if (!request.body.empty()) {
        if (request.html) {
            message.AddHtmlBody(request.body, request.imageFolder, result.warnings);
        } else {
            message.AddTextBody(request.body);
        }
    }
    for (const auto& path : SplitAttachmentList(request.attachments)) {
        std::string error;
        if (!message.AddAttachment(path, error)) {
            result.error = error;  // a mail without its promised attachment is not sent
            return result;
        }
    }
    message.subject = request.subject;

    CSmtpClient client;
    client.connection = request.connection;
    if (!client.Connect(Trim(request.server), request.port, request.method, request.user, request.password,
                        request.localHost)) {
        result.error = Format("不能连接到服务器!, Error:%d", client.SystemError());
        if (!client.FailureText().empty()) {
            result.error += "\n" + Trim(client.FailureText());
        }
        return result;
    }
    result.usedTls = client.IsTls();
    if (!client.SendMessage(message)) {
        result.error = Format("发送信息失败!\nResponse:%s", Trim(client.FailureText()).c_str());
        client.Disconnect();
        return result;
    }
    client.Disconnect();
    result.ok = true;
    return result;
}

}  // namespace sorvik
