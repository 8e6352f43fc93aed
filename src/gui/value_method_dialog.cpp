#include "gui/value_method_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/gb_qstring.h"
#include "gui/prompter.h"
#include "script/script_text.h"
#include "workbench/script_editor.h"

namespace sorvik::gui {

ValueMethodDialog::ValueMethodDialog(Editor editor, Prompter& prompter, QWidget* parent)
    : QDialog(parent), editor_(std::move(editor)), prompter_(prompter) {
    setObjectName(QStringLiteral("valueMethodDialog"));
    setWindowTitle(FromGb("设置参数取值方法"));
    const std::string script = editor_.script();
    parameters_ = new QListWidget(this);
    parameters_->setObjectName(QStringLiteral("parameters"));
    for (const std::string& parameter : ValueMethodParameters(script))
        parameters_->addItem(FromGb(parameter));
    begin_ = new QLineEdit(this);
    begin_->setObjectName(QStringLiteral("beginString"));
    end_ = new QLineEdit(this);
    end_->setObjectName(QStringLiteral("endString"));
    include_ = new QCheckBox(this);
    include_->setObjectName(QStringLiteral("includeBoundaries"));
    include_->setChecked(ValueMethodIncludesBoundaries(script));
    hint_ = new QLabel(this);
    hint_->setObjectName(QStringLiteral("hint"));

    auto* form = new QFormLayout;
    form->addRow(FromGb("开始字符串："), begin_);
    form->addRow(FromGb("结束字符串："), end_);
    form->addRow(FromGb("包含边界："), include_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    apply_ = buttons->addButton(FromGb("应用(&A)"), QDialogButtonBox::ApplyRole);
    apply_->setObjectName(QStringLiteral("apply"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ValueMethodDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(apply_, &QPushButton::clicked, this, &ValueMethodDialog::Apply);
    connect(parameters_, &QListWidget::currentRowChanged, this, &ValueMethodDialog::OnParameterChanged);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(parameters_, 1);
    layout->addLayout(form);
    layout->addWidget(hint_);
    layout->addWidget(buttons);
    resize(420, 380);
    parameters_->setCurrentRow(0);
}

void ValueMethodDialog::OnParameterChanged() {
    const int row = parameters_->currentRow();
    if (row < 0)
        return;
    const std::string parameter = ToGb(parameters_->item(row)->text());
    hint_->setText(FromGb(ValueMethodHint(parameter)));
    apply_->setEnabled(true);
    if (row == 0)
        return;
    const ValueMethod method =
        ParseValueMethod(ScriptValue(parameter + "=", editor_.script()), include_->isChecked());
    begin_->setText(FromGb(method.begin));
    end_->setText(FromGb(method.end));
    include_->setChecked(method.includeBoundaries);
}

bool ValueMethodDialog::Apply() {
    ValueMethod method;
    method.begin = ToGb(begin_->text());
    method.end = ToGb(end_->text());
    method.includeBoundaries = include_->isChecked();
    std::string value;
    std::string error;
    int emptyBox = 0;
    if (!ComposeValueMethod(method, value, error, emptyBox)) {
        prompter_.ShowMessage(error);
        (emptyBox == 1 ? begin_ : end_)->setFocus();
        return false;
    }
    const int row = parameters_->currentRow();
    if (row > 0)
        editor_.writeKey(ToGb(parameters_->item(row)->text()) + "=", value);
    else
        editor_.insertAtCaret(value);
    apply_->setEnabled(false);
    return true;
}

void ValueMethodDialog::accept() {
    // Applied already (Apply disabled until the next selection) or applied now without a message.
    if (!apply_->isEnabled() || Apply())
        QDialog::accept();
}

}  // namespace sorvik::gui
