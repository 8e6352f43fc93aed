// sorvik-cli mail-account, mail-task and receive: the mail account of a task, the send-mail task
// made from a task's result records (run then sends it), and the POP3 download of a mailbox task.

#include <filesystem>
#include <iostream>
#include <system_error>

#include "cli/cli_command.h"
#include "cli/cli_messages.h"
#include "mail/mail_account.h"
#include "mail/mail_task_creation.h"
#include "mail/mail_templates.h"
#include "mail/mailbox.h"
#include "mail/send_mail_task.h"
#include "store/task_table.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik::cli {

namespace {

const char kAccountUsage[] =
    "mail-account TASK_ID [--smtp HOST] [--port N] [--user U] [--password P] [--from ADDR] [--name NAME] "
    "[--pop3 HOST[:PORT]] [--secure 0|1] [--verify-certificate 0|1]";

int RunMailAccount(CliContext& context) {
    bool ok = true;
    std::string smtp, port, user, password, from, name, pop3, secure, verify;
    const bool hasSmtp = TakeOption(context.args, "--smtp", smtp, ok);
    const bool hasPort = TakeOption(context.args, "--port", port, ok);
    const bool hasUser = TakeOption(context.args, "--user", user, ok);
    const bool hasPassword = TakeOption(context.args, "--password", password, ok);
    const bool hasFrom = TakeOption(context.args, "--from", from, ok);
    const bool hasName = TakeOption(context.args, "--name", name, ok);
    const bool hasPop3 = TakeOption(context.args, "--pop3", pop3, ok);
    const bool hasSecure = TakeOption(context.args, "--secure", secure, ok);
    const bool hasVerify = TakeOption(context.args, "--verify-certificate", verify, ok);
    int id = 0;
    if (!ok || context.args.size() > 1 || (hasSecure && secure != "0" && secure != "1") ||
        (hasVerify && verify != "0" && verify != "1")) {
        return UsageOf(kAccountUsage);
    }
    if (const int status = FirstTaskId(context.args, kAccountUsage, id); status != 0)
        return status;
    CTaskTable tasks;
    std::string settings = tasks.ReadTaskText(id, true);
    MailAccount account = ReadMailAccount(settings);
    const bool changing = hasSmtp || hasPort || hasUser || hasPassword || hasFrom || hasName || hasPop3 ||
                          hasSecure || hasVerify;
    if (!changing) {
        PrintLine(std::cout, "#发信姓名=" + account.senderName);
        PrintLine(std::cout, "#发信地址=" + account.senderAddress);
        PrintLine(std::cout, "#SMTP服务器=" + account.smtpServer);
        PrintLine(std::cout, "#服务器端口=" + account.smtpPort);
        PrintLine(std::cout, "#POP3服务器=" + account.pop3Server);
        PrintLine(std::cout, std::string("#使用安全密码验证登录=") + (account.securePassword ? "1" : "0"));
        PrintLine(std::cout, "#用户名=" + account.user);
        PrintLine(std::cout, std::string("#密码=") + (account.password.empty() ? "" : "******"));
        PrintLine(std::cout, std::string("#验证服务器证书=") + (account.verifyCertificate ? "1" : "0"));
        return 0;
    }
    if (hasSmtp)
        account.smtpServer = Utf8ToGb(smtp);
    if (hasPort)
        account.smtpPort = Utf8ToGb(port);
    if (hasUser)
        account.user = Utf8ToGb(user);
    if (hasPassword)
        account.password = Utf8ToGb(password);
    if (hasFrom)
        account.senderAddress = Utf8ToGb(from);
    if (hasName)
        account.senderName = Utf8ToGb(name);
    if (hasPop3)
        account.pop3Server = Utf8ToGb(pop3);
    if (hasSecure)
        account.securePassword = secure == "1";
    if (hasVerify)
        account.verifyCertificate = verify == "1";
    std::string error;
    if (!SaveMailAccount(id, account, error)) {
        PrintError(error);
        return 1;
    }
    return 0;
}

const char kTaskUsage[] =
    "mail-task SOURCE_TASK_ID --address-column TITLE [--flag-column TITLE] --subject S --body FILE [--html] "
    "[--attach FILE]... [--rows all|ID,...] [--template TITLE] [--distinct]";

int RunMailTaskCommand(CliContext& context) {
    bool ok = true;
    std::string addressColumn, flagColumn, subject, bodyFile, rows, templateTitle;
    const bool hasAddress = TakeOption(context.args, "--address-column", addressColumn, ok);
    TakeOption(context.args, "--flag-column", flagColumn, ok);
    const bool hasSubject = TakeOption(context.args, "--subject", subject, ok);
    const bool hasBody = TakeOption(context.args, "--body", bodyFile, ok);
    const bool hasRows = TakeOption(context.args, "--rows", rows, ok);
    const bool hasTemplate = TakeOption(context.args, "--template", templateTitle, ok);
    SendMailTaskRequest request;
    request.html = TakeFlag(context.args, "--html");
    request.distinct = TakeFlag(context.args, "--distinct");
    std::vector<std::string> attachments;
    std::string attachment;
    while (TakeOption(context.args, "--attach", attachment, ok)) {
        // The mail is sent by a later `run`, perhaps from another folder: name the file from the root.
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(attachment, error);
        attachments.push_back(Utf8ToGb(error ? attachment : absolute.lexically_normal().string()));
    }
    if (!ok || !hasAddress || !hasSubject || !hasBody || context.args.size() > 1)
        return UsageOf(kTaskUsage);
    if (const int status = FirstTaskId(context.args, kTaskUsage, request.sourceTaskId); status != 0)
        return status;
    request.addressColumn = Utf8ToGb(addressColumn);
    request.flagColumn = Utf8ToGb(flagColumn);
    request.subject = Utf8ToGb(subject);
    request.attachments = Join(attachments, ";");
    if (hasRows && rows != "all") {
        request.allRows = false;
        for (const auto& item : SplitList(rows)) {
            int id = 0;
            if (!(ParseIdArgument(item, id) && id > 0)) {
                return ArgumentError(Text(Msg::kRowsWords));
            }
            request.rowIds.push_back(id);
        }
    }
    std::string bytes;
    if (!ReadInputFile(bodyFile, bytes))
        return 1;
    request.content = ExternalTextAsLines(bytes);
    if (hasTemplate) {
        MailTemplate found;
        std::string error;
        if (!FindMailTemplate(Utf8ToGb(templateTitle), found, error)) {
            PrintError(error.empty() ? Text(Msg::kNoSuchTemplate) + Utf8ToGb(templateTitle) : error);
            return 1;
        }
        request.templateHtml = found.html;
    }
    SendMailTaskResult result;
    if (!CreateSendMailTask(request, result)) {
        PrintError(result.error);
        return 1;
    }
    if (!result.warning.empty()) {
        PrintError(result.warning);
    }
    PrintLine(std::cerr, Format(Text(Msg::kRecipients).c_str(), result.recipients));
    std::cout << result.taskId << "\n";
    return 0;
}

int RunReceive(CliContext& context) {
    int id = 0;
    if (context.args.size() > 1)
        return UsageOf("receive TASK_ID");
    if (const int status = FirstTaskId(context.args, "receive TASK_ID", id); status != 0)
        return status;
    MailboxResult result = ReceiveMailbox(id, [](const std::string& status) { PrintError(status); });
    if (!result.ok) {
        if (!result.started) {
            PrintError(result.status);  // a session's statuses were shown as they came
        }
        return 1;
    }
    PrintLine(std::cout, Format("%d", result.stored));
    return 0;
}

const CliCommandRegistrar kMailAccount({"mail-account", kAccountUsage, false, RunMailAccount});
const CliCommandRegistrar kMailTask({"mail-task", kTaskUsage, false, RunMailTaskCommand});
const CliCommandRegistrar kReceive({"receive", "receive TASK_ID", true, RunReceive});

}  // namespace

}  // namespace sorvik::cli
