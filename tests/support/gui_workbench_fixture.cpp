#include "support/gui_workbench_fixture.h"

#include <QDialog>
#include <QLayout>
#include <QSize>
#include <QWidget>

#include "gui/gb_qstring.h"
#include "gui/main_window.h"

namespace sorvik::test {

void RecordingPrompter::ShowMessage(const std::string& text) {
    said.push_back(text);
}

PromptAnswer RecordingPrompter::AskYesNoCancel(const std::string& text) {
    said.push_back(text);
    return yesNoAnswer;
}

bool RecordingPrompter::AskOkCancel(const std::string& text) {
    said.push_back(text);
    return okCancelAnswer;
}

int RecordingPrompter::RunDialog(QDialog& dialog) {
    if (dialogs.empty()) {
        if (noteUnexpectedDialogs)
            said.push_back("unexpected dialog " + gui::ToGb(dialog.windowTitle()));
        return QDialog::Rejected;
    }
    auto answer = std::move(dialogs.front());
    dialogs.pop_front();
    return answer(dialog);
}

QAction* RecordingPrompter::RunMenu(QMenu& menu, const QPoint&) {
    if (menus.empty())
        return nullptr;
    auto answer = std::move(menus.front());
    menus.pop_front();
    return answer(menu);
}

bool FreshWorkbench::Start(QString& error) {
    home = std::make_unique<TempDir>();
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home->path() + "/config"));
    prompter = std::make_unique<RecordingPrompter>();
    workbench = std::make_unique<gui::Workbench>(prompter.get());
    gui::Workbench::Options options;
    options.home = home->path();
    if (workbench->Start(options, error) != gui::Workbench::StartResult::kStarted) {
        if (error.isEmpty())
            error =
                QStringLiteral("the workbench did not start on %1").arg(QString::fromStdString(home->path()));
        return false;
    }
    // The offscreen platform warns whenever a shown window's size limits change; without
    // limits the run can make every other warning fatal (QT_FATAL_WARNINGS=1).
    workbench->Window()->layout()->setSizeConstraint(QLayout::SetNoConstraint);
    workbench->Show(QSize(1000, 700));
    return true;
}

void FreshWorkbench::Stop() {
    workbench.reset();
    prompter.reset();
    home.reset();
}

void Grab(QWidget& widget, const char* name) {
    const QByteArray folder = qgetenv("SORVIK_SCREENSHOT_DIR");
    if (!folder.isEmpty())
        widget.grab().save(QString::fromUtf8(folder) + QLatin1Char('/') + QLatin1String(name), "PNG");
}

}  // namespace sorvik::test
