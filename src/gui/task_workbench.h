#pragma once
// The category tree, the task pane, the task editor and the exchange commands, put into the main window: the
// tree and the task pane take the window's placeholders, their commands go into its "类别" and "任务" menus,
// and a selected node lays the right side out.

#include <QObject>
#include <memory>

#include "gui/gui_prompt.h"
#include "workbench/workbench_selection.h"

class QAction;

namespace sorvik {
class RunController;
}

namespace sorvik::gui {

class CategoryTreeView;
class ExchangeDialog;
class MainWindow;
class Prompter;
class TaskCommander;
class TaskEditor;
class TaskPane;

class TaskWorkbench : public QObject {
    Q_OBJECT

  public:
    // window, controller and prompter must outlive the workbench. The window's run events
    // (TaskRowChanged, RunEnded) refresh the task list.
    TaskWorkbench(MainWindow& window, RunController& controller, Prompter& prompter);
    ~TaskWorkbench() override;

    CategoryTreeView* Tree() const { return tree_; }
    TaskPane* Pane() const { return pane_; }
    TaskCommander* Commander() const { return commander_; }
    TaskEditor* Editor() const { return editor_; }
    WorkbenchSelection& Selection() { return selection_; }

    QAction* ExportSeedAction() const { return exportSeed_; }
    QAction* ExportFruitAction() const { return exportFruit_; }
    QAction* ImportAction() const { return import_; }
    QAction* AssignSeedAction() const { return assignSeed_; }

    // After the exchange dialog of an import has closed: reloads the tree when something was
    // imported, says "导入完成！" (with the restart line after a fruit) when it ended with OK, and
    // sets the status bar to "就绪".
    void FinishImport(const ExchangeDialog& dialog, bool accepted);

  public slots:
    // A Task row changed (the run observer's TaskRowChanged/RunEnded): the list refreshes.
    void OnTaskRowChanged(int taskNumber);

  private:
    void BuildMenus();
    void RunExport(bool fruit);
    void RunImport();
    void AssignSeeds();

    MainWindow& window_;
    GuiPrompt prompt_;
    WorkbenchSelection selection_;
    TaskCommander* commander_ = nullptr;
    CategoryTreeView* tree_ = nullptr;
    TaskPane* pane_ = nullptr;
    TaskEditor* editor_ = nullptr;
    QAction* exportSeed_ = nullptr;
    QAction* exportFruit_ = nullptr;
    QAction* import_ = nullptr;
    QAction* assignSeed_ = nullptr;
};

}  // namespace sorvik::gui
