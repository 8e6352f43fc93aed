#include "gui/task_editor.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <ctime>
#include <mutex>

#include "engine/script_check.h"
#include "gui/category_tree_view.h"
#include "gui/gb_qstring.h"
#include "gui/main_window.h"
#include "gui/prompter.h"
#include "gui/script_edit.h"
#include "gui/search_engine_dialog.h"
#include "gui/task_commander.h"
#include "gui/task_pane.h"
#include "gui/value_method_dialog.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/system_tables.h"
#include "store/task_table.h"
#include "workbench/category_tree.h"
#include "workbench/task_actions.h"

namespace sorvik::gui {

namespace {

constexpr int kRestartPauseMs = 300;
constexpr int kCheckDelayMs = 400;

// GB18030 CR LF text as a pane shows it (LF lines). A fetched page's CR LF lines arrive as CR CR LF
// (the fetcher makes every LF a CR LF): one line end as well.
QString PaneText(std::string_view gb) {
    QString text = FromGb(gb);
    text.replace(QStringLiteral("\r\r\n"), QStringLiteral("\n"));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// A pane's text as the core holds it.
std::string CoreText(const QString& text) {
    return ScriptLines(ToGb(text));
}

// The pane position of a byte offset of a GB18030 text.
int PanePosition(std::string_view gb, size_t offset) {
    return static_cast<int>(PaneText(gb.substr(0, std::min(offset, gb.size()))).size());
}

QAction* NewAction(QObject* parent, const char* text, const char* name, const QKeySequence& key = {}) {
    auto* action = new QAction(FromGb(text), parent);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(key);
    return action;
}

}  // namespace

TaskEditor::TaskEditor(MainWindow& window, TaskCommander& commander, Prompter& prompter,
                       WorkbenchSelection& selection, CategoryTreeView& tree, TaskPane& pane)
    : window_(window),
      commander_(commander),
      prompter_(prompter),
      selection_(selection),
      tree_(tree),
      pane_(pane),
      paneStart_(pane.CommandAction(TaskPane::kStart)) {
    setObjectName(QStringLiteral("taskEditor"));
    BuildPanes();
    BuildActions();
    checkTimer_ = new QTimer(this);
    checkTimer_->setSingleShot(true);
    checkTimer_->setInterval(kCheckDelayMs);
    connect(checkTimer_, &QTimer::timeout, this, &TaskEditor::CheckScriptNow);
    connect(script_, &QPlainTextEdit::textChanged, checkTimer_, qOverload<>(&QTimer::start));
    MakeFresh();
    window_.SetEditorPane(this);
    tree_.SetEditorGuard(this);
    connect(&window_, &MainWindow::CurrentNodeChanged, this, &TaskEditor::OnNodeChanged);
    connect(&window_, &MainWindow::TestRunEnded, this, &TaskEditor::OnTestRunEnded);
    connect(script_, &ScriptEdit::CategoryDropped, this, &TaskEditor::OnCategoryDropped);
    window_.AddCloseCheck([this] { return AskToSave(); });
    OnNodeChanged(window_.CurrentNode(), window_.CurrentNodeKind(), window_.CurrentNodeTask());
}

void TaskEditor::BuildPanes() {
    splitter_ = new QSplitter(Qt::Vertical, this);
    splitter_->setObjectName(QStringLiteral("editorSplitter"));
    splitter_->setChildrenCollapsible(false);

    auto* scriptBox = new QWidget(splitter_);
    auto* scriptLayout = new QVBoxLayout(scriptBox);
    scriptLayout->setContentsMargins(0, 0, 0, 0);
    scriptLayout->setSpacing(2);
    findBar_ = new QWidget(scriptBox);
    findBar_->setObjectName(QStringLiteral("scriptFindBar"));
    auto* findLayout = new QHBoxLayout(findBar_);
    findLayout->setContentsMargins(4, 2, 4, 2);
    findText_ = new QLineEdit(findBar_);
    findText_->setObjectName(QStringLiteral("scriptFindText"));
    auto* previous = new QToolButton(findBar_);
    previous->setArrowType(Qt::UpArrow);
    auto* next = new QToolButton(findBar_);
    next->setArrowType(Qt::DownArrow);
    auto* close = new QToolButton(findBar_);
    close->setText(QStringLiteral("x"));
    findLayout->addWidget(new QLabel(FromGb("查找:"), findBar_));
    findLayout->addWidget(findText_, 1);
    findLayout->addWidget(previous);
    findLayout->addWidget(next);
    findLayout->addWidget(close);
    findBar_->hide();
    script_ = new ScriptEdit(scriptBox);
    problems_ = new QListWidget(scriptBox);
    problems_->setObjectName(QStringLiteral("scriptProblems"));
    problems_->hide();
    scriptLayout->addWidget(findBar_);
    scriptLayout->addWidget(script_, 1);
    scriptLayout->addWidget(problems_);
    splitter_->addWidget(scriptBox);

    auto find = [this](bool backward) {
        const bool found = script_->FindNext(findText_->text(), backward);
        findText_->setStyleSheet(found || findText_->text().isEmpty() ? QString()
                                                                      : QStringLiteral("background:#ffd6d6"));
    };
    connect(findText_, &QLineEdit::returnPressed, this, [find] { find(false); });
    connect(next, &QToolButton::clicked, this, [find] { find(false); });
    connect(previous, &QToolButton::clicked, this, [find] { find(true); });
    connect(close, &QToolButton::clicked, this, [this] {
        findBar_->hide();
        script_->setFocus();
    });
    connect(problems_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const QTextBlock block = script_->document()->findBlockByNumber(item->data(Qt::UserRole).toInt());
        if (block.isValid()) {
            script_->setTextCursor(QTextCursor(block));
            script_->setFocus();
        }
    });

    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    output_ = new QPlainTextEdit(splitter_);
    output_->setObjectName(QStringLiteral("outputPane"));
    output_->setLineWrapMode(QPlainTextEdit::NoWrap);
    output_->setFont(mono);
    splitter_->addWidget(output_);
    page_ = new QPlainTextEdit(splitter_);
    page_->setObjectName(QStringLiteral("pageSourcePane"));
    page_->setLineWrapMode(QPlainTextEdit::NoWrap);
    page_->setFont(mono);
    splitter_->addWidget(page_);
    splitter_->setStretchFactor(0, 3);
    splitter_->setStretchFactor(1, 2);
    splitter_->setStretchFactor(2, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter_);
}

void TaskEditor::BuildActions() {
    actions_[kNew] = NewAction(this, "新建任务(&N)", "editorNew");
    actions_[kSave] = NewAction(this, "保存任务(&S)", "editorSave", QKeySequence(Qt::CTRL | Qt::Key_S));
    actions_[kTest] = NewAction(this, "测试任务(&T)", "editorTest", QKeySequence(Qt::Key_F8));
    actions_[kAdd] = NewAction(this, "加入任务(&A)", "editorAdd");
    actions_[kModify] = NewAction(this, "修改任务(&E)", "editorModify");
    actions_[kTemplates] = NewAction(this, "打开模版或自定义脚本(&O)", "editorTemplates");
    actions_[kKeyPopup] = NewAction(this, "加入脚本参数(&S)", "editorKeyPopup", QKeySequence(Qt::Key_F4));
    actions_[kFieldPopup] = NewAction(this, "加入字段参数(&I)", "editorFieldPopup", QKeySequence(Qt::Key_F5));
    actions_[kValueMethod] =
        NewAction(this, "设置参数取值方法(&P)", "editorValueMethod", QKeySequence(Qt::Key_F6));
    actions_[kComment] = NewAction(this, "注释(M)", "editorComment", QKeySequence(Qt::Key_F7));
    actions_[kUncomment] =
        NewAction(this, "解除注释(&U)", "editorUncomment", QKeySequence(Qt::SHIFT | Qt::Key_F7));
    actions_[kZoom] = NewAction(this, "放大/缩小(&Z)", "editorZoom", QKeySequence(Qt::Key_F2));
    actions_[kZoom]->setCheckable(true);
    // F9 belongs to this action while the editor is shown, to the task list's start otherwise.
    actions_[kStart] = NewAction(this, "开始(&S)", "editorStart");
    actions_[kFind] = NewAction(this, "查找(&F)...", "editorFind", QKeySequence(Qt::CTRL | Qt::Key_F));
    actions_[kFind]->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(actions_[kFind]);
    actions_[kSearchEngines] = NewAction(this, "选择搜索引擎(&G)...", "chooseSearchEngines");

    connect(actions_[kNew], &QAction::triggered, this, [this] {
        const int node = tree_.ItemOf(kNodeScriptEditor) ? kNodeScriptEditor : -1;
        if (node > 0)
            window_.SelectNode(node);
    });
    connect(actions_[kSave], &QAction::triggered, this, &TaskEditor::Save);
    connect(actions_[kTest], &QAction::triggered, this, &TaskEditor::RunTest);
    connect(actions_[kAdd], &QAction::triggered, this, &TaskEditor::AddTask);
    connect(actions_[kModify], &QAction::triggered, this, &TaskEditor::ModifyTask);
    connect(actions_[kTemplates], &QAction::triggered, this, &TaskEditor::ShowTemplateMenu);
    connect(actions_[kKeyPopup], &QAction::triggered, this, &TaskEditor::ShowKeyPopup);
    connect(actions_[kFieldPopup], &QAction::triggered, this, &TaskEditor::ShowFieldPopup);
    connect(actions_[kValueMethod], &QAction::triggered, this, &TaskEditor::ShowValueMethodDialog);
    connect(actions_[kComment], &QAction::triggered, this, &TaskEditor::Comment);
    connect(actions_[kUncomment], &QAction::triggered, this, &TaskEditor::Uncomment);
    connect(actions_[kZoom], &QAction::triggered, this, &TaskEditor::ToggleZoom);
    connect(actions_[kStart], &QAction::triggered, this, &TaskEditor::RestartTest);
    connect(actions_[kFind], &QAction::triggered, this, &TaskEditor::ShowFind);
    connect(actions_[kSearchEngines], &QAction::triggered, this, &TaskEditor::ChooseSearchEngines);
}

void TaskEditor::AddCommandsTo(QMenu* menu) const {
    for (const Command command : {kNew, kSave, kTest, kStart, kAdd, kModify})
        menu->addAction(actions_[command]);
    menu->addSeparator();
    menu->addAction(actions_[kTemplates]);
    menu->addSeparator();
    for (const Command command : {kKeyPopup, kFieldPopup, kValueMethod, kComment, kUncomment})
        menu->addAction(actions_[command]);
    menu->addSeparator();
    menu->addAction(actions_[kFind]);
    menu->addAction(actions_[kZoom]);
    QObject::connect(menu, &QMenu::aboutToShow, this, &TaskEditor::UpdateTaskActions);
}

void TaskEditor::UpdateTaskActions() {
    actions_[kModify]->setEnabled(TaskForModify() > 0);
    actions_[kSearchEngines]->setEnabled(SearchEngineTask() > 0);
}

void TaskEditor::OnNodeChanged(int, int kind, int) {
    const bool shown = kind == kKindScriptEditor;
    window_.ShowEditorPane(shown);
    tree_.SetCategoryDragEnabled(shown);
    if (shown != shown_) {
        // F9: the editor's start while it is shown, the task list's otherwise.
        actions_[kStart]->setShortcut(shown ? QKeySequence(Qt::Key_F9) : QKeySequence());
        paneStart_->setShortcut(shown ? QKeySequence() : QKeySequence(Qt::Key_F9));
    }
    shown_ = shown;
    for (const Command command : {kSave, kTest, kStart, kAdd, kTemplates, kKeyPopup, kFieldPopup,
                                  kValueMethod, kComment, kUncomment, kZoom, kFind})
        actions_[command]->setEnabled(shown);
    if (shown)
        script_->setFocus();
}

// --- texts ----------------------------------------------------------------------------------

std::string TaskEditor::ScriptText() const {
    return CoreText(script_->toPlainText());
}

std::string TaskEditor::PageText() const {
    return CoreText(page_->toPlainText());
}

void TaskEditor::SetScriptText(const std::string& script, ScriptSelection select) {
    // One undoable step.
    QTextCursor cursor(script_->document());
    cursor.select(QTextCursor::Document);
    cursor.insertText(PaneText(script));
    if (select.start != std::string::npos) {
        cursor.setPosition(PanePosition(script, select.start));
        cursor.setPosition(PanePosition(script, select.end), QTextCursor::KeepAnchor);
    }
    script_->setTextCursor(cursor);
}

void TaskEditor::MakeFresh() {
    script_->setPlainText(PaneText(kScriptPaneHeader));
    output_->setPlainText(PaneText(kOutputPaneHeader));
    page_->setPlainText(PaneText(kPagePaneHeader));
    script_->document()->setModified(false);
    script_->moveCursor(QTextCursor::End);
    CheckScriptNow();
    if (shown_)
        script_->setFocus();
}

void TaskEditor::RestoreLayout() {
    if (!state_.zoomed)
        return;
    state_.zoomed = false;
    actions_[kZoom]->setChecked(false);
    output_->show();
    page_->show();
}

void TaskEditor::SetEditorNodeLabel() {
    if (QTreeWidgetItem* item = tree_.ItemOf(kNodeScriptEditor))
        item->setText(0, FromGb(state_.mode == EditorMode::kModifyTask ? "修改任务" : "新建任务"));
}

bool TaskEditor::ScriptHasFocus() const {
    return script_->hasFocus();
}

void TaskEditor::InsertAtCaret(const std::string& text) {
    script_->textCursor().insertText(PaneText(text));
}

void TaskEditor::CheckScriptNow() {
    checkTimer_->stop();
    const std::string script = ScriptText();
    std::vector<ScriptEdit::Problem> marks;
    problems_->clear();
    for (const ScriptProblem& problem : CheckScript(script)) {
        const bool error = problem.severity == CheckSeverity::kError;
        marks.push_back({problem.line - 1, FromGb(problem.message), error});
        auto* item = new QListWidgetItem(QStringLiteral("%1: ").arg(problem.line) + FromGb(problem.message),
                                         problems_);
        item->setData(Qt::UserRole, problem.line - 1);
        item->setForeground(error ? QColor(0xc0, 0x20, 0x20) : QColor(0xa0, 0x60, 0x00));
    }
    // As high as its lines, up to five.
    const int rows = std::min(problems_->count(), 5);
    if (rows > 0)
        problems_->setFixedHeight(rows * problems_->sizeHintForRow(0) + 2 * problems_->frameWidth() + 2);
    problems_->setVisible(rows > 0);
    script_->SetProblems(std::move(marks));
    QStringList keys;
    for (const std::string& key : ScriptCompletionKeys(script))
        keys << FromGb(key);
    script_->SetCompletionKeys(keys);
}

// --- saving ---------------------------------------------------------------------------------

bool TaskEditor::SaveEditor(bool reselect) {
    RestoreLayout();
    std::string script = ScriptText();
    const bool taskSave = state_.mode == EditorMode::kModifyTask;
    const EditorSaveResult result = SaveEditorScript(state_, script, PageText());
    if (result.scriptChanged)
        SetScriptText(script, result.select);
    if (!result.saved) {
        prompter_.ShowMessage(result.message);
        return false;
    }
    if (taskSave) {
        MakeFresh();
        SetEditorNodeLabel();
    }
    script_->document()->setModified(false);
    prompter_.ShowMessage(result.message);
    if (reselect && result.reselectCategory > 0)
        window_.SelectNode(result.reselectCategory);
    return true;
}

void TaskEditor::Save() {
    SaveEditor(true);
}

bool TaskEditor::HasUnsavedChanges() {
    return script_->document()->isModified();
}

bool TaskEditor::SaveScript() {
    return SaveEditor(false);
}

void TaskEditor::DiscardChanges() {
    script_->document()->setModified(false);
}

bool TaskEditor::AskToSave() {
    if (!HasUnsavedChanges())
        return true;
    switch (prompter_.AskYesNoCancel("是否保存当前脚本？")) {
        case PromptAnswer::kYes:
            return SaveEditor(false);
        case PromptAnswer::kNo:
            return true;
        case PromptAnswer::kCancel:
            break;
    }
    return false;
}

// --- test runs ------------------------------------------------------------------------------

bool TaskEditor::StartTest(const StartRequest& request) {
    RunController& controller = commander_.Controller();
    testRunning_ = true;
    if (!controller.StartTask(request)) {
        testRunning_ = false;
        return false;
    }
    // Starts, searches and resumes wait until the test has ended.
    controller.SetEditorBusy(true);
    lastTest_ = request;
    return true;
}

void TaskEditor::RunTest() {
    if (testRunning_)
        return;
    if (commander_.Controller().TaskActive(0)) {
        output_->setPlainText(PaneText(kTestStillRunning));
        return;
    }
    RestoreLayout();
    QString selection = script_->textCursor().selectedText();
    selection.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    const TestRunPlan plan = PrepareTestRun(ToGb(selection), ScriptText(), PageText());
    if (!plan.refusal.empty()) {
        output_->setPlainText(PaneText(plan.refusal));
        return;
    }
    std::string error;
    if (!CreateLookupTables(plan.script, error)) {
        prompter_.ShowMessage(error);
        return;
    }
    if (state_.mode == EditorMode::kModifyTask && !StoreTestColumnMetadata(state_.taskId, plan.script, error))
        prompter_.ShowMessage(error);
    output_->clear();
    StartRequest request;
    request.taskNumber = 0;
    request.testScript = plan.script;
    request.testPage = plan.page;
    request.testPageLimit = plan.pageLimit;
    StartTest(request);
}

void TaskEditor::RestartTest() {
    if (startPending_) {
        prompter_.ShowMessage("任务还没完成，请等待！");
        return;
    }
    std::string stored;
    {
        std::scoped_lock lock(g_csDatabase);
        stored = CDbAccess().SelectTopString("ID", "Task", "ID=0 and iType=3");
    }
    // Only a test this editor ran can be started again: its script is not kept in the row.
    if (stored.empty() || lastTest_.testScript.empty()) {
        prompter_.ShowMessage("请先测试任务！");
        return;
    }
    startPending_ = true;
    QTimer::singleShot(kRestartPauseMs, this, [this] { startPending_ = false; });
    if (!testRunning_) {
        output_->clear();
        StartTest(lastTest_);
    }
}

void TaskEditor::OnTestRunEnded(const QString& output, const QString& page) {
    testRunning_ = false;
    commander_.Controller().SetEditorBusy(false);
    output_->setPlainText(PaneText(ToGb(output)));
    // A run that processed no page leaves the pasted one.
    if (!page.isEmpty())
        page_->setPlainText(PaneText(ToGb(page)));
}

// --- tasks ----------------------------------------------------------------------------------

void TaskEditor::AddTask() {
    RestoreLayout();
    std::string script = ScriptText();
    const EditorTaskName naming = NameEditorTask(script, std::time(nullptr));
    if (naming.scriptChanged)
        SetScriptText(script, naming.select);
    if (naming.refused) {
        prompter_.ShowMessage(naming.message);
        script_->setFocus();
        return;
    }
    std::string error;
    const int id = AddTaskFromScript(script, error);
    if (!error.empty())
        prompter_.ShowMessage(error);
    if (id <= 0)
        return;
    commander_.Start({id});
    emit commander_.TasksChanged();
    emit commander_.CategoriesChanged();
    MakeFresh();
}

int TaskEditor::TaskForModify() const {
    const SelectionState& state = selection_.State();
    int id = 0;
    if (state.nodeKind == kKindResults && state.nodeTask > 0) {
        id = state.nodeTask;
    } else {
        const std::vector<int> ids = pane_.SelectedTaskIds();
        id = ids.empty() ? 0 : ids.front();
    }
    if (id <= 0)
        return 0;
    std::scoped_lock lock(g_csDatabase);
    CTaskTable tasks;
    return tasks.TaskExists(id) && tasks.ReadTaskInt("iMod", id) == 0 ? id : 0;
}

void TaskEditor::ModifyTask() {
    const int id = TaskForModify();
    if (id <= 0) {
        prompter_.ShowMessage("请先选择任务！");
        return;
    }
    if (!AskToSave())
        return;
    std::string script;
    {
        std::scoped_lock lock(g_csDatabase);
        script = CTaskTable().ReadTaskScript(id);
    }
    const int category = window_.CurrentNode();
    state_.mode = EditorMode::kModifyTask;
    state_.taskId = id;
    state_.categoryToReselect = category;
    MakeFresh();
    script_->setPlainText(PaneText(script));
    script_->document()->setModified(false);
    SetEditorNodeLabel();
    window_.SelectNode(kNodeScriptEditor);
}

void TaskEditor::ChooseSearchEngines() {
    const int task = SearchEngineTask();
    if (task <= 0)
        return;
    SearchEngineDialog dialog(task, prompter_, &window_);
    prompter_.RunDialog(dialog);
}

int TaskEditor::SearchEngineTask() const {
    int task = pane_.SearchTask();
    if (task <= 0)
        task = selection_.State().nodeTask;
    if (task <= 0)
        return 0;
    std::scoped_lock lock(g_csDatabase);
    return ScriptValue("#搜索引擎列表=", CTaskTable().ReadTaskScript(task)).empty() ? 0 : task;
}

// --- templates ------------------------------------------------------------------------------

void TaskEditor::ShowTemplateMenu() {
    RestoreLayout();
    std::vector<ScriptTemplate> templates;
    std::string error;
    if (!LoadScriptTemplates(templates, error)) {
        prompter_.ShowMessage(error);
        return;
    }
    const std::vector<std::string> labels = TemplateMenuLabels(templates, state_.templateId);
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("templateMenu"));
    bool userPart = false;
    for (size_t i = 0; i < templates.size(); ++i) {
        if (!templates[i].builtIn && !userPart) {
            menu.addSeparator();
            userPart = true;
        }
        menu.addAction(FromGb(labels[i]))->setData(static_cast<int>(i));
    }
    if (!userPart)
        menu.addSeparator();
    menu.addSeparator();
    QAction* remove = menu.addAction(FromGb(kDeleteTemplateItem));
    QAction* chosen = prompter_.RunMenu(menu, QCursor::pos());
    if (chosen == nullptr)
        return;
    if (chosen == remove) {
        const std::string refusal = TemplateDeleteRefusal(state_);
        if (!refusal.empty()) {
            prompter_.ShowMessage(refusal);
            return;
        }
        if (!prompter_.AskOkCancel("确定删除当前脚本吗？"))
            return;
        if (!DeleteCurrentTemplate(state_, error)) {
            prompter_.ShowMessage(error);
            return;
        }
        MakeFresh();
        return;
    }
    const ScriptTemplate& t = templates.at(chosen->data().toInt());
    ChooseTemplate(state_, t);
    state_.mode = EditorMode::kFreeScript;
    SetEditorNodeLabel();
    script_->setPlainText(PaneText(t.script));
    page_->setPlainText(PaneText(t.source.empty() ? std::string(kPagePaneHeader) : t.source));
    output_->setPlainText(PaneText(kOutputPaneHeader));
    script_->document()->setModified(false);
    script_->setFocus();
}

// --- popups and dialogs ---------------------------------------------------------------------

namespace {

// Runs a popup of entries at the caret; the chosen entry's text, or empty.
std::string RunPopup(Prompter& prompter, ScriptEdit* edit, const std::vector<PopupEntry>& entries,
                     const char* name) {
    QMenu menu(edit);
    menu.setObjectName(QString::fromLatin1(name));
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].separator)
            menu.addSeparator();
        else
            menu.addAction(FromGb(entries[i].label))->setData(static_cast<int>(i));
    }
    QAction* chosen = prompter.RunMenu(menu, edit->viewport()->mapToGlobal(edit->cursorRect().bottomLeft()));
    return chosen ? entries.at(chosen->data().toInt()).insert : std::string();
}

}  // namespace

void TaskEditor::ShowKeyPopup() {
    if (!ScriptHasFocus())
        return;
    RestoreLayout();
    const std::string insert = RunPopup(prompter_, script_, KeyPopupEntries(), "keyPopup");
    if (!insert.empty())
        InsertAtCaret(insert);
}

void TaskEditor::ShowFieldPopup() {
    if (!ScriptHasFocus())
        return;
    RestoreLayout();
    std::vector<PopupEntry> entries;
    std::string error;
    if (!FieldPopupEntries(ScriptText(), entries, error)) {
        prompter_.ShowMessage(error);
        return;
    }
    const std::string insert = RunPopup(prompter_, script_, entries, "fieldPopup");
    if (!insert.empty())
        InsertAtCaret(insert);
}

void TaskEditor::ShowValueMethodDialog() {
    if (!ScriptHasFocus())
        return;
    RestoreLayout();
    ValueMethodDialog::Editor editor;
    editor.script = [this] { return ScriptText(); };
    editor.writeKey = [this](const std::string& key, const std::string& value) {
        std::string script = ScriptText();
        const size_t start = SetScriptValue(key, script, value);
        SetScriptText(script, {start, start == std::string::npos ? start : start + value.size()});
    };
    editor.insertAtCaret = [this](const std::string& value) { InsertAtCaret(value); };
    ValueMethodDialog dialog(std::move(editor), prompter_, &window_);
    prompter_.RunDialog(dialog);
}

void TaskEditor::ChangeSelectedLines(std::string (*change)(std::string_view)) {
    if (!ScriptHasFocus())
        return;
    RestoreLayout();
    QTextCursor cursor = script_->textCursor();
    QTextBlock first = script_->document()->findBlock(cursor.selectionStart());
    QTextBlock last = script_->document()->findBlock(cursor.selectionEnd());
    // A selection that ends at the start of a line does not take that line.
    if (cursor.hasSelection() && last != first && cursor.selectionEnd() == last.position())
        last = last.previous();
    QTextCursor edit(script_->document());
    edit.beginEditBlock();
    for (QTextBlock block = first; block.isValid(); block = block.next()) {
        const QString changed = FromGb(change(ToGb(block.text())));
        if (changed != block.text()) {
            edit.setPosition(block.position());
            edit.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
            edit.insertText(changed);
        }
        if (block == last)
            break;
    }
    edit.endEditBlock();
}

void TaskEditor::Comment() {
    ChangeSelectedLines([](std::string_view line) { return CommentLine(line); });
}

void TaskEditor::Uncomment() {
    ChangeSelectedLines([](std::string_view line) { return UncommentLine(line); });
}

void TaskEditor::ToggleZoom() {
    state_.zoomed = !state_.zoomed;
    actions_[kZoom]->setChecked(state_.zoomed);
    output_->setVisible(!state_.zoomed);
    page_->setVisible(!state_.zoomed);
}

void TaskEditor::ShowFind() {
    findBar_->show();
    const QString selected = script_->textCursor().selectedText();
    if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator))
        findText_->setText(selected);
    findText_->setFocus();
    findText_->selectAll();
}

void TaskEditor::OnCategoryDropped(int nodeId, const QString& name) {
    std::string script = ScriptText();
    const size_t caret = DropCategoryOnScript(script, nodeId, ToGb(name));
    SetScriptText(script, {caret, caret});
    script_->setFocus();
}

}  // namespace sorvik::gui
