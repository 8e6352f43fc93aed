#include "gui/grid_command_menu.h"

#include <QAction>
#include <QMenu>

#include "engine/run_controller.h"
#include "gui/gb_qstring.h"
#include "gui/prompter.h"
#include "gui/send_mail_dialog.h"
#include "store/task_table.h"
#include "workbench/grid_commands.h"

namespace sorvik::gui {

GridCommandMenu::GridCommandMenu(RunController& controller, Prompter& prompter, QWidget* dialogParent,
                                 QObject* parent)
    : QObject(parent), controller_(controller), prompter_(prompter), dialogParent_(dialogParent) {
    connect(this, &GridCommandMenu::SubmitterEnded, this, &GridCommandMenu::OnSubmitterEnded,
            Qt::QueuedConnection);
}

GridCommandMenu::~GridCommandMenu() {
    // At shut-down the global stop flag ends a request within about a second.
    if (submitter_.joinable())
        submitter_.join();
}

void GridCommandMenu::OnSubmitterEnded(bool done, const QString& message, int submitted) {
    submitting_ = false;
    if (submitter_.joinable())
        submitter_.join();
    if (!done)
        prompter_.ShowMessage(ToGb(message));
    emit SubmitsEnded(submitted);
}

std::vector<QAction*> GridCommandMenu::AddTo(QMenu* menu, int taskId,
                                             std::function<std::vector<int>()> selectedRows) {
    std::vector<QAction*> added;
    if (taskId <= 0)
        return added;
    const std::vector<std::string> names = ::sorvik::GridCommandMenu(CTaskTable().ReadTaskScript(taskId));
    if (names.empty())
        return added;
    added.push_back(menu->addSeparator());
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i].empty()) {
            added.push_back(menu->addSeparator());
            continue;
        }
        QAction* action = menu->addAction(FromGb(names[i]));
        added.push_back(action);
        action->setObjectName(QStringLiteral("gridCommand%1").arg(i));
        const int position = static_cast<int>(i);
        connect(action, &QAction::triggered, this,
                [this, taskId, position, selectedRows] { Run(taskId, position, selectedRows()); });
    }
    return added;
}

bool GridCommandMenu::Run(int taskId, int position, const std::vector<int>& rows) {
    GridCommand command;
    if (!ReadGridCommand(CTaskTable().ReadTaskScript(taskId), position, command))
        return false;
    if (command.kind == GridCommandKind::kSubmit) {
        // Requests to a web server may take long: they go out from a thread of their own.
        if (submitting_) {
            prompter_.ShowMessage("请等待！");
            return false;
        }
        if (submitter_.joinable())
            submitter_.join();
        submitting_ = true;
        submitter_ = std::thread([this, taskId, command, rows] {
            GridCommandResult result;
            const bool done = RunGridCommand(taskId, command, rows, result);
            emit SubmitterEnded(done, FromGb(result.message), result.submitted);
        });
        return true;
    }
    GridCommandResult result;
    const bool done = RunGridCommand(taskId, command, rows, result);
    // Rows written before a failure keep their new values.
    if (!result.updates.empty())
        emit RowsChanged(taskId);
    if (!done) {
        prompter_.ShowMessage(result.message);
        return false;
    }
    if (command.kind != GridCommandKind::kSendMail)
        return true;

    SendMailDialog dialog(result.mailRequest, result.recipients, prompter_, dialogParent_);
    if (prompter_.RunDialog(dialog) != QDialog::Accepted)
        return false;
    const SendMailTaskResult& created = dialog.Result();
    if (!created.warning.empty())
        emit StatusText(FromGb(created.warning));
    emit RowsChanged(taskId);  // the records were marked unsent
    StartRequest start;
    start.taskNumber = created.taskId;
    controller_.StartTask(start);
    emit MailTaskCreated(created.taskId);
    return true;
}

}  // namespace sorvik::gui
