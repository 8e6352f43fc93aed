#pragma once
// The task pane: the search bar (keyword box with its history, one choice per search category,
// the download option, the search button) over the task list, with the task commands of the
// list's pop-up menu and the window's task menu.

#include <QWidget>
#include <set>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QHBoxLayout;
class QMenu;
class QPushButton;
class QTableView;

namespace sorvik::gui {

class GuiPrompt;
class TaskCommander;
class TaskListModel;

class TaskPane : public QWidget {
    Q_OBJECT

  public:
    TaskPane(TaskCommander& commander, GuiPrompt& prompt, QWidget* parent = nullptr);

    enum Command {
        kStart,
        kPause,
        kStop,
        kStartAll,
        kPauseAll,
        kMoveTop,
        kMoveBottom,
        kDelete,
        kProperties,
        kBrowse,
        kOpenInBrowser,
        kPlan,
        kSearchAgain,
        kCommandCount
    };
    QAction* CommandAction(Command command) const { return actions_[command]; }
    // The commands in menu order, with separators.
    void AddCommandsTo(QMenu* menu) const;

    QTableView* View() const { return view_; }
    TaskListModel* Model() const { return model_; }
    QComboBox* KeywordBox() const { return keywordBox_; }
    QPushButton* SearchButton() const { return searchButton_; }

    // Shows list 3, 4 or 5.
    void ShowList(int list);
    // A result node's task: the search bar is built for it and shows without the list.
    void ShowTask(int taskId);
    // The task the search bar was built for (0 none).
    int SearchTask() const { return searchTask_; }
    std::vector<int> SelectedTaskIds() const;
    void SelectTask(int taskId);

  public slots:
    // Reloads the rows (keeping the selection) after runs or commands changed them.
    void Refresh();
    // Starts the search bar's task with the keywords of the box.
    void StartSearch();
    // "搜索关键字从文本文件中提取(&R)...": starts it with the whole content of a text file.
    void StartSearchFromFile();

  signals:
    // The search command on a mailbox task: it receives its mail instead of running.
    void ReceiveMailRequested(int taskId);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildActions();
    void BuildSearchBar(int taskId);
    void ReloadKeywordHistory();
    void StartSearchWith(const std::string& keywordList);
    void OnKeywordActivated(int index);
    void UpdateActions();
    void DeleteSelected(bool shiftHeld);
    std::set<int> SelectedSet() const;

    TaskCommander& commander_;
    GuiPrompt& prompt_;
    TaskListModel* model_ = nullptr;
    QTableView* view_ = nullptr;
    QWidget* searchBar_ = nullptr;
    QHBoxLayout* choicesLayout_ = nullptr;
    QComboBox* keywordBox_ = nullptr;
    QComboBox* optionBox_ = nullptr;
    std::vector<QComboBox*> categoryBoxes_;
    QPushButton* searchButton_ = nullptr;
    QAction* actions_[kCommandCount] = {};
    int searchTask_ = 0;
    std::string searchScript_;
    bool widthsSet_ = false;
};

}  // namespace sorvik::gui
