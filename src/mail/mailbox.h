#pragma once
// The mailbox: a task of the type "接收邮件" whose received mail is stored as rows of
// sc_ReceiveBox under the task's ID. MailboxWriter stores downloaded messages; ReceiveMailbox
// runs a whole POP3 download for a mailbox task.

#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "mail/pop3_session.h"
#include "mail/received_mail.h"

namespace sorvik {

using MailStatusCallback = std::function<void(const std::string&)>;

// Stores messages under a node (the mailbox task's ID) with its own CDbAccess object.
class MailboxWriter : public Pop3Sink {
  public:
    MailboxWriter(int node, MailStatusCallback status);

    // Parses the message, shows "第%d封 (%s) 开始接收...", inserts the row; on failure shows
    // "第%d封 (%s) 保存失败！" and returns false.
    bool StoreMessage(int number, const std::string& text) override;
    void ShowStatus(const std::string& text) override;

    int StoredCount() const { return stored_; }
    const std::string& LastError() const { return lastError_; }

  private:
    int node_;
    MailStatusCallback status_;
    int stored_ = 0;
    std::string lastError_;
};

// The insert statement of one received message.
std::string ReceivedMailInsertSql(int node, const ReceivedMail& mail);

// True for a mailbox's script ("#任务类型=接收邮件").
bool IsMailboxTask(std::string_view script);

// One received message as the mailbox lists it.
struct MailboxRow {
    int id = 0;  // ID_ in sc_ReceiveBox
    std::string senderName;
    std::string senderAddress;
    std::string subject;
    std::string date;
    std::string receiver;
};

// The messages stored under a mailbox task, newest first. False with the database's error.
bool ReadMailboxRows(int taskId, std::vector<MailboxRow>& rows, std::string& error);

// The stored text (cContent) of message rowId of the mailbox; empty when it has none.
std::string ReadMailboxContent(int taskId, int rowId);

struct MailboxResult {
    bool ok = false;       // the session ended as planned (no new messages, or all stored and deleted)
    std::string status;    // the last status text, or why the download could not start
    int stored = 0;        // rows inserted
    bool started = false;  // a POP3 session was begun (its statuses went to the callback)
};

// Downloads the mail of a mailbox task: the task's script must give "#任务类型=接收邮件"; the
// POP3 server, user name and password come from its settings ("#POP3服务器", "#用户名",
// "#密码"). Only one download runs at a time in the process: a second call meanwhile returns
// "正在接收状态！".
MailboxResult ReceiveMailbox(int taskId, const MailStatusCallback& status, int replyTimeoutMs = 60000);

}  // namespace sorvik
