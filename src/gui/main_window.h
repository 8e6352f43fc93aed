#pragma once
// The main window "Sorvik": menus, the splitter panes and the status bar.
//
// Panes (each splitter row's height persists with the layout settings):
//
//   mainSplitter (horizontal)
//   +- tree pane                          left: the category tree
//   +- findSplitter (vertical)            right:
//      +- find bar
//      +- upperSplitter (vertical)
//         +- rightSplitter (vertical)     the search-and-data pane
//         |  +- task pane                 search bar over the task list
//         |  +- dataSplitter (vertical)   the result data pane, shown with "过滤栏和表格栏"
//         |     +- filter bar
//         |     +- result grid
//         +- detail pane                  记录明细 | 浏览记录, shown with "详细情况"
//
// Seams for the widgets that other parts of the workbench bring:
// - SetTreePane(widget) puts the category tree in place of the empty QTreeWidget that
//   TreePlaceholder() returns; SetTaskPane(widget) puts the task pane (search bar and task list)
//   in place of the placeholder pane. The window owns them from then on (Qt parents).
// - The tree reports a selection with OnNodeSelected(nodeId, kind, taskId), as a user's click
//   does; the window keeps the current node (stored at exit) and lays the panes out for it.
// - SetNodeSelector(fn) gives the window the way to select a node by ID (start-up selection,
//   --select); fn returns false when there is no such node.
// - CategoryMenu(), TaskMenu() and EditorMenu() are the menus that the tree's, the list's and the
//   task editor's commands go into.
// - SetStatusPaneText(pane, text) sets one of the four status-bar panes (GUI thread only).
// - Run events arrive as the signals TaskRowChanged, RunEnded, ResultsChanged and TestRunEnded,
//   always from the event loop on the GUI thread: connect the task list and views to them.
// - SetDataPanes(filterBar, grid, view) puts the filter bar and the result grid (a pane holding
//   the table view) in place of the placeholders; ResultGrid() is then that view.
// - FilterMenu() ("条件") and GridMenu() ("表格") are the menus of the filter bar and the grid.
// - SetEditorPane(widget) gives the window the task editor; ShowEditorPane(true) puts it in place
//   of the right side (find bar, task pane, data and detail panes), false brings those back.
// - AddCloseCheck(fn) adds a question asked when the window closes (an unsaved editor script);
//   fn returns false to keep the window open. Checks run in the order they were added.

#include <QMainWindow>
#include <functional>
#include <vector>

class QLabel;
class QMenu;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QTableView;
class QTextBrowser;
class QTreeWidget;
class QWidget;

namespace sorvik::gui {

class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Seams (see above).
    QTreeWidget* TreePlaceholder() const { return treePlaceholder_; }
    void SetTreePane(QWidget* pane);
    void SetTaskPane(QWidget* pane);
    void SetNodeSelector(std::function<bool(int)> selector) { nodeSelector_ = std::move(selector); }
    // Selects an existing node through the selector (without one, takes it as current); false
    // when there is no such node or the selector refuses it.
    bool SelectNode(int nodeId);
    void SetEditorPane(QWidget* pane);
    void ShowEditorPane(bool shown);
    bool EditorPaneShown() const;
    QMenu* CategoryMenu() const { return categoryMenu_; }
    QMenu* TaskMenu() const { return taskMenu_; }
    QMenu* FilterMenu() const { return filterMenu_; }
    QMenu* GridMenu() const { return gridMenu_; }
    void SetDataPanes(QWidget* filterBar, QWidget* grid, QTableView* view);
    QMenu* EditorMenu() const { return editorMenu_; }

    // The status bar's four panes: 0 progress and messages, 1 connection, 2 "任务数:%d", 3 "URLs:%d".
    static constexpr int kStatusPanes = 4;
    void SetStatusPaneText(int pane, const QString& text);
    QString StatusPaneText(int pane) const;

    void AddCloseCheck(std::function<bool()> check) { closeChecks_.push_back(std::move(check)); }
    // Shows the window (restoring it when minimised), raises and activates it.
    void BringForward();

    // The current node as the tree last reported it (-1 before any selection).
    int CurrentNode() const { return currentNode_; }
    int CurrentNodeKind() const { return currentKind_; }
    int CurrentNodeTask() const { return currentTask_; }

    // The panes, for the layout and for the widgets of later parts.
    QSplitter* MainSplitter() const { return mainSplitter_; }
    QSplitter* FindSplitter() const { return findSplitter_; }
    QSplitter* UpperSplitter() const { return upperSplitter_; }
    QSplitter* RightSplitter() const { return rightSplitter_; }
    QSplitter* DataSplitter() const { return dataSplitter_; }
    QWidget* FindBar() const { return findBar_; }
    QWidget* TaskPane() const { return taskPane_; }
    QWidget* FilterBar() const { return filterBar_; }
    QTableView* ResultGrid() const { return resultGrid_; }
    QTabWidget* DetailPane() const { return detailPane_; }

  public slots:
    void OnNodeSelected(int nodeId, int kind, int taskId);

  signals:
    // The current node changed.
    void CurrentNodeChanged(int nodeId, int kind, int taskId);
    // Run events of the controller (see above). state: 2 paused, 4 ended, 5 stopped for deletion.
    void TaskRowChanged(int taskId);
    void RunEnded(int taskId, int state);
    void ResultsChanged(int taskId);
    void TestRunEnded(const QString& output, const QString& page);
    // Another start on the same home brought this window forward.
    void BroughtForward();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildMenus();
    void BuildPanes();
    void BuildStatusBar();
    QWidget* BuildTaskPanePlaceholder();

    QSplitter* mainSplitter_ = nullptr;
    QStackedWidget* rightStack_ = nullptr;  // the right side: findSplitter_, or the editor pane
    QWidget* editorPane_ = nullptr;
    QSplitter* findSplitter_ = nullptr;
    QSplitter* upperSplitter_ = nullptr;
    QSplitter* rightSplitter_ = nullptr;
    QSplitter* dataSplitter_ = nullptr;
    QTreeWidget* treePlaceholder_ = nullptr;
    QWidget* findBar_ = nullptr;
    QWidget* taskPane_ = nullptr;
    QWidget* filterBar_ = nullptr;
    QTableView* resultGrid_ = nullptr;
    QTabWidget* detailPane_ = nullptr;
    QTextBrowser* recordDetail_ = nullptr;
    QTextBrowser* recordBrowse_ = nullptr;
    QMenu* categoryMenu_ = nullptr;
    QMenu* filterMenu_ = nullptr;
    QMenu* gridMenu_ = nullptr;
    QMenu* taskMenu_ = nullptr;
    QMenu* editorMenu_ = nullptr;
    QLabel* statusPanes_[kStatusPanes] = {};

    std::function<bool(int)> nodeSelector_;
    std::vector<std::function<bool()>> closeChecks_;
    int currentNode_ = -1;
    int currentKind_ = -1;
    int currentTask_ = 0;
};

}  // namespace sorvik::gui
