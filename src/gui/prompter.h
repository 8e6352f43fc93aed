#pragma once
// Every message box, modal dialog and popup menu of the workbench opens through a Prompter, so that tests
// answer them with a prompter of their own instead of clicking blindly. Texts are GB18030.

#include <string>

#include "engine/run_observer.h"

class QAction;
class QDialog;
class QMenu;
class QPoint;
class QWidget;

namespace sorvik::gui {

class Prompter : public RunPrompt {
  public:
    explicit Prompter(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    // RunPrompt: a message box; a question with Yes, No and Cancel.
    void ShowMessage(const std::string& text) override;
    PromptAnswer AskYesNoCancel(const std::string& text) override;
    // A question with OK and Cancel; true for OK.
    virtual bool AskOkCancel(const std::string& text);
    // Runs a modal dialog; its result (QDialog::Accepted or Rejected).
    virtual int RunDialog(QDialog& dialog);
    // Runs a popup menu at a global position; the chosen action, or null.
    virtual QAction* RunMenu(QMenu& menu, const QPoint& position);

  private:
    QWidget* parent_;
};

}  // namespace sorvik::gui
