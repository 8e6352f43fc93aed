// The record views and favourites driven as a user drives them: a task's records in the grid of a
// real home, a row selected, pages of the browse view followed, records collected through the
// grid menu's favourites dialog answered by the test's prompter.

#include <QAction>
#include <QDialog>
#include <QLayout>
#include <QTableView>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>
#include <deque>
#include <functional>
#include <memory>

#include "gui/category_tree_view.h"
#include "gui/favourites_dialog.h"
#include "gui/gb_qstring.h"
#include "gui/main_window.h"
#include "gui/record_view_pane.h"
#include "gui/record_workbench.h"
#include "gui/result_pane.h"
#include "gui/workbench_app.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "support/gui_workbench_fixture.h"
#include "support/temp_dir.h"
#include "text/strings.h"
#include "workbench/category_tree.h"

using namespace sorvik;
using namespace sorvik::gui;

class RecordViewsTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        QString error;
        QVERIFY2(gui_.Start(error), qPrintable(error));
        gui_.prompter->noteUnexpectedDialogs = false;
    }
    void cleanup() { gui_.Stop(); }

    void theDetailViewShowsTheSelectedRecordAndRecordsGoToFavourites() {
        CDbAccess db;
        QVERIFY(
            db.ExecuteSql("Create Table Goods(ID_ IDENTITY CONSTRAINT PK_Goods PRIMARY KEY,iNode_ int,"
                          "名称 varchar(50),链接 varchar(255))"));
        for (const char* values : {"(7,'苹果','http://h/1')", "(7,'香蕉<b>','http://h/2')", "(7,'橙子','')"})
            QVERIFY(db.ExecuteSql(std::string("insert into Goods(iNode_,名称,链接) values") + values));
        QVERIFY(CTaskTable().InsertTask(7, "水果", TaskState::kEnded, "", 4,
                                        "#表名=Goods\r\n#字段名列表=名称,链接\r\n#字段类型=文本,超链接\r\n"
                                        "#唯一字段=名称\r\n"));
        QVERIFY(CTaskTable().SetTaskScriptValue(7, "#浏览记录每页记录数", "2", true) == 1);
        ResultPane* results = gui_.workbench->Results();
        RecordViewPane* views = gui_.workbench->Records()->Views();
        QTextBrowser* detail = views->Browser(RecordViewKind::kDetail);
        QTextBrowser* browse = views->Browser(RecordViewKind::kBrowse);
        QVERIFY(results->SelectTask(7));
        QVERIFY(detail->toPlainText().contains(FromGb("没有记录或没有选择记录！")));
        QVERIFY(browse->toPlainText().contains(FromGb("共 3 条记录 第 1/2 页")));

        QVERIFY(gui_.workbench->Records()->SelectRecord(2));
        QTRY_VERIFY(detail->toPlainText().contains(FromGb("名称：香蕉<b>")));
        QVERIFY(detail->toHtml().contains(QStringLiteral("http://h/2")));
        QVERIFY(!detail->toPlainText().contains(FromGb("苹果")));
        // The browse view's page line goes to its second page.
        emit browse->anchorClicked(QUrl(QStringLiteral("sorvik-view:page=2")));
        QVERIFY(browse->toPlainText().contains(FromGb("共 3 条记录 第 2/2 页")));
        QVERIFY(browse->toPlainText().contains(FromGb("橙子")));

        // Favourites: a category with children is refused and the dialog stays; its leaf takes them.
        std::string error;
        const int parent = NewCategories("收藏", 42, error).at(0);
        const int leaf = NewCategories("水果篮", parent, error).at(0);
        results->View()->selectAll();
        bool stayedOpen = false;
        gui_.prompter->dialogs.push_back([&](QDialog& dialog) {
            auto& favourites = dynamic_cast<FavouritesDialog&>(dialog);
            favourites.SelectCategory(parent);
            favourites.accept();
            stayedOpen = favourites.result() != QDialog::Accepted;
            favourites.SelectCategory(leaf);
            favourites.accept();
            return favourites.result();
        });
        QAction* collect = gui_.workbench->Records()->FavouritesAction();
        collect->trigger();
        QVERIFY(stayedOpen);
        QCOMPARE(gui_.prompter->said, std::vector<std::string>{"请选择最末级的类别！"});
        QCOMPARE(db.SelectJoinedEx("名称", "Goods_me", "1=1 order by ID_", ",", false),
                 std::string("苹果,香蕉<b>,橙子"));
        const int favourites = CTaskTable().GetCategoryTaskId(leaf);
        QCOMPARE(db.SelectCount("Goods_me", Format("iNode_=%d", favourites)), 3LL);
        // The tree shows the new collection with its task.
        CategoryTreeView* tree = gui_.workbench->Window()->findChild<CategoryTreeView*>();
        QVERIFY(tree->SelectNode(leaf));
        QTRY_COMPARE(results->CurrentTask(), favourites);
    }

  private:
    test::FreshWorkbench gui_;
};

QTEST_MAIN(RecordViewsTest)
#include "record_views_test.moc"
