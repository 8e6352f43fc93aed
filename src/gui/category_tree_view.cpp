#include "gui/category_tree_view.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QSignalBlocker>

#include "gui/gb_qstring.h"
#include "gui/gui_prompt.h"
#include "gui/script_edit.h"
#include "gui/task_commander.h"
#include "gui/workbench_icons.h"
#include "workbench/category_tree.h"

namespace sorvik::gui {

namespace {

constexpr int kIdRole = Qt::UserRole;
constexpr int kKindRole = Qt::UserRole + 1;
constexpr int kTaskRole = Qt::UserRole + 2;
constexpr int kNewCategoryImage = 2;

// Restores a flag when the scope ends.
class FlagGuard {
  public:
    FlagGuard(bool& flag, bool value) : flag_(flag), old_(flag) { flag_ = value; }
    ~FlagGuard() { flag_ = old_; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

  private:
    bool& flag_;
    bool old_;
};

}  // namespace

CategoryTreeView::CategoryTreeView(WorkbenchSelection& selection, TaskCommander& commander, GuiPrompt& prompt,
                                   QWidget* parent)
    : QTreeWidget(parent), selection_(selection), commander_(commander), prompt_(prompt) {
    setObjectName(QStringLiteral("categoryTree"));
    setHeaderHidden(true);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);

    newAction_ = new QAction(FromGb("新建类别(&N)"), this);
    newAction_->setObjectName(QStringLiteral("categoryNew"));
    deleteAction_ = new QAction(FromGb("删除(&D)"), this);
    deleteAction_->setObjectName(QStringLiteral("categoryDelete"));
    propertiesAction_ = new QAction(FromGb("属性(&P)..."), this);
    propertiesAction_->setObjectName(QStringLiteral("categoryProperties"));
    connect(newAction_, &QAction::triggered, this, &CategoryTreeView::NewCategory);
    connect(deleteAction_, &QAction::triggered, this, &CategoryTreeView::DeleteCurrentCategory);
    connect(propertiesAction_, &QAction::triggered, this, &CategoryTreeView::RenameCurrentCategory);

    connect(this, &QTreeWidget::currentItemChanged, this, &CategoryTreeView::OnCurrentItemChanged);
    auto storeExpand = [this](QTreeWidgetItem* item, bool expanded) {
        if (!storeExpand_)
            return;
        std::string error;
        if (!SetCategoryExpanded(NodeIdOf(item), expanded, error))
            prompt_.ShowMessage(error);
    };
    connect(this, &QTreeWidget::itemExpanded, this,
            [storeExpand](QTreeWidgetItem* item) { storeExpand(item, true); });
    connect(this, &QTreeWidget::itemCollapsed, this,
            [storeExpand](QTreeWidgetItem* item) { storeExpand(item, false); });
    Reload();
}

int CategoryTreeView::NodeIdOf(const QTreeWidgetItem* item) {
    return item ? item->data(0, kIdRole).toInt() : -1;
}

int CategoryTreeView::NodeKindOf(const QTreeWidgetItem* item) {
    return item ? item->data(0, kKindRole).toInt() : -1;
}

QTreeWidgetItem* CategoryTreeView::ItemOf(int nodeId) const {
    const auto found = items_.find(nodeId);
    return found == items_.end() ? nullptr : found->second;
}

QTreeWidgetItem* CategoryTreeView::AddNodeItem(QTreeWidgetItem* parent, int id, const QString& name,
                                               int image, int kind, int taskId) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, name);
    item->setIcon(0, TreeNodeIcon(image));
    item->setData(0, kIdRole, id);
    item->setData(0, kKindRole, kind);
    item->setData(0, kTaskRole, taskId);
    items_[id] = item;
    return item;
}

bool CategoryTreeView::Reload() {
    std::vector<CategoryNode> nodes;
    std::string error;
    if (!LoadCategoryTree(nodes, error)) {
        prompt_.ShowMessage(error);
        return false;
    }
    const int current = NodeIdOf(currentItem());
    FlagGuard noStore(storeExpand_, false);
    {
        const QSignalBlocker blocker(this);
        clear();
        items_.clear();
        for (const CategoryNode& node : nodes)
            AddNodeItem(ItemOf(node.parentId), node.id, FromGb(node.name), node.image, node.kind,
                        node.taskId);
        for (const CategoryNode& node : nodes) {
            if (node.expanded)
                ItemOf(node.id)->setExpanded(true);
        }
        if (QTreeWidgetItem* item = ItemOf(current))
            setCurrentItem(item);
    }
    UpdateActions();
    return true;
}

bool CategoryTreeView::SelectNode(int nodeId) {
    QTreeWidgetItem* item = ItemOf(nodeId);
    if (!item && Reload())  // made behind the tree's back (a run's category, another front end)
        item = ItemOf(nodeId);
    if (!item)
        return false;
    if (item == currentItem()) {
        // Selecting the node again shows it again (a reloaded list, for example).
        OnCurrentItemChanged(item, item);
        return true;
    }
    setCurrentItem(item);
    return currentItem() == item;
}

void CategoryTreeView::OnCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous) {
    if (reverting_ || !current)
        return;
    if (current != previous && !selection_.Leave(NodeIdOf(current), prompt_, editor_)) {
        FlagGuard revert(reverting_, true);
        setCurrentItem(previous);
        return;
    }
    std::string error;
    const NodeSelection shown = selection_.Enter(error);
    if (!error.empty())
        prompt_.ShowMessage(error);
    UpdateActions();
    const SelectionState& state = selection_.State();
    emit NodeSelected(state.nodeId, state.nodeKind, state.nodeTask);
    switch (shown.view) {
        case NodeView::kTaskList:
            emit ShowTaskList(shown.list);
            break;
        case NodeView::kResults:
            emit ShowResults(shown.taskId);
            break;
        case NodeView::kEditor:
            emit ShowEditor();
            break;
        case NodeView::kNothing:
            break;
    }
}

void CategoryTreeView::UpdateActions() {
    QTreeWidgetItem* item = currentItem();
    std::string reason;
    newAction_->setEnabled(item != nullptr);
    deleteAction_->setEnabled(item && CanDeleteCategory(NodeIdOf(item), reason));
    propertiesAction_->setEnabled(item && NodeKindOf(item) == kKindResults);
}

void CategoryTreeView::FillCategoryMenu(QMenu* menu) {
    UpdateActions();
    menu->addAction(newAction_);
    menu->addAction(deleteAction_);
    // Nodes of other kinds have no properties item (nor its separator).
    if (NodeKindOf(currentItem()) == kKindResults) {
        menu->addSeparator();
        menu->addAction(propertiesAction_);
    }
    const int task = selection_.State().nodeKind == kKindResults ? selection_.State().nodeTask : 0;
    if (task <= 0 || NodeIdOf(currentItem()) != selection_.State().nodeId)
        return;
    const TaskCommandFlags flags = ReadTaskCommandFlags(task);
    menu->addSeparator();
    menu->addAction(FromGb("开始(&S)"), this, [this, task] { commander_.Start({task}); });
    menu->addAction(FromGb("暂停(&P)"), this, [this, task] { commander_.Pause({task}); });
    if (flags.hyperlink) {
        menu->addAction(FromGb("浏览引用页(&B)"), this, [this, task] { commander_.Browse(task); });
        menu->addAction(FromGb("用默认浏览器打开(&O)"), this,
                        [this, task] { commander_.OpenInDefaultBrowser(task); });
    }
    if (flags.Schedulable()) {
        menu->addAction(FromGb("计划(&S)..."), this, [this, task] { commander_.Plan(task, this); });
        menu->addAction(FromGb("重新搜索(&S)"), this, [this, task] { commander_.SearchAgain(task); });
    }
    if (modifyAction_ != nullptr && !flags.builtIn) {
        modifyAction_->setEnabled(true);
        menu->addAction(modifyAction_);
    }
}

void CategoryTreeView::SetCategoryDragEnabled(bool enabled) {
    setDragEnabled(enabled);
    setDragDropMode(enabled ? QAbstractItemView::DragOnly : QAbstractItemView::NoDragDrop);
}

QStringList CategoryTreeView::mimeTypes() const {
    return {ScriptEdit::CategoryMimeType()};
}

QMimeData* CategoryTreeView::mimeData(const QList<QTreeWidgetItem*>& items) const {
    if (items.isEmpty())
        return nullptr;
    auto* data = new QMimeData;
    data->setData(
        ScriptEdit::CategoryMimeType(),
        (QString::number(NodeIdOf(items.front())) + QLatin1Char('\n') + items.front()->text(0)).toUtf8());
    return data;
}

void CategoryTreeView::contextMenuEvent(QContextMenuEvent* event) {
    if (QTreeWidgetItem* item = itemAt(viewport()->mapFromGlobal(event->globalPos()))) {
        if (item != currentItem())
            setCurrentItem(item);
    }
    QMenu menu(this);
    FillCategoryMenu(&menu);
    menu.exec(event->globalPos());
}

void CategoryTreeView::NewCategory() {
    QTreeWidgetItem* parent = currentItem();
    if (!parent)
        return;
    QString text;
    if (!prompt_.AskCategoryName(text))
        return;
    const int parentId = NodeIdOf(parent);
    std::string error;
    const std::vector<int> ids = NewCategories(ToGb(text), parentId, error);
    FlagGuard noStore(storeExpand_, false);
    for (const int id : ids) {
        CategoryNode node;
        std::string readError;
        if (ReadCategory(id, node, readError))
            AddNodeItem(parent, id, FromGb(node.name), kNewCategoryImage, node.kind, 0);
    }
    if (!ids.empty())
        parent->setExpanded(true);
    UpdateActions();
    if (!error.empty())
        prompt_.ShowMessage(error);
}

void CategoryTreeView::RenameCurrentCategory() {
    QTreeWidgetItem* item = currentItem();
    if (!item || NodeKindOf(item) != kKindResults)
        return;
    QString text = item->text(0);
    if (!prompt_.AskCategoryName(text))
        return;
    std::string error;
    if (!RenameCategoryNode(NodeIdOf(item), ToGb(text), error)) {
        prompt_.ShowMessage(error);
        return;
    }
    item->setText(0, FromGb(CategoryNameForRename(ToGb(text))));
}

void CategoryTreeView::DeleteCurrentCategory() {
    QTreeWidgetItem* item = currentItem();
    std::string error;
    if (!item || !CanDeleteCategory(NodeIdOf(item), error)) {
        if (!error.empty())
            prompt_.ShowMessage(error);
        return;
    }
    if (!prompt_.AskOkCancel("删除当前类别吗？"))
        return;
    if (!DeleteCategory(NodeIdOf(item), error)) {
        prompt_.ShowMessage(error);
        return;
    }
    QTreeWidgetItem* parent = item->parent();
    selection_.Clear();
    if (parent)
        setCurrentItem(parent);
    std::vector<int> gone;
    std::vector<QTreeWidgetItem*> pending{item};
    while (!pending.empty()) {
        QTreeWidgetItem* next = pending.back();
        pending.pop_back();
        gone.push_back(NodeIdOf(next));
        for (int i = 0; i < next->childCount(); ++i)
            pending.push_back(next->child(i));
    }
    for (const int id : gone)
        items_.erase(id);
    delete item;
    emit commander_.TasksChanged();
}

}  // namespace sorvik::gui
