#include "gui/options_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

#include "gui/gb_qstring.h"
#include "gui/prompter.h"
#include "workbench/layout_settings.h"

namespace sorvik::gui {

OptionsDialog::OptionsDialog(int threadLimit, Prompter& prompter, std::function<void(int)> apply,
                             QWidget* parent)
    : QDialog(parent), prompter_(prompter), apply_(std::move(apply)) {
    setObjectName(QStringLiteral("optionsDialog"));
    setWindowTitle(FromGb("选项"));
    auto* layout = new QFormLayout(this);
    threadLimit_ = new QLineEdit(QString::number(threadLimit), this);
    threadLimit_->setObjectName(QStringLiteral("threadLimit"));
    layout->addRow(FromGb("最大线程数(1~63):"), threadLimit_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OptionsDialog::reject);
    layout->addRow(buttons);
}

void OptionsDialog::accept() {
    int count = 0;
    if (!ParseThreadLimit(ToGb(threadLimit_->text()), count)) {
        prompter_.ShowMessage(kThreadLimitMessage);
        threadLimit_->setFocus();
        return;
    }
    apply_(count);
    QDialog::accept();
}

}  // namespace sorvik::gui
