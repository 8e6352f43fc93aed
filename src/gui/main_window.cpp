#include "gui/main_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "gui/gb_qstring.h"
#include "workbench/category_tree.h"
#include "workbench/task_list.h"

namespace sorvik::gui {

namespace {

QSplitter* NewSplitter(Qt::Orientation orientation, const char* name, QWidget* parent) {
    auto* splitter = new QSplitter(orientation, parent);
    splitter->setObjectName(QString::fromLatin1(name));
    splitter->setChildrenCollapsible(false);
    return splitter;
}

// Puts widget in place of the splitter's widget at index; the old one goes.
void ReplaceSplitterWidget(QSplitter* splitter, int index, QWidget* widget) {
    const QList<int> sizes = splitter->sizes();
    const bool hidden = splitter->widget(index)->isHidden();
    QWidget* old = splitter->replaceWidget(index, widget);
    if (old != nullptr && old != widget)
        old->deleteLater();
    widget->setVisible(!hidden);
    splitter->setSizes(sizes);
}

// A task's layout shrinks the task pane to its search bar (42 pixels by default), below the
// list's own minimum.
void AllowShrinkingToSearchBar(QWidget* pane) {
    if (pane->minimumHeight() == 0)
        pane->setMinimumHeight(20);
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Sorvik"));
    BuildMenus();
    BuildPanes();
    BuildStatusBar();
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildMenus() {
    categoryMenu_ = menuBar()->addMenu(FromGb("类别"));
    categoryMenu_->setObjectName(QStringLiteral("categoryMenu"));
    filterMenu_ = menuBar()->addMenu(FromGb("条件"));
    filterMenu_->setObjectName(QStringLiteral("filterMenu"));
    gridMenu_ = menuBar()->addMenu(FromGb("表格"));
    gridMenu_->setObjectName(QStringLiteral("gridMenu"));
    taskMenu_ = menuBar()->addMenu(FromGb("任务"));
    taskMenu_->setObjectName(QStringLiteral("taskMenu"));
    editorMenu_ = menuBar()->addMenu(FromGb("脚本(&R)"));
    editorMenu_->setObjectName(QStringLiteral("editorMenu"));
}

QWidget* MainWindow::BuildTaskPanePlaceholder() {
    auto* pane = new QWidget;
    pane->setObjectName(QStringLiteral("taskPane"));
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* searchBar = new QWidget(pane);
    searchBar->setObjectName(QStringLiteral("searchBar"));
    auto* searchLayout = new QHBoxLayout(searchBar);
    searchLayout->setContentsMargins(4, 2, 4, 2);
    searchLayout->addStretch();
    layout->addWidget(searchBar);
    auto* list = new QTreeWidget(pane);
    list->setObjectName(QStringLiteral("taskList"));
    list->setRootIsDecorated(false);
    QStringList titles{QString()};
    for (const std::string& title : TaskListTitles())
        titles << FromGb(title);
    list->setHeaderLabels(titles);
    layout->addWidget(list, 1);
    AllowShrinkingToSearchBar(pane);
    return pane;
}

void MainWindow::BuildPanes() {
    mainSplitter_ = NewSplitter(Qt::Horizontal, "mainSplitter", this);
    treePlaceholder_ = new QTreeWidget(mainSplitter_);
    treePlaceholder_->setObjectName(QStringLiteral("categoryTree"));
    treePlaceholder_->setHeaderHidden(true);
    mainSplitter_->addWidget(treePlaceholder_);

    rightStack_ = new QStackedWidget(mainSplitter_);
    rightStack_->setObjectName(QStringLiteral("rightStack"));
    mainSplitter_->addWidget(rightStack_);
    findSplitter_ = NewSplitter(Qt::Vertical, "findSplitter", rightStack_);
    rightStack_->addWidget(findSplitter_);
    findBar_ = new QWidget(findSplitter_);
    findBar_->setObjectName(QStringLiteral("findBar"));
    auto* findLayout = new QHBoxLayout(findBar_);
    findLayout->setContentsMargins(4, 2, 4, 2);
    auto* findEdit = new QLineEdit(findBar_);
    findEdit->setObjectName(QStringLiteral("findText"));
    findLayout->addWidget(new QLabel(FromGb("查找:"), findBar_));
    findLayout->addWidget(findEdit, 1);
    findSplitter_->addWidget(findBar_);

    upperSplitter_ = NewSplitter(Qt::Vertical, "upperSplitter", findSplitter_);
    findSplitter_->addWidget(upperSplitter_);
    rightSplitter_ = NewSplitter(Qt::Vertical, "rightSplitter", upperSplitter_);
    upperSplitter_->addWidget(rightSplitter_);
    taskPane_ = BuildTaskPanePlaceholder();
    rightSplitter_->addWidget(taskPane_);
    dataSplitter_ = NewSplitter(Qt::Vertical, "dataSplitter", rightSplitter_);
    rightSplitter_->addWidget(dataSplitter_);
    filterBar_ = new QWidget(dataSplitter_);
    filterBar_->setObjectName(QStringLiteral("filterBar"));
    filterBar_->setMinimumHeight(24);
    dataSplitter_->addWidget(filterBar_);
    resultGrid_ = new QTableView(dataSplitter_);
    resultGrid_->setObjectName(QStringLiteral("resultGrid"));
    dataSplitter_->addWidget(resultGrid_);

    detailPane_ = new QTabWidget(upperSplitter_);
    detailPane_->setObjectName(QStringLiteral("detailPane"));
    recordDetail_ = new QTextBrowser(detailPane_);
    recordDetail_->setObjectName(QStringLiteral("recordDetail"));
    recordBrowse_ = new QTextBrowser(detailPane_);
    recordBrowse_->setObjectName(QStringLiteral("recordBrowse"));
    detailPane_->addTab(recordDetail_, FromGb("记录明细"));
    detailPane_->addTab(recordBrowse_, FromGb("浏览记录"));
    upperSplitter_->addWidget(detailPane_);

    // Panes of their own sizes until the layout settings say otherwise.
    mainSplitter_->setStretchFactor(1, 1);
    findSplitter_->setStretchFactor(1, 1);
    upperSplitter_->setStretchFactor(0, 3);
    upperSplitter_->setStretchFactor(1, 1);
    rightSplitter_->setStretchFactor(1, 1);
    dataSplitter_->setStretchFactor(1, 1);
    mainSplitter_->setSizes({220, 800});
    setCentralWidget(mainSplitter_);
}

void MainWindow::BuildStatusBar() {
    static const char* const kInitial[kStatusPanes] = {"就绪", "连接已关闭", "任务数:0", "URLs:0"};
    for (int pane = 0; pane < kStatusPanes; ++pane) {
        auto* label = new QLabel(FromGb(kInitial[pane]), statusBar());
        label->setObjectName(QStringLiteral("statusPane%1").arg(pane));
        statusPanes_[pane] = label;
        if (pane == 0) {
            statusBar()->addWidget(label, 1);
        } else {
            label->setMinimumWidth(90);
            statusBar()->addPermanentWidget(label);
        }
    }
}

void MainWindow::SetTreePane(QWidget* pane) {
    const bool placeholder = mainSplitter_->widget(0) == treePlaceholder_;
    ReplaceSplitterWidget(mainSplitter_, 0, pane);
    if (placeholder)
        treePlaceholder_ = nullptr;
}

void MainWindow::SetTaskPane(QWidget* pane) {
    AllowShrinkingToSearchBar(pane);
    ReplaceSplitterWidget(rightSplitter_, 0, pane);
    taskPane_ = pane;
}

void MainWindow::SetDataPanes(QWidget* filterBar, QWidget* grid, QTableView* view) {
    ReplaceSplitterWidget(dataSplitter_, 0, filterBar);
    ReplaceSplitterWidget(dataSplitter_, 1, grid);
    filterBar_ = filterBar;
    resultGrid_ = view;
    // The bar keeps its own height; the grid takes the rest.
    dataSplitter_->setStretchFactor(0, 0);
    dataSplitter_->setStretchFactor(1, 1);
}

void MainWindow::SetEditorPane(QWidget* pane) {
    if (editorPane_ != nullptr) {
        rightStack_->removeWidget(editorPane_);
        editorPane_->deleteLater();
    }
    editorPane_ = pane;
    rightStack_->addWidget(pane);
}

void MainWindow::ShowEditorPane(bool shown) {
    rightStack_->setCurrentWidget(shown && editorPane_ != nullptr ? editorPane_ : findSplitter_);
}

bool MainWindow::EditorPaneShown() const {
    return editorPane_ != nullptr && rightStack_->currentWidget() == editorPane_;
}

bool MainWindow::SelectNode(int nodeId) {
    CategoryNode node;
    std::string error;
    if (!ReadCategory(nodeId, node, error))
        return false;
    if (nodeSelector_)
        return nodeSelector_(nodeId);
    // No tree pane yet: the window still takes the node as current.
    OnNodeSelected(node.id, node.kind, node.taskId);
    return true;
}

void MainWindow::SetStatusPaneText(int pane, const QString& text) {
    if (pane >= 0 && pane < kStatusPanes)
        statusPanes_[pane]->setText(text);
}

QString MainWindow::StatusPaneText(int pane) const {
    return pane >= 0 && pane < kStatusPanes ? statusPanes_[pane]->text() : QString();
}

void MainWindow::BringForward() {
    if (isMinimized())
        showMaximized();
    else
        show();
    raise();
    activateWindow();
    emit BroughtForward();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    for (const auto& check : closeChecks_) {
        if (!check()) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

void MainWindow::OnNodeSelected(int nodeId, int kind, int taskId) {
    currentNode_ = nodeId;
    currentKind_ = kind;
    currentTask_ = taskId;
    emit CurrentNodeChanged(nodeId, kind, taskId);
}

}  // namespace sorvik::gui
