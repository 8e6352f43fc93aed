// The task editor's rules: saving into templates and tasks, task names, the category drop, the
// popups, the value-method values, test-run preparation with lookup tables and column metadata,
// the search-engine choice, and the parts of a line the script pane colours.

#include "workbench/script_editor.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "script/script_text.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "support/core_fixture.h"
#include "text/strings.h"
#include "workbench/script_syntax.h"
#include "workbench/task_actions.h"

using namespace sorvik;

namespace {

class ScriptEditorTest : public sorvik::test::CoreTest {
  protected:
    static std::string Top(const std::string& column, const std::string& table, const std::string& where) {
        return CDbAccess().SelectTopString(column, table, where);
    }
};

TEST_F(ScriptEditorTest, BuiltInTemplateSavesAsOneNewUserTemplateAndTaskModeReplacesTheTask) {
    const std::string builtIn = Top("cSearchScript", "TaskMod", "iMod=1");
    const long long templates = CDbAccess().SelectCount("TaskMod", "1=1");
    ScriptEditorState state;
    ChooseTemplate(state, ScriptTemplate{ToInt(Top("ID", "TaskMod", "iMod=1")), "x", builtIn, "", true});
    std::string script = "#表名=T\r\n";
    EditorSaveResult saved = SaveEditorScript(state, script, "//网页源码\r\n<p>");
    ASSERT_TRUE(saved.saved) << saved.message;
    EXPECT_EQ(saved.message, "保存成功！");
    // The unnamed script got the hint and a name, selected.
    ASSERT_TRUE(saved.scriptChanged);
    EXPECT_EQ(ScriptValue("#脚本名称=", script), "<未命名>");
    EXPECT_EQ(script.substr(saved.select.start, saved.select.end - saved.select.start), "<未命名>");
    EXPECT_NE(script.find("//此处指定脚本名称"), std::string::npos);
    EXPECT_EQ(Top("cSearchScript", "TaskMod", "iMod=1"), builtIn);
    EXPECT_EQ(Top("cSource", "TaskMod", Format("ID=%d", state.templateId)), "//网页源码\r\n<p>");

    // Saved again, the same user template changes.
    script += "#脚本名称=mine\r\n";
    ASSERT_TRUE(SaveEditorScript(state, script, "").saved);
    EXPECT_EQ(CDbAccess().SelectCount("TaskMod", "1=1"), templates + 1);
    EXPECT_EQ(Top("cTask", "TaskMod", Format("ID=%d", state.templateId)), "<未命名>");  // first line wins

    // A task being modified: its script, name and URL follow; the category comes back.
    std::string error;
    const int task = AddTaskFromScript("#任务名称=a\r\n#表名=T\r\n", error);
    ASSERT_GT(task, 0) << error;
    state.mode = EditorMode::kModifyTask;
    state.taskId = task;
    state.categoryToReselect = 43;
    script = "#任务名称=b\r\n#要搜索网址=http://h/\r\n";
    saved = SaveEditorScript(state, script, "");
    ASSERT_TRUE(saved.saved) << saved.message;
    EXPECT_EQ(saved.reselectCategory, 43);
    EXPECT_EQ(state.mode, EditorMode::kFreeScript);
    EXPECT_EQ(state.templateId, -1);
    EXPECT_EQ(Top("cTask", "Task", Format("ID=%d", task)), "b");
    EXPECT_EQ(Top("cWeb", "Task", Format("ID=%d", task)), "http://h/");

    // Templates: built-in first, user ones numbered, the current one marked; deleting it.
    std::vector<ScriptTemplate> all;
    ASSERT_TRUE(LoadScriptTemplates(all, error)) << error;
    ASSERT_FALSE(all.back().builtIn);
    state.templateId = all.back().id;
    state.builtInTemplate = false;
    const std::vector<std::string> labels = TemplateMenuLabels(all, state.templateId);
    EXPECT_EQ(labels.back(), "&1.<未命名>(当前)");
    EXPECT_EQ(labels.front(), all.front().name);
    EXPECT_EQ(TemplateDeleteRefusal(ScriptEditorState()), "请先选择要删除的脚本！");
    ASSERT_TRUE(DeleteCurrentTemplate(state, error)) << error;
    EXPECT_EQ(CDbAccess().SelectCount("TaskMod", "1=1"), templates);
}

TEST(ScriptEditorRules, TaskNameIsGeneratedAndRefusedOnceThenTaken) {
    std::string script = "#表名=T\r\n";
    const std::time_t now = 1700000000;
    EditorTaskName first = NameEditorTask(script, now);
    EXPECT_TRUE(first.refused);
    EXPECT_EQ(first.message, "请先指定任务名称!");
    const std::string name = ScriptValue("#任务名称=", script);
    EXPECT_EQ(name, GeneratedTaskName(now));
    EXPECT_EQ(script.substr(first.select.start, first.select.end - first.select.start), name);
    ASSERT_EQ(name.size(), std::string("<未命名11/14/23 22:13:20>").size());
    EXPECT_EQ(name.rfind("<未命名", 0), 0u);
    EXPECT_EQ(name.back(), '>');

    EditorTaskName second = NameEditorTask(script, now + 1);
    EXPECT_FALSE(second.refused);
    EXPECT_EQ(ScriptValue("#任务名称=", script), GeneratedTaskName(now + 1));
    std::string named = "#任务名称=mine\r\n";
    EXPECT_FALSE(NameEditorTask(named, now).scriptChanged);
}

TEST(ScriptEditorRules, CategoryDroppedTwiceReplacesItsLines) {
    std::string script = "//Sorvik脚本\r\n";
    size_t caret = DropCategoryOnScript(script, 43, "默认类别");
    EXPECT_EQ(ScriptValue("#任务名称=", script), "默认类别");
    EXPECT_EQ(script.substr(caret - 3, 5), "=43\r\n");
    caret = DropCategoryOnScript(script, 101, "新闻");
    EXPECT_EQ(ScriptValue("#类别名称=", script), "新闻");
    EXPECT_EQ(ScriptValue("#类别号=", script), "101");
    EXPECT_EQ(ScriptValue("#任务名称=", script), "新闻");  // it was the old category's name
    EXPECT_EQ(script.substr(caret - 3, 3), "101");
    EXPECT_EQ(SplitAll(script, "#类别号=").size(), 2u);
    EXPECT_EQ(SplitAll(script, "//此处指定任务对应的类别").size(), 2u);
}

TEST(ScriptEditorRules, PopupsNumberTheirEntries) {
    const std::vector<PopupEntry> keys = KeyPopupEntries();
    std::vector<std::string> labels;
    for (const PopupEntry& entry : keys) {
        if (!entry.separator)
            labels.push_back(entry.label);
    }
    ASSERT_EQ(labels.size(), 13u);
    EXPECT_EQ(labels[3], "&4.第1层循环");
    EXPECT_EQ(labels[9], "&A.#字段别名列表=");
    EXPECT_EQ(PopupShortcutPrefix(35), "&Z.");
    EXPECT_EQ(PopupShortcutPrefix(36), "");

    std::vector<PopupEntry> fields;
    std::string error;
    EXPECT_FALSE(FieldPopupEntries("#表名=T\r\n", fields, error));
    EXPECT_EQ(error, "请先指定“字段名列表”！");
    ASSERT_TRUE(FieldPopupEntries("#字段名列表=a, b\r\n", fields, error));
    ASSERT_EQ(fields.size(), 5u);
    EXPECT_TRUE(fields[2].separator);
    EXPECT_EQ(fields[3].label, "&3.a_2");
    EXPECT_EQ(fields[3].insert, "a_2=");
}

TEST(ScriptEditorRules, ValueMethodParametersAndValues) {
    EXPECT_EQ(ValueMethodParameters("#字段名列表=a,b\r\n"),
              (std::vector<std::string>{"<光标所在位置>", "a_1", "b_1"}));
    EXPECT_EQ(ValueMethodParameters("#字段名列表=a\r\n1=x\r\n2=y\r\n").size(), 3u);
    std::string nine = "#字段名列表=a\r\n";
    for (int i = 1; i <= 9; ++i)
        nine += Format("%d=x\r\n", i);
    EXPECT_EQ(LoopLevelCount(nine), 1);
    EXPECT_TRUE(ValueMethodIncludesBoundaries("#表名=T\r\n"));
    EXPECT_FALSE(ValueMethodIncludesBoundaries("#是否保留字段值前后边界=1\r\n"));
    EXPECT_EQ(ValueMethodHint("a_1"), "参数值将插入到a_1。");

    const ValueMethod cut = ParseValueMethod("~<b>(.*?)</b>", true);
    EXPECT_EQ(cut.begin, "<b>");
    EXPECT_EQ(cut.end, "</b>");
    EXPECT_FALSE(cut.includeBoundaries);
    EXPECT_EQ(ParseValueMethod("plain", false).begin, "plain");
    std::string value, error;
    int box = 0;
    ASSERT_TRUE(ComposeValueMethod({"<i>", "</i>", true}, value, error, box));
    EXPECT_EQ(value, "$<i>(.*?)</i>");
    EXPECT_FALSE(ComposeValueMethod({"<i>", "", true}, value, error, box));
    EXPECT_EQ(error, "结束字符串不能为空！");
    EXPECT_EQ(box, 2);
    const std::vector<std::string> keys = ScriptCompletionKeys("#字段名列表=a\r\n");
    for (const char* key : {"#表名=", "#表名2=", "#建表1=", "a_1=", "a_1_获取=", "a_1_处理1="})
        EXPECT_NE(std::find(keys.begin(), keys.end(), key), keys.end()) << key;
    EXPECT_EQ(UncommentLine(CommentLine("#表名=T")), "#表名=T");
    EXPECT_EQ(UncommentLine("#表名=T"), "#表名=T");
}

TEST(ScriptEditorRules, TestRunTakesTheSelectionAndThePageOnlyWithoutAStartUrl) {
    TestRunPlan plan = PrepareTestRun("1=a\n2=b", "#要搜索网址=http://h/\r\n1=a\r\n", "<p>x</p>\n");
    EXPECT_EQ(plan.script, "1=a\r\n2=b");
    EXPECT_EQ(plan.page, "<p>x</p>\r\n");
    EXPECT_EQ(plan.pageLimit, 0);
    plan = PrepareTestRun("", "#要搜索网址=http://h/\r\n", "<p>x</p>");
    EXPECT_EQ(plan.page, "");
    EXPECT_EQ(plan.pageLimit, 1);
    EXPECT_EQ(PrepareTestRun("", "1=a\n", "//网页源码\n").page, "");
    EXPECT_EQ(PrepareTestRun(" \r\n", "x", "").refusal, "//输出结果：\r\n测试脚本不能为空！");
}

TEST_F(ScriptEditorTest, LookupTablesAreMadeOnceAndColumnMetadataGoesToTheTask) {
    const std::string script = "#建表1=T_类\r\n#建表1_插入值=O'K\r\n#建表2=T_b\r\n";
    std::string error;
    ASSERT_TRUE(CreateLookupTables(script, error)) << error;
    ASSERT_TRUE(CreateLookupTables(script, error)) << error;
    EXPECT_EQ(CDbAccess().SelectCount("T_类", "cName_='O''K' and iGrade_=1 and cFullName_='O''K'"), 1);
    EXPECT_EQ(CDbAccess().SelectCount("T_b", "1=1"), 0);
    EXPECT_FALSE(CreateLookupTables("#建表1=x;drop table Task\r\n", error));
    EXPECT_EQ(error.rfind("建表失败！(", 0), 0u);

    const std::string tables =
        "#任务名称=m\r\n#表名=A\r\n#表名2=B\r\n#字段名列表=a,b,c\r\n#字段别名列表=甲,乙,丙\r\n"
        "#字段类型=文本(10),整数,备注\r\n#表名_字段名列表=a,b\r\n#表名2_字段名列表=c,x\r\n"
        "#表名2_字段类型=备注\r\n";
    const int task = AddTaskFromScript(tables, error);
    ASSERT_GT(task, 0) << error;
    ASSERT_TRUE(StoreTestColumnMetadata(task, tables, error)) << error;
    const std::string settings = CTaskTable().ReadTaskText(task, true);
    EXPECT_EQ(ScriptValue("#表名_字段类型=", settings), "文本(10),整数");
    EXPECT_EQ(ScriptValue("#表名_字段别名列表=", settings), "甲,乙");
    EXPECT_EQ(ScriptValue("#表名2_字段类型=", settings), "");  // the script has it
    EXPECT_EQ(ScriptValue("#表名2_字段别名列表=", settings), "丙");
    EXPECT_EQ(ScriptValue("#字段别名列表_表名列表=", settings), "A,A,B");
}

TEST_F(ScriptEditorTest, SearchEngineChoiceIsReadAndStoredWhereTheRunReadsIt) {
    std::string error;
    const int task = AddTaskFromScript("#任务名称=s\r\n#搜索引擎列表=甲, 乙,丙\r\n", error);
    ASSERT_GT(task, 0) << error;
    SearchEngineChoice choice = ReadSearchEngineChoice(CTaskTable().ReadTaskScript(task));
    EXPECT_EQ(choice.checked, (std::vector<bool>{true, true, true}));
    EXPECT_FALSE(StoreSearchEngineChoice(task, {}, error));
    EXPECT_EQ(error, "至少要选择一个搜索引擎！");
    ASSERT_TRUE(StoreSearchEngineChoice(task, {"甲", "丙"}, error)) << error;
    choice = ReadSearchEngineChoice(CTaskTable().ReadTaskScript(task));
    EXPECT_EQ(choice.checked, (std::vector<bool>{true, false, true}));
}

TEST(ScriptSyntax, LineParts) {
    using K = ScriptSpanKind;
    auto kinds = [](std::string_view line) {
        std::vector<std::pair<std::string, K>> parts;
        for (const ScriptSpan& span : ScriptLineSpans(line))
            parts.emplace_back(std::string(line.substr(span.start, span.length)), span.kind);
        return parts;
    };
    using P = std::vector<std::pair<std::string, K>>;
    EXPECT_EQ(kinds("//#表名=T"), (P{{"//#表名=T", K::kComment}}));
    EXPECT_EQ(kinds("[变量_a]{"), (P{{"[变量_a]{", K::kBlockTag}}));
    EXPECT_EQ(kinds("#表名=<变量_a>x"), (P{{"#表名=", K::kTaskKey}, {"<变量_a>", K::kVariable}}));
    EXPECT_EQ(kinds("1=$<li>(.*?)</li>"),
              (P{{"1=", K::kLevelKey}, {"$", K::kMarker}, {"(.*?)", K::kCapture}}));
    EXPECT_EQ(kinds("标题_1_获取=文本"), (P{{"标题_1", K::kFieldKey}, {"_获取=", K::kRuleWord}}));
    EXPECT_EQ(kinds("链接_正则1=x"), (P{{"链接", K::kFieldKey}, {"_正则1=", K::kRuleWord}}));
    EXPECT_EQ(kinds("标题_1=~a"), (P{{"标题_1=", K::kFieldKey}, {"~", K::kMarker}}));
    EXPECT_EQ(ScriptLineKey("标题_1=~a=b"), "标题_1=");
}

}  // namespace
