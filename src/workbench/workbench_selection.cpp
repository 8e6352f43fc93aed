#include "workbench/workbench_selection.h"

#include <cstdio>
#include <mutex>

#include "engine/result_table.h"
#include "script/script_keys.h"
#include "script/script_text.h"
#include "store/app_home.h"
#include "store/database.h"
#include "store/task_table.h"
#include "text/file_helpers.h"
#include "text/strings.h"
#include "workbench/category_tree.h"

namespace sorvik {

namespace {

constexpr int kMaxCopyNumber = 100000;

// Clears a flag when the scope ends, however it ends.
class FlagScope {
  public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

  private:
    bool& flag_;
};

}  // namespace

bool WorkbenchSelection::Leave(int newNodeId, WorkbenchPrompt& prompt, EditorGuard* editor) {
    if (busy_) {
        prompt.ShowMessage("请等待！");
        return false;
    }
    if (changing_) {
        prompt.ShowMessage("数据过多，请等待！");
        return false;
    }
    FlagScope changing(changing_);
    CategoryNode node;
    std::string error;
    if (!ReadCategory(newNodeId, node, error)) {
        prompt.ShowMessage(error);
        return false;
    }
    const SelectionState old = state_;
    state_.nodeId = node.id;
    state_.nodeTask = node.taskId;
    state_.nodeKind = node.kind;
    const bool plain = node.kind == 1 || node.kind == 2 || (node.kind == kKindResults && node.taskId <= 0);
    if (plain || !editor)
        return true;
    if (editor->HasUnsavedChanges()) {
        switch (prompt.AskYesNoCancel("是否保存当前脚本？")) {
            case PromptAnswer::kYes:
                if (!editor->SaveScript()) {
                    state_ = old;
                    return false;
                }
                break;
            case PromptAnswer::kNo:
                editor->DiscardChanges();
                break;
            case PromptAnswer::kCancel:
                state_ = old;
                return false;
        }
    }
    if (node.kind == kKindScriptEditor && !editor->MayEnter()) {
        state_ = old;
        return false;
    }
    return true;
}

NodeSelection WorkbenchSelection::Enter(std::string& error) {
    NodeSelection selection;
    const int kind = state_.nodeKind;
    if (kind == kKindScriptEditor) {
        selection.view = NodeView::kEditor;
    } else if (kind >= 3 && kind <= 5) {
        state_.currentTaskId = 0;
        selection.view = NodeView::kTaskList;
        selection.list = kind;
    } else if (kind == kKindResults && state_.nodeTask > 0) {
        std::string script;
        {
            std::scoped_lock lock(g_csDatabase);
            CTaskTable tasks;
            script = tasks.ReadTaskScript(state_.nodeTask);
            if (!tasks.m_strError.empty()) {
                error = g_strDbError.Get();
                return selection;
            }
        }
        state_.currentTaskId = SharedTaskNumber(script, state_.nodeTask);
        DeletePageCopies(state_.currentTaskId);
        selection.view = NodeView::kResults;
        selection.taskId = state_.currentTaskId;
    }
    return selection;
}

TaskCommandFlags ReadTaskCommandFlags(int taskId) {
    TaskCommandFlags flags;
    if (taskId <= 0)
        return flags;
    std::string script;
    {
        std::scoped_lock lock(g_csDatabase);
        CTaskTable tasks;
        script = tasks.ReadTaskScript(taskId);
        flags.builtIn = tasks.ReadTaskInt("iMod", taskId) > 0;
    }
    flags.keywordUrl = !Trim(ScriptValue(key::kKeywordUrl, script)).empty();
    flags.noThreads = Trim(ScriptValue(key::kNoThread, script)) == "1";
    flags.favourites = Trim(ScriptValue(key::kTaskKind, script)) == "收藏夹";
    flags.hyperlink = ScriptValue(key::kFieldList, script).find("超链接") != std::string::npos ||
                      ScriptValue(key::kAliasList, script).find("超链接") != std::string::npos;
    return flags;
}

int DeletePageCopies(int taskId) {
    if (taskId <= 0)
        return 0;
    const std::string folder = AppPath(Format("download/%d", taskId));
    int deleted = 0;
    for (int level = 1; level < kMaxCopyNumber; ++level) {
        for (int n = 1; n < kMaxCopyNumber; ++n) {
            const std::string path = JoinPath(folder, Format("Source%d_%d.htm", level, n));
            if (!FileExists(path))
                break;
            if (std::remove(path.c_str()) == 0)
                ++deleted;
        }
        if (!FileExists(JoinPath(folder, Format("Source%d.htm", level + 1))))
            break;
    }
    return deleted;
}

}  // namespace sorvik
