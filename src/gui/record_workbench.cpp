#include "gui/record_workbench.h"

#include <QAction>
#include <QMenu>
#include <QTableView>

#include "gui/category_tree_view.h"
#include "gui/favourites_dialog.h"
#include "gui/gb_qstring.h"
#include "gui/main_window.h"
#include "gui/prompter.h"
#include "gui/record_view_pane.h"
#include "gui/result_grid_model.h"
#include "gui/result_pane.h"
#include "gui/task_workbench.h"
#include "text/strings.h"
#include "workbench/result_grid.h"

namespace sorvik::gui {

RecordWorkbench::RecordWorkbench(MainWindow& window, TaskWorkbench& tasks, ResultPane& results,
                                 Prompter& prompter)
    : QObject(&window),
      window_(window),
      tasks_(tasks),
      results_(results),
      prompter_(prompter),
      views_(new RecordViewPane(window.DetailPane())) {
    setObjectName(QStringLiteral("recordWorkbench"));
    favourites_ = new QAction(FromGb("收藏记录(&A)..."), this);
    favourites_->setObjectName(QStringLiteral("collectRecords"));
    QMenu* grid = results_.ContextMenu();
    grid->addSeparator();
    grid->addAction(favourites_);
    connect(grid, &QMenu::aboutToShow, this, [this] {
        favourites_->setEnabled(results_.CurrentTask() > 0 && !results_.SelectedIds().empty());
    });
    connect(favourites_, &QAction::triggered, this, &RecordWorkbench::CollectFavourites);
    connect(&results_, &ResultPane::Reloaded, this, &RecordWorkbench::GridReloaded);
    connect(results_.ShowHiddenAction(), &QAction::toggled, views_, &RecordViewPane::SetShowHidden);
    connect(&results_, &ResultPane::SelectionChanged, this,
            [this] { views_->SetSelectedRecords(results_.SelectedIds()); });
}

void RecordWorkbench::GridReloaded() {
    if (results_.CurrentTask() <= 0) {
        views_->SetQuery(ResultQuery(), {}, {});
        return;
    }
    const ResultGrid& grid = results_.Grid();
    const ResultQuery& query = grid.Query();
    const ResultQuery& shown = views_->Query();
    // Another task, filter or order starts the views over; a reload of the same rows keeps their pages.
    if (query.taskId != shown.taskId || query.condition != shown.condition ||
        query.orderBy != shown.orderBy || query.table != shown.table) {
        views_->SetQuery(query, grid.Filter().searchTerms, results_.SelectedIds());
    } else {
        views_->Refresh();
    }
}

bool RecordWorkbench::SelectRecord(long long id) {
    const int row = results_.Model()->RowOf(id);
    if (row < 0)
        return false;
    results_.View()->selectRow(row);
    return true;
}

void RecordWorkbench::CollectFavourites() {
    const int task = results_.CurrentTask();
    const std::vector<long long> ids = results_.SelectedIds();
    if (task <= 0 || ids.empty()) {
        prompter_.ShowMessage("没有记录或没有选择记录！");
        return;
    }
    FavouritesDialog dialog(task, ids, window_.CurrentNode(), prompter_, &window_);
    if (prompter_.RunDialog(dialog) != QDialog::Accepted)
        return;
    // A new collection's category now has its task and picture.
    if (dialog.Result().createdTask && tasks_.Tree())
        tasks_.Tree()->Reload();
    window_.SetStatusPaneText(0, FromGb(Format("收藏了 %lld 条记录", dialog.Result().copied)));
}

}  // namespace sorvik::gui
