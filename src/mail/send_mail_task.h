#pragma once
// The mail-sending task: a task of the type "发送邮件" sends one personalised mail per address of
// its outbox row, through its own SMTP connection each, on a worker of the run controller.

#include <string>
#include <vector>

#include "engine/result_columns.h"
#include "engine/thread_params.h"

namespace sorvik {

// The task whose result records hold the addresses: its name, result table, the table's columns
// (the positions "#iMailField=" and "#cUpdateField=" count in this list, from 1), and the
// condition that selects its records.
struct MailSourceTask {
    int id = 0;
    std::string name;
    std::string table;
    std::vector<ResultColumn> columns;
    std::string recordCondition;  // "#表数据过滤条件=", else "iNode_=%d" with its shared number
};

// Reads the source task. False with the error text when the task or its table is missing.
bool ReadMailSourceTask(int id, MailSourceTask& source, std::string& error);

// The run-controller entry of a send-mail task (the MailRunner a front end gives its
// RunController). Reads the
// task script in params.script ("#发送箱ID号=", "#iMailField=", "#cUpdateField=",
// "#当前Email号="), the outbox row and the source task's account, then mails each address from
// the resume point on. A stop request saves "#当前Email号" (the next address's index) in the task
// script; a run that reaches the last address removes it, so that a later start begins anew.
void RunMailTask(ThreadParams& params);

}  // namespace sorvik
