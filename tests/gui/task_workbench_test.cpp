// The category tree and the task list driven as a user drives them: menus and keys on the main
// window of a real home, tasks harvesting the demo site on loopback, dialogs answered by the
// test's prompter.

#include "gui/task_workbench.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <deque>
#include <functional>
#include <memory>

#include "engine/run_controller.h"
#include "gui/category_tree_view.h"
#include "gui/exchange_dialog.h"
#include "gui/gb_qstring.h"
#include "gui/main_window.h"
#include "gui/plan_dialog.h"
#include "gui/task_list_model.h"
#include "gui/task_pane.h"
#include "gui/workbench_app.h"
#include "store/db_access.h"
#include "store/system_tables.h"
#include "store/task_table.h"
#include "support/gui_workbench_fixture.h"
#include "support/http_test_server.h"
#include "support/serve_folder.h"
#include "support/temp_dir.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/strings.h"
#include "workbench/schedule.h"

using namespace sorvik;
using namespace sorvik::gui;

namespace {

constexpr int kWaitMs = 60000;

// The category dialog answered with text.
std::function<int(QDialog&)> NameDialog(const QString& text) {
    return [text](QDialog& dialog) {
        auto* edit = dialog.findChild<QPlainTextEdit*>(QStringLiteral("categoryName"));
        if (!edit)
            return int(QDialog::Rejected);
        edit->setPlainText(text);
        return int(QDialog::Accepted);
    };
}

long long Count(const std::string& table, const std::string& where) {
    CDbAccess db;
    return db.SelectCount(table, where);
}

}  // namespace

class TaskWorkbenchTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        QString error;
        QVERIFY2(gui_.Start(error), qPrintable(error));
        tree_ = gui_.workbench->Window()->findChild<CategoryTreeView*>();
        pane_ = gui_.workbench->Window()->findChild<TaskPane*>();
        QVERIFY(tree_ && pane_);
    }
    void cleanup() { gui_.Stop(); }

    void categoriesAreMadeRenamedAndDeletedByTheRules() {
        QVERIFY(tree_->SelectNode(kNodeResults));
        gui_.prompter->dialogs.push_back(NameDialog(FromGb("甲\n乙\n丙")));
        tree_->NewCategoryAction()->trigger();
        QTreeWidgetItem* results = tree_->ItemOf(kNodeResults);
        QCOMPARE(results->childCount(), 4);  // 默认类别 first
        QStringList names;
        for (int i = 1; i < 4; ++i)
            names << results->child(i)->text(0);
        QCOMPARE(names, (QStringList{FromGb("甲"), FromGb("乙"), FromGb("丙")}));
        const int first = CategoryTreeView::NodeIdOf(results->child(1));
        QCOMPARE(Count("TreeItems", Format("ParentItemID=%d", kNodeResults)), 4LL);

        // Rename to 60 characters: the first 50 stay.
        QVERIFY(tree_->SelectNode(first));
        const QString sixty = QString(60, QChar(0x5B57));
        gui_.prompter->dialogs.push_back(NameDialog(sixty));
        tree_->PropertiesAction()->trigger();
        QCOMPARE(tree_->ItemOf(first)->text(0), sixty.left(50));
        CDbAccess db;
        QCOMPARE(FromGb(db.SelectTopString("Name", "TreeItems", Format("ID=%d", first))), sixty.left(50));

        // A category with children can't be deleted; its childless child can.
        gui_.prompter->dialogs.push_back(NameDialog(FromGb("子")));
        tree_->NewCategoryAction()->trigger();
        tree_->UpdateActions();
        QVERIFY(!tree_->DeleteAction()->isEnabled());
        QVERIFY(!tree_->SelectNode(kNodeTaskManager) || !tree_->DeleteAction()->isEnabled());
        const int child = CategoryTreeView::NodeIdOf(tree_->ItemOf(first)->child(0));
        QVERIFY(tree_->SelectNode(child));
        QVERIFY(tree_->DeleteAction()->isEnabled());
        tree_->DeleteAction()->trigger();
        QCOMPARE(gui_.prompter->said.back(), std::string("删除当前类别吗？"));
        QVERIFY(tree_->ItemOf(child) == nullptr);
        QCOMPARE(Count("TreeItems", Format("ID=%d", child)), 0LL);
        QCOMPARE(CategoryTreeView::NodeIdOf(tree_->currentItem()), first);
    }

    void aTaskRunsPausesResumesAndIsDeletedFromTheList() {
        test::HttpTestServer server;
        QVERIFY(server.ok());
        QVERIFY(test::ServeFolder(server, std::string(SORVIK_SOURCE_DIR) + "/examples/site") > 0);
        // The second list page answers only its second request: the run waits there until paused.
        std::string page2;
        QVERIFY(ReadWholeFile(std::string(SORVIK_SOURCE_DIR) + "/examples/site/list_2.htm", page2));
        server.AddStallThenPage("/list_2.htm", 1, page2);
        std::string script;
        QVERIFY(ReadWholeFile(std::string(SORVIK_SOURCE_DIR) + "/examples/scripts/next_page.txt", script));
        ReplaceAll(script, "http://127.0.0.1:8080/", server.Url("/"));
        script = Utf8ToGb(script);
        ReplaceAll(script, "\n", "\r\n");
        const int task = 7;
        {
            CTaskTable tasks;
            QVERIFY(tasks.InsertTask(task, "示例_下一页", TaskState::kEnded, server.Url("/list_1.htm"), 3,
                                     script));
        }

        QVERIFY(tree_->SelectNode(kNodeActiveTasks));
        TaskListModel* model = pane_->Model();
        QCOMPARE(model->rowCount(), 1);
        QAction* start = pane_->CommandAction(TaskPane::kStart);
        QVERIFY(!start->isEnabled());  // nothing selected yet
        pane_->SelectTask(task);
        QVERIFY(start->isEnabled());
        auto word = [&] {
            const int row = model->RowOf(task);
            return row < 0 ? QString() : model->data(model->index(row, 0), Qt::ToolTipRole).toString();
        };
        start->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(server.CountRequests("/list_2.htm") > 0, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(word(), FromGb("运行中"), kWaitMs);

        pane_->CommandAction(TaskPane::kPause)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(word(), FromGb("已暂停"), kWaitMs);

        // Start again resumes at the page it stopped on; the finished task leaves the active list.
        pane_->SelectTask(task);
        pane_->CommandAction(TaskPane::kStart)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(model->RowOf(task), -1, kWaitMs);
        QVERIFY(tree_->SelectNode(kNodeFinishedTasks));
        QCOMPARE(word(), FromGb("已完成"));
        QCOMPARE(model->data(model->index(model->RowOf(task), 6), Qt::DisplayRole).toString(),
                 QStringLiteral("15"));
        QCOMPARE(Count("Demo_NextPage", Format("iNode_=%d", task)), 15LL);
        QCOMPARE(server.CountRequests("/list_1.htm"), 1);

        // Delete: to the deleted list, then from there for good with its results.
        pane_->SelectTask(task);
        QTest::keyClick(pane_->View(), Qt::Key_Delete);
        QCOMPARE(model->RowOf(task), -1);
        QVERIFY(tree_->SelectNode(kNodeDeletedTasks));
        QCOMPARE(word(), FromGb("已删除"));
        bool ticked = false;
        gui_.prompter->dialogs.push_back([&](QDialog& dialog) {
            auto* box = dialog.findChild<QCheckBox*>(QStringLiteral("deleteResults"));
            ticked = box && box->isChecked();
            return int(QDialog::Accepted);
        });
        pane_->SelectTask(task);
        QTest::keyClick(pane_->View(), Qt::Key_Delete);
        QVERIFY(ticked);
        QCOMPARE(model->rowCount(), 0);
        QCOMPARE(Count("Task", Format("ID=%d", task)), 0LL);
        QCOMPARE(Count("Demo_NextPage", "1=1"), 0LL);
    }

    void theKeywordBoxSearchesAndKeepsItsHistory() {
        test::HttpTestServer server;
        QVERIFY(server.ok());
        QVERIFY(test::ServeFolder(server, std::string(SORVIK_SOURCE_DIR) + "/examples/site") > 0);
        std::string script;
        QVERIFY(ReadWholeFile(std::string(SORVIK_SOURCE_DIR) + "/examples/scripts/keywords.txt", script));
        ReplaceAll(script, "http://127.0.0.1:8080/", server.Url("/"));
        script = Utf8ToGb(script);
        ReplaceAll(script, "\n", "\r\n");
        {
            CTaskTable tasks;
            QVERIFY(tasks.InsertTask(8, "示例_关键字搜索", TaskState::kEnded, "", 3, script));
        }
        QVERIFY(tree_->SelectNode(kNodeActiveTasks));
        pane_->SelectTask(8);
        QVERIFY(pane_->KeywordBox()->isEnabled());
        // No keyword: the task can't start and the box takes the focus.
        QTest::mouseClick(pane_->SearchButton(), Qt::LeftButton);
        QCOMPARE(gui_.prompter->said.back(), std::string("请输入搜索关键字！"));

        pane_->KeywordBox()->setEditText(QStringLiteral("apple|pear"));
        QTest::mouseClick(pane_->SearchButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(Count("Task", "ID=8 and iType=4"), 1LL, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(Count("Demo_Keywords", "iNode_=8") > 0, kWaitMs);
        QCOMPARE(server.CountRequests("/search/pear.htm"), 1);
        QComboBox* box = pane_->KeywordBox();
        QCOMPARE(box->count(), 2);
        QCOMPARE(box->itemText(0), QStringLiteral("apple|pear"));
        QCOMPARE(box->itemText(1), FromGb("<删除历史记录>"));

        // Choosing "<删除历史记录>" asks, then empties the history and the box.
        box->setCurrentIndex(1);
        emit box->activated(1);
        QCOMPARE(gui_.prompter->said.back(), std::string("确定删除所有历史搜索关键字吗？"));
        QCOMPARE(Count("sc_tm_SearchKey", "1=1"), 0LL);
        QCOMPARE(box->count(), 1);
        QVERIFY(box->currentText().isEmpty());
    }

    void aCategoryGoesOutAsASeedAndComesBackIn() {
        QVERIFY(tree_->SelectNode(kNodeResults));
        gui_.prompter->dialogs.push_back(NameDialog(FromGb("种子类")));
        tree_->NewCategoryAction()->trigger();
        const int node = CategoryTreeView::NodeIdOf(tree_->ItemOf(kNodeResults)->child(1));
        QVERIFY(tree_->SelectNode(node));
        gui_.workbench->Window()->findChild<QAction*>(QStringLiteral("assignSeed"))->trigger();
        QCOMPARE(gui_.prompter->said.back(), std::string("分配了1个种子号"));

        GuiPrompt prompt(*gui_.prompter);
        ExchangeDialog exporter(ExchangeDialog::Mode::kExportSeed, node, 0, prompt);
        QSignalSpy exported(&exporter, &ExchangeDialog::WorkFinished);
        QTest::mouseClick(exporter.StartButton(), Qt::LeftButton);
        QVERIFY(exported.wait(kWaitMs) || exported.count() == 1);
        QCOMPARE(exported.takeFirst().at(0).toBool(), true);
        QVERIFY2(FromGb(gui_.prompter->said.back()).startsWith(FromGb("导出成功！")),
                 qPrintable(FromGb(gui_.prompter->said.back())));

        // Gone, then back through the import dialog; the tree shows it again.
        tree_->DeleteAction()->trigger();
        QVERIFY(tree_->ItemOf(node) == nullptr);
        ExchangeDialog importer(ExchangeDialog::Mode::kImport, 0, 0, prompt);
        QSignalSpy imported(&importer, &ExchangeDialog::WorkFinished);
        importer.ImportFile(QString::fromStdString(gui_.home->path()) + QString::fromUtf8(u8"/种子类.grm"));
        QVERIFY(imported.wait(kWaitMs) || imported.count() == 1);
        QCOMPARE(imported.takeFirst().at(0).toBool(), true);
        QVERIFY(importer.Imported());
        gui_.workbench->Window()->findChild<TaskWorkbench*>()->FinishImport(importer, true);
        QVERIFY(!tree_->findItems(FromGb("种子类"), Qt::MatchRecursive).isEmpty());
        QCOMPARE(gui_.prompter->said.back(), std::string("导入完成！"));
        QCOMPARE(gui_.workbench->Window()->StatusPaneText(0), FromGb("就绪"));
    }

    // "计划(&S)..." of the task menu: the dialog refuses what its core refuses, adds a series and
    // saves the plan; the workbench's schedule then lists it. The dialog is rendered to
    // plan_dialog.png in the test's folder to be looked at.
    void aTaskIsPlannedThroughTheDialog() {
        const int task = 9;
        QVERIFY(CTaskTable().InsertTask(task, "计划任务", TaskState::kEnded, "", 3, "#表名=P\r\n"));
        QVERIFY(tree_->SelectNode(kNodeActiveTasks));
        pane_->SelectTask(task);
        QAction* plan = pane_->CommandAction(TaskPane::kPlan);
        QVERIFY(gui_.workbench->Window()->TaskMenu()->actions().contains(plan));
        QVERIFY(plan->isEnabled());
        gui_.prompter->dialogs.push_back([this](QDialog& dialog) {
            auto* planDialog = qobject_cast<PlanDialog*>(&dialog);
            if (!planDialog || dialog.windowTitle() != FromGb("计划"))
                return int(QDialog::Rejected);
            auto add = [&](const char* text) {
                planDialog->TimeBox()->setText(FromGb(text));
                planDialog->AddButton()->click();
            };
            add("2006-02-30 10:00:00");
            add("?\?\?\?-?\?-?? 07:00:00");
            add("2030-01-01 00:00:00");
            add("2,60");
            dialog.layout()->activate();
            dialog.grab().save(QStringLiteral("plan_dialog.png"));
            dialog.accept();
            return dialog.result();
        });
        plan->trigger();
        QVERIFY(gui_.prompter->dialogs.empty());
        QCOMPARE(gui_.prompter->said.size(), size_t(1));
        QVERIFY(gui_.prompter->said[0].starts_with("时间格式不对"));
        std::vector<std::string> times;
        std::string error;
        QVERIFY(ReadTaskPlan(task, times, error));
        QCOMPARE(times, (std::vector<std::string>{"?\?\?\?-?\?-?? 07:00:00", "2030-01-01 00:00:00",
                                                  "2030-01-01 00:01:00", "2030-01-01 00:02:00"}));
        gui_.workbench->Schedule()->Tick();
        QCOMPARE(gui_.workbench->Schedule()->Entries().size(), size_t(4));
    }

  private:
    test::FreshWorkbench gui_;
    CategoryTreeView* tree_ = nullptr;
    TaskPane* pane_ = nullptr;
};

QTEST_MAIN(TaskWorkbenchTest)
#include "task_workbench_test.moc"
