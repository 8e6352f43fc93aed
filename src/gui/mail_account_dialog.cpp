#include "gui/mail_account_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "gui/gb_qstring.h"
#include "gui/prompter.h"

namespace sorvik::gui {

MailAccountDialog::MailAccountDialog(int taskId, Prompter& prompter, QWidget* parent)
    : QDialog(parent), taskId_(taskId), prompter_(prompter), loaded_(LoadMailAccount(taskId)) {
    setObjectName(QStringLiteral("mailAccountDialog"));
    setWindowTitle(FromGb("电子邮件帐户"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    setLayout(layout);
    const MailAccount& a = loaded_;
    senderName_ = AddField("发信姓名(&N):", "senderName", a.senderName);
    senderAddress_ = AddField("发信地址(&E):", "senderAddress", a.senderAddress);
    smtpServer_ = AddField("SMTP服务器(&S):", "smtpServer", a.smtpServer);
    smtpPort_ = AddField("服务器端口(&P):", "smtpPort", a.smtpPort.empty() ? std::string("25") : a.smtpPort);
    pop3Server_ = AddField("POP3服务器(&O):", "pop3Server", a.pop3Server);
    securePassword_ = new QCheckBox(FromGb("使用安全密码验证登录(&L)"), this);
    securePassword_->setObjectName(QStringLiteral("securePassword"));
    securePassword_->setChecked(a.securePassword);
    form->addRow(QString(), securePassword_);
    user_ = AddField("用户名(&U):", "user", a.user);
    password_ = AddField("密码(&W):", "password", a.password);
    password_->setEchoMode(QLineEdit::Password);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &MailAccountDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &MailAccountDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

QLineEdit* MailAccountDialog::AddField(const char* label, const char* name, const std::string& value) {
    auto* edit = new QLineEdit(FromGb(value), this);
    edit->setObjectName(QString::fromLatin1(name));
    static_cast<QFormLayout*>(layout()->itemAt(0)->layout())->addRow(FromGb(label), edit);
    return edit;
}

MailAccount MailAccountDialog::Account() const {
    MailAccount account = loaded_;  // keys the dialog does not show stay as they are
    account.senderName = ToGb(senderName_->text());
    account.senderAddress = ToGb(senderAddress_->text());
    account.smtpServer = ToGb(smtpServer_->text());
    account.smtpPort = ToGb(smtpPort_->text());
    account.pop3Server = ToGb(pop3Server_->text());
    account.securePassword = securePassword_->isChecked();
    account.user = ToGb(user_->text());
    account.password = ToGb(password_->text());
    return account;
}

void MailAccountDialog::accept() {
    std::string error;
    if (!SaveMailAccount(taskId_, Account(), error)) {
        prompter_.ShowMessage(error);
        return;
    }
    QDialog::accept();
}

}  // namespace sorvik::gui
