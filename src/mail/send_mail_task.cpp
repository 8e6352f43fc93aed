#include "mail/send_mail_task.h"

#include <mutex>

#include "engine/result_table.h"
#include "mail/mail_account.h"
#include "mail/mail_body.h"
#include "mail/send_mail.h"
#include "script/script_keys.h"
#include "script/script_text.h"
#include "store/app_home.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "text/strings.h"

namespace sorvik {

namespace {

void Status(ThreadParams& params, const std::string& text) {
    params.Send(RunMessageType::kProgressLine, text);
}

// The addresses of the outbox row: split at ",", blank items dropped.
std::vector<std::string> SplitAddresses(std::string_view list) {
    std::vector<std::string> out;
    for (auto& item : SplitAll(list, ",")) {
        std::string address = Trim(item);
        if (!address.empty()) {
            out.push_back(address);
        }
    }
    return out;
}

// The table column at a 1-based position of the source task's column list; empty outside it.
std::string ColumnAt(const std::vector<ResultColumn>& columns, int position) {
    return position >= 1 && static_cast<size_t>(position) <= columns.size() ? columns[position - 1].column
                                                                            : std::string();
}

}  // namespace

bool ReadMailSourceTask(int id, MailSourceTask& source, std::string& error) {
    CTaskTable tasks;
    std::string script = tasks.ReadTaskScript(id);
    if (script.empty()) {
        error = "取脚本失败！";
        return false;
    }
    source.id = id;
    source.name = Trim(ScriptValue(key::kTaskName, script));
    source.table = Trim(ScriptValue(key::kTable, script));
    source.columns = ReadResultColumns(script);
    source.recordCondition = TaskRecordCondition(script, id);
    if (source.table.empty() || source.columns.empty()) {
        error = "取数据失败！";
        return false;
    }
    return true;
}

void RunMailTask(ThreadParams& params) {
    const std::string& script = params.script;
    const int outboxId = ToInt(ScriptValue(key::kOutbox, script));
    const int mailField = ToInt(ScriptValue(key::kMailField, script));
    const int flagField = ToInt(ScriptValue(key::kUpdateField, script));
    const std::string resumeText = Trim(ScriptValue(key::kCurrentMail, script));
    const int resume = resumeText.empty() ? -1 : ToInt(resumeText);

    // The outbox row.
    std::string subject, addressList, content, templateHtml, files;
    bool html = false;
    int sourceId = 0;
    {
        std::scoped_lock lock(g_csDatabase);
        CDbAccess db;
        auto rows =
            db.OpenRecordset(Format("select top 1 cTitle,cReceiveMail,cContent,cMemo,bHtml,iNode_,cFiles "
                                    "from sc_ReceiveBox where ID_=%d",
                                    outboxId));
        if (outboxId <= 0 || !rows || rows->IsEof()) {
            Status(params, "取数据失败！");
            return;
        }
        subject = rows->Text(size_t{0});
        addressList = rows->Text(1);
        content = rows->Text(2);
        templateHtml = rows->Text(3);
        html = rows->Int(4) != 0;
        sourceId = static_cast<int>(rows->Int(5));
        files = rows->Text(6);
    }

    // The source task: its account, table and columns.
    MailSourceTask source;
    std::string error;
    MailAccount account;
    {
        std::scoped_lock lock(g_csDatabase);
        if (!ReadMailSourceTask(sourceId, source, error)) {
            Status(params, "取数据失败！");
            return;
        }
        CTaskTable tasks;
        account = ReadMailAccount(tasks.ReadTaskText(sourceId, true));
    }
    if (std::string check = CheckMailAccount(account); !check.empty()) {
        Status(params, check);
        return;
    }
    const std::string addressColumn = ColumnAt(source.columns, mailField);
    const std::string flagColumn = flagField > 0 ? ColumnAt(source.columns, flagField) : std::string();
    if (addressColumn.empty()) {
        Status(params, "取数据失败！");  // "#iMailField=" names no field of the source task
        return;
    }

    // The body: plain content becomes HTML, and the template is put around it. The result is
    // always HTML, so the mail goes out as HTML whatever the content was.
    const std::string body =
        ApplyMailTemplate(templateHtml, html ? content : PlainTextToHtml(content), account.senderName);

    SendMailRequest request;
    request.server = Trim(account.smtpServer);
    request.port = SmtpPortFor(account);
    request.method = SmtpAuthMethodFor(account);
    request.user = account.user;
    request.password = account.password;
    request.senderName = account.senderName;
    request.senderAddress = Trim(account.senderAddress);
    request.subject = subject;
    request.html = true;
    request.mime = true;
    request.charset = "gb18030";
    request.attachments = files;
    request.imageFolder = AppDir();
    request.connection.tls = TlsSettingsFor(account);

    const std::vector<std::string> addresses = SplitAddresses(addressList);
    const int count = static_cast<int>(addresses.size());
    const char* name = params.taskName.c_str();
    CTaskTable tasks;
    int i = resume < 0 ? 0 : resume;
    for (; i < count; ++i) {
        if (params.StopRequested()) {
            std::scoped_lock lock(g_csDatabase);
            if (params.taskNumber > 0) {
                tasks.SetTaskScriptValue(params.taskNumber, "#当前Email号", std::to_string(i), false);
            }
            break;
        }
        const std::string& address = addresses[i];
        request.to = address;
        request.body = PersonaliseBody(body, [&](const std::string& marker) -> std::optional<std::string> {
            // A marker names a column by its title, else by its field name.
            const int k = FindResultColumn(source.columns, marker);
            if (k < 0) {
                return std::nullopt;
            }
            std::scoped_lock lock(g_csDatabase);
            CDbAccess db;
            return db.SelectTopString(source.columns[k].column, source.table,
                                      Format("%s='%s'", addressColumn.c_str(), SqlQuote(address).c_str()));
        });
        Status(params, Format("%20s  正在发送 %5d/%-5d ...", name, i + 1, count));
        SendMailResult result = SendMail(request);
        if (!result.ok) {
            Status(params, Format("%20s 正在发送  %5d/%-5d %s", name, i + 1, count, result.error.c_str()));
            continue;
        }
        params.stats.records += 1;
        Status(params, Format("%20s 正在发送  %5d/%-5d 发送成功！", name, i + 1, count));
        if (!flagColumn.empty()) {
            std::scoped_lock lock(g_csDatabase);
            CDbAccess db;
            if (!db.ExecuteSql(Format("update %s set %s='1' where %s='%s'", source.table.c_str(),
                                      flagColumn.c_str(), addressColumn.c_str(),
                                      SqlQuote(address).c_str()))) {
                Status(params, Format("%20s  正在发送 %5d/%-5d 更新表失败", name, i + 1, count));
            }
        }
    }
    if (i >= count && !resumeText.empty() && params.taskNumber > 0) {
        // Every address is done: the next start begins with the first address again.
        std::scoped_lock lock(g_csDatabase);
        tasks.SetTaskScriptValue(params.taskNumber, "#当前Email号", "", false);
    }
}

}  // namespace sorvik
