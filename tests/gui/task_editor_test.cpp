// The task editor driven as a user drives it: a built-in template tested on the demo site on
// loopback (a selection, then a pasted page), saved as a user template, added as a task, modified
// and saved; the key popup's shortcuts and the value-method dialog.

#include "gui/task_editor.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QCompleter>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>
#include <deque>
#include <functional>
#include <memory>

#include "gui/category_tree_view.h"
#include "gui/gb_qstring.h"
#include "gui/main_window.h"
#include "gui/script_edit.h"
#include "gui/value_method_dialog.h"
#include "gui/workbench_app.h"
#include "script/script_text.h"
#include "store/db_access.h"
#include "store/system_tables.h"
#include "support/gui_workbench_fixture.h"
#include "support/http_test_server.h"
#include "support/serve_folder.h"
#include "support/temp_dir.h"
#include "text/strings.h"

using namespace sorvik;
using namespace sorvik::gui;

namespace {

constexpr int kWaitMs = 60000;

// The menu's entries (without separators) in order.
QList<QAction*> Entries(QMenu& menu) {
    QList<QAction*> entries;
    for (QAction* action : menu.actions()) {
        if (!action->isSeparator())
            entries << action;
    }
    return entries;
}

std::string Top(const std::string& column, const std::string& table, const std::string& where) {
    return CDbAccess().SelectTopString(column, table, where);
}

}  // namespace

class TaskEditorTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        QString error;
        QVERIFY2(gui_.Start(error), qPrintable(error));
        gui_.prompter->noteUnexpectedDialogs = false;
        gui_.prompter->yesNoAnswer = PromptAnswer::kNo;
        tree_ = gui_.workbench->Window()->findChild<CategoryTreeView*>();
        editor_ = gui_.workbench->Window()->findChild<TaskEditor*>();
        QVERIFY(tree_ && editor_);
        QVERIFY(tree_->SelectNode(kNodeScriptEditor));
        QVERIFY(gui_.workbench->Window()->EditorPaneShown());
    }
    void cleanup() { gui_.Stop(); }

    void aTemplateIsTestedSavedAddedAsATaskAndModified() {
        test::HttpTestServer server;
        QVERIFY(server.ok());
        QVERIFY(test::ServeFolder(server, std::string(SORVIK_SOURCE_DIR) + "/examples/site") > 0);
        const std::string builtIn = Top("cSearchScript", "TaskMod", "iMod=1");
        gui_.prompter->menus.push_back([](QMenu& menu) { return Entries(menu).value(0); });
        editor_->CommandAction(TaskEditor::kTemplates)->trigger();
        std::string script = editor_->ScriptText();
        QCOMPARE(script, builtIn);
        ReplaceAll(script, "http://www.example.com/", server.Url("/"));
        editor_->SetScriptText(script);

        // The selection without the date line: the date stays empty; the page fetched comes back.
        ScriptEdit* pane = editor_->ScriptPane();
        QTextCursor cursor(pane->document());
        cursor.setPosition(pane->toPlainText().indexOf(FromGb("日期_1=")), QTextCursor::KeepAnchor);
        pane->setTextCursor(cursor);
        editor_->CommandAction(TaskEditor::kTest)->trigger();
        QVERIFY(editor_->TestRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!editor_->TestRunning(), kWaitMs);
        const QString trace = editor_->OutputPane()->toPlainText();
        QVERIFY2(trace.contains(FromGb("标题:苹果")), qPrintable(trace));
        QVERIFY(trace.contains(FromGb("日期:\n")));
        QVERIFY(editor_->PagePane()->toPlainText().contains(QStringLiteral("list_2.htm")));

        // A pasted page without a start URL is processed instead of a fetched one.
        ReplaceAll(script, "#要搜索网址=" + server.Url("/list_1.htm") + "\r\n", "");
        editor_->SetScriptText(script);
        editor_->PagePane()->setPlainText(
            FromGb("<li class=\"item\"><a href=\"x.htm\">甲</a><span class=\"date\">2020</span></li>"));
        editor_->CommandAction(TaskEditor::kTest)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!editor_->TestRunning(), kWaitMs);
        QVERIFY2(editor_->OutputPane()->toPlainText().contains(FromGb("日期:2020")),
                 qPrintable(editor_->OutputPane()->toPlainText()));
        QCOMPARE(server.CountRequests("/list_1.htm"), 1);
        // F9 runs the last test again.
        editor_->OutputPane()->clear();
        editor_->CommandAction(TaskEditor::kStart)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(editor_->OutputPane()->toPlainText().contains(FromGb("日期:2020")), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!editor_->TestRunning(), kWaitMs);

        // Saved: a user template; the built-in row is unchanged.
        editor_->CommandAction(TaskEditor::kSave)->trigger();
        QCOMPARE(gui_.prompter->said.back(), std::string("保存成功！"));
        QCOMPARE(Top("cSearchScript", "TaskMod", "iMod=0"), script);
        QCOMPARE(Top("cSearchScript", "TaskMod", "iMod=1"), builtIn);
        QVERIFY(!editor_->HasUnsavedChanges());

        // Added as a task: refused once with a generated name, then taken.
        ReplaceAll(script, "#任务名称=" + ScriptValue("#任务名称=", script) + "\r\n", "");
        ReplaceAll(script, "#要搜索网址_始末值=", "");
        script += "#要搜索网址=" + server.Url("/list_3.htm") + "\r\n";
        editor_->SetScriptText(script);
        const long long tasks = CDbAccess().SelectCount("Task", "1=1");
        editor_->CommandAction(TaskEditor::kAdd)->trigger();
        QCOMPARE(gui_.prompter->said.back(), std::string("请先指定任务名称!"));
        QCOMPARE(CDbAccess().SelectCount("Task", "1=1"), tasks);
        QVERIFY(editor_->ScriptPane()->textCursor().selectedText().startsWith(FromGb("<未命名")));
        QTest::qWait(1100);  // the next name is generated a second later
        editor_->CommandAction(TaskEditor::kAdd)->trigger();
        const int task = ToInt(Top("max(ID)", "Task", "1=1"));
        QVERIFY(Top("cTask", "Task", Format("ID=%d", task)).rfind("<未命名", 0) == 0);
        QVERIFY(Top("cTask", "Task", Format("ID=%d", task)) !=
                ScriptValue("#任务名称=", editor_->ScriptText()));
        QCOMPARE(editor_->ScriptText(), std::string(kScriptPaneHeader));
        QTRY_VERIFY_WITH_TIMEOUT(!gui_.workbench->Controller()->TaskActive(task), kWaitMs);

        // Modified from its category and saved: the script changes, the category is selected again.
        QVERIFY(tree_->SelectNode(kNodeDefaultResults));
        editor_->CommandAction(TaskEditor::kModify)->trigger();
        QCOMPARE(gui_.workbench->Window()->CurrentNode(), kNodeScriptEditor);
        QCOMPARE(tree_->ItemOf(kNodeScriptEditor)->text(0), FromGb("修改任务"));
        QCOMPARE(editor_->ScriptText(), Top("cSearchScript", "Task", Format("ID=%d", task)));
        editor_->ScriptPane()->moveCursor(QTextCursor::End);
        editor_->ScriptPane()->insertPlainText(FromGb("//改过\n"));
        editor_->CommandAction(TaskEditor::kSave)->trigger();
        QCOMPARE(gui_.prompter->said.back(), std::string("保存成功！"));
        QVERIFY(Top("cSearchScript", "Task", Format("ID=%d", task)).find("//改过") != std::string::npos);
        QCOMPARE(gui_.workbench->Window()->CurrentNode(), kNodeDefaultResults);
        QCOMPARE(tree_->ItemOf(kNodeScriptEditor)->text(0), FromGb("新建任务"));
    }

    void keyPopupAndValueMethodDialogWorkAtTheCaret() {
        QWidget* window = gui_.workbench->Window();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        editor_->CommandAction(TaskEditor::kStart)->trigger();
        QCOMPARE(gui_.prompter->said.back(), std::string("请先测试任务！"));
        editor_->SetScriptText("#字段名列表=a,b\r\n");
        editor_->ScriptPane()->setFocus();
        editor_->ScriptPane()->moveCursor(QTextCursor::End);

        QStringList labels;
        gui_.prompter->menus.push_back([&labels](QMenu& menu) {
            for (QAction* action : Entries(menu))
                labels << action->text();
            return Entries(menu).value(9);
        });
        QTest::keyClick(editor_->ScriptPane(), Qt::Key_F4);
        QCOMPARE(labels.size(), 13);
        QVERIFY(labels[9].startsWith(QStringLiteral("&A.")));
        QVERIFY(editor_->ScriptText().find("#字段别名列表=") != std::string::npos);

        QStringList parameters;
        gui_.prompter->dialogs.push_back([&parameters](QDialog& dialog) {
            auto& values = static_cast<ValueMethodDialog&>(dialog);
            for (int i = 0; i < values.Parameters()->count(); ++i)
                parameters << values.Parameters()->item(i)->text();
            values.Parameters()->setCurrentRow(2);
            values.BeginBox()->setText(QStringLiteral("<b>"));
            values.accept();  // no end string: refused, the dialog stays
            values.EndBox()->setText(QStringLiteral("</b>"));
            values.IncludeBox()->setChecked(false);
            values.accept();
            return values.result();
        });
        QTest::keyClick(editor_->ScriptPane(), Qt::Key_F6);
        QCOMPARE(parameters,
                 (QStringList{FromGb("<光标所在位置>"), QStringLiteral("a_1"), QStringLiteral("b_1")}));
        QCOMPARE(gui_.prompter->said.back(), std::string("结束字符串不能为空！"));
        QCOMPARE(ScriptValue("b_1=", editor_->ScriptText()), std::string("~<b>(.*?)</b>"));

        // A mistyped key is listed under the script with its line and the key it likely means; a
        // key begun at a line's start is completed.
        editor_->SetScriptText("#字段名列表=a,b\r\n#表明=T\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(editor_->ProblemList()->isVisibleTo(editor_), kWaitMs);
        QCOMPARE(editor_->ProblemList()->count(), 1);
        const QString problem = editor_->ProblemList()->item(0)->text();
        QVERIFY2(problem.startsWith(QStringLiteral("2: ")) && problem.contains(FromGb("#表名=")),
                 qPrintable(problem));
        editor_->ScriptPane()->moveCursor(QTextCursor::End);
        QTest::keyClicks(editor_->ScriptPane(), QStringLiteral("b_1_"));
        QVERIFY(editor_->ScriptPane()->Completer()->popup()->isVisible());
        QVERIFY(editor_->ScriptPane()
                    ->Completer()
                    ->model()
                    ->match(editor_->ScriptPane()->Completer()->model()->index(0, 0), Qt::DisplayRole,
                            FromGb("b_1_获取="), 1, Qt::MatchExactly)
                    .size() == 1);
        editor_->SetScriptText("#字段名列表=a\r\n#表名=T\r\n");
        editor_->CheckScriptNow();
        QVERIFY(!editor_->ProblemList()->isVisibleTo(editor_));
    }

  private:
    test::FreshWorkbench gui_;
    CategoryTreeView* tree_ = nullptr;
    TaskEditor* editor_ = nullptr;
};

QTEST_MAIN(TaskEditorTest)
#include "task_editor_test.moc"
