#pragma once
// The window layout values: pane sizes and visibilities, the last selected tree node and the
// worker-thread limit. They live in the user profile (through a ProfileStore the front end
// provides), in the [Set] table and, per task, in the task's settings text (cSetInfo). An integer
// of -1 means "not set": the pane keeps its own size.

#include <string>
#include <string_view>

namespace sorvik {

// The user profile: sections "Home" and "setting". Texts are GB18030; an absent key reads empty.
class ProfileStore {
  public:
    virtual ~ProfileStore() = default;
    virtual std::string Read(std::string_view section, std::string_view key) = 0;
    virtual void Write(std::string_view section, std::string_view key, std::string_view value) = 0;
};

struct LayoutSettings {
    // profile "Home"
    std::string directory;          // "Directory": the home folder
    int leftTreeWidth = -1;         // "iLeftTreeWidth"
    int rightDataHeight = -1;       // "iRightDataHeight"
    int rightTopDataHeight = -1;    // "iRightTopDataHeight"
    bool showRightBottBrow = true;  // "bShowRightBottBrow": the lower detail pane
    // profile "setting"
    int textTips = 1;  // "m_bTextTips"
    // [Set]
    int currentSelectNode = 44;         // "iCurrentSelectNode"
    int rightTopFindHeight = -1;        // "iRightTopFindHeight"
    int rightTopSearchDataHeight = -1;  // "iRightTopSearchDataHeight"
    int rightTaskHeight = -1;           // "iRightTaskHeight"
    int rightBottDetailHeight = -1;     // "iRightBottDetailHeight"
    bool showFilterAndGrid = true;      // "bShowFilterAndGrid"
    int maxThreadCount = 5;             // "giMaxThreadCount"
};

// Resets to the defaults, then reads the profile keys and the [Set] keys; a stored value
// replaces the default only when its text is non-empty. "Directory" defaults to home.
// The thread limit read is also put into giMaxThreadCount (1 to 63; else the default stays).
void LoadLayoutSettings(LayoutSettings& settings, ProfileStore& profile, const std::string& home);

// Writes "Directory" (when non-empty), the profile keys, then the [Set] keys. False when a [Set]
// write failed (g_strDbError holds why).
bool SaveLayoutSettings(const LayoutSettings& settings, ProfileStore& profile);

// The thread-limit field of the options dialog: a signed decimal number from 1 to 63 (spaces
// around it allowed). False for anything else; the dialog then shows kThreadLimitMessage.
bool ParseThreadLimit(std::string_view text, int& count);
inline constexpr const char* kThreadLimitMessage = "值应在1~63之间！";

// The per-task layout keys of a task's settings text.
inline constexpr const char* kKeySearchBarHeight = "#搜索栏高度";
inline constexpr const char* kKeyNonDetailHeight = "#非详细情况高度";
inline constexpr const char* kKeyShowDetail = "#是否显示详细情况";
inline constexpr const char* kKeyShowFilterAndGrid = "#是否显示过滤栏和表格";

// How the panes are laid out for a task (ApplyTaskLayout).
struct TaskLayoutPlan {
    bool showDetail = false;
    bool showFilterAndGrid = false;
    int searchBarHeight = 42;  // first row of the search-and-data pane
    int nonDetailHeight = -1;  // first row of the upper pane while the detail pane shows; -1 none
};

// Whether the task's own layout values apply while its node is selected: every task but a
// mailbox ("#任务类型=接收邮件"), whose node shows the global layout as a category does.
bool UsesTaskLayout(int taskId);

// Reads the task's settings text and plans its layout. globalSearchBarHeight is the height used
// when the task has none (-1 gives 42, which then becomes the global height). False with
// "保存临时数据出错！可能是内存不够！" when the task does not exist.
bool PlanTaskLayout(int taskId, int& globalSearchBarHeight, TaskLayoutPlan& plan, std::string& error);

// Writes one per-task layout key (without "=") into the task's settings text; false with the
// error text.
bool WriteTaskLayoutValue(int taskId, std::string_view key, std::string_view value, std::string& error);

}  // namespace sorvik
