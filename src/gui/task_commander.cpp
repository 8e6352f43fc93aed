#include "gui/task_commander.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QUrl>
#include <mutex>

#include "engine/run_controller.h"
#include "gui/gb_qstring.h"
#include "gui/gui_prompt.h"
#include "gui/plan_dialog.h"
#include "store/database.h"
#include "store/task_table.h"
#include "text/strings.h"
#include "workbench/task_commands.h"
#include "workbench/task_delete.h"
#include "workbench/task_list.h"

namespace sorvik::gui {

TaskCommander::TaskCommander(RunController& controller, GuiPrompt& prompt, QObject* parent)
    : QObject(parent), controller_(controller), prompt_(prompt) {}

void TaskCommander::Plan(int id, QWidget* parent) {
    PlanDialog dialog(id, prompt_, parent);
    std::string error;
    if (!dialog.Loaded(error)) {
        prompt_.ShowMessage(error);
        return;
    }
    prompt_.RunDialog(dialog);
}

void TaskCommander::Start(const std::vector<int>& ids) {
    if (StartTasks(controller_, ids) > 0)
        emit TasksChanged();
}

void TaskCommander::Pause(const std::vector<int>& ids) {
    if (PauseTasks(controller_, ids) > 0)
        emit TasksChanged();
}

void TaskCommander::Stop(const std::vector<int>& ids) {
    if (ids.empty() || !prompt_.AskOkCancel("停止任务（该任务将移到“已完成”类别中）"))
        return;
    std::string error;
    if (!StopTasksToFinished(controller_, ids, error))
        prompt_.ShowMessage(error);
    emit TasksChanged();
}

void TaskCommander::StartAll(const std::vector<int>& idsInListOrder) {
    if (StartTasks(controller_, idsInListOrder) > 0)
        emit TasksChanged();
}

void TaskCommander::PauseAll() {
    if (controller_.StopTask(kAllTasks, 8))
        emit TasksChanged();
}

std::vector<int> TaskCommander::Delete(const std::vector<int>& ids, int currentList, bool shiftHeld) {
    const TaskDeleteOutcome outcome = DeleteTasks(ids, currentList, shiftHeld, &controller_, prompt_);
    if (!outcome.removed.empty() || outcome.reload)
        emit TasksChanged();
    if (outcome.permanent && !outcome.removed.empty())
        emit CategoriesChanged();
    return outcome.removed;
}

void TaskCommander::ShowProperties(int id, QWidget* parent) {
    std::vector<TaskListRow> rows;
    std::string error, script;
    TaskListRow found;
    bool present = false;
    for (const int list : {3, 4, 5}) {
        if (!LoadTaskList(list, rows, error))
            break;
        for (const TaskListRow& row : rows) {
            if (row.id == id) {
                found = row;
                present = true;
            }
        }
    }
    if (!present) {
        prompt_.ShowMessage(error.empty() ? std::string("取脚本失败！") : error);
        return;
    }
    {
        std::scoped_lock lock(g_csDatabase);
        CTaskTable tasks;
        script = tasks.ReadTaskScript(id);
    }
    QDialog dialog(parent);
    dialog.setWindowTitle(FromGb("属性"));
    auto* form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("ID"), new QLabel(QString::number(id), &dialog));
    const std::vector<std::string>& titles = TaskListTitles();
    for (size_t i = 0; i < titles.size() && i < found.columns.size(); ++i) {
        auto* value = new QLabel(FromGb(found.columns[i]), &dialog);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(FromGb(titles[i]), value);
    }
    form->addRow(
        QString(),
        new QLabel(FromGb(TaskIconWord(TaskIconFor(found.status, found.list, controller_.EntryState(id)))),
                   &dialog));
    auto* text = new QPlainTextEdit(FromGb(script), &dialog);
    text->setReadOnly(true);
    text->setMinimumSize(520, 240);
    form->addRow(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    prompt_.RunDialog(dialog);
}

bool TaskCommander::OpenUrl(int id) {
    const std::string url = TaskFirstUrl(id);
    if (url.empty())
        return false;
    return QDesktopServices::openUrl(QUrl::fromUserInput(FromGb(url)));
}

void TaskCommander::Browse(int id) {
    OpenUrl(id);
}

void TaskCommander::OpenInDefaultBrowser(int id) {
    OpenUrl(id);
}

void TaskCommander::SearchAgain(int id) {
    std::string error;
    const bool started = ::sorvik::SearchAgain(controller_, id, error);
    if (!error.empty())
        prompt_.ShowMessage(error);
    if (started || error.empty())
        emit TasksChanged();
}

}  // namespace sorvik::gui
