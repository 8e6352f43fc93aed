#include "gui/gui_prompt.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "gui/gb_qstring.h"
#include "gui/prompter.h"

namespace sorvik::gui {

namespace {

QDialogButtonBox* OkCancel(QDialog& dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return buttons;
}

}  // namespace

void GuiPrompt::ShowMessage(std::string_view text) {
    prompter_.ShowMessage(std::string(text));
}

bool GuiPrompt::AskOkCancel(std::string_view text) {
    return prompter_.AskOkCancel(std::string(text));
}

bool GuiPrompt::AskYesNo(std::string_view text) {
    return prompter_.AskYesNoCancel(std::string(text)) == PromptAnswer::kYes;
}

PromptAnswer GuiPrompt::AskYesNoCancel(std::string_view text) {
    return prompter_.AskYesNoCancel(std::string(text));
}

bool GuiPrompt::ConfirmPermanentDelete(bool& deleteResults) {
    QDialog dialog;
    dialog.setObjectName(QStringLiteral("deleteDialog"));
    dialog.setWindowTitle(FromGb("删除"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(FromGb("你确定想永久删除这些项目吗?"), &dialog));
    auto* box = new QCheckBox(FromGb("删除搜索结果"), &dialog);
    box->setObjectName(QStringLiteral("deleteResults"));
    box->setChecked(deleteResults);
    layout->addWidget(box);
    layout->addWidget(new QLabel(FromGb("1.删除搜索结果"), &dialog));
    layout->addWidget(new QLabel(FromGb("2.任务数据"), &dialog));
    layout->addWidget(OkCancel(dialog));
    if (prompter_.RunDialog(dialog) != QDialog::Accepted)
        return false;
    deleteResults = box->isChecked();
    return true;
}

bool GuiPrompt::AskCategoryName(QString& text) {
    QDialog dialog;
    dialog.setObjectName(QStringLiteral("categoryDialog"));
    dialog.setWindowTitle(FromGb("属性"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(FromGb("类别名称(&F):"), &dialog);
    auto* edit = new QPlainTextEdit(text, &dialog);
    edit->setObjectName(QStringLiteral("categoryName"));
    edit->setTabChangesFocus(true);
    label->setBuddy(edit);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(OkCancel(dialog));
    if (prompter_.RunDialog(dialog) != QDialog::Accepted)
        return false;
    text = edit->toPlainText();
    return true;
}

QString GuiPrompt::AskOpenFileName(const QString& filter) {
    QFileDialog dialog(nullptr, FromGb("打开文件"), QString(), filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (prompter_.RunDialog(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

int GuiPrompt::RunDialog(QDialog& dialog) {
    return prompter_.RunDialog(dialog);
}

}  // namespace sorvik::gui
