#pragma once
// The questions of the category tree, the task list and the exchange dialog, asked through the
// window's Prompter: its message boxes, and its RunDialog for the dialogs built here ("删除" with
// its check box, "属性" with the category name field, the file dialog), so that a test's
// Prompter answers them all.

#include <QString>

#include "workbench/workbench_prompt.h"

class QDialog;

namespace sorvik::gui {

class Prompter;

class GuiPrompt : public WorkbenchPrompt {
  public:
    // prompter must outlive this object.
    explicit GuiPrompt(Prompter& prompter) : prompter_(prompter) {}

    void ShowMessage(std::string_view text) override;
    bool AskOkCancel(std::string_view text) override;
    // Yes and No; closing the box counts as No.
    bool AskYesNo(std::string_view text) override;
    PromptAnswer AskYesNoCancel(std::string_view text) override;
    bool ConfirmPermanentDelete(bool& deleteResults) override;

    // The dialog "属性" with one field "类别名称(&F):" (several lines make several categories),
    // prefilled with text; false for Cancel.
    bool AskCategoryName(QString& text);
    // A file to open with a Qt name filter ("a (*.x);;b (*.y)"); empty for Cancel.
    QString AskOpenFileName(const QString& filter);
    // Any other modal dialog (the exchange dialog); its result.
    int RunDialog(QDialog& dialog);

  private:
    Prompter& prompter_;
};

}  // namespace sorvik::gui
