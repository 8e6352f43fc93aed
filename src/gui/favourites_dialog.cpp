#include "gui/favourites_dialog.h"

#include <QDialogButtonBox>
#include <QHash>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "gui/gb_qstring.h"
#include "gui/prompter.h"
#include "gui/workbench_icons.h"
#include "workbench/category_tree.h"

namespace sorvik::gui {

namespace {

constexpr int kIdRole = Qt::UserRole;

}  // namespace

FavouritesDialog::FavouritesDialog(int sourceTaskId, std::vector<long long> recordIds, int currentNodeId,
                                   Prompter& prompter, QWidget* parent)
    : QDialog(parent), sourceTaskId_(sourceTaskId), recordIds_(std::move(recordIds)), prompter_(prompter) {
    setObjectName(QStringLiteral("favouritesDialog"));
    setWindowTitle(FromGb("收藏记录"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(FromGb("请选择收藏的类别（最末级的类别）："), this));
    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QStringLiteral("favouritesTree"));
    tree_->setHeaderHidden(true);
    layout->addWidget(tree_, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &FavouritesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &FavouritesDialog::reject);
    layout->addWidget(buttons);
    resize(320, 420);

    std::vector<CategoryNode> nodes;
    std::string error;
    if (!LoadCategoryTree(nodes, error)) {
        prompter_.ShowMessage("创建记录集失败!");
        return;
    }
    QHash<int, QTreeWidgetItem*> items;
    for (const CategoryNode& node : nodes) {
        QTreeWidgetItem* parentItem = items.value(node.parentId, nullptr);
        auto* item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(tree_);
        item->setText(0, FromGb(node.name));
        item->setIcon(0, TreeNodeIcon(node.image));
        item->setData(0, kIdRole, node.id);
        items.insert(node.id, item);
    }
    // The top level is open, and every node whose flag says so.
    for (const CategoryNode& node : nodes) {
        if (node.depth == 0 || node.expanded)
            items.value(node.id)->setExpanded(true);
    }
    SelectCategory(DefaultFavouritesCategory(sourceTaskId_, currentNodeId));
}

bool FavouritesDialog::SelectCategory(int nodeId) {
    for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
        if ((*it)->data(0, kIdRole).toInt() == nodeId) {
            tree_->setCurrentItem(*it);
            tree_->scrollToItem(*it);
            return true;
        }
    }
    return false;
}

void FavouritesDialog::accept() {
    QTreeWidgetItem* item = tree_->currentItem();
    const int categoryId = item ? item->data(0, kIdRole).toInt() : 0;
    std::string message;
    if (!CollectRecords(sourceTaskId_, recordIds_, categoryId, result_, message)) {
        prompter_.ShowMessage(message);
        return;
    }
    QDialog::accept();
}

}  // namespace sorvik::gui
