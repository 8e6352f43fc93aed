#include "gui/mail_workbench.h"

#include <QMenu>
#include <QSplitter>

#include "gui/grid_command_menu.h"
#include "gui/mailbox_view.h"
#include "gui/main_window.h"
#include "gui/result_pane.h"
#include "gui/task_pane.h"
#include "mail/mailbox.h"
#include "store/task_table.h"

namespace sorvik::gui {

MailWorkbench::MailWorkbench(MainWindow& window, RunController& controller, Prompter& prompter,
                             TaskPane* taskPane, ResultPane* results)
    : QObject(&window), window_(window), results_(results) {
    gridCommands_ = new GridCommandMenu(controller, prompter, &window, this);
    mailbox_ = new MailboxView(prompter);
    mailbox_->hide();
    window_.DataSplitter()->addWidget(mailbox_);
    connect(&window_, &MainWindow::CurrentNodeChanged, this, &MailWorkbench::NodeChanged);
    connect(mailbox_, &MailboxView::StatusText, &window_,
            [this](const QString& text) { window_.SetStatusPaneText(0, text); });
    connect(gridCommands_, &GridCommandMenu::StatusText, &window_,
            [this](const QString& text) { window_.SetStatusPaneText(0, text); });
    connect(gridCommands_, &GridCommandMenu::RowsChanged, &window_, &MainWindow::ResultsChanged);
    if (results_ != nullptr) {
        connect(results_->ContextMenu(), &QMenu::aboutToShow, this, &MailWorkbench::AddScriptCommands);
        connect(gridCommands_, &GridCommandMenu::RowsChanged, results_, [this](int taskId) {
            if (taskId == results_->CurrentTask())
                results_->Reload();
        });
    }
    if (taskPane != nullptr) {
        connect(taskPane, &TaskPane::ReceiveMailRequested, this, [this](int taskId) {
            if (mailbox_->Task() != taskId)
                mailbox_->ShowTask(taskId);
            mailbox_->Receive();
        });
    }
}

void MailWorkbench::AddScriptCommands() {
    // The commands of the task shown now replace those of the last task.
    for (const QPointer<QAction>& action : scriptActions_)
        delete action.data();
    scriptActions_.clear();
    QMenu* menu = results_->ContextMenu();
    for (QAction* action : gridCommands_->AddTo(menu, results_->CurrentTask(), [this] {
             std::vector<int> rows;
             for (long long id : results_->SelectedIds())
                 rows.push_back(static_cast<int>(id));
             return rows;
         }))
        scriptActions_.emplace_back(action);
}

void MailWorkbench::NodeChanged(int, int, int taskId) {
    const bool mailbox = taskId > 0 && IsMailboxTask(CTaskTable().ReadTaskScript(taskId));
    QSplitter* data = window_.DataSplitter();
    if (mailbox && !mailbox_->isVisibleTo(data)) {
        // The mailbox takes the place of the data pane's other widgets while it shows.
        for (int i = 0; i < data->count(); ++i) {
            QWidget* widget = data->widget(i);
            if (widget != mailbox_ && widget->isVisibleTo(data)) {
                widget->hide();
                covered_.push_back(widget);
            }
        }
    } else if (!mailbox) {
        for (const QPointer<QWidget>& widget : covered_) {
            if (widget)
                widget->show();
        }
        covered_.clear();
    }
    mailbox_->setVisible(mailbox);
    if (mailbox)
        mailbox_->ShowTask(taskId);
}

}  // namespace sorvik::gui
