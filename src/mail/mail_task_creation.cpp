#include "mail/mail_task_creation.h"

#include <ctime>
#include <mutex>
#include <set>

#include "mail/mail_account.h"
#include "mail/mail_body.h"
#include "mail/send_mail.h"
#include "mail/send_mail_task.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik {

namespace {

// The source task, the 1-based positions of the address and flag columns (0: none) and the
// recipients. Call with g_csDatabase held.
bool ReadRecipients(const SendMailTaskRequest& request, MailSourceTask& source, int& mailField,
                    int& flagField, std::vector<std::string>& addresses, std::string& error) {
    if (!ReadMailSourceTask(request.sourceTaskId, source, error)) {
        return false;
    }
    mailField = FindResultColumn(source.columns, request.addressColumn) + 1;
    flagField = FindResultColumn(source.columns, request.flagColumn) + 1;
    if (mailField == 0 || (!Trim(request.flagColumn).empty() && flagField == 0)) {
        error = "取数据失败！";
        return false;
    }
    std::string where = source.recordCondition;
    if (!request.allRows) {
        std::vector<std::string> ids;
        for (int id : request.rowIds) {
            ids.push_back(std::to_string(id));
        }
        where = "(" + where + ") and ID_ in (" + (ids.empty() ? std::string("0") : Join(ids, ",")) + ")";
    }
    CDbAccess db;
    std::vector<std::string> values;
    if (!db.SelectToArray(source.columns[mailField - 1].column, source.table, values, where, false, -1,
                          "ID_")) {
        error = "取数据失败！";
        return false;
    }
    addresses.clear();
    std::set<std::string> seen;
    for (const auto& v : values) {
        std::string address = Trim(v);
        if (address.empty() || (request.distinct && !seen.insert(address).second)) {
            continue;
        }
        addresses.push_back(address);
    }
    if (addresses.empty()) {
        error = "没有收件人！";
        return false;
    }
    return true;
}

}  // namespace

bool CollectSendMailAddresses(const SendMailTaskRequest& request, std::vector<std::string>& addresses,
                              std::string& error) {
    std::scoped_lock lock(g_csDatabase);
    MailSourceTask source;
    int mailField = 0;
    int flagField = 0;
    return ReadRecipients(request, source, mailField, flagField, addresses, error);
}

std::string RecipientsDisplayText(const std::vector<std::string>& addresses, bool distinct) {
    const std::string list = Join(addresses, ",");
    if (addresses.size() <= 1) {
        return list;
    }
    const int count = static_cast<int>(addresses.size());
    return (distinct ? Format("(%d个不重复收件人)", count) : Format("(%d个收件人)", count)) + list;
}

bool CreateSendMailTask(const SendMailTaskRequest& request, SendMailTaskResult& result) {
    result = SendMailTaskResult{};
    MailSourceTask source;
    std::scoped_lock lock(g_csDatabase);
    int mailField = 0;
    int flagField = 0;
    std::vector<std::string> addresses;
    if (!ReadRecipients(request, source, mailField, flagField, addresses, result.error)) {
        return false;
    }
    for (const auto& path : SplitAttachmentList(request.attachments)) {
        if (!FileExists(FileSystemPath(path))) {
            result.error = Format("附件不存在!(%s)", path.c_str());
            return false;
        }
    }
    const std::string& addressColumn = source.columns[mailField - 1].column;
    CDbAccess db;
    result.recipients = static_cast<int>(addresses.size());
    result.addresses = Join(addresses, ",");

    // Every chosen record starts unsent.
    if (flagField > 0) {
        std::vector<std::string> quoted;
        for (const auto& a : addresses) {
            quoted.push_back(SqlQuote(a));
        }
        if (!db.ExecuteSql(Format("update %s set %s='0' where %s in('%s')", source.table.c_str(),
                                  source.columns[flagField - 1].column.c_str(), addressColumn.c_str(),
                                  Join(quoted, "','").c_str()))) {
            result.warning = "更新表失败！";
        }
    }

    CTaskTable tasks;
    MailAccount account = ReadMailAccount(tasks.ReadTaskText(request.sourceTaskId, true));
    const std::string content = request.html ? request.content : PlainTextToHtml(request.content);
    const std::string date = FormatDbTime(std::time(nullptr)).substr(0, 10);  // the day alone
    const std::string attachments = Join(SplitAttachmentList(request.attachments), ",");
    if (!db.ExecuteSql(Format("insert into sc_ReceiveBox(iNode_,cSendUser,cTitle,cSendMail,bFile,bbRead,Send,"
                              "cReceiveMail,dDate,cContent,cMemo,iType,bHtml,cFiles) "
                              "values(%d,'%s','%s','%s',%d,%d,%d,'%s','%s','%s','%s',%d,%d,'%s')",
                              request.sourceTaskId, SqlQuote(account.senderName).c_str(),
                              SqlQuote(request.subject).c_str(), SqlQuote(account.senderAddress).c_str(),
                              attachments.empty() ? 0 : 1, 0, 1, SqlQuote(result.addresses).c_str(),
                              date.c_str(), SqlQuote(content).c_str(), SqlQuote(request.templateHtml).c_str(),
                              0, request.html ? 1 : 0, SqlQuote(attachments).c_str()))) {
        result.error = "保存邮件失败！";
        return false;
    }
    // g_csDatabase is held: no other insert comes between the row and its ID.
    auto newest = db.OpenRecordset("select top 1 ID_  from sc_ReceiveBox order by ID_ desc");
    const std::string outboxId = newest && !newest->IsEof() ? newest->Text(size_t{0}) : std::string();
    result.outboxId = ToInt(outboxId);
    if (result.outboxId <= 0) {
        result.error = "取ID号失败！";
        return false;
    }

    const std::string name = "(发送邮件:" + source.name + ")";
    const std::string script = Format(
        "#任务类型=发送邮件\r\n#任务名称=%s\r\n#发送箱ID号=%s\r\n#iMailField=%d\r\n#cUpdateField=%d\r\n",
        name.c_str(), outboxId.c_str(), mailField, flagField);
    const int taskId = tasks.AllocateTaskId();
    if (taskId <= 0 || !tasks.InsertTask(taskId, name, TaskState::kEnded, "", 3, script)) {
        result.error = g_strDbError.Get().empty() ? "取ID号失败！" : g_strDbError.Get();
        return false;
    }
    result.taskId = taskId;
    return true;
}

}  // namespace sorvik
