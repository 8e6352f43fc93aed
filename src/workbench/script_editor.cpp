#include "workbench/script_editor.h"

#include <algorithm>
#include <mutex>

#include "engine/result_table.h"
#include "script/script_keys.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "text/gb_text.h"
#include "text/strings.h"
#include "workbench/task_actions.h"

namespace sorvik {

namespace {

constexpr char kUnnamedPrefix[] = "<未命名";
constexpr char kSaveFailed[] = "保存失败！";

// The database's reason after a failed call, on a line under the system's message.
std::string WithReason(std::string message, const CDbAccess& db) {
    const std::string reason = db.m_strProviderError.empty() ? db.m_strError : db.m_strProviderError;
    if (!reason.empty() && reason != message)
        message += "\r\n" + reason;
    return message;
}

// Appends a line: the script first gets the line end its last line lacks.
void AppendLine(std::string& script, std::string_view line) {
    if (!script.empty() && script.back() != '\n')
        script += "\r\n";
    script += line;
    script += "\r\n";
}

// Writes a key's value: its line is replaced, or a new line is appended. The value's range.
ScriptSelection WriteKey(std::string& script, std::string_view key, std::string_view value) {
    ScriptSelection range;
    const bool present =
        script.compare(0, key.size(), key) == 0 || script.find("\n" + std::string(key)) != std::string::npos;
    if (present) {
        range.start = SetScriptValue(key, script, value);
    } else {
        AppendLine(script, std::string(key) + std::string(value));
        range.start = script.size() - 2 - value.size();
    }
    range.end = range.start + value.size();
    return range;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

EditorSaveResult SaveEditorScript(ScriptEditorState& state, std::string& script,
                                  std::string_view pageSource) {
    EditorSaveResult result;
    if (state.mode == EditorMode::kModifyTask) {
        if (!ReplaceTaskScript(state.taskId, script, result.message))
            return result;
        state.templateId = -1;
        state.mode = EditorMode::kFreeScript;
        result.reselectCategory = state.categoryToReselect;
        result.saved = true;
        result.message = "保存成功！";
        return result;
    }
    std::string name = Trim(ScriptValue("#脚本名称=", script));
    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    if (state.templateId == -1 || state.builtInTemplate) {
        if (name.empty()) {
            AppendLine(script, "//此处指定脚本名称，如“脚本名称=test(&t)”（“&t”中的t是快捷键）");
            name = "<未命名>";
            result.select = WriteKey(script, "#脚本名称=", name);
            result.scriptChanged = true;
        }
        if (!db.ExecuteSql(Format("insert into TaskMod(cTask,cWeb,cSearchScript,cSource,iMod) "
                                  "values('%s','','%s','%s',0)",
                                  SqlQuote(name).c_str(), SqlQuote(script).c_str(),
                                  SqlQuote(pageSource).c_str()))) {
            result.message = WithReason(kSaveFailed, db);
            return result;
        }
        state.templateId = ToInt(db.SelectTopString("max(ID)", "TaskMod", "1=1"));
        // Saved again, the script updates its own template instead of making another.
        state.builtInTemplate = false;
    } else {
        const std::string sql =
            name.empty() ? Format("update TaskMod set cSearchScript='%s',cSource='%s' where ID=%d",
                                  SqlQuote(script).c_str(), SqlQuote(pageSource).c_str(), state.templateId)
                         : Format("update TaskMod set cTask='%s',cSearchScript='%s',cSource='%s' where ID=%d",
                                  SqlQuote(name).c_str(), SqlQuote(script).c_str(),
                                  SqlQuote(pageSource).c_str(), state.templateId);
        if (!db.ExecuteSql(sql)) {
            result.message = WithReason(kSaveFailed, db);
            return result;
        }
    }
    result.saved = true;
    result.message = "保存成功！";
    return result;
}

bool LoadScriptTemplates(std::vector<ScriptTemplate>& templates, std::string& error) {
    templates.clear();
    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    for (const int builtIn : {1, 0}) {
        auto rows = db.OpenRecordset(
            Format("select ID,cTask,cSearchScript,cSource from TaskMod where iMod=%d", builtIn));
        if (!rows) {
            error = WithReason("读取表TaskMod失败！", db);
            return false;
        }
        for (; !rows->IsEof(); rows->MoveNext()) {
            ScriptTemplate t;
            t.id = static_cast<int>(rows->Int(size_t{0}));
            t.name = rows->Text(size_t{1});
            t.script = rows->Text(size_t{2});
            t.source = rows->Text(size_t{3});
            t.builtIn = builtIn == 1;
            templates.push_back(std::move(t));
        }
    }
    return true;
}

std::vector<std::string> TemplateMenuLabels(const std::vector<ScriptTemplate>& templates, int templateId) {
    std::vector<std::string> labels;
    int number = 0;
    for (const ScriptTemplate& t : templates) {
        std::string label = t.name;
        if (!t.builtIn) {
            ++number;
            if (label.find('&') == std::string::npos)
                label = Format("&%d.%s", number, t.name.c_str());
        }
        if (t.id == templateId)
            label += "(当前)";
        labels.push_back(std::move(label));
    }
    return labels;
}

void ChooseTemplate(ScriptEditorState& state, const ScriptTemplate& chosen) {
    state.builtInTemplate = chosen.builtIn;
    state.templateId = chosen.id;
}

std::string TemplateDeleteRefusal(const ScriptEditorState& state) {
    if (state.templateId == -1)
        return "请先选择要删除的脚本！";
    if (state.builtInTemplate)
        return "不能删除内置模版脚本！";
    return {};
}

bool DeleteCurrentTemplate(ScriptEditorState& state, std::string& error) {
    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    if (!db.DeleteRecords("TaskMod", Format("where ID=%d", state.templateId))) {
        error = WithReason("删除失败！", db);
        return false;
    }
    state.templateId = -1;
    return true;
}

std::string GeneratedTaskName(std::time_t now) {
    std::tm local{};
    localtime_r(&now, &local);
    char date[32];
    char time[32];
    std::strftime(date, sizeof date, "%m/%d/%y", &local);
    std::strftime(time, sizeof time, "%H:%M:%S", &local);
    return Format("<未命名%s %s>", date, time);
}

EditorTaskName NameEditorTask(std::string& script, std::time_t now) {
    EditorTaskName result;
    const std::string name = Trim(ScriptValue("#任务名称=", script));
    if (!name.empty() && !StartsWith(name, kUnnamedPrefix))
        return result;
    result.select = WriteKey(script, "#任务名称=", GeneratedTaskName(now));
    result.scriptChanged = true;
    if (name.empty()) {
        result.refused = true;
        result.message = "请先指定任务名称!";
    }
    return result;
}

size_t DropCategoryOnScript(std::string& script, int nodeId, std::string_view nodeName) {
    const std::string oldName = ScriptValue("#类别名称=", script);
    const std::string oldNumber = ScriptValue("#类别号=", script);
    const std::string taskName = ScriptValue("#任务名称=", script);
    if (oldName.empty() && oldNumber.empty()) {
        if (taskName.empty())
            WriteKey(script, "#任务名称=", nodeName);
        AppendLine(script, "//此处指定任务对应的类别，可以拖动左边的类别到这里。");
        AppendLine(script, "//如果不指定类别号或类别号无效，搜索结果则放在“已完成”类别中。");
    }
    WriteKey(script, "#类别名称=", nodeName);
    if (!oldName.empty() && taskName == oldName)
        WriteKey(script, "#任务名称=", nodeName);
    return WriteKey(script, "#类别号=", std::to_string(nodeId)).end;
}

std::string PopupShortcutPrefix(int n) {
    if (n >= 1 && n <= 9)
        return Format("&%d.", n);
    if (n >= 10 && n <= 35)
        return Format("&%c.", static_cast<char>(n + 55));
    return {};
}

namespace {

// Numbers the non-separator entries' labels.
void NumberEntries(std::vector<PopupEntry>& entries) {
    int n = 0;
    for (PopupEntry& entry : entries) {
        if (!entry.separator)
            entry.label = PopupShortcutPrefix(++n) + entry.label;
    }
}

}  // namespace

std::vector<PopupEntry> KeyPopupEntries() {
    static const char* const kEntries[][2] = {
        {"#要搜索网址=", nullptr}, {"#要搜索网址_始末值=", nullptr},
        {"#下一页网址=", nullptr}, {nullptr, nullptr},
        {"1=", "第1层循环"},       {"2=", "第2层循环"},
        {"3=", "第3层循环"},       {nullptr, nullptr},
        {"#字段名列表=", nullptr}, {"#是否保留字段值前后边界=", nullptr},
        {"#表名=", nullptr},       {"#字段别名列表=", nullptr},
        {"#字段类型=", nullptr},   {"#唯一字段=", nullptr},
        {nullptr, nullptr},        {"#保存数据库的最大记录数=", nullptr},
    };
    std::vector<PopupEntry> entries;
    for (const auto& [insert, label] : kEntries) {
        PopupEntry entry;
        entry.separator = insert == nullptr;
        if (!entry.separator) {
            entry.insert = insert;
            entry.label = label ? label : insert;
        }
        entries.push_back(std::move(entry));
    }
    NumberEntries(entries);
    return entries;
}

bool FieldPopupEntries(std::string_view script, std::vector<PopupEntry>& entries, std::string& error) {
    entries.clear();
    const std::vector<std::string> fields = SplitList(ScriptValue("#字段名列表=", script));
    if (fields.empty()) {
        error = "请先指定“字段名列表”！";
        return false;
    }
    for (const char* level : {"_1", "_2"}) {
        if (!entries.empty())
            entries.push_back(PopupEntry{true, {}, {}});
        for (const std::string& field : fields) {
            PopupEntry entry;
            entry.label = field + level;
            entry.insert = entry.label + "=";
            entries.push_back(std::move(entry));
        }
    }
    NumberEntries(entries);
    return true;
}

int LoopLevelCount(std::string_view script) {
    int count = 0;
    while (count < 9 && !ScriptValue(Format("%d=", count + 1), script).empty())
        ++count;
    return count == 0 || count == 9 ? 1 : count;
}

std::vector<std::string> ValueMethodParameters(std::string_view script) {
    std::vector<std::string> parameters{kAtCaretParameter};
    const std::vector<std::string> fields = SplitList(ScriptValue("#字段名列表=", script));
    const int levels = LoopLevelCount(script);
    for (int level = 1; level <= levels; ++level) {
        for (const std::string& field : fields)
            parameters.push_back(Format("%s_%d", field.c_str(), level));
    }
    return parameters;
}

bool ValueMethodIncludesBoundaries(std::string_view script) {
    return ScriptValue("#是否保留字段值前后边界=", script).empty();
}

std::string ValueMethodHint(std::string_view parameter) {
    if (parameter == kAtCaretParameter)
        return "参数值将插入到光标所在位置。";
    return Format("参数值将插入到%s。", std::string(parameter).c_str());
}

ValueMethod ParseValueMethod(std::string_view value, bool includeBoundaries) {
    ValueMethod method;
    method.includeBoundaries = includeBoundaries;
    if (!value.empty() && value.front() == '$') {
        method.includeBoundaries = true;
        value.remove_prefix(1);
    } else if (!value.empty() && value.front() == '~') {
        method.includeBoundaries = false;
        value.remove_prefix(1);
    }
    const size_t capture = value.find("(.*?)");
    if (capture == std::string_view::npos) {
        method.begin = value;
    } else {
        method.begin = value.substr(0, capture);
        method.end = value.substr(capture + 5);
    }
    return method;
}

bool ComposeValueMethod(const ValueMethod& method, std::string& value, std::string& error, int& emptyBox) {
    emptyBox = 0;
    if (method.begin.empty()) {
        error = "开始字符串不能为空！";
        emptyBox = 1;
        return false;
    }
    if (method.end.empty()) {
        error = "结束字符串不能为空！";
        emptyBox = 2;
        return false;
    }
    value = (method.includeBoundaries ? "$" : "~") + method.begin + "(.*?)" + method.end;
    return true;
}

std::vector<std::string> ScriptCompletionKeys(std::string_view script) {
    std::vector<std::string> keys;
    for (const TaskKeyEntry& entry : KnownTaskKeys()) {
        switch (entry.form) {
            case KeyForm::kExact:
                keys.emplace_back(entry.stem);
                break;
            case KeyForm::kNumbered:
                // "#表名=" is the first table: the numbered ones begin at 2.
                keys.push_back(NumberedKey(entry.stem, entry.stem == key::kTableStem ? 2 : 1, entry.suffix));
                break;
            case KeyForm::kPrefix:
                break;  // the rest of the name is the user's
        }
    }
    for (const std::string& field : SplitList(ScriptValue(key::kFieldList, script))) {
        const std::string level = field + "_1";
        keys.push_back(level + "=");
        for (const RuleWordEntry& rule : KnownRuleWords()) {
            if ((rule.owners & kFieldOwner) == 0 || rule.word == rule::kNarrowing)
                continue;
            keys.push_back(level + std::string(rule.word) + (rule.numbered ? "1=" : "="));
        }
    }
    return keys;
}

std::string CommentLine(std::string_view line) {
    return "//" + std::string(line);
}

std::string UncommentLine(std::string_view line) {
    return std::string(StartsWith(line, "//") ? line.substr(2) : line);
}

std::string ScriptLines(std::string_view text) {
    std::string lines;
    lines.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            lines += c;
        }
    }
    return lines;
}

TestRunPlan PrepareTestRun(std::string_view selection, std::string_view whole, std::string_view page) {
    TestRunPlan plan;
    plan.script = ScriptLines(selection.empty() ? whole : selection);
    if (Trim(plan.script).empty()) {
        plan.script.clear();
        plan.refusal = "//输出结果：\r\n测试脚本不能为空！";
        return plan;
    }
    plan.page = ScriptLines(page);
    if (plan.page == kPagePaneHeader || !Trim(ScriptValue("#要搜索网址=", plan.script)).empty())
        plan.page.clear();
    // Without a page of its own, a test shows the start page and what its records link to.
    plan.pageLimit = plan.page.empty() ? 1 : 0;
    return plan;
}

bool CreateLookupTables(std::string_view script, std::string& error) {
    std::scoped_lock lock(g_csDatabase);
    for (int n = 1;; ++n) {
        const std::string key = Format("#建表%d=", n);
        const std::string table = Trim(ScriptValue(key, script));
        if (table.empty())
            return true;
        if (!IsPlainName(table)) {
            error = Format("建表失败！(“%s”不能用作名称(%s)：名称只能由字母、数字、下划线和汉字组成)",
                           table.c_str(), key.c_str());
            return false;
        }
        if (ResultTableExists(table))
            continue;
        CDbAccess db;
        if (!db.ExecuteSql(
                Format("create table %s (ID_ IDENTITY CONSTRAINT PK_%s PRIMARY KEY,cID_ varchar(50),"
                       "cName_ varchar(100),iGrade_ smallint,iParent_ int,cFullName_ varchar(100))",
                       table.c_str(), table.c_str()))) {
            error = Format("建表失败！(%s)", db.m_strError.c_str());
            return false;
        }
        const std::string value = ScriptValue(Format("#建表%d_插入值=", n), script);
        if (!value.empty() &&
            !db.ExecuteSql(
                Format("insert into  %s (cName_ ,iGrade_ ,iParent_ ,cFullName_ ) values('%s',1,0,'%s')",
                       table.c_str(), SqlQuote(value).c_str(), SqlQuote(value).c_str()))) {
            error = Format("插入值失败！(%s)", db.m_strError.c_str());
            return false;
        }
    }
}

bool StoreTestColumnMetadata(int taskId, std::string_view script, std::string& error) {
    if (taskId <= 0)
        return true;
    // The result grid's columns: the fields of "#字段名列表=" with their types and titles.
    const std::vector<std::string> names = SplitList(ScriptValue("#字段名列表=", script));
    const std::vector<std::string> titles = SplitList(ScriptValue("#字段别名列表=", script));
    const std::vector<std::string> types = SplitList(ScriptValue("#字段类型=", script));
    auto at = [](const std::vector<std::string>& list, size_t i) {
        return i < list.size() ? list[i] : std::string();
    };
    std::vector<std::pair<std::string, std::string>> stores;  // key without "=", value
    std::vector<std::vector<std::string>> numberedLists;      // fields of the numbered tables 2, 3, ...
    bool anyTypes = false;
    for (int n = 1;; ++n) {
        const std::string stem = n == 1 ? std::string("#表名_") : Format("#表名%d_", n);
        const std::vector<std::string> fields = SplitList(ScriptValue(stem + "字段名列表=", script));
        if (fields.empty())
            break;
        if (n >= 2)
            numberedLists.push_back(fields);
        std::vector<std::string> listTypes;
        std::vector<std::string> listTitles;
        for (const std::string& field : fields) {
            const auto found = std::find(names.begin(), names.end(), field);
            if (found == names.end())
                continue;
            const size_t i = static_cast<size_t>(found - names.begin());
            listTypes.push_back(at(types, i));
            listTitles.push_back(at(titles, i));
        }
        if (listTypes.empty())
            continue;
        if (ScriptValue(stem + "字段类型=", script).empty()) {
            stores.emplace_back(stem + "字段类型", Join(listTypes, ","));
            anyTypes = true;
        }
        if (!titles.empty() && ScriptValue(stem + "字段别名列表=", script).empty())
            stores.emplace_back(stem + "字段别名列表", Join(listTitles, ","));
    }
    if (anyTypes) {
        std::vector<std::string> tables;
        for (const std::string& name : names) {
            std::string table = Trim(ScriptValue("#表名=", script));
            for (size_t i = 0; i < numberedLists.size(); ++i) {
                const auto& list = numberedLists[i];
                if (std::find(list.begin(), list.end(), name) != list.end()) {
                    table = Trim(ScriptValue(Format("#表名%zu=", i + 2), script));
                    break;
                }
            }
            tables.push_back(table);
        }
        stores.emplace_back("#字段别名列表_表名列表", Join(tables, ","));
    }
    CTaskTable tasks;
    for (const auto& [key, value] : stores) {
        if (tasks.SetTaskScriptValue(taskId, key, value, true) != 1) {
            error = g_strDbError.Get();
            return false;
        }
    }
    return true;
}

SearchEngineChoice ReadSearchEngineChoice(std::string_view script) {
    SearchEngineChoice choice;
    choice.names = SplitList(ScriptValue("#搜索引擎列表=", script));
    const std::vector<std::string> chosen = SplitList(ScriptValue("#搜索引擎列表_用户选择=", script));
    for (const std::string& name : choice.names)
        choice.checked.push_back(chosen.empty() ||
                                 std::find(chosen.begin(), chosen.end(), name) != chosen.end());
    return choice;
}

bool StoreSearchEngineChoice(int taskId, const std::vector<std::string>& chosen, std::string& error) {
    if (chosen.empty()) {
        error = "至少要选择一个搜索引擎！";
        return false;
    }
    if (CTaskTable().SetTaskScriptValue(taskId, "#搜索引擎列表_用户选择", Join(chosen, ","), false) != 1) {
        error = g_strDbError.Get();
        return false;
    }
    return true;
}

}  // namespace sorvik
