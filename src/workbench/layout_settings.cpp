#include "workbench/layout_settings.h"

#include <mutex>

#include "engine/run_globals.h"
#include "script/script_keys.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "text/strings.h"

namespace sorvik {

namespace {

constexpr const char* kHome = "Home";
constexpr const char* kSetting = "setting";

// A stored text replaces the default only when it is non-empty.
void ReadInt(const std::string& text, int& value) {
    if (!text.empty())
        value = ToInt(text);
}

void ReadBool(const std::string& text, bool& value) {
    if (!text.empty())
        value = ToInt(text) != 0;
}

std::string Decimal(int value) {
    return Format("%d", value);
}

}  // namespace

void LoadLayoutSettings(LayoutSettings& settings, ProfileStore& profile, const std::string& home) {
    settings = LayoutSettings{};
    settings.directory = profile.Read(kHome, "Directory");
    if (settings.directory.empty())
        settings.directory = home;
    ReadInt(profile.Read(kHome, "iLeftTreeWidth"), settings.leftTreeWidth);
    ReadInt(profile.Read(kHome, "iRightDataHeight"), settings.rightDataHeight);
    ReadInt(profile.Read(kHome, "iRightTopDataHeight"), settings.rightTopDataHeight);
    ReadBool(profile.Read(kHome, "bShowRightBottBrow"), settings.showRightBottBrow);
    ReadInt(profile.Read(kSetting, "m_bTextTips"), settings.textTips);

    CDbAccess db;
    ReadInt(db.GetSetValue("iCurrentSelectNode"), settings.currentSelectNode);
    ReadInt(db.GetSetValue("iRightTopFindHeight"), settings.rightTopFindHeight);
    ReadInt(db.GetSetValue("iRightTopSearchDataHeight"), settings.rightTopSearchDataHeight);
    ReadInt(db.GetSetValue("iRightTaskHeight"), settings.rightTaskHeight);
    ReadInt(db.GetSetValue("iRightBottDetailHeight"), settings.rightBottDetailHeight);
    ReadBool(db.GetSetValue("bShowFilterAndGrid"), settings.showFilterAndGrid);
    int threads = settings.maxThreadCount;
    ReadInt(db.GetSetValue("giMaxThreadCount"), threads);
    // A limit outside 1..63 (a hand-edited table) would stall or flood the dispatcher.
    if (threads >= 1 && threads <= 63)
        settings.maxThreadCount = threads;
    giMaxThreadCount = settings.maxThreadCount;
}

bool SaveLayoutSettings(const LayoutSettings& settings, ProfileStore& profile) {
    if (!settings.directory.empty())
        profile.Write(kHome, "Directory", settings.directory);
    profile.Write(kHome, "iLeftTreeWidth", Decimal(settings.leftTreeWidth));
    profile.Write(kHome, "iRightDataHeight", Decimal(settings.rightDataHeight));
    profile.Write(kHome, "iRightTopDataHeight", Decimal(settings.rightTopDataHeight));
    profile.Write(kHome, "bShowRightBottBrow", Decimal(settings.showRightBottBrow ? 1 : 0));
    profile.Write(kSetting, "m_bTextTips", Decimal(settings.textTips));

    const std::pair<const char*, int> values[] = {
        {"iCurrentSelectNode", settings.currentSelectNode},
        {"iRightTopFindHeight", settings.rightTopFindHeight},
        {"iRightTopSearchDataHeight", settings.rightTopSearchDataHeight},
        {"iRightTaskHeight", settings.rightTaskHeight},
        {"iRightBottDetailHeight", settings.rightBottDetailHeight},
        {"bShowFilterAndGrid", settings.showFilterAndGrid ? 1 : 0},
        {"giMaxThreadCount", settings.maxThreadCount},
    };
    CDbAccess db;
    bool ok = true;
    for (const auto& [key, value] : values) {
        g_strDbError.Clear();
        db.SetSetValue(key, Decimal(value));
        if (!g_strDbError.Get().empty())
            ok = false;
    }
    return ok;
}

bool ParseThreadLimit(std::string_view text, int& count) {
    const std::string trimmed = Trim(text);
    size_t digits = 0;
    if (!trimmed.empty() && (trimmed[0] == '-' || trimmed[0] == '+'))
        digits = 1;
    if (digits == trimmed.size() || trimmed.size() - digits > 9 ||
        trimmed.find_first_not_of("0123456789", digits) != std::string::npos)
        return false;
    const int value = ToInt(trimmed);
    if (value < 1 || value > 63)
        return false;
    count = value;
    return true;
}

bool UsesTaskLayout(int taskId) {
    if (taskId <= 0)
        return false;
    CTaskTable tasks;
    return Trim(ScriptValue(key::kTaskType, tasks.ReadTaskScript(taskId))) != "接收邮件";
}

bool PlanTaskLayout(int taskId, int& globalSearchBarHeight, TaskLayoutPlan& plan, std::string& error) {
    std::string settings;
    {
        std::scoped_lock lock(g_csDatabase);
        CTaskTable tasks;
        if (taskId <= 0 || !tasks.TaskExists(taskId)) {
            error = "保存临时数据出错！可能是内存不够！";
            return false;
        }
        settings = tasks.ReadTaskText(taskId, true);
    }
    auto value = [&settings](const char* key) { return Trim(ScriptValue(std::string(key) + "=", settings)); };
    plan = TaskLayoutPlan{};
    const std::string nonDetail = value(kKeyNonDetailHeight);
    if (!nonDetail.empty() && ToInt(nonDetail) - 4 >= 0)
        plan.nonDetailHeight = ToInt(nonDetail) - 4;
    // A task that never stored a visibility shows its panes, as the global defaults do; only a
    // stored value other than "1" hides them.
    const std::string showDetail = value(kKeyShowDetail);
    plan.showDetail = showDetail.empty() || showDetail == "1";
    const std::string showGrid = value(kKeyShowFilterAndGrid);
    plan.showFilterAndGrid = showGrid.empty() || showGrid == "1";
    const std::string searchBar = value(kKeySearchBarHeight);
    if (!searchBar.empty()) {
        plan.searchBarHeight = ToInt(searchBar);
    } else {
        if (globalSearchBarHeight == -1)
            globalSearchBarHeight = 42;
        plan.searchBarHeight = globalSearchBarHeight;
    }
    return true;
}

bool WriteTaskLayoutValue(int taskId, std::string_view key, std::string_view value, std::string& error) {
    CTaskTable tasks;
    if (tasks.SetTaskScriptValue(taskId, key, value, true) != 1) {
        error = g_strDbError.Get();
        if (error.empty())
            error = "保存临时数据出错！可能是内存不够！";
        return false;
    }
    return true;
}

}  // namespace sorvik
