#pragma once
// The result grid's script-defined commands: the items a task script adds to the grid's pop-up
// menu with the keys "#表格_右键菜单_...", and what each does to the selected records: writes a
// fixed value into a column, writes a date computed from another column ("AddDay"), submits the
// records' values to a web address (GET or POST, "<@title>" placeholders), or prepares a mailing
// to the addresses of a column ("SendMail", continued by the send-mail dialog and
// CreateSendMailTask).
//
// The operations read the task's script and result table themselves, taking g_csDatabase while
// they touch the database (never while they fetch); they show nothing: messages come back as
// texts for the front end.

#include <string>
#include <string_view>
#include <vector>

#include "engine/result_columns.h"
#include "mail/mail_task_creation.h"

namespace sorvik {

// At most this many commands go into the menu.
inline constexpr int kMaxGridCommands = 100;

// The menu's items: the names of "#表格_右键菜单_#追加" in list order, at most kMaxGridCommands;
// an empty name is a separator. Empty when the list is empty.
std::vector<std::string> GridCommandMenu(std::string_view script);

enum class GridCommandKind { kSetValue, kAddDay, kSendMail, kSubmit };

struct GridCommand {
    GridCommandKind kind = GridCommandKind::kSetValue;
    std::string name;
    // kSetValue, kAddDay, kSendMail: item 1, the title of the column written (for SendMail the
    // sent-flag column; empty there for none).
    std::string column;
    std::string value;         // kSetValue: the value written (empty: null in a date column)
    std::string sourceColumn;  // kAddDay: the source date column; kSendMail: the address column
    int days = 0;              // kAddDay
    bool allRows = false;      // kSendMail: "<全部>", every record of the task
    // kSubmit: the address template of each definition ("#提交" and the character after it cut
    // off), in order; POST sends the part after the first "?" as a form body.
    std::vector<std::string> submits;
    bool post = false;
};

// Reads the definition of the command at position (0-based, in menu order, separators counted).
// False when there is no such position or its definition is empty.
bool ReadGridCommand(std::string_view script, int position, GridCommand& command);

// True when the command needs a selected record: every command but a mailing, whose recipients
// (the selected records or "<全部>") are counted when it runs.
bool GridCommandNeedsSelection(const GridCommand& command);

// What a grid cell shows for a stored value: "√" for "1" (or "-1") in a yes/no column and empty
// for any other value there; the value itself elsewhere.
std::string GridDisplayValue(const ResultColumn& column, std::string_view stored);

// A new value written into one row's cell.
struct GridCellUpdate {
    int rowId = 0;
    std::string display;  // what the cell shows now
};

struct GridCommandResult {
    std::string
        message;  // a message to show ("请选择记录!", "%s不存在！", "更新表失败！", ...); empty when none
    // kSetValue / kAddDay: the grid column written (its index among the task's result columns)
    // and the rows written, in selection order (rows before a failure keep their values).
    int columnIndex = -1;
    std::vector<GridCellUpdate> updates;
    int submitted = 0;  // kSubmit: requests sent
    // kSendMail: the mail task's request without its message, and the recipients it has.
    SendMailTaskRequest mailRequest;
    std::vector<std::string> recipients;
};

// Runs the command on task taskId's selected records (their ID_ values, in selection order).
// True when it did its work (for kSendMail: the request and recipients are ready for the dialog);
// false with result.message when it stopped. A column value goes into the statement as an SQL
// literal with its quotes doubled; placeholders go into an address percent-encoded
// (EncodeSubmitValue). A failed submit request is not reported.
bool RunGridCommand(int taskId, const GridCommand& command, const std::vector<int>& selectedRowIds,
                    GridCommandResult& result);

// A cell's value as a submit address carries it: UrlEncodeText, and besides "&", "=", "+", "#",
// "?" and control characters percent-encoded, so that a value can't add a parameter, end the query
// or turn into a blank.
std::string EncodeSubmitValue(std::string_view value);

}  // namespace sorvik
