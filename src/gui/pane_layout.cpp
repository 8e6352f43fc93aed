#include "gui/pane_layout.h"

#include <QAction>
#include <QSplitter>
#include <QWidget>

#include "gui/gb_qstring.h"
#include "gui/main_window.h"
#include "gui/prompter.h"
#include "workbench/category_tree.h"

namespace sorvik::gui {

namespace {

// Sets the rows of a two-row splitter: a value of -1 leaves that row to its own size.
void SetRows(QSplitter* splitter, int first, int second) {
    if (first < 0 && second < 0)
        return;
    QList<int> sizes = splitter->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    if (first >= 0 && second >= 0) {
        sizes = {first, second};
    } else if (first >= 0) {
        sizes = {first, qMax(total - first, 1)};
    } else {
        sizes = {qMax(total - second, 1), second};
    }
    splitter->setSizes(sizes);
}

int Row(QSplitter* splitter, int index) {
    return splitter->sizes().value(index);
}

}  // namespace

PaneLayout::PaneLayout(MainWindow& window, LayoutSettings& settings, Prompter& prompter)
    : QObject(&window), window_(window), settings_(settings), prompter_(prompter) {
    detailAction_ = new QAction(FromGb("详细情况(&D)"), this);
    detailAction_->setObjectName(QStringLiteral("toggleDetail"));
    detailAction_->setCheckable(true);
    filterAndGridAction_ = new QAction(FromGb("过滤栏和表格栏(&F)"), this);
    filterAndGridAction_->setObjectName(QStringLiteral("toggleFilterAndGrid"));
    filterAndGridAction_->setCheckable(true);
    connect(detailAction_, &QAction::triggered, this, &PaneLayout::ToggleDetail);
    connect(filterAndGridAction_, &QAction::triggered, this, &PaneLayout::ToggleFilterAndGrid);
    // splitterMoved comes from the user's drags only, never from setSizes.
    connect(window_.RightSplitter(), &QSplitter::splitterMoved, this, &PaneLayout::OnRightSplitterMoved);
    UpdateActions();
}

void PaneLayout::ApplyGlobal() {
    SetRows(window_.MainSplitter(), settings_.leftTreeWidth, -1);
    SetRows(window_.FindSplitter(), settings_.rightTopFindHeight, -1);
    SetRows(window_.DataSplitter(), settings_.rightTopDataHeight, -1);
    ApplyGlobalRows();
}

void PaneLayout::ApplyGlobalRows() {
    layoutTask_ = 0;
    SetDetailShown(settings_.showRightBottBrow);
    SetDataShown(settings_.showFilterAndGrid);
    SetRows(window_.UpperSplitter(), settings_.rightTopSearchDataHeight,
            settings_.showRightBottBrow ? settings_.rightBottDetailHeight : -1);
    SetRows(window_.RightSplitter(), settings_.rightTaskHeight,
            settings_.showFilterAndGrid ? settings_.rightDataHeight : -1);
    UpdateActions();
}

void PaneLayout::CaptureShared() {
    settings_.leftTreeWidth = Row(window_.MainSplitter(), 0);
    settings_.rightTopFindHeight = Row(window_.FindSplitter(), 0);
    if (window_.DataSplitter()->isVisible())
        settings_.rightTopDataHeight = Row(window_.DataSplitter(), 0);
}

void PaneLayout::CaptureGlobalRows() {
    settings_.showRightBottBrow = !window_.DetailPane()->isHidden();
    settings_.showFilterAndGrid = !window_.DataSplitter()->isHidden();
    // A hidden pane keeps the size it had when it was last shown.
    if (settings_.showRightBottBrow) {
        settings_.rightTopSearchDataHeight = Row(window_.UpperSplitter(), 0);
        settings_.rightBottDetailHeight = Row(window_.UpperSplitter(), 1);
    }
    if (settings_.showFilterAndGrid) {
        settings_.rightTaskHeight = Row(window_.RightSplitter(), 0);
        settings_.rightDataHeight = Row(window_.RightSplitter(), 1);
    }
}

void PaneLayout::Capture() {
    CaptureShared();
    if (layoutTask_ == 0)
        CaptureGlobalRows();
    if (window_.CurrentNode() >= 0)
        settings_.currentSelectNode = window_.CurrentNode();
}

void PaneLayout::NodeChanged(int /*nodeId*/, int kind, int taskId) {
    const int task = kind == kKindResults && UsesTaskLayout(taskId) ? taskId : 0;
    if (task == 0) {
        if (layoutTask_ != 0)
            ApplyGlobalRows();
        return;
    }
    if (layoutTask_ == 0)
        CaptureGlobalRows();
    layoutTask_ = task;
    ApplyTaskLayout();
}

void PaneLayout::ApplyTaskLayout() {
    TaskLayoutPlan plan;
    std::string error;
    if (!PlanTaskLayout(layoutTask_, globalSearchBarHeight_, plan, error)) {
        prompter_.ShowMessage(error);
        return;
    }
    if (plan.nonDetailHeight >= 0)
        SetRows(window_.UpperSplitter(), plan.nonDetailHeight, -1);
    SetDetailShown(plan.showDetail);
    SetDataShown(plan.showFilterAndGrid);
    SetRows(window_.RightSplitter(), plan.searchBarHeight, -1);
    if (plan.showDetail && plan.nonDetailHeight >= 0)
        SetRows(window_.UpperSplitter(), plan.nonDetailHeight, -1);
    UpdateActions();
}

void PaneLayout::ToggleDetail() {
    TogglePane(window_.DetailPane()->isHidden(), settings_.showRightBottBrow, kKeyShowDetail,
               &PaneLayout::SetDetailShown);
}

void PaneLayout::ToggleFilterAndGrid() {
    TogglePane(window_.DataSplitter()->isHidden(), settings_.showFilterAndGrid, kKeyShowFilterAndGrid,
               &PaneLayout::SetDataShown);
}

// Without a task the window's own setting changes; a task keeps the choice in its settings text.
void PaneLayout::TogglePane(bool shown, bool& windowSetting, const char* taskKey,
                            void (PaneLayout::*setShown)(bool)) {
    if (layoutTask_ == 0) {
        windowSetting = shown;
        (this->*setShown)(shown);
        UpdateActions();
        return;
    }
    std::string error;
    if (!WriteTaskLayoutValue(layoutTask_, taskKey, shown ? "1" : "0", error))
        prompter_.ShowMessage(error);
    ApplyTaskLayout();
}

void PaneLayout::SetDetailShown(bool shown) {
    window_.DetailPane()->setVisible(shown);
}

void PaneLayout::SetDataShown(bool shown) {
    window_.DataSplitter()->setVisible(shown);
}

void PaneLayout::UpdateActions() {
    detailAction_->setChecked(!window_.DetailPane()->isHidden());
    filterAndGridAction_->setChecked(!window_.DataSplitter()->isHidden());
}

void PaneLayout::OnRightSplitterMoved() {
    if (layoutTask_ == 0)
        return;
    const int height = Row(window_.RightSplitter(), 0);
    std::string error;
    if (!WriteTaskLayoutValue(layoutTask_, kKeySearchBarHeight, std::to_string(height), error)) {
        prompter_.ShowMessage(error);
        return;
    }
    globalSearchBarHeight_ = height;
}

}  // namespace sorvik::gui
