#pragma once
// The category tree pane: TreeItems in display order with their icons and stored expand state,
// the category commands ("新建类别(&N)", "删除(&D)", "属性(&P)..."), the task commands for a result
// node's task, and the selection rules of the workbench core (busy flag, unsaved script question).

#include <QTreeWidget>
#include <map>

#include "workbench/workbench_selection.h"

class QAction;
class QMenu;

namespace sorvik::gui {

class GuiPrompt;
class TaskCommander;

class CategoryTreeView : public QTreeWidget {
    Q_OBJECT

  public:
    CategoryTreeView(WorkbenchSelection& selection, TaskCommander& commander, GuiPrompt& prompt,
                     QWidget* parent = nullptr);

    // Loads the tree again; the current node stays selected when it is still there. False with
    // the error shown.
    bool Reload();
    // Selects a node as a click would (the rules may refuse); false when there is no such node.
    // A node the tree does not show yet makes it load again first.
    bool SelectNode(int nodeId);
    QTreeWidgetItem* ItemOf(int nodeId) const;
    static int NodeIdOf(const QTreeWidgetItem* item);    // -1 for none
    static int NodeKindOf(const QTreeWidgetItem* item);  // -1 for none

    // Categories may be dragged onto the editor's script (while the editor is shown).
    void SetCategoryDragEnabled(bool enabled);

    // The editor pane's guard, when there is one.
    void SetEditorGuard(EditorGuard* editor) { editor_ = editor; }
    // The editor's "修改任务(&E)", offered for a node's task that is not built in.
    void SetModifyTaskAction(QAction* action) { modifyAction_ = action; }

    QAction* NewCategoryAction() const { return newAction_; }
    QAction* DeleteAction() const { return deleteAction_; }
    QAction* PropertiesAction() const { return propertiesAction_; }
    // The category menu for the current node (the window's "类别" menu shows the same).
    void FillCategoryMenu(QMenu* menu);
    // Enables the category actions for the current node.
    void UpdateActions();

  signals:
    // A change went through: the node, its kind and its task (iTask).
    void NodeSelected(int nodeId, int kind, int taskId);
    // What the right side shows now.
    void ShowTaskList(int list);
    void ShowResults(int taskId);
    void ShowEditor();

  public slots:
    void NewCategory();
    void DeleteCurrentCategory();
    void RenameCurrentCategory();

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;

  private:
    void OnCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    QTreeWidgetItem* AddNodeItem(QTreeWidgetItem* parent, int id, const QString& name, int image, int kind,
                                 int taskId);

    WorkbenchSelection& selection_;
    TaskCommander& commander_;
    GuiPrompt& prompt_;
    EditorGuard* editor_ = nullptr;
    std::map<int, QTreeWidgetItem*> items_;
    bool storeExpand_ = true;
    bool reverting_ = false;
    QAction* newAction_ = nullptr;
    QAction* deleteAction_ = nullptr;
    QAction* propertiesAction_ = nullptr;
    QAction* modifyAction_ = nullptr;
};

}  // namespace sorvik::gui
