#include "gui/task_pane.h"

#include <QAction>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <memory>
#include <mutex>

#include "engine/run_controller.h"
#include "engine/url_list.h"
#include "gui/gb_qstring.h"
#include "gui/gui_prompt.h"
#include "gui/task_commander.h"
#include "gui/task_list_model.h"
#include "mail/mailbox.h"
#include "store/database.h"
#include "store/task_table.h"
#include "text/file_helpers.h"
#include "workbench/search_bar.h"

namespace sorvik::gui {

namespace {

QAction* NewAction(QWidget* owner, const char* text, const char* name) {
    auto* action = new QAction(FromGb(text), owner);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

}  // namespace

TaskPane::TaskPane(TaskCommander& commander, GuiPrompt& prompt, QWidget* parent)
    : QWidget(parent), commander_(commander), prompt_(prompt) {
    setObjectName(QStringLiteral("taskPane"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    searchBar_ = new QWidget(this);
    searchBar_->setObjectName(QStringLiteral("searchBar"));
    auto* barLayout = new QHBoxLayout(searchBar_);
    barLayout->setContentsMargins(4, 2, 4, 2);
    keywordBox_ = new QComboBox(searchBar_);
    keywordBox_->setObjectName(QStringLiteral("keywordBox"));
    keywordBox_->setEditable(true);
    keywordBox_->setInsertPolicy(QComboBox::NoInsert);
    keywordBox_->setMinimumWidth(220);
    keywordBox_->lineEdit()->setPlaceholderText(FromGb("搜索关键字"));
    barLayout->addWidget(keywordBox_, 2);
    choicesLayout_ = new QHBoxLayout;
    barLayout->addLayout(choicesLayout_);
    optionBox_ = new QComboBox(searchBar_);
    optionBox_->setObjectName(QStringLiteral("optionBox"));
    barLayout->addWidget(optionBox_);
    searchButton_ = new QPushButton(FromGb("搜索"), searchBar_);
    searchButton_->setObjectName(QStringLiteral("searchButton"));
    barLayout->addWidget(searchButton_);
    barLayout->addStretch(1);
    // On a result node the list is hidden: the bar stays at the top of its row, not in its middle.
    layout->addWidget(searchBar_, 0, Qt::AlignTop);
    connect(searchButton_, &QPushButton::clicked, this, &TaskPane::StartSearch);
    connect(keywordBox_->lineEdit(), &QLineEdit::returnPressed, this, &TaskPane::StartSearch);
    connect(keywordBox_, qOverload<int>(&QComboBox::activated), this, &TaskPane::OnKeywordActivated);
    keywordBox_->lineEdit()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(keywordBox_->lineEdit(), &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        std::unique_ptr<QMenu> menu(keywordBox_->lineEdit()->createStandardContextMenu());
        menu->addSeparator();
        QAction* fromFile = menu->addAction(FromGb("搜索关键字从文本文件中提取(&R)..."));
        fromFile->setEnabled(searchTask_ > 0);
        if (menu->exec(keywordBox_->lineEdit()->mapToGlobal(pos)) == fromFile)
            StartSearchFromFile();
    });

    model_ = new TaskListModel([this](int id) { return commander_.Controller().EntryState(id); }, this);
    view_ = new QTableView(this);
    view_->setObjectName(QStringLiteral("taskList"));
    view_->setModel(model_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setIconSize(QSize(16, 16));
    view_->setShowGrid(false);
    view_->setWordWrap(false);
    view_->verticalHeader()->hide();
    view_->verticalHeader()->setDefaultSectionSize(20);
    view_->horizontalHeader()->setHighlightSections(false);
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(view_, 1);

    BuildActions();
    connect(view_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QMenu menu(this);
        AddCommandsTo(&menu);
        menu.exec(view_->viewport()->mapToGlobal(pos));
    });
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        UpdateActions();
        const std::vector<int> ids = SelectedTaskIds();
        if (!ids.empty() && ids.front() != searchTask_)
            BuildSearchBar(ids.front());
    });
    connect(view_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (const int id = model_->TaskId(index.row()))
            commander_.ShowProperties(id, this);
    });
    connect(&commander_, &TaskCommander::TasksChanged, this, &TaskPane::Refresh);
    BuildSearchBar(0);
    UpdateActions();
}

void TaskPane::BuildActions() {
    static const struct {
        const char* text;
        const char* name;
    } kCommands[kCommandCount] = {
        {"开始(&S)", "taskStart"},
        {"暂停(&P)", "taskPause"},
        {"停止(&S)", "taskStop"},
        {"全部开始(&A)", "taskStartAll"},
        {"全部暂停(&A)", "taskPauseAll"},
        {"上移到顶部(&T)", "taskMoveTop"},
        {"下移到底部(&B)", "taskMoveBottom"},
        {"删除(&D)", "taskDelete"},
        {"属性(&P)...", "taskProperties"},
        {"浏览引用页(&B)", "taskBrowse"},
        {"用默认浏览器打开(&O)", "taskOpen"},
        {"计划(&S)...", "taskPlan"},
        {"重新搜索(&S)", "taskSearchAgain"},
    };
    for (int i = 0; i < kCommandCount; ++i)
        actions_[i] = NewAction(this, kCommands[i].text, kCommands[i].name);
    actions_[kStart]->setShortcut(QKeySequence(Qt::Key_F9));
    actions_[kPause]->setShortcut(QKeySequence(Qt::Key_F11));
    // The Delete key reaches the list itself (see eventFilter), with Shift for good.
    view_->installEventFilter(this);

    connect(actions_[kStart], &QAction::triggered, this, [this] { commander_.Start(SelectedTaskIds()); });
    connect(actions_[kPause], &QAction::triggered, this, [this] { commander_.Pause(SelectedTaskIds()); });
    connect(actions_[kStop], &QAction::triggered, this, [this] { commander_.Stop(SelectedTaskIds()); });
    connect(actions_[kStartAll], &QAction::triggered, this,
            [this] { commander_.StartAll(model_->TaskIds()); });
    connect(actions_[kPauseAll], &QAction::triggered, this, [this] { commander_.PauseAll(); });
    connect(actions_[kMoveTop], &QAction::triggered, this, [this] {
        const std::set<int> ids = SelectedSet();
        model_->MoveTasks(ids, true);
        for (const int id : ids)
            SelectTask(id);
    });
    connect(actions_[kMoveBottom], &QAction::triggered, this, [this] {
        const std::set<int> ids = SelectedSet();
        model_->MoveTasks(ids, false);
        for (const int id : ids)
            SelectTask(id);
    });
    connect(actions_[kDelete], &QAction::triggered, this, [this] {
        DeleteSelected(QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier));
    });
    connect(actions_[kProperties], &QAction::triggered, this, [this] {
        const std::vector<int> ids = SelectedTaskIds();
        if (!ids.empty())
            commander_.ShowProperties(ids.front(), this);
    });
    auto first = [this](void (TaskCommander::*command)(int)) {
        return [this, command] {
            const std::vector<int> ids = SelectedTaskIds();
            if (!ids.empty())
                (commander_.*command)(ids.front());
        };
    };
    connect(actions_[kBrowse], &QAction::triggered, this, first(&TaskCommander::Browse));
    connect(actions_[kOpenInBrowser], &QAction::triggered, this, first(&TaskCommander::OpenInDefaultBrowser));
    connect(actions_[kSearchAgain], &QAction::triggered, this, first(&TaskCommander::SearchAgain));
    connect(actions_[kPlan], &QAction::triggered, this, [this] {
        const std::vector<int> ids = SelectedTaskIds();
        if (!ids.empty())
            commander_.Plan(ids.front(), this);
    });
}

bool TaskPane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete) {
            DeleteSelected(key->modifiers().testFlag(Qt::ShiftModifier));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TaskPane::AddCommandsTo(QMenu* menu) const {
    for (int i = 0; i < kCommandCount; ++i) {
        if (i == kStartAll || i == kMoveTop || i == kDelete || i == kBrowse || i == kPlan)
            menu->addSeparator();
        menu->addAction(actions_[i]);
    }
}

void TaskPane::UpdateActions() {
    const bool selected = !SelectedTaskIds().empty();
    for (QAction* action : actions_)
        action->setEnabled(selected);
}

std::vector<int> TaskPane::SelectedTaskIds() const {
    std::vector<int> ids;
    if (!view_->selectionModel())
        return ids;
    QModelIndexList rows = view_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& index : rows) {
        if (const int id = model_->TaskId(index.row()))
            ids.push_back(id);
    }
    return ids;
}

std::set<int> TaskPane::SelectedSet() const {
    const std::vector<int> ids = SelectedTaskIds();
    return std::set<int>(ids.begin(), ids.end());
}

void TaskPane::SelectTask(int taskId) {
    const int row = model_->RowOf(taskId);
    if (row < 0)
        return;
    view_->selectionModel()->select(model_->index(row, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view_->setCurrentIndex(model_->index(row, 0));
}

void TaskPane::ShowList(int list) {
    view_->show();
    std::string error;
    if (!model_->Load(list, error)) {
        prompt_.ShowMessage(error);
        return;
    }
    if (!widthsSet_ && view_->viewport()->width() > 100) {
        // A date needs more than 80 pixels at a font larger than the design's: never cut one.
        const int dateWidth =
            view_->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00 0000-00-00")) + 12;
        const std::vector<int> widths = TaskListColumnWidths(view_->viewport()->width(), dateWidth);
        for (size_t i = 0; i < widths.size(); ++i)
            view_->setColumnWidth(static_cast<int>(i), widths[i]);
        widthsSet_ = true;
    }
    UpdateActions();
}

void TaskPane::ShowTask(int taskId) {
    // A result node's row of the window holds the search bar alone.
    view_->hide();
    BuildSearchBar(taskId);
}

void TaskPane::Refresh() {
    const std::set<int> selected = SelectedSet();
    std::string error;
    if (!model_->Reload(error))
        return;
    for (const int id : selected)
        SelectTask(id);
    UpdateActions();
}

void TaskPane::DeleteSelected(bool shiftHeld) {
    const std::vector<int> ids = SelectedTaskIds();
    if (ids.empty())
        return;
    const std::vector<int> removed = commander_.Delete(ids, model_->List(), shiftHeld);
    model_->RemoveTasks(removed);
    UpdateActions();
}

void TaskPane::BuildSearchBar(int taskId) {
    searchTask_ = taskId;
    searchScript_.clear();
    if (taskId > 0) {
        std::scoped_lock lock(g_csDatabase);
        CTaskTable tasks;
        searchScript_ = tasks.ReadTaskScript(taskId);
    }
    std::string error;
    const SearchBarModel bar = ::sorvik::BuildSearchBar(searchScript_, error);
    for (QComboBox* box : categoryBoxes_)
        box->deleteLater();
    categoryBoxes_.clear();
    while (QLayoutItem* item = choicesLayout_->takeAt(0)) {
        if (item->widget())
            item->widget()->deleteLater();
        delete item;
    }
    for (const SearchCategoryChoice& choice : bar.categories) {
        choicesLayout_->addWidget(new QLabel(FromGb(choice.name), searchBar_));
        auto* box = new QComboBox(searchBar_);
        box->setEditable(!choice.listOnly);
        for (const std::string& value : choice.values)
            box->addItem(FromGb(value));
        box->setCurrentText(FromGb(choice.value));
        box->setMinimumWidth(100);
        choicesLayout_->addWidget(box);
        categoryBoxes_.push_back(box);
    }
    optionBox_->clear();
    for (const std::string& option : bar.options)
        optionBox_->addItem(FromGb(option));
    optionBox_->setCurrentText(FromGb(bar.option));
    optionBox_->setVisible(!bar.options.empty());
    keywordBox_->setEnabled(taskId > 0 && bar.keywordBox);
    searchButton_->setEnabled(taskId > 0);
    ReloadKeywordHistory();
    if (!error.empty())
        prompt_.ShowMessage(error);
}

void TaskPane::ReloadKeywordHistory() {
    const QString typed = keywordBox_->currentText();
    std::vector<std::string> items;
    std::string error;
    keywordBox_->clear();
    if (LoadKeywordHistory(items, error)) {
        for (const std::string& item : items)
            keywordBox_->addItem(FromGb(item));
    }
    keywordBox_->setCurrentIndex(-1);
    keywordBox_->setEditText(typed);
}

void TaskPane::OnKeywordActivated(int index) {
    if (keywordBox_->itemText(index) != FromGb(kDeleteHistoryItem))
        return;
    std::string error;
    if (prompt_.AskOkCancel("确定删除所有历史搜索关键字吗？") && !ClearKeywordHistory(error))
        prompt_.ShowMessage(error);
    keywordBox_->setEditText(QString());
    ReloadKeywordHistory();
}

void TaskPane::StartSearch() {
    if (searchTask_ <= 0)
        return;
    const std::string entered = ToGb(keywordBox_->currentText());
    std::string keywords;
    std::string historyError;
    if (!entered.empty())
        keywords = BuildKeywordList(entered, searchScript_, searchTask_, &historyError);
    StartSearchWith(keywords);
}

void TaskPane::StartSearchWith(const std::string& keywordList) {
    if (IsMailboxTask(searchScript_)) {
        emit ReceiveMailRequested(searchTask_);
        return;
    }
    StartRequest request;
    request.taskNumber = searchTask_;
    request.keywordList = keywordList;
    request.optionText = DownloadOptionText(searchScript_, ToGb(optionBox_->currentText()));
    std::vector<std::string> choices;
    for (const QComboBox* box : categoryBoxes_)
        choices.push_back(ToGb(box->currentText()));
    request.searchObjectText = SearchObjectText(choices);
    const bool started = commander_.Controller().StartTask(request);
    ReloadKeywordHistory();
    if (!started && request.keywordList.empty())
        keywordBox_->setFocus();
    if (started)
        Refresh();
}

void TaskPane::StartSearchFromFile() {
    if (searchTask_ <= 0)
        return;
    const QString path = prompt_.AskOpenFileName(FromGb("文本文件 (*.txt)"));
    if (path.isEmpty())
        return;
    // The file's whole content is the keyword list, as it is.
    std::string keywords;
    if (!ReadWholeFile(path.toStdString(), keywords)) {
        prompt_.ShowMessage("打开文件失败！\r\n" + ToGb(path));
        return;
    }
    StartSearchWith(keywords);
}

}  // namespace sorvik::gui
