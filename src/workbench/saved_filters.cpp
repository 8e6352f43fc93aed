#include "workbench/saved_filters.h"

#include <mutex>

#include "script/script_text.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "text/strings.h"

namespace sorvik {

namespace {

constexpr const char* kFieldKey = "#查询字段名";
constexpr const char* kOperatorKey = "#查询操作符";
constexpr const char* kValueKey = "#超包含表达式";
constexpr const char* kSortKey = "#查询排序选项";
constexpr const char* kInstantKey = "#是否即时过滤";
constexpr const char* kDefaultKey = "#查询模版号";

// A slot's key without its "=".
std::string SlotKey(const char* key, int slot) {
    return slot == 0 ? std::string(key) : key + std::to_string(slot);
}

bool ValidSlot(int slot) {
    return slot >= 0 && slot < kSavedFilterSlots;
}

std::string ReadSettings(int taskId) {
    std::scoped_lock lock(g_csDatabase);
    return CTaskTable().ReadTaskText(taskId, true);
}

// A value is one line of the settings text: a line break in it would end it there and could
// start a key of its own.
std::string OneLine(std::string text) {
    ReplaceAll(text, "\r", " ");
    ReplaceAll(text, "\n", " ");
    return text;
}

// Writes the keys of one slot (empty values clear them); false with the database's message.
bool WriteSlot(int taskId, int slot, const FilterCondition* condition, std::string& error) {
    if (condition != nullptr && Trim(condition->field).empty()) {
        error = "没有选择查询字段！";
        return false;
    }
    const std::pair<const char*, std::string> values[] = {
        {kFieldKey, condition ? condition->field : std::string()},
        {kOperatorKey, condition ? condition->op : std::string()},
        {kValueKey, condition ? condition->value : std::string()},
        {kSortKey, condition ? condition->sort : std::string()},
        {kInstantKey, condition ? std::string(condition->instant ? "1" : "0") : std::string()},
    };
    std::scoped_lock lock(g_csDatabase);
    CTaskTable tasks;
    for (const auto& [key, value] : values) {
        if (tasks.SetTaskScriptValue(taskId, SlotKey(key, slot), OneLine(value), true) != 1) {
            error = g_strDbError.Get();
            return false;
        }
    }
    return true;
}

}  // namespace

bool ReadSavedFilter(std::string_view settings, int slot, FilterCondition& condition) {
    if (!ValidSlot(slot))
        return false;
    condition = FilterCondition{};
    condition.field = Trim(GetKeyValue(SlotKey(kFieldKey, slot), settings));
    if (condition.field.empty())
        return false;
    condition.op = Trim(GetKeyValue(SlotKey(kOperatorKey, slot), settings));
    condition.value = GetKeyValue(SlotKey(kValueKey, slot), settings);
    if (!condition.value.empty() && condition.value.back() == '\r')
        condition.value.pop_back();
    condition.sort = Trim(GetKeyValue(SlotKey(kSortKey, slot), settings));
    condition.instant = Trim(GetKeyValue(SlotKey(kInstantKey, slot), settings)) == "1";
    return true;
}

std::vector<int> SavedFilterSlots(std::string_view settings) {
    std::vector<int> slots;
    for (int slot = 0; slot < kSavedFilterSlots; ++slot) {
        if (!Trim(GetKeyValue(SlotKey(kFieldKey, slot), settings)).empty())
            slots.push_back(slot);
    }
    return slots;
}

int DefaultSavedFilter(std::string_view settings) {
    const std::string text = Trim(GetKeyValue(kDefaultKey, settings));
    if (text.empty())
        return kNoSavedFilter;
    const int slot = ToInt(text);
    FilterCondition condition;
    return ReadSavedFilter(settings, slot, condition) ? slot : kNoSavedFilter;
}

std::string SavedFilterMenuLabel(int menuNumber, const FilterCondition& condition, bool current,
                                 bool isDefault) {
    std::string name = FilterConditionName(condition.value);
    if (name.empty())
        name = kUnnamedFilter;
    return Format("&%d. %s%s%s", menuNumber, name.c_str(), current ? "(当前)" : "",
                  isDefault ? "(默认)" : "");
}

bool AddSavedFilter(int taskId, const FilterCondition& condition, int& slot, std::string& error) {
    std::scoped_lock lock(g_csDatabase);  // the free slot found is the one written
    const std::string settings = ReadSettings(taskId);
    for (int free = 0; free < kSavedFilterSlots; ++free) {
        if (!Trim(GetKeyValue(SlotKey(kFieldKey, free), settings)).empty())
            continue;
        if (!WriteSlot(taskId, free, &condition, error))
            return false;
        slot = free;
        return true;
    }
    error = "过滤条件个数不能大于50！";
    return false;
}

bool SaveSavedFilter(int taskId, const FilterCondition& condition, int& slot, std::string& error) {
    if (!ValidSlot(slot))
        return AddSavedFilter(taskId, condition, slot, error);
    return WriteSlot(taskId, slot, &condition, error);
}

bool MakeDefaultSavedFilter(int taskId, const FilterCondition& condition, int& slot, std::string& error) {
    if (!ValidSlot(slot) && !AddSavedFilter(taskId, condition, slot, error))
        return false;
    if (CTaskTable().SetTaskScriptValue(taskId, kDefaultKey, std::to_string(slot), true) != 1) {
        error = g_strDbError.Get();
        return false;
    }
    return true;
}

bool DeleteSavedFilter(int taskId, int& slot, WorkbenchPrompt& prompt) {
    if (!ValidSlot(slot)) {
        prompt.ShowMessage("没有要删除的过滤条件或没有选择要删除的过滤条件！");
        return false;
    }
    if (!prompt.AskOkCancel("确定删除当前过滤条件吗？"))
        return false;
    std::string error;
    if (!WriteSlot(taskId, slot, nullptr, error)) {
        prompt.ShowMessage(error);
        return false;
    }
    slot = kNoSavedFilter;
    return true;
}

}  // namespace sorvik
