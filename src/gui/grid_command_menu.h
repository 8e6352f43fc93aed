#pragma once
// The result grid's script-defined commands in its pop-up menu ("#表格_右键菜单_..."): the
// actions are built from the current task's script and run the core's RunGridCommand on the
// grid's selected records; a mailing opens the send-mail dialog and starts the mail task it
// creates.

#include <QObject>
#include <functional>
#include <thread>
#include <vector>

class QAction;
class QMenu;
class QWidget;

namespace sorvik {
class RunController;
}

namespace sorvik::gui {

class Prompter;

class GridCommandMenu : public QObject {
    Q_OBJECT

  public:
    // controller and prompter must outlive the object; dialogs open over dialogParent.
    GridCommandMenu(RunController& controller, Prompter& prompter, QWidget* dialogParent,
                    QObject* parent = nullptr);
    // Waits for submits that still go out.
    ~GridCommandMenu() override;

    // Appends taskId's commands to menu (nothing when its script declares none): a separator,
    // then one action per name in list order, a separator for an empty name. An action runs on
    // the rows selectedRows gives when it is triggered (their ID_ values, in selection order).
    // Returns the actions added, separators included (owned by the menu).
    std::vector<QAction*> AddTo(QMenu* menu, int taskId, std::function<std::vector<int>()> selectedRows);

    // Runs the command at position of taskId's list on the rows. True when it did its work; a
    // submit command only starts its requests on a thread of its own (SubmitsEnded follows).
    bool Run(int taskId, int position, const std::vector<int>& rows);

  signals:
    // Cells of the task's records changed: the grid reloads.
    void RowsChanged(int taskId);
    // A mail task was created (and started).
    void MailTaskCreated(int mailTaskId);
    // A text for status pane 0.
    void StatusText(const QString& text);
    // The requests of a submit command went out (GUI thread).
    void SubmitsEnded(int submitted);
    // From the submitting thread; delivered queued.
    void SubmitterEnded(bool done, const QString& message, int submitted);

  private:
    void OnSubmitterEnded(bool done, const QString& message, int submitted);

    RunController& controller_;
    Prompter& prompter_;
    QWidget* dialogParent_;
    bool submitting_ = false;  // GUI thread only
    std::thread submitter_;
};

}  // namespace sorvik::gui
