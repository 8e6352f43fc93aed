#pragma once
// The filter bar's saved conditions: up to 50 slots per task in the task's settings text
// (cSetInfo). Slot 0 uses the keys without a number, slot n (1 to 49) the keys with n before the
// "=":
//   "#查询字段名="     the field (an empty value marks a free slot)
//   "#查询操作符="     the operator
//   "#超包含表达式="   the value box's text (for every operator)
//   "#查询排序选项="   the sort option
//   "#是否即时过滤="   "1" instant filtering, "0" not
//   "#查询模版号="     the slot of the default condition (one key for all)
//
// The workbench keeps, per task, the slot loaded into the bar (kNoSavedFilter when none). The
// operations write through SetTaskScriptValue and report failures as values; the questions and
// messages go through the prompt.

#include <string>
#include <string_view>
#include <vector>

#include "workbench/result_filter.h"
#include "workbench/workbench_prompt.h"

namespace sorvik {

inline constexpr int kSavedFilterSlots = 50;
inline constexpr int kNoSavedFilter = 255;
// The name shown for a condition without a "//" name.
inline constexpr const char* kUnnamedFilter = "<未命名>(如输入“//查询1”)";

// The condition of a slot; false when the slot is free (or out of range).
bool ReadSavedFilter(std::string_view settings, int slot, FilterCondition& condition);
// The used slots, in slot order.
std::vector<int> SavedFilterSlots(std::string_view settings);
// "#查询模版号=" when it names a used slot, else kNoSavedFilter.
int DefaultSavedFilter(std::string_view settings);

// The menu label of a saved condition: "&%d. %s%s%s" with the menu number, the name (or
// kUnnamedFilter), "(当前)" when it is the loaded one and "(默认)" when it is the default.
std::string SavedFilterMenuLabel(int menuNumber, const FilterCondition& condition, bool current,
                                 bool isDefault);

// "添加条件": stores the bar in the first free slot, which becomes slot. False with error:
// "过滤条件个数不能大于50！" when all 50 are used, or the database's message.
bool AddSavedFilter(int taskId, const FilterCondition& condition, int& slot, std::string& error);
// "保存条件": writes the bar into slot (kNoSavedFilter: adds it as above, slot gets the new one).
bool SaveSavedFilter(int taskId, const FilterCondition& condition, int& slot, std::string& error);
// "设为默认条件": slot (added first when kNoSavedFilter) becomes "#查询模版号=".
bool MakeDefaultSavedFilter(int taskId, const FilterCondition& condition, int& slot, std::string& error);
// "删除当前条件": without a loaded slot says "没有要删除的过滤条件或没有选择要删除的过滤条件！";
// otherwise asks "确定删除当前过滤条件吗？" and, on OK, clears the slot's keys (slot becomes
// kNoSavedFilter). True when the slot was cleared; a failure is said through the prompt.
bool DeleteSavedFilter(int taskId, int& slot, WorkbenchPrompt& prompt);

}  // namespace sorvik
