#pragma once
// The task editor on the editor node of the tree: the script pane (ScriptEdit, with find and the
// script's problems under it), the output pane and the page-source pane, stacked, and the editor
// commands: new, save (Ctrl+S), test (F8), start (F9), add task, modify task, the template menu,
// the key and field popups (F4, F5), the value-method dialog (F6), comment and uncomment (F7,
// Shift+F7), zoom (F2) and find (Ctrl+F); the search-engine chooser of the current task.
//
// The rules are the core's (workbench/script_editor.h); this class moves text between the panes
// and the core, asks through the window's Prompter and runs the test task through the run
// controller: the test output and the processed page come back with MainWindow::TestRunEnded.
// It is the tree's EditorGuard (the unsaved-script question) and adds the window's close check.

#include <QWidget>
#include <string>

#include "engine/run_controller.h"
#include "workbench/script_editor.h"
#include "workbench/workbench_selection.h"

class QAction;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QTimer;

namespace sorvik::gui {

class CategoryTreeView;
class MainWindow;
class Prompter;
class ScriptEdit;
class TaskCommander;
class TaskPane;

class TaskEditor : public QWidget, public EditorGuard {
    Q_OBJECT

  public:
    // Everything passed must outlive the editor; the window owns it (SetEditorPane).
    TaskEditor(MainWindow& window, TaskCommander& commander, Prompter& prompter,
               WorkbenchSelection& selection, CategoryTreeView& tree, TaskPane& pane);

    enum Command {
        kNew,
        kSave,
        kTest,
        kAdd,
        kModify,
        kTemplates,
        kKeyPopup,
        kFieldPopup,
        kValueMethod,
        kComment,
        kUncomment,
        kZoom,
        kStart,
        kFind,
        kSearchEngines,
        kCommandCount
    };
    QAction* CommandAction(Command command) const { return actions_[command]; }
    // The editor commands in menu order.
    void AddCommandsTo(QMenu* menu) const;

    ScriptEdit* ScriptPane() const { return script_; }
    QPlainTextEdit* OutputPane() const { return output_; }
    QPlainTextEdit* PagePane() const { return page_; }
    QListWidget* ProblemList() const { return problems_; }
    const ScriptEditorState& State() const { return state_; }
    bool TestRunning() const { return testRunning_; }

    // The panes' texts as the core holds them (GB18030, CR LF lines), and back.
    std::string ScriptText() const;
    void SetScriptText(const std::string& script, ScriptSelection select = {});
    std::string PageText() const;

    // Checks the script now (it is checked 400 ms after each change): the problem lines are
    // underlined and listed under it; completion offers the keys for its fields.
    void CheckScriptNow();

    // EditorGuard.
    bool HasUnsavedChanges() override;
    bool SaveScript() override;
    void DiscardChanges() override;
    bool MayEnter() override { return true; }

  public slots:
    void Save();
    void RunTest();
    void RestartTest();
    void AddTask();
    void ModifyTask();
    void ShowTemplateMenu();
    void ShowKeyPopup();
    void ShowFieldPopup();
    void ShowValueMethodDialog();
    void Comment();
    void Uncomment();
    void ToggleZoom();
    void ShowFind();
    void ChooseSearchEngines();
    void OnTestRunEnded(const QString& output, const QString& page);
    void OnCategoryDropped(int nodeId, const QString& name);
    void OnNodeChanged(int nodeId, int kind, int taskId);
    // Enables "修改任务(&E)" and "选择搜索引擎(&G)..." for the current task.
    void UpdateTaskActions();

  private:
    void BuildActions();
    void BuildPanes();
    bool SaveEditor(bool reselect);
    void MakeFresh();
    void RestoreLayout();
    void SetEditorNodeLabel();
    void InsertAtCaret(const std::string& text);
    void ChangeSelectedLines(std::string (*change)(std::string_view));
    bool ScriptHasFocus() const;
    int TaskForModify() const;
    int SearchEngineTask() const;
    bool StartTest(const StartRequest& request);
    bool AskToSave();

    MainWindow& window_;
    TaskCommander& commander_;
    Prompter& prompter_;
    WorkbenchSelection& selection_;
    CategoryTreeView& tree_;
    TaskPane& pane_;
    ScriptEditorState state_;
    QSplitter* splitter_ = nullptr;
    ScriptEdit* script_ = nullptr;
    QWidget* findBar_ = nullptr;
    QLineEdit* findText_ = nullptr;
    QListWidget* problems_ = nullptr;
    QTimer* checkTimer_ = nullptr;
    QPlainTextEdit* output_ = nullptr;
    QPlainTextEdit* page_ = nullptr;
    QAction* actions_[kCommandCount] = {};
    QAction* paneStart_ = nullptr;  // the task list's "开始(&S)": F9 goes to one of the two
    bool shown_ = false;
    bool testRunning_ = false;   // a test task started by the editor has not ended yet
    bool startPending_ = false;  // F9 accepts the next start 300 ms after one
    StartRequest lastTest_;      // what F9 starts again
};

}  // namespace sorvik::gui
