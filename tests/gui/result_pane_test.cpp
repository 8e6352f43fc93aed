// The filter bar and the result grid driven as a user drives them: a task's records selected in
// the task list, a saved super-contains condition from the "条件" menu, pages of 5000 records, a
// level and a deletion (with the record's file) from the "表格" menu.

#include "gui/result_pane.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include "gui/filter_bar.h"
#include "gui/gb_qstring.h"
#include "gui/main_window.h"
#include "gui/result_grid_model.h"
#include "gui/task_pane.h"
#include "gui/workbench_app.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "support/gui_workbench_fixture.h"
#include "support/temp_dir.h"
#include "text/file_helpers.h"
#include "text/strings.h"
#include "workbench/result_grid.h"

using namespace sorvik;
using namespace sorvik::gui;

namespace {

constexpr int kFinishedList = 45;

QString Cell(const QAbstractItemModel* model, int row, int column) {
    return model->data(model->index(row, column), Qt::DisplayRole).toString();
}

}  // namespace

class ResultPaneTest : public QObject {
    Q_OBJECT

  private slots:
    void filtersPagesLevelsAndDeletesRecords() {
        test::FreshWorkbench gui;
        QString error;
        QVERIFY2(gui.Start(error), qPrintable(error));
        test::RecordingPrompter& prompter = *gui.prompter;
        Workbench& workbench = *gui.workbench;
        const test::TempDir& home = *gui.home;

        // Task 7's 12,000 records, every other one of category 甲; the last one names a file.
        const std::string settings =
            "#表格每页记录数=5000\r\n#查询字段名3=类别\r\n#查询操作符3=超包含\r\n#超包含表达式3=甲 //甲类\r\n"
            "#查询排序选项3=不排序\r\n#是否即时过滤3=0\r\n";
        QVERIFY(CTaskTable().InsertTask(
            7, "t", TaskState::kEnded, "", 4,
            "#表名=Goods\r\n#字段名列表=标题,类别,级别,文件\r\n#字段类型=文本,文本,数字\r\n"
            "#级别字段=级别\r\n#表格栏_删除记录_删除文件=文件\r\n"));
        CDbAccess db;
        QVERIFY(db.ExecuteSql("update Task set cSetInfo='" + SqlQuote(settings) + "' where ID=7"));
        QVERIFY(
            db.ExecuteSql("Create Table Goods(ID_ IDENTITY CONSTRAINT PK_Goods PRIMARY KEY,iNode_ int,"
                          "标题 varchar(50),类别 varchar(10),级别 int,文件 varchar(255))"));
        QVERIFY(db.ExecuteSql(
            "with recursive n(i) as (select 1 union all select i+1 from n where i<12000) insert into Goods "
            "(iNode_,标题,类别,文件) select 7,'记录'||i,case i%2 when 1 then '甲' else '乙' end,"
            "case i when 12000 then 'files/价目表.txt' end from n"));
        const std::string file = FileSystemPath(home.path() + "/download/7/files/价目表.txt");
        QVERIFY(MakeDirectories(home.path() + "/download/7/files"));
        QVERIFY(WriteWholeFile(file, "x"));

        // The task selected in the finished list shows its first page.
        ResultPane* results = workbench.Results();
        QVERIFY(workbench.Window()->SelectNode(kFinishedList));
        workbench.Window()->findChild<TaskPane*>()->SelectTask(7);
        QCOMPARE(results->CurrentTask(), 7);
        const ResultGridModel* model = results->Model();
        QCOMPARE(results->Grid().Paging().total, 12000LL);
        QCOMPARE(results->Grid().Paging().pages, 3);
        QCOMPARE(model->rowCount(), 5000);
        QCOMPARE(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), FromGb("行号"));
        QCOMPARE(Cell(model, 0, 1), FromGb("记录1"));

        // A column dragged wider goes back into "#字段宽度=".
        results->View()->horizontalHeader()->resizeSection(2, 77);
        const auto width = [] {
            const std::vector<int> widths = ReadColumnWidths(CTaskTable().ReadTaskText(7, true));
            return widths.size() > 1 ? widths[1] : -1;
        };
        QTRY_COMPARE_WITH_TIMEOUT(width(), 77, 30000);

        // The saved condition from the "条件" menu: 6000 records on two pages.
        QMenu* filterMenu = workbench.Window()->FilterMenu();
        emit filterMenu->aboutToShow();
        auto* saved = filterMenu->findChild<QAction*>(QStringLiteral("savedCondition3"));
        QVERIFY(saved);
        QCOMPARE(saved->text(), FromGb("&1. 甲类"));
        saved->trigger();
        QCOMPARE(results->Bar()->ValueBox()->text(), FromGb("甲 //甲类"));
        QCOMPARE(results->Grid().Paging().total, 6000LL);
        QCOMPARE(results->PageLabel()->text(), FromGb("共 6000 条记录 第 1/2 页"));
        QCOMPARE(results->LoadedCondition(), 3);
        emit filterMenu->aboutToShow();
        QCOMPARE(filterMenu->findChild<QAction*>(QStringLiteral("savedCondition3"))->text(),
                 FromGb("&1. 甲类(当前)"));

        // An empty value and Enter: all records again; paged to the last page.
        results->Bar()->ValueBox()->clear();
        QTest::keyClick(results->Bar()->ValueBox(), Qt::Key_Return);
        QCOMPARE(results->Grid().Paging().total, 12000LL);
        auto* next = results->View()->parentWidget()->findChild<QToolButton*>(QStringLiteral("nextPage"));
        next->click();
        next->click();
        QVERIFY(!next->isEnabled());
        QCOMPARE(model->rowCount(), 2000);
        QCOMPARE(Cell(model, 0, 0), QStringLiteral("10001"));

        // Level 3 on the last record, then level 0.
        results->View()->selectRow(1999);
        QVERIFY(results->SelectedIds() == std::vector<long long>{12000});
        results->LevelAction(3)->trigger();
        QCOMPARE(db.SelectTopString("级别", "Goods", "ID_=12000"), std::string("3"));
        QCOMPARE(Cell(model, 1999, 3), QStringLiteral("3"));
        results->LevelAction(0)->trigger();
        QCOMPARE(db.SelectCount("Goods", "级别 is null"), 12000LL);
        QCOMPARE(Cell(model, 1999, 3), QString());

        // Deleting it deletes its file.
        results->View()->selectRow(1999);
        results->DeleteAction()->trigger();
        QCOMPARE(prompter.said.back(), std::string("确定删除选定的记录吗？"));
        QVERIFY(!FileExists(file));
        QCOMPARE(db.SelectCount("Goods", "1=1"), 11999LL);
        QCOMPARE(model->rowCount(), 1999);
    }
};

QTEST_MAIN(ResultPaneTest)
#include "result_pane_test.moc"
