#pragma once
// The grid's send-mail command as a core operation: collects the chosen records' addresses,
// marks them unsent, stores the message as an outbox row of sc_ReceiveBox and creates the task
// of the type "发送邮件" that sends it. The dialog (GUI) and the command line sit on top of it.

#include <string>
#include <vector>

namespace sorvik {

struct SendMailTaskRequest {
    int sourceTaskId = 0;       // the task whose result records hold the addresses
    std::string addressColumn;  // title or field name of the address column (FindResultColumn)
    std::string flagColumn;     // title or field name of the sent-flag column; empty for none
    bool allRows = true;        // "<全部>": every record of the task
    std::vector<int> rowIds;    // otherwise the records' ID_ values
    bool distinct = false;      // the distinct-recipients command: each address once
    std::string subject;
    std::string content;  // the message text; plain text unless html
    bool html = false;
    std::string templateHtml;  // the template around the message (cMemo); may be empty
    std::string attachments;   // file paths separated by ",", ";" or line breaks
};

struct SendMailTaskResult {
    int taskId = 0;
    int outboxId = 0;
    int recipients = 0;
    std::string addresses;  // the comma list stored in the outbox row
    std::string error;      // on failure
    std::string warning;    // a failure that did not stop the command ("更新表失败！")
};

// The recipients of the request: the address column of the chosen records in ID_ order, blanks
// trimmed, empty ones left out, each once when distinct. False with "取数据失败！" (no such task,
// table or column) or "没有收件人！".
bool CollectSendMailAddresses(const SendMailTaskRequest& request, std::vector<std::string>& addresses,
                              std::string& error);

// The recipient line of the send-mail dialog: with more than one address "(%d个收件人)" or, for
// distinct recipients, "(%d个不重复收件人)" before the comma list; a single address alone.
std::string RecipientsDisplayText(const std::vector<std::string>& addresses, bool distinct);

// Runs the command. False with result.error: "取数据失败！" (no such task, table or column),
// "没有收件人！" (no address among the records), "附件不存在!(%s)", "保存邮件失败！",
// "取ID号失败！", or the task table's error.
bool CreateSendMailTask(const SendMailTaskRequest& request, SendMailTaskResult& result);

}  // namespace sorvik
