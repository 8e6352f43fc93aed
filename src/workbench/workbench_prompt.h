#pragma once
// The message boxes and questions of the category tree and the task list, answered by the front
// end: the GUI with message boxes and the delete dialog, tests by recording. Texts are GB18030.
// The workbench never calls a prompt while it holds g_csDatabase.

#include <string_view>

#include "engine/run_observer.h"

namespace sorvik {

class WorkbenchPrompt {
  public:
    virtual ~WorkbenchPrompt() = default;
    virtual void ShowMessage(std::string_view text) = 0;
    virtual bool AskOkCancel(std::string_view text) = 0;
    virtual bool AskYesNo(std::string_view text) = 0;
    virtual PromptAnswer AskYesNoCancel(std::string_view text) = 0;
    // The dialog "删除": "你确定想永久删除这些项目吗?" with the check box "删除搜索结果" (its state
    // comes in as deleteResults and goes back out) and the lines "1.删除搜索结果", "2.任务数据".
    // False for Cancel.
    virtual bool ConfirmPermanentDelete(bool& deleteResults) = 0;
};

}  // namespace sorvik
