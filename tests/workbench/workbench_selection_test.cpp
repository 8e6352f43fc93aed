// Moving the selection between tree nodes, the task command flags and the search bar.

#include "workbench/workbench_selection.h"

#include <gtest/gtest.h>

#include "store/app_home.h"
#include "store/db_access.h"
#include "store/system_tables.h"
#include "store/task_table.h"
#include "support/core_fixture.h"
#include "text/file_helpers.h"
#include "text/strings.h"
#include "workbench/recording_prompt.h"
#include "workbench/search_bar.h"

using namespace sorvik;

namespace {

class FakeEditor : public EditorGuard {
  public:
    bool HasUnsavedChanges() override { return dirty; }
    bool SaveScript() override {
        saved = true;
        return true;
    }
    void DiscardChanges() override { dirty = false; }
    bool MayEnter() override { return mayEnter; }
    bool dirty = false, saved = false, mayEnter = true;
};

class SelectionTest : public sorvik::test::CoreTest {
  protected:
    void Sql(const std::string& statement) {
        CDbAccess db;
        ASSERT_TRUE(db.ExecuteSql(statement)) << db.m_strError;
    }
    WorkbenchSelection selection;
    FakeEditor editor;
    sorvik::test::RecordingWorkbenchPrompt prompt;
};

}  // namespace

TEST_F(SelectionTest, ChangesFollowTheBusyFlagAndTheEditorQuestion) {
    std::string error;
    ASSERT_TRUE(selection.Leave(kNodeFinishedTasks, prompt, &editor));
    NodeSelection shown = selection.Enter(error);
    EXPECT_EQ(shown.view, NodeView::kTaskList);
    EXPECT_EQ(shown.list, 4);

    selection.SetBusy(true);
    EXPECT_FALSE(selection.Leave(kNodeActiveTasks, prompt, &editor));
    EXPECT_EQ(prompt.said.back(), "请等待！");
    selection.SetBusy(false);

    // Unsaved script: Cancel keeps the old node, Yes saves and goes on; grouping nodes never ask.
    editor.dirty = true;
    ASSERT_TRUE(selection.Leave(kNodeResults, prompt, &editor));
    EXPECT_EQ(prompt.said.back(), "请等待！");
    prompt.yesNoCancel = {PromptAnswer::kCancel, PromptAnswer::kYes};
    EXPECT_FALSE(selection.Leave(kNodeActiveTasks, prompt, &editor));
    EXPECT_EQ(selection.State().nodeId, kNodeResults);
    EXPECT_TRUE(selection.Leave(kNodeActiveTasks, prompt, &editor));
    EXPECT_TRUE(editor.saved);
    EXPECT_EQ(prompt.said.back(), "是否保存当前脚本？");
    editor.dirty = false;
    editor.mayEnter = false;
    EXPECT_FALSE(selection.Leave(kNodeScriptEditor, prompt, &editor));
    EXPECT_EQ(selection.State().nodeId, kNodeActiveTasks);
}

TEST_F(SelectionTest, AResultNodeShowsItsRecordNodeAndDropsItsPageCopies) {
    CTaskTable tasks;
    ASSERT_TRUE(
        tasks.InsertTask(5, "共用", TaskState::kEnded, "", 4,
                         "#表名=T\r\n#共用任务号=9\r\n#需要搜索关键字网址=http://h/?q=<搜索关键字>\r\n"
                         "#字段名列表=标题,超链接\r\n#任务类别=收藏夹\r\n"));
    Sql("update TreeItems set iTask=5 where ID=43");
    const std::string folder = AppPath("download/9");
    ASSERT_TRUE(MakeDirectories(folder));
    for (const char* name :
         {"Source1_1.htm", "Source1_2.htm", "Source2.htm", "Source2_1.htm", "Source3_1.htm"})
        ASSERT_TRUE(WriteWholeFile(JoinPath(folder, name), "x"));
    std::string error;
    ASSERT_TRUE(selection.Leave(kNodeDefaultResults, prompt, &editor));
    const NodeSelection shown = selection.Enter(error);
    EXPECT_EQ(shown.view, NodeView::kResults);
    EXPECT_EQ(shown.taskId, 9);
    EXPECT_EQ(selection.State().nodeTask, 5);
    // Level 3 is not reached: there is no Source3.htm.
    EXPECT_FALSE(FileExists(JoinPath(folder, "Source2_1.htm")));
    EXPECT_TRUE(FileExists(JoinPath(folder, "Source2.htm")));
    EXPECT_TRUE(FileExists(JoinPath(folder, "Source3_1.htm")));

    const TaskCommandFlags flags = ReadTaskCommandFlags(5);
    EXPECT_TRUE(flags.keywordUrl && flags.hyperlink && flags.favourites);
    EXPECT_FALSE(flags.Schedulable() || flags.builtIn || flags.noThreads);
}

TEST_F(SelectionTest, TheSearchBarAndKeywordHistoryComeFromTheScriptAndTable) {
    Sql("create table T_city (ID_ integer primary key autoincrement, cName_ text, 省 text)");
    Sql("insert into T_city (cName_,省) values ('杭州','浙江')");
    Sql("insert into T_city (cName_,省) values ('宁波','浙江')");
    Sql("insert into T_city (cName_,省) values ('','')");
    const std::string script =
        "#需要搜索关键字网址=http://h/?q=<搜索关键字>\r\n#搜索类别=省份,城市,无表\r\n"
        "省份_列表数据=T_city,省\r\n城市_列表数据=T_city\r\n城市_设置=显示方式,菜单\r\n"
        "无表_列表数据=T_none\r\n#下载选项=全部,只文本\r\n#下载选项_默认值=只文本\r\n只文本=<下载文本>\r\n";
    std::string error;
    const SearchBarModel bar = BuildSearchBar(script, error);
    EXPECT_EQ(error, "读取表T_none失败！");
    EXPECT_TRUE(bar.keywordBox);
    ASSERT_EQ(bar.categories.size(), 3u);
    EXPECT_EQ(bar.categories[0].values, std::vector<std::string>{"浙江"});
    EXPECT_FALSE(bar.categories[0].listOnly);
    EXPECT_EQ(bar.categories[1].values, (std::vector<std::string>{"杭州", "宁波"}));
    EXPECT_EQ(bar.categories[1].value, "杭州");
    EXPECT_TRUE(bar.categories[1].listOnly);
    EXPECT_EQ(bar.options, (std::vector<std::string>{"全部", "只文本"}));
    EXPECT_EQ(bar.option, "只文本");
    EXPECT_EQ(DownloadOptionText(script, "只文本"),
              "#下载选项_默认值=只文本\r\n只文本=<下载文本>\r\n#搜索类别=省份,城市,无表\r\n");
    EXPECT_EQ(SearchObjectText({"浙江", "杭州"}), "浙江\r\n杭州");

    Sql("insert into sc_tm_SearchKey (cSearchKey,iTask) values ('甲',1)");
    Sql("insert into sc_tm_SearchKey (cSearchKey,iTask) values ('',1)");
    std::vector<std::string> items;
    ASSERT_TRUE(LoadKeywordHistory(items, error));
    EXPECT_EQ(items, (std::vector<std::string>{"甲", "<删除历史记录>"}));
    ASSERT_TRUE(ClearKeywordHistory(error));
    ASSERT_TRUE(LoadKeywordHistory(items, error));
    EXPECT_EQ(items, std::vector<std::string>{"<删除历史记录>"});
}
