#include "gui/task_workbench.h"

#include <QAction>
#include <QMenu>
#include <QSplitter>

#include "exchange/seed_codes.h"
#include "gui/category_tree_view.h"
#include "gui/exchange_dialog.h"
#include "gui/gb_qstring.h"
#include "gui/gui_prompt.h"
#include "gui/main_window.h"
#include "gui/task_commander.h"
#include "gui/task_editor.h"
#include "gui/task_pane.h"
#include "text/strings.h"

namespace sorvik::gui {

TaskWorkbench::TaskWorkbench(MainWindow& window, RunController& controller, Prompter& prompter)
    : QObject(&window), window_(window), prompt_(prompter) {
    commander_ = new TaskCommander(controller, prompt_, this);
    tree_ = new CategoryTreeView(selection_, *commander_, prompt_);
    pane_ = new TaskPane(*commander_, prompt_);
    window_.SetTreePane(tree_);
    window_.SetTaskPane(pane_);
    editor_ = new TaskEditor(window_, *commander_, prompter, selection_, *tree_, *pane_);
    tree_->SetModifyTaskAction(editor_->CommandAction(TaskEditor::kModify));
    // Sizes of their own until the stored layout gives them (the placeholders had none yet).
    window_.MainSplitter()->setSizes({220, 1000});
    window_.RightSplitter()->setSizes({220, 500});
    window_.SetNodeSelector([this](int nodeId) { return tree_->SelectNode(nodeId); });

    connect(tree_, &CategoryTreeView::NodeSelected, &window_, &MainWindow::OnNodeSelected);
    connect(tree_, &CategoryTreeView::ShowTaskList, pane_, &TaskPane::ShowList);
    connect(tree_, &CategoryTreeView::ShowResults, pane_,
            [this](int) { pane_->ShowTask(selection_.State().nodeTask); });
    connect(commander_, &TaskCommander::CategoriesChanged, tree_, &CategoryTreeView::Reload);
    connect(&window_, &MainWindow::TaskRowChanged, this, &TaskWorkbench::OnTaskRowChanged);
    connect(&window_, &MainWindow::RunEnded, this, [this](int taskId, int) { OnTaskRowChanged(taskId); });
    BuildMenus();
}

TaskWorkbench::~TaskWorkbench() = default;

void TaskWorkbench::BuildMenus() {
    exportSeed_ = new QAction(FromGb("导出种子(&E)..."), this);
    exportSeed_->setObjectName(QStringLiteral("exportSeed"));
    exportFruit_ = new QAction(FromGb("导出果子(&R)..."), this);
    exportFruit_->setObjectName(QStringLiteral("exportFruit"));
    import_ = new QAction(FromGb("引入数据(&I)..."), this);
    import_->setObjectName(QStringLiteral("importData"));
    assignSeed_ = new QAction(FromGb("分配种子号(&G)"), this);
    assignSeed_->setObjectName(QStringLiteral("assignSeed"));
    connect(exportSeed_, &QAction::triggered, this, [this] { RunExport(false); });
    connect(exportFruit_, &QAction::triggered, this, [this] { RunExport(true); });
    connect(import_, &QAction::triggered, this, &TaskWorkbench::RunImport);
    connect(assignSeed_, &QAction::triggered, this, &TaskWorkbench::AssignSeeds);

    QMenu* categories = window_.CategoryMenu();
    categories->addAction(tree_->NewCategoryAction());
    categories->addAction(tree_->DeleteAction());
    categories->addAction(tree_->PropertiesAction());
    categories->addSeparator();
    categories->addAction(assignSeed_);
    categories->addAction(exportSeed_);
    categories->addAction(exportFruit_);
    categories->addAction(import_);
    connect(categories, &QMenu::aboutToShow, this, [this] {
        tree_->UpdateActions();
        const bool node = selection_.State().nodeId > 0;
        exportSeed_->setEnabled(node);
        exportFruit_->setEnabled(node);
        assignSeed_->setEnabled(node);
    });
    QMenu* tasks = window_.TaskMenu();
    pane_->AddCommandsTo(tasks);
    tasks->addSeparator();
    tasks->addAction(editor_->CommandAction(TaskEditor::kModify));
    tasks->addAction(editor_->CommandAction(TaskEditor::kSearchEngines));
    editor_->AddCommandsTo(window_.EditorMenu());
    connect(tasks, &QMenu::aboutToShow, editor_, &TaskEditor::UpdateTaskActions);
}

void TaskWorkbench::OnTaskRowChanged(int) {
    pane_->Refresh();
}

void TaskWorkbench::RunExport(bool fruit) {
    const int node = selection_.State().nodeId;
    if (node <= 0)
        return;
    ExchangeDialog dialog(fruit ? ExchangeDialog::Mode::kExportFruit : ExchangeDialog::Mode::kExportSeed,
                          node, 0, prompt_, &window_);
    prompt_.RunDialog(dialog);
}

void TaskWorkbench::RunImport() {
    selection_.SetBusy(true);
    ExchangeDialog dialog(ExchangeDialog::Mode::kImport, 0, selection_.State().currentTaskId, prompt_,
                          &window_);
    const bool accepted = prompt_.RunDialog(dialog) == QDialog::Accepted;
    selection_.SetBusy(false);
    FinishImport(dialog, accepted);
}

void TaskWorkbench::FinishImport(const ExchangeDialog& dialog, bool accepted) {
    if (dialog.Imported())
        tree_->Reload();
    if (accepted)
        prompt_.ShowMessage(dialog.ResultMessage());
    window_.SetStatusPaneText(0, FromGb("就绪"));
}

void TaskWorkbench::AssignSeeds() {
    int assigned = 0;
    std::string error;
    if (!AssignSeedCodes(selection_.State().nodeId, assigned, error)) {
        prompt_.ShowMessage(error);
        return;
    }
    prompt_.ShowMessage(Format("分配了%d个种子号", assigned));
}

}  // namespace sorvik::gui
