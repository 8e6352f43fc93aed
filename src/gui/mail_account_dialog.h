#pragma once
// The mail account dialog of a task: sender name and address, SMTP server and port, POP3
// server, the secure-password box, user name and password. OK runs the core's checks; a failed
// check is shown and the dialog stays open, otherwise every key is saved and it closes.

#include <QDialog>

#include "mail/mail_account.h"

class QCheckBox;
class QLineEdit;

namespace sorvik::gui {

class Prompter;

class MailAccountDialog : public QDialog {
    Q_OBJECT

  public:
    // taskId: the task whose settings keep the account; prompter shows the checks' messages.
    MailAccountDialog(int taskId, Prompter& prompter, QWidget* parent = nullptr);

    // The account as the fields give it.
    MailAccount Account() const;

  public slots:
    void accept() override;

  private:
    QLineEdit* AddField(const char* label, const char* name, const std::string& value);

    int taskId_;
    Prompter& prompter_;
    QLineEdit* senderName_ = nullptr;
    QLineEdit* senderAddress_ = nullptr;
    QLineEdit* smtpServer_ = nullptr;
    QLineEdit* smtpPort_ = nullptr;
    QLineEdit* pop3Server_ = nullptr;
    QCheckBox* securePassword_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    MailAccount loaded_;
};

}  // namespace sorvik::gui
