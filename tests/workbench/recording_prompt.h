#pragma once
// A workbench prompt that records every text and answers from queues set by the test.

#include <deque>
#include <string>
#include <vector>

#include "workbench/workbench_prompt.h"

namespace sorvik::test {

class RecordingWorkbenchPrompt : public WorkbenchPrompt {
  public:
    void ShowMessage(std::string_view text) override { said.emplace_back(text); }
    bool AskOkCancel(std::string_view text) override { return Next(text, okCancel, true); }
    bool AskYesNo(std::string_view text) override { return Next(text, yesNo, true); }
    PromptAnswer AskYesNoCancel(std::string_view text) override {
        return Next(text, yesNoCancel, PromptAnswer::kYes);
    }
    bool ConfirmPermanentDelete(bool& deleteResults) override {
        said.emplace_back("你确定想永久删除这些项目吗?");
        deleteResults = tickResults;
        return confirmDelete;
    }

    std::vector<std::string> said;  // messages and questions, in order
    std::deque<bool> okCancel, yesNo;
    std::deque<PromptAnswer> yesNoCancel;
    bool confirmDelete = true;
    bool tickResults = true;

  private:
    template <typename T>
    T Next(std::string_view text, std::deque<T>& answers, T fallback) {
        said.emplace_back(text);
        if (answers.empty())
            return fallback;
        T answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

}  // namespace sorvik::test
