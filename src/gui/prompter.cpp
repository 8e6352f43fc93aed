#include "gui/prompter.h"

#include <QDialog>
#include <QMenu>
#include <QMessageBox>

#include "gui/gb_qstring.h"

namespace sorvik::gui {

void Prompter::ShowMessage(const std::string& text) {
    QMessageBox::information(parent_, QStringLiteral("Sorvik"), FromGb(text));
}

PromptAnswer Prompter::AskYesNoCancel(const std::string& text) {
    const auto answer =
        QMessageBox::question(parent_, QStringLiteral("Sorvik"), FromGb(text),
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        return PromptAnswer::kYes;
    return answer == QMessageBox::No ? PromptAnswer::kNo : PromptAnswer::kCancel;
}

bool Prompter::AskOkCancel(const std::string& text) {
    return QMessageBox::question(parent_, QStringLiteral("Sorvik"), FromGb(text),
                                 QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok) == QMessageBox::Ok;
}

int Prompter::RunDialog(QDialog& dialog) {
    return dialog.exec();
}

QAction* Prompter::RunMenu(QMenu& menu, const QPoint& position) {
    return menu.exec(position);
}

}  // namespace sorvik::gui
