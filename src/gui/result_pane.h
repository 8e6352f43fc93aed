#pragma once
// The result pane: the filter bar and the paged result grid of the current task, put into the
// main window's data pane, with the filter menu ("条件": the saved conditions) and the grid's
// own commands in the grid menu ("表格": 分级, 删除, 显示隐藏字段, the keyword-list commands).
//
// The current task is the task of the selected result node, or the task selected in the task
// list; its records are read one page at a time. Run events (MainWindow::ResultsChanged) of the
// current task read the page again (at once, then at most every 2 s while a run saves batches).
//
// Seam for the record views, favourites, script-defined commands and mail (all on the GUI
// thread):
// - CurrentTask(): the task whose records are shown (0: none); TaskChanged(taskId) when it
//   changes.
// - CurrentId() / SelectedIds(): the record of the current row and the selected records (ID_, in
//   row order; the current row when nothing is selected); CurrentRecordChanged(id) and
//   SelectionChanged() tell their changes.
// - Grid(): the core grid of the page shown: Query() (table, shown columns, condition, orderBy,
//   script), Filter() (the compiled filter; searchTerms for highlighting), Paging().
//   WhereClause() is the condition of the rows shown (the task's rows and the filter), ready to
//   follow "where".
// - ContextMenu(): the grid menu that a right click in the grid opens; add actions to it and
//   enable them on its aboutToShow. Reloaded() after the page was read again; Reload() reads it
//   again after a change made elsewhere.

#include <QElapsedTimer>
#include <QObject>
#include <map>
#include <string>
#include <vector>

#include "gui/gui_prompt.h"
#include "workbench/result_filter.h"

class QAction;
class QLabel;
class QMenu;
class QTableView;
class QTimer;
class QToolButton;
class QWidget;

namespace sorvik {
class ResultGrid;
}

namespace sorvik::gui {

class FilterBar;
class MainWindow;
class Prompter;
class ResultGridModel;
class TaskWorkbench;

class ResultPane : public QObject {
    Q_OBJECT

  public:
    // window, tasks and prompter must outlive the pane (the window owns it).
    ResultPane(MainWindow& window, TaskWorkbench& tasks, Prompter& prompter);
    ~ResultPane() override;

    int CurrentTask() const { return task_; }
    long long CurrentId() const;
    std::vector<long long> SelectedIds() const;
    const ResultGrid& Grid() const;
    std::string WhereClause() const;
    QMenu* ContextMenu() const;

    FilterBar* Bar() const { return bar_; }
    QTableView* View() const { return view_; }
    ResultGridModel* Model() const { return model_; }
    QLabel* PageLabel() const { return pageLabel_; }
    // The filter menu's commands, the level items ("1级" .. "9级", "0级") and the grid commands.
    QAction* AddConditionAction() const { return addCondition_; }
    QAction* SaveConditionAction() const { return saveCondition_; }
    QAction* DefaultConditionAction() const { return defaultCondition_; }
    QAction* DeleteConditionAction() const { return deleteCondition_; }
    QAction* LevelAction(int level) const;
    QAction* DeleteAction() const { return delete_; }
    QAction* ShowHiddenAction() const { return showHidden_; }
    QAction* SearchSelectedAction() const { return searchSelected_; }
    QAction* SearchUnsearchedAction() const { return searchUnsearched_; }
    QAction* ImportKeywordsAction() const { return importKeywords_; }
    // The saved slot loaded into the bar for the current task (kNoSavedFilter: none).
    int LoadedCondition() const;

    // Shows the task's records as the task list's row of it would (selecting that row when the
    // list shows it); false when there is no such task.
    bool SelectTask(int taskId);

  public slots:
    // Shows a task's records (0: none), with its default condition in the bar the first time.
    void ShowTask(int taskId);
    // Applies the bar's condition (page 1).
    void ApplyFilter();
    // Reads the current page again.
    void Reload();
    void GoToPage(int page);
    // Loads saved slot into the bar and applies it.
    void LoadCondition(int slot);

  signals:
    void TaskChanged(int taskId);
    void CurrentRecordChanged(long long id);
    void SelectionChanged();
    void Reloaded();

  private:
    struct ViewState {
        int loadedSlot;
        FilterCondition condition;
    };

    void BuildGridPane();
    void BuildActions();
    void FillFilterMenu();
    void UpdateGridActions();
    void Opened(bool ok, const std::string& error);
    void AfterLoad(const std::vector<long long>& keepSelected);
    void ReloadForRun();
    void ApplyWidths();
    void OnSectionResized(int section, int oldSize, int newSize);
    void FlushWidths();
    void SaveCondition(int command);
    void SetLevel(int level);
    void DeleteSelected();
    void SearchKeywords(bool selectedOnly);
    void ImportKeywords();
    ViewState& State();

    MainWindow& window_;
    TaskWorkbench& tasks_;
    GuiPrompt prompt_;
    FilterBar* bar_ = nullptr;
    QWidget* gridPane_ = nullptr;
    QTableView* view_ = nullptr;
    ResultGridModel* model_ = nullptr;
    QToolButton* first_ = nullptr;
    QToolButton* previous_ = nullptr;
    QToolButton* next_ = nullptr;
    QToolButton* last_ = nullptr;
    QLabel* pageLabel_ = nullptr;
    QAction* addCondition_ = nullptr;
    QAction* saveCondition_ = nullptr;
    QAction* defaultCondition_ = nullptr;
    QAction* deleteCondition_ = nullptr;
    QMenu* levelMenu_ = nullptr;
    std::vector<QAction*> levels_;  // "1级" .. "9级", "0级"
    QAction* delete_ = nullptr;
    QAction* showHidden_ = nullptr;
    QAction* searchSelected_ = nullptr;
    QAction* searchUnsearched_ = nullptr;
    QAction* importKeywords_ = nullptr;
    QTimer* widthTimer_ = nullptr;
    QTimer* runReload_ = nullptr;
    QElapsedTimer lastRunReload_;

    int task_ = 0;
    std::map<int, ViewState> views_;  // per task: the bar and its loaded slot
    std::vector<int> widths_;         // "#字段宽度=" of the current task, as the user left them
    bool widthsChanged_ = false;
    bool applyingWidths_ = false;
};

}  // namespace sorvik::gui
