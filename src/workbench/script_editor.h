#pragma once
// The rules of the task editor, free of any window: the state of one editor, saving a script as a
// user template or into the task being modified, the template menu, adding the script as a task,
// the category drop, the key and field popups, the value-method dialog's values, comments, and
// the preparation of a test run (the test script and page, lookup tables, column metadata).
//
// Texts are GB18030 scripts of CR LF lines. The operations that touch the database take
// g_csDatabase themselves; none calls a prompt: messages come back as the system's texts.

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

// The three panes' texts of a fresh editor.
inline constexpr char kScriptPaneHeader[] = "//Sorvik脚本\r\n";
inline constexpr char kOutputPaneHeader[] = "//输出结果\r\n";
inline constexpr char kPagePaneHeader[] = "//网页源码\r\n";

enum class EditorMode { kFreeScript = 0, kModifyTask = 1 };

struct ScriptEditorState {
    bool zoomed = false;  // the script pane fills the editor area ("放大/缩小")
    EditorMode mode = EditorMode::kFreeScript;
    int categoryToReselect = 0;   // the tree node current when "修改任务" began
    bool builtInTemplate = true;  // the script came from a built-in template
    int templateId = -1;          // TaskMod.ID the script came from; -1 none
    int taskId = 0;               // the task being modified (kModifyTask)
};

// A byte range of a script to select after it was rewritten (npos start: none).
struct ScriptSelection {
    size_t start = std::string::npos;
    size_t end = std::string::npos;
};

// Saving ("保存任务(&S)", Ctrl+S).
struct EditorSaveResult {
    bool saved = false;
    std::string message;  // "保存成功！", "保存失败！" (with the reason on a new line) or a refusal
    bool scriptChanged = false;  // the script got "#脚本名称=<未命名>": put it back into the pane
    ScriptSelection select;      // the inserted name
    int reselectCategory = 0;    // a task was saved: the tree node to select again (0 none)
};
// Mode kModifyTask: the task's script is replaced (its name and first URL follow the script, as
// `task edit` does); the editor returns to kFreeScript with templateId -1. Mode kFreeScript: a
// new user template (TaskMod iMod 0) when the script came from no template or from a built-in
// one, else template templateId is updated; a script without "#脚本名称=" gets the hint comment
// and "#脚本名称=<未命名>" first. pageSource goes with a template as its cSource.
EditorSaveResult SaveEditorScript(ScriptEditorState& state, std::string& script, std::string_view pageSource);

// The template menu ("打开模版或自定义脚本(&O)").
struct ScriptTemplate {
    int id = 0;
    std::string name;  // cTask
    std::string script;
    std::string source;
    bool builtIn = false;
};
// Built-in templates in stored order, then the user's. False with the error.
bool LoadScriptTemplates(std::vector<ScriptTemplate>& templates, std::string& error);
// One label per template: built-in ones by name, user ones without "&" as "&N.name" (N counts the
// user's scripts from 1); the current template (templateId) gets "(当前)".
std::vector<std::string> TemplateMenuLabels(const std::vector<ScriptTemplate>& templates, int templateId);
inline constexpr char kDeleteTemplateItem[] = "删除当前脚本(&D)";
// A template was chosen: the state follows it (the panes take its script and source).
void ChooseTemplate(ScriptEditorState& state, const ScriptTemplate& chosen);
// "删除当前脚本": the refusal ("请先选择要删除的脚本！", "不能删除内置模版脚本！") or empty when the
// question "确定删除当前脚本吗？" is to be asked.
std::string TemplateDeleteRefusal(const ScriptEditorState& state);
// Deletes template templateId; templateId becomes -1. False with "删除失败！".
bool DeleteCurrentTemplate(ScriptEditorState& state, std::string& error);

// "加入任务(&A)", the name rule: a script without "#任务名称=" gets "<未命名M/D/YY H:M:S>" and is
// refused once ("请先指定任务名称!"); a name that begins with "<未命名" is generated afresh and the
// task is added. The script may change (scriptChanged; select is the name).
struct EditorTaskName {
    bool refused = false;
    std::string message;
    bool scriptChanged = false;
    ScriptSelection select;
};
EditorTaskName NameEditorTask(std::string& script, std::time_t now);
// "<未命名%s %s>" for a time (local): month/day/two-digit year and hours:minutes:seconds.
std::string GeneratedTaskName(std::time_t now);

// A category dragged from the tree onto the script: "#类别名称=" and "#类别号=" are written (with
// the explaining comments the first time, and "#任务名称=" when it is empty or was the old
// category name). Returns the byte offset after the written category number.
size_t DropCategoryOnScript(std::string& script, int nodeId, std::string_view nodeName);

// Popups: F4 (task keys) and F5 (the fields' level keys).
struct PopupEntry {
    bool separator = false;
    std::string insert;  // the text put at the caret
    std::string label;   // menu label, with its "&1." ... "&Z." shortcut prefix
};
std::vector<PopupEntry> KeyPopupEntries();
// False with "请先指定“字段名列表”！" when the script has no "#字段名列表=".
bool FieldPopupEntries(std::string_view script, std::vector<PopupEntry>& entries, std::string& error);
// The prefix of the n-th (from 1) entry: "&n." up to 9, "&A." ... "&Z." for 10 to 35, else none.
std::string PopupShortcutPrefix(int n);

// The value-method dialog ("设置参数取值方法", F6).
inline constexpr char kAtCaretParameter[] = "<光标所在位置>";
// The loop levels: consecutive non-empty "1=", "2=", ... "9="; a count of 0 or 9 gives 1.
int LoopLevelCount(std::string_view script);
// "<光标所在位置>", then "field_L" for each level L and each field of "#字段名列表=".
std::vector<std::string> ValueMethodParameters(std::string_view script);
// The box "包含边界：" at first: set when the script has no "#是否保留字段值前后边界=".
bool ValueMethodIncludesBoundaries(std::string_view script);
// "参数值将插入到光标所在位置。" or "参数值将插入到%s。".
std::string ValueMethodHint(std::string_view parameter);
struct ValueMethod {
    std::string begin;
    std::string end;
    bool includeBoundaries = true;
};
// A parameter's value into the boxes: "$" sets the box, "~" clears it (neither keeps
// includeBoundaries); the text before "(.*?)" is the begin string, after it the end string.
ValueMethod ParseValueMethod(std::string_view value, bool includeBoundaries);
// "$" or "~", begin, "(.*?)", end. False with "开始字符串不能为空！" (emptyBox 1) or
// "结束字符串不能为空！" (emptyBox 2).
bool ComposeValueMethod(const ValueMethod& method, std::string& value, std::string& error, int& emptyBox);

// The keys completion offers for a script: every task key of the language (a numbered one with its
// first number), then each field of "#字段名列表=" at level 1 alone and with each rule word a field
// takes ("标题_1_获取="). Each with its "=".
std::vector<std::string> ScriptCompletionKeys(std::string_view script);

// Comments (F7, Shift+F7) on one line of a selection.
std::string CommentLine(std::string_view line);    // "//" + line
std::string UncommentLine(std::string_view line);  // without one leading "//"; other lines unchanged

// A test run ("测试任务(&T)", F8).
struct TestRunPlan {
    std::string script;   // the test script (CR LF lines)
    std::string page;     // the page to process instead of fetching (empty: fetch)
    int pageLimit = 0;    // pages to process (0: no limit), as `sorvik-cli test` does
    std::string refusal;  // set: the output pane shows it and nothing runs
};
// selection: the script pane's selected text (empty: none); whole: the pane's text; page: the
// page-source pane's text. Line ends of all three become CR LF.
TestRunPlan PrepareTestRun(std::string_view selection, std::string_view whole, std::string_view page);
// The output pane's text when the test task is still running.
inline constexpr char kTestStillRunning[] = "//输出结果：\r\n当前测试任务正在执行！";
// "#建表N=" tables that do not exist are created with their "#建表N_插入值=" row. False with
// "建表失败！(%s)" or "插入值失败！(%s)" and the reason.
bool CreateLookupTables(std::string_view script, std::string& error);
// The column metadata of a multi-table script, stored in task taskId's settings where the script
// leaves it out: "#表名_字段类型=", "#表名_字段别名列表=", "#表名N_字段类型=", "#表名N_字段别名列表="
// and "#字段别名列表_表名列表=". Nothing for taskId <= 0. False with the database's error.
bool StoreTestColumnMetadata(int taskId, std::string_view script, std::string& error);
// Line ends (CR LF, a bare CR or a bare LF) all become CR LF.
std::string ScriptLines(std::string_view text);

// The search-engine chooser ("选择搜索引擎").
struct SearchEngineChoice {
    std::vector<std::string> names;  // "#搜索引擎列表="
    std::vector<bool> checked;       // in "#搜索引擎列表_用户选择=", or all when there is none
};
SearchEngineChoice ReadSearchEngineChoice(std::string_view script);
// Stores the chosen names, joined by ",", as "#搜索引擎列表_用户选择=" in the task's script (where
// the run reads it). False with "至少要选择一个搜索引擎！" for none, or the database's error.
bool StoreSearchEngineChoice(int taskId, const std::vector<std::string>& chosen, std::string& error);

}  // namespace sorvik
