#include "gui/result_pane.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <mutex>

#include "engine/result_table.h"
#include "engine/run_controller.h"
#include "gui/category_tree_view.h"
#include "gui/exchange_dialog.h"
#include "gui/filter_bar.h"
#include "gui/gb_qstring.h"
#include "gui/main_window.h"
#include "gui/result_grid_model.h"
#include "gui/task_commander.h"
#include "gui/task_list_model.h"
#include "gui/task_pane.h"
#include "gui/task_workbench.h"
#include "mail/mailbox.h"
#include "store/database.h"
#include "store/task_table.h"
#include "text/strings.h"
#include "workbench/result_grid.h"
#include "workbench/result_grid_commands.h"
#include "workbench/saved_filters.h"

namespace sorvik::gui {

namespace {

constexpr int kDefaultColumnWidth = 100;
constexpr int kRowNumberWidth = 60;
// Widths go to the settings once the user stops dragging.
constexpr int kWidthSaveDelayMs = 800;
// The shortest time between two reloads for a run's saved records.
constexpr qint64 kRunReloadMs = 2000;

enum ConditionCommand { kAdd, kSave, kMakeDefault };

std::string TaskSettings(int taskId) {
    std::scoped_lock lock(g_csDatabase);
    return CTaskTable().ReadTaskText(taskId, true);
}

QToolButton* NavButton(const char* text, const char* name, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(FromGb(text));
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoRaise(true);
    return button;
}

}  // namespace

ResultPane::ResultPane(MainWindow& window, TaskWorkbench& tasks, Prompter& prompter)
    : QObject(&window), window_(window), tasks_(tasks), prompt_(prompter) {
    bar_ = new FilterBar;
    bar_->SetMenu(window_.FilterMenu());
    BuildGridPane();
    window_.SetDataPanes(bar_, gridPane_, view_);
    BuildActions();

    connect(bar_, &FilterBar::Applied, this, &ResultPane::ApplyFilter);
    connect(tasks_.Tree(), &CategoryTreeView::ShowResults, this,
            [this](int) { ShowTask(tasks_.Selection().State().currentTaskId); });
    connect(tasks_.Tree(), &CategoryTreeView::ShowTaskList, this, [this](int) {
        const std::vector<int> selected = tasks_.Pane()->SelectedTaskIds();
        ShowTask(selected.empty() ? 0 : selected.front());
    });
    connect(tasks_.Tree(), &CategoryTreeView::ShowEditor, this, [this] { ShowTask(0); });
    connect(tasks_.Pane()->View()->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                // A list reload passes through no row: the records shown stay.
                if (current.isValid() && tasks_.Pane()->View()->isVisible())
                    ShowTask(tasks_.Pane()->Model()->TaskId(current.row()));
            });
    connect(&window_, &MainWindow::ResultsChanged, this, [this](int taskId) {
        if (task_ <= 0)
            return;
        std::string script;
        {
            std::scoped_lock lock(g_csDatabase);
            script = CTaskTable().ReadTaskScript(taskId);
        }
        if (taskId == task_ || SharedTaskNumber(script, taskId) == task_)
            ReloadForRun();
    });
    runReload_ = new QTimer(this);
    runReload_->setSingleShot(true);
    connect(runReload_, &QTimer::timeout, this, &ResultPane::ReloadForRun);
}

ResultPane::~ResultPane() {
    FlushWidths();
}

void ResultPane::BuildGridPane() {
    gridPane_ = new QWidget;
    gridPane_->setObjectName(QStringLiteral("resultPane"));
    auto* layout = new QVBoxLayout(gridPane_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    view_ = new QTableView(gridPane_);
    view_->setObjectName(QStringLiteral("resultGrid"));
    model_ = new ResultGridModel(this);
    view_->setModel(model_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setWordWrap(false);
    view_->verticalHeader()->hide();
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
    view_->horizontalHeader()->setHighlightSections(false);
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(view_, 1);

    auto* navigation = new QWidget(gridPane_);
    navigation->setObjectName(QStringLiteral("pageBar"));
    auto* row = new QHBoxLayout(navigation);
    row->setContentsMargins(4, 0, 4, 0);
    first_ = NavButton("首页", "firstPage", navigation);
    previous_ = NavButton("上一页", "previousPage", navigation);
    next_ = NavButton("下一页", "nextPage", navigation);
    last_ = NavButton("末页", "lastPage", navigation);
    pageLabel_ = new QLabel(navigation);
    pageLabel_->setObjectName(QStringLiteral("pageLabel"));
    row->addWidget(pageLabel_, 1);
    for (QToolButton* button : {first_, previous_, next_, last_})
        row->addWidget(button);
    layout->addWidget(navigation);

    connect(first_, &QToolButton::clicked, this, [this] { GoToPage(1); });
    connect(previous_, &QToolButton::clicked, this, [this] { GoToPage(Grid().Paging().page - 1); });
    connect(next_, &QToolButton::clicked, this, [this] { GoToPage(Grid().Paging().page + 1); });
    connect(last_, &QToolButton::clicked, this, [this] { GoToPage(Grid().Paging().pages); });
    connect(view_, &QTableView::customContextMenuRequested, this,
            [this](const QPoint& pos) { ContextMenu()->exec(view_->viewport()->mapToGlobal(pos)); });
    connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { emit CurrentRecordChanged(model_->IdAt(current.row())); });
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        UpdateGridActions();
        emit SelectionChanged();
    });
    connect(view_->horizontalHeader(), &QHeaderView::sectionResized, this, &ResultPane::OnSectionResized);
    widthTimer_ = new QTimer(this);
    widthTimer_->setSingleShot(true);
    widthTimer_->setInterval(kWidthSaveDelayMs);
    connect(widthTimer_, &QTimer::timeout, this, &ResultPane::FlushWidths);
}

void ResultPane::BuildActions() {
    auto action = [this](const char* text, const char* name) {
        auto* item = new QAction(FromGb(text), this);
        item->setObjectName(QString::fromLatin1(name));
        return item;
    };
    addCondition_ = action("添加条件(&A)", "addCondition");
    saveCondition_ = action("保存条件(&S)", "saveCondition");
    defaultCondition_ = action("设为默认条件(&F)", "defaultCondition");
    deleteCondition_ = action("删除当前条件(&D)", "deleteCondition");
    connect(addCondition_, &QAction::triggered, this, [this] { SaveCondition(kAdd); });
    connect(saveCondition_, &QAction::triggered, this, [this] { SaveCondition(kSave); });
    connect(defaultCondition_, &QAction::triggered, this, [this] { SaveCondition(kMakeDefault); });
    connect(deleteCondition_, &QAction::triggered, this, [this] {
        if (task_ > 0 && DeleteSavedFilter(task_, State().loadedSlot, prompt_))
            State().loadedSlot = kNoSavedFilter;
    });
    QMenu* filterMenu = window_.FilterMenu();
    connect(filterMenu, &QMenu::aboutToShow, this, &ResultPane::FillFilterMenu);
    FillFilterMenu();

    QMenu* grid = window_.GridMenu();
    levelMenu_ = grid->addMenu(FromGb("分级"));
    levelMenu_->setObjectName(QStringLiteral("levelMenu"));
    const std::vector<std::string> levelTexts = LevelMenuTexts();
    for (size_t i = 0; i < levelTexts.size(); ++i) {
        const int level = i + 1 < levelTexts.size() ? static_cast<int>(i) + 1 : 0;
        QAction* item = levelMenu_->addAction(FromGb(levelTexts[i]));
        item->setObjectName(QStringLiteral("level%1").arg(level));
        connect(item, &QAction::triggered, this, [this, level] { SetLevel(level); });
        levels_.push_back(item);
    }
    delete_ = action("删除(&D)", "deleteRecords");
    connect(delete_, &QAction::triggered, this, &ResultPane::DeleteSelected);
    grid->addAction(delete_);
    grid->addSeparator();
    showHidden_ = action("显示隐藏字段(&F)", "showHiddenFields");
    showHidden_->setCheckable(true);
    connect(showHidden_, &QAction::toggled, this, [this] { ApplyWidths(); });
    grid->addAction(showHidden_);
    grid->addSeparator();
    searchSelected_ = action("搜索所选关键字(&S)", "searchSelectedKeywords");
    searchUnsearched_ = action("搜索未处理关键字(&N)", "searchUnsearchedKeywords");
    importKeywords_ = action("引入搜索关键字(&I)...", "importKeywords");
    connect(searchSelected_, &QAction::triggered, this, [this] { SearchKeywords(true); });
    connect(searchUnsearched_, &QAction::triggered, this, [this] { SearchKeywords(false); });
    connect(importKeywords_, &QAction::triggered, this, &ResultPane::ImportKeywords);
    grid->addAction(searchSelected_);
    grid->addAction(searchUnsearched_);
    grid->addAction(importKeywords_);
    connect(grid, &QMenu::aboutToShow, this, &ResultPane::UpdateGridActions);
    UpdateGridActions();
}

QAction* ResultPane::LevelAction(int level) const {
    if (level < 0 || level > 9)
        return nullptr;
    return levels_[level == 0 ? 9 : static_cast<size_t>(level - 1)];
}

QMenu* ResultPane::ContextMenu() const {
    return window_.GridMenu();
}

const ResultGrid& ResultPane::Grid() const {
    return model_->Grid();
}

std::string ResultPane::WhereClause() const {
    return task_ > 0 && model_->HasTask() ? Grid().Query().condition : std::string();
}

int ResultPane::LoadedCondition() const {
    const auto found = views_.find(task_);
    return found == views_.end() ? kNoSavedFilter : found->second.loadedSlot;
}

ResultPane::ViewState& ResultPane::State() {
    auto found = views_.find(task_);
    if (found == views_.end()) {
        // First time: the task's default condition.
        ViewState state{kNoSavedFilter, {}};
        const std::string settings = TaskSettings(task_);
        const int slot = DefaultSavedFilter(settings);
        if (slot != kNoSavedFilter && ReadSavedFilter(settings, slot, state.condition))
            state.loadedSlot = slot;
        found = views_.emplace(task_, state).first;
    }
    return found->second;
}

long long ResultPane::CurrentId() const {
    const QModelIndex current = view_->currentIndex();
    return current.isValid() ? model_->IdAt(current.row()) : 0;
}

std::vector<long long> ResultPane::SelectedIds() const {
    std::vector<int> rows;
    for (const QModelIndex& index : view_->selectionModel()->selectedRows())
        rows.push_back(index.row());
    if (rows.empty() && view_->currentIndex().isValid())
        rows.push_back(view_->currentIndex().row());
    std::sort(rows.begin(), rows.end());
    std::vector<long long> ids;
    for (const int row : rows) {
        if (const long long id = model_->IdAt(row); id > 0)
            ids.push_back(id);
    }
    return ids;
}

bool ResultPane::SelectTask(int taskId) {
    bool exists = false;
    {
        std::scoped_lock lock(g_csDatabase);
        exists = taskId > 0 && CTaskTable().TaskExists(taskId);
    }
    if (!exists)
        return false;
    tasks_.Pane()->SelectTask(taskId);
    ShowTask(taskId);
    return true;
}

void ResultPane::ShowTask(int taskId) {
    // A mailbox has no result table: its mail shows in the mailbox view instead of the grid.
    if (taskId > 0 && IsMailboxTask(CTaskTable().ReadTaskScript(taskId)))
        taskId = 0;
    if (taskId == task_ && (taskId <= 0 || model_->HasTask()))
        return;
    FlushWidths();
    task_ = taskId;
    widths_.clear();
    if (taskId <= 0) {
        model_->Clear();
        bar_->SetFields({});
        bar_->SetCondition({});
        AfterLoad({});
        emit TaskChanged(0);
        return;
    }
    widths_ = ReadColumnWidths(TaskSettings(taskId));
    const FilterCondition condition = State().condition;
    std::string error;
    const bool ok = model_->Open(taskId, condition, error);
    std::vector<std::string> titles;
    for (const ResultColumn& column : Grid().Query().columns)
        titles.push_back(column.title);
    bar_->SetFields(titles);
    bar_->SetCondition(condition);
    if (condition.field.empty() && !titles.empty())
        bar_->FieldBox()->setCurrentIndex(0);
    Opened(ok, error);
    emit TaskChanged(taskId);
}

void ResultPane::ApplyFilter() {
    if (task_ <= 0)
        return;
    State().condition = bar_->Condition();
    std::string error;
    const bool ok = model_->Open(task_, State().condition, error);
    Opened(ok, error);
}

void ResultPane::Opened(bool ok, const std::string& error) {
    if (!ok || Grid().QueryFailed())
        window_.SetStatusPaneText(0, FromGb(error));
    else
        window_.SetStatusPaneText(0, FromGb("就绪"));
    AfterLoad({});
}

void ResultPane::Reload() {
    if (task_ <= 0 || !model_->HasTask())
        return;
    const std::vector<long long> selected = SelectedIds();
    model_->Reload();
    AfterLoad(selected);
}

void ResultPane::ReloadForRun() {
    // A run saves a batch every few hundred records: the page of a large table is read again at
    // most once per interval, so that a harvest does not keep the window busy.
    if (lastRunReload_.isValid() && lastRunReload_.elapsed() < kRunReloadMs) {
        if (!runReload_->isActive())
            runReload_->start(static_cast<int>(kRunReloadMs - lastRunReload_.elapsed()));
        return;
    }
    lastRunReload_.start();
    Reload();
}

void ResultPane::GoToPage(int page) {
    if (task_ <= 0 || !model_->HasTask())
        return;
    model_->GoToPage(page);
    AfterLoad({});
}

void ResultPane::AfterLoad(const std::vector<long long>& keepSelected) {
    ApplyWidths();
    for (const long long id : keepSelected) {
        const int row = model_->RowOf(id);
        if (row >= 0)
            view_->selectionModel()->select(model_->index(row, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    const GridPaging& paging = Grid().Paging();
    const bool shown = task_ > 0 && model_->HasTask() && !Grid().QueryFailed();
    pageLabel_->setText(
        shown ? FromGb(Format("共 %lld 条记录 第 %d/%d 页", paging.total, paging.page, paging.pages))
              : QString());
    first_->setEnabled(shown && paging.page > 1);
    previous_->setEnabled(shown && paging.page > 1);
    next_->setEnabled(shown && paging.page < paging.pages);
    last_->setEnabled(shown && paging.page < paging.pages);
    UpdateGridActions();
    emit Reloaded();
}

void ResultPane::ApplyWidths() {
    applyingWidths_ = true;
    const int columns = model_->columnCount();
    if (columns > 0)
        view_->setColumnWidth(0, kRowNumberWidth);
    const bool failed = Grid().QueryFailed();
    for (int section = 1; section < columns; ++section) {
        const size_t field = static_cast<size_t>(section - 1);
        const int width = !failed && field < widths_.size() ? widths_[field] : -1;
        const bool hidden = width == 0 && !showHidden_->isChecked();
        view_->setColumnHidden(section, hidden);
        if (!hidden)
            view_->setColumnWidth(
                section, width > 0 ? width : (failed ? 4 * kDefaultColumnWidth : kDefaultColumnWidth));
    }
    applyingWidths_ = false;
}

void ResultPane::OnSectionResized(int section, int, int newSize) {
    if (applyingWidths_ || section <= 0 || task_ <= 0 || Grid().QueryFailed() || newSize <= 0)
        return;
    const size_t field = static_cast<size_t>(section - 1);
    if (field >= Grid().Query().columns.size())
        return;
    if (widths_.size() < Grid().Query().columns.size())
        widths_.resize(Grid().Query().columns.size(), -1);
    widths_[field] = newSize;
    widthsChanged_ = true;
    widthTimer_->start();
}

void ResultPane::FlushWidths() {
    if (!widthsChanged_ || task_ <= 0)
        return;
    widthsChanged_ = false;
    widthTimer_->stop();
    // Columns the user did not size keep the width they show; hidden ones stay hidden.
    std::vector<int> widths = widths_;
    for (size_t field = 0; field < widths.size(); ++field) {
        if (widths[field] < 0)
            widths[field] = std::max(view_->columnWidth(static_cast<int>(field) + 1), 1);
    }
    std::string error;
    if (!WriteColumnWidths(task_, widths, error))
        window_.SetStatusPaneText(0, FromGb(error));
}

void ResultPane::FillFilterMenu() {
    QMenu* menu = window_.FilterMenu();
    menu->clear();
    for (QAction* item : {addCondition_, saveCondition_, defaultCondition_, deleteCondition_})
        menu->addAction(item);
    if (task_ <= 0)
        return;
    const std::string settings = TaskSettings(task_);
    const std::vector<int> used = SavedFilterSlots(settings);
    if (used.empty())
        return;
    menu->addSeparator();
    const int loaded = State().loadedSlot;
    const int defaultSlot = DefaultSavedFilter(settings);
    int number = 0;
    for (const int slot : used) {
        FilterCondition condition;
        ReadSavedFilter(settings, slot, condition);
        QAction* item = menu->addAction(
            FromGb(SavedFilterMenuLabel(++number, condition, slot == loaded, slot == defaultSlot)));
        item->setObjectName(QStringLiteral("savedCondition%1").arg(slot));
        connect(item, &QAction::triggered, this, [this, slot] { LoadCondition(slot); });
    }
}

void ResultPane::LoadCondition(int slot) {
    if (task_ <= 0)
        return;
    FilterCondition condition;
    if (!ReadSavedFilter(TaskSettings(task_), slot, condition))
        return;
    State().loadedSlot = slot;
    bar_->SetCondition(condition);
    ApplyFilter();
}

void ResultPane::SaveCondition(int command) {
    if (task_ <= 0)
        return;
    const FilterCondition condition = bar_->Condition();
    int slot = command == kAdd ? kNoSavedFilter : State().loadedSlot;
    std::string error;
    bool ok = false;
    if (command == kMakeDefault)
        ok = MakeDefaultSavedFilter(task_, condition, slot, error);
    else
        ok = SaveSavedFilter(task_, condition, slot, error);
    if (!ok) {
        prompt_.ShowMessage(error);
        return;
    }
    State().loadedSlot = slot;
    State().condition = condition;
}

void ResultPane::UpdateGridActions() {
    for (QAction* item : {addCondition_, saveCondition_, defaultCondition_, deleteCondition_})
        item->setEnabled(task_ > 0);
    const bool rows = task_ > 0 && !SelectedIds().empty();
    for (QAction* level : levels_)
        level->setEnabled(rows);
    levelMenu_->setEnabled(rows);
    delete_->setEnabled(rows);
    searchSelected_->setEnabled(rows);
    searchUnsearched_->setEnabled(task_ > 0);
    importKeywords_->setEnabled(task_ > 0);
}

void ResultPane::SetLevel(int level) {
    const std::vector<long long> ids = SelectedIds();
    if (task_ <= 0 || ids.empty())
        return;
    std::string error;
    if (!SetRecordLevel(task_, ids, level, error))
        prompt_.ShowMessage(error);
    Reload();
}

void ResultPane::DeleteSelected() {
    const std::vector<long long> ids = SelectedIds();
    if (task_ <= 0 || ids.empty())
        return;
    RecordDeleteOutcome outcome;
    if (DeleteResultRecords(task_, ids, prompt_, outcome))
        Reload();
}

void ResultPane::SearchKeywords(bool selectedOnly) {
    if (task_ <= 0)
        return;
    const std::vector<long long> ids = SelectedIds();
    std::string list;
    std::string error;
    if (!GridKeywordList(task_, selectedOnly ? &ids : nullptr, list, error)) {
        prompt_.ShowMessage(error);
        return;
    }
    StartRequest request;
    request.taskNumber = task_;
    request.keywordList = list;
    if (tasks_.Commander()->Controller().StartTask(request))
        tasks_.Pane()->Refresh();
}

void ResultPane::ImportKeywords() {
    if (task_ <= 0)
        return;
    ExchangeDialog dialog(ExchangeDialog::Mode::kImport, 0, task_, prompt_, &window_);
    prompt_.RunDialog(dialog);
    Reload();
}

}  // namespace sorvik::gui
