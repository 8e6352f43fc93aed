#include "mail/mailbox.h"

#include <atomic>

#include "mail/mail_account.h"
#include "mail/pop3_receiver.h"
#include "script/script_keys.h"
#include "script/script_text.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "text/strings.h"

namespace sorvik {

namespace {

// Set while a download runs; one download at a time for the whole process.
std::atomic<bool> g_receiving{false};

class ReceivingFlag {
  public:
    ReceivingFlag() : held_(!g_receiving.exchange(true)) {}
    ~ReceivingFlag() {
        if (held_) {
            g_receiving = false;
        }
    }
    ReceivingFlag(const ReceivingFlag&) = delete;
    ReceivingFlag& operator=(const ReceivingFlag&) = delete;
    bool Held() const { return held_; }

  private:
    bool held_;
};

}  // namespace

MailboxWriter::MailboxWriter(int node, MailStatusCallback status) : node_(node), status_(std::move(status)) {}

void MailboxWriter::ShowStatus(const std::string& text) {
    if (status_) {
        status_(text);
    }
}

std::string ReceivedMailInsertSql(int node, const ReceivedMail& mail) {
    return Format(
        "insert into "
        "sc_ReceiveBox(iNode_,cSendUser,cTitle,cSendMail,bFile,bbRead,Send,cReceiveMail,dDate,cContent) "
        "values(%d,'%s','%s','%s',%d,%d,%d,'%s','%s','%s')",
        node, SqlQuote(mail.senderName).c_str(), SqlQuote(mail.subject).c_str(),
        SqlQuote(mail.senderAddress).c_str(), 0, 0, 0, SqlQuote(mail.receiver).c_str(),
        SqlQuote(mail.date).c_str(), SqlQuote(mail.content).c_str());
}

bool MailboxWriter::StoreMessage(int number, const std::string& text) {
    ReceivedMail mail = ParseReceivedMail(text, std::time(nullptr));
    ShowStatus(Format("第%d封 (%s) 开始接收...", number, mail.subject.c_str()));
    CDbAccess db;
    if (!db.ExecuteSql(ReceivedMailInsertSql(node_, mail))) {
        lastError_ = db.m_strError;
        ShowStatus(Format("第%d封 (%s) 保存失败！", number, mail.subject.c_str()));
        return false;
    }
    ++stored_;
    return true;
}

bool IsMailboxTask(std::string_view script) {
    return Trim(ScriptValue(key::kTaskType, script)) == "接收邮件";
}

bool ReadMailboxRows(int taskId, std::vector<MailboxRow>& rows, std::string& error) {
    rows.clear();
    CDbAccess db;
    auto records = db.OpenRecordset(
        Format("select ID_,cSendUser,cSendMail,cTitle,dDate,cReceiveMail from sc_ReceiveBox where iNode_=%d "
               "order by ID_ desc",
               taskId));
    if (!records) {
        error = db.m_strError;
        return false;
    }
    while (!records->IsEof()) {
        MailboxRow row;
        row.id = records->Int(size_t{0});
        row.senderName = records->Text(1);
        row.senderAddress = records->Text(2);
        row.subject = records->Text(3);
        row.date = records->Text(4);
        row.receiver = records->Text(5);
        rows.push_back(std::move(row));
        records->MoveNext();
    }
    return true;
}

std::string ReadMailboxContent(int taskId, int rowId) {
    return CDbAccess().SelectTopString("cContent", "sc_ReceiveBox",
                                       Format("ID_=%d and iNode_=%d", rowId, taskId));
}

MailboxResult ReceiveMailbox(int taskId, const MailStatusCallback& status, int replyTimeoutMs) {
    MailboxResult result;
    ReceivingFlag flag;
    if (!flag.Held()) {
        result.status = "正在接收状态！";
        return result;
    }
    CTaskTable tasks;
    std::string script = tasks.ReadTaskScript(taskId);
    if (script.empty()) {
        result.status = "取脚本失败！";
        return result;
    }
    if (!IsMailboxTask(script)) {
        result.status = "任务类型不是接收邮件！";
        return result;
    }
    MailAccount account = ReadMailAccount(tasks.ReadTaskText(taskId, true));
    Pop3Account pop3;
    if (!SplitPop3Server(account.pop3Server, pop3.host, pop3.port) || pop3.host.empty()) {
        result.status = "POP3服务器不能为空！";
        return result;
    }
    pop3.user = account.user;
    pop3.password = account.password;
    pop3.tls = TlsSettingsFor(account);
    pop3.replyTimeoutMs = replyTimeoutMs;

    MailboxWriter writer(taskId, status);
    Pop3Receiver receiver;
    result.started = true;
    result.ok = receiver.Receive(pop3, writer);
    result.status = receiver.StatusText();
    result.stored = writer.StoredCount();
    return result;
}

}  // namespace sorvik
