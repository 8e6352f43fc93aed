#pragma once
// Mail in the main window: the result grid's script-defined commands (with the send-mail dialog)
// and the mailbox view, which takes the place of the filter bar and the grid while a mailbox
// task's node is selected. Its receive command also answers the search bar's start on a mailbox.

#include <QAction>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <vector>

namespace sorvik {
class RunController;
}

namespace sorvik::gui {

class GridCommandMenu;
class MailboxView;
class MainWindow;
class Prompter;
class ResultPane;
class TaskPane;

class MailWorkbench : public QObject {
    Q_OBJECT

  public:
    // window, controller and prompter must outlive the object (it belongs to the window).
    // The script commands go into the result pane's grid menu for its current task, acting on its
    // selected records.
    MailWorkbench(MainWindow& window, RunController& controller, Prompter& prompter, TaskPane* taskPane,
                  ResultPane* results);

    GridCommandMenu* GridCommands() const { return gridCommands_; }
    MailboxView* Mailbox() const { return mailbox_; }

  public slots:
    // The window's current node changed: a mailbox task shows its mailbox.
    void NodeChanged(int nodeId, int kind, int taskId);

  private:
    void AddScriptCommands();

    MainWindow& window_;
    ResultPane* results_;
    std::vector<QPointer<QAction>> scriptActions_;  // in the grid menu for the current task
    GridCommandMenu* gridCommands_ = nullptr;
    MailboxView* mailbox_ = nullptr;
    std::vector<QPointer<QWidget>> covered_;  // the data pane's widgets the mailbox hides
};

}  // namespace sorvik::gui
