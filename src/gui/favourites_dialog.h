#pragma once
// The favourites dialog ("收藏记录"): the category tree, with the category the records went to last
// time preselected; OK copies the records there (CollectRecords) and closes, a refusal or failure
// shows its message and keeps the dialog open.

#include <QDialog>
#include <vector>

#include "workbench/favourites.h"

class QTreeWidget;
class QPushButton;

namespace sorvik::gui {

class Prompter;

class FavouritesDialog : public QDialog {
    Q_OBJECT

  public:
    // currentNodeId: the main tree's selection, preselected when the task has no default category.
    FavouritesDialog(int sourceTaskId, std::vector<long long> recordIds, int currentNodeId,
                     Prompter& prompter, QWidget* parent = nullptr);

    QTreeWidget* Tree() const { return tree_; }
    QPushButton* OkButton() const { return ok_; }
    // Selects the node with the ID; false when the tree has none.
    bool SelectCategory(int nodeId);
    // What the accepted copy did.
    const CollectResult& Result() const { return result_; }

    void accept() override;

  private:
    int sourceTaskId_;
    std::vector<long long> recordIds_;
    Prompter& prompter_;
    QTreeWidget* tree_;
    QPushButton* ok_;
    CollectResult result_;
};

}  // namespace sorvik::gui
