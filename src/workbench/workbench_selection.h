#pragma once
// The workbench's selection state and the rules of moving from one tree node to another: the busy
// flag, the question about the editor's unsaved script, the current task (a task that shares
// another's records shows that task's results), and the cleanup of a task's page copies.
// Used on the interface thread only.

#include <string>

#include "workbench/workbench_prompt.h"

namespace sorvik {

// The script editor as the selection sees it (the editor pane implements it).
class EditorGuard {
  public:
    virtual ~EditorGuard() = default;
    virtual bool HasUnsavedChanges() = 0;
    // "是否保存当前脚本？" answered Yes: false when saving failed (the change is then refused).
    virtual bool SaveScript() = 0;
    virtual void DiscardChanges() = 0;
    // Whether the editor node may be entered now (a test run may forbid it).
    virtual bool MayEnter() = 0;
};

struct SelectionState {
    int nodeId = 0;
    int nodeTask = 0;       // iTask of the node
    int nodeKind = -1;      // TreeItems.iType
    int currentTaskId = 0;  // the task whose results are shown; 0 while a task list is shown
};

// What the right side shows after a change.
enum class NodeView { kNothing, kEditor, kTaskList, kResults };

struct NodeSelection {
    NodeView view = NodeView::kNothing;
    int list = 0;    // kTaskList: 3, 4 or 5
    int taskId = 0;  // kResults: the current task ID
};

// The flags of the selected task that enable its commands.
struct TaskCommandFlags {
    bool keywordUrl = false;  // "#需要搜索关键字网址=" is set
    bool builtIn = false;     // iMod > 0
    bool noThreads = false;   // "#不启动线程=" is "1"
    bool favourites = false;  // "#任务类别=" is "收藏夹"
    bool hyperlink = false;   // a field of "#字段名列表=" (or its title) names "超链接"
    // "计划(&S)..." and "重新搜索(&S)" are offered.
    bool Schedulable() const { return !favourites && !noThreads; }
};

class WorkbenchSelection {
  public:
    const SelectionState& State() const { return state_; }

    // Set while a long operation runs; every change is then refused with "请等待！".
    void SetBusy(bool busy) { busy_ = busy; }
    bool Busy() const { return busy_; }

    // Before the selection moves to newNodeId. True when the change may go on (the new node's ID,
    // task and kind are then the state); false when it is refused: busy ("请等待！"), a change is
    // being handled already ("数据过多，请等待！"), the node does not exist (its error), the
    // editor's unsaved script question was cancelled (the old state is kept) or the editor may
    // not be entered. editor may be null (no editor: nothing to ask).
    bool Leave(int newNodeId, WorkbenchPrompt& prompt, EditorGuard* editor);

    // After the change: what to show. A result node's current task is its task's record node
    // (SharedTaskNumber); its page copies are deleted. False with the error when the task's
    // script can't be read.
    NodeSelection Enter(std::string& error);

    // Forgets the current node (after it was deleted).
    void Clear() { state_ = SelectionState(); }

  private:
    SelectionState state_;
    bool busy_ = false;
    bool changing_ = false;
};

TaskCommandFlags ReadTaskCommandFlags(int taskId);

// Deletes "<home>/download/<task>/Source<i>_<j>.htm" for i, j = 1, 2, ... (below 100000): at the
// first missing j the walk goes on with level i+1 only when "Source<i+1>.htm" exists. Returns how
// many files were deleted.
int DeletePageCopies(int taskId);

}  // namespace sorvik
