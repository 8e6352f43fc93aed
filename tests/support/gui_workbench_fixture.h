#pragma once
// The workbench of the GUI tests: a prompter that records what the window says and answers its
// questions, dialogs and popup menus from queues, and a workbench started on a fresh home.

#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/prompter.h"
#include "gui/workbench_app.h"
#include "support/temp_dir.h"

class QWidget;

namespace sorvik::test {

// Says back (GB18030) every message and question; answers dialogs and menus from their queues.
class RecordingPrompter : public gui::Prompter {
  public:
    void ShowMessage(const std::string& text) override;
    PromptAnswer AskYesNoCancel(const std::string& text) override;
    bool AskOkCancel(const std::string& text) override;
    // With the queue empty the dialog is rejected (and noted in said, when noteUnexpectedDialogs).
    int RunDialog(QDialog& dialog) override;
    // With the queue empty no entry is chosen.
    QAction* RunMenu(QMenu& menu, const QPoint& position) override;

    std::vector<std::string> said;
    std::deque<std::function<int(QDialog&)>> dialogs;
    std::deque<std::function<QAction*(QMenu&)>> menus;
    PromptAnswer yesNoAnswer = PromptAnswer::kYes;
    bool okCancelAnswer = true;
    bool noteUnexpectedDialogs = true;
};

// A workbench on a fresh home whose user profile (QSettings) stays in that home, shown offscreen.
// Members are torn down workbench first, home last.
class FreshWorkbench {
  public:
    ~FreshWorkbench() { Stop(); }
    // Makes the home and starts and shows the workbench; false with the reason in error.
    bool Start(QString& error);
    void Stop();

    std::unique_ptr<TempDir> home;
    std::unique_ptr<RecordingPrompter> prompter;
    std::unique_ptr<gui::Workbench> workbench;
};

// Writes the widget as a PNG into SORVIK_SCREENSHOT_DIR when that is set.
void Grab(QWidget& widget, const char* name);

}  // namespace sorvik::test
