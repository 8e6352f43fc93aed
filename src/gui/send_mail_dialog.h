#pragma once
// The send-mail dialog ("发送邮件") of the grid's mailing command: recipients, subject,
// attachments, the content, the template list with its menu (edit mode, save, delete, make
// default), the account dialog, distinct recipients, the template preview and "发送(&S)", which
// creates the mail task through the core (CreateSendMailTask). The caller starts the task.

#include <QDialog>
#include <string>
#include <vector>

#include "mail/mail_task_creation.h"
#include "mail/mail_templates.h"

class QAction;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QMenuBar;
class QPlainTextEdit;
class QTabWidget;
class QTextBrowser;

namespace sorvik::gui {

class Prompter;

class SendMailDialog : public QDialog {
    Q_OBJECT

  public:
    // request: the command's request (source task, columns, rows) without the message;
    // recipients: its addresses as collected (CollectSendMailAddresses).
    SendMailDialog(SendMailTaskRequest request, std::vector<std::string> recipients, Prompter& prompter,
                   QWidget* parent = nullptr);

    // After "发送(&S)" closed the dialog: the created task.
    const SendMailTaskResult& Result() const { return result_; }

    QLineEdit* Recipients() const { return recipients_; }
    QLineEdit* Subject() const { return subject_; }
    QLineEdit* Attachments() const { return attachments_; }
    QPlainTextEdit* Content() const { return content_; }
    QCheckBox* Html() const { return html_; }
    QListWidget* Templates() const { return templates_; }
    QPlainTextEdit* TemplateHtml() const { return templateHtml_; }
    QTextBrowser* Preview() const { return preview_; }

  public slots:
    void Send();
    void PreviewTemplate();
    void SaveTemplate();
    void DeleteTemplate();
    void SetDefaultTemplate();
    void EditAccount();
    void DistinctRecipients();
    void SetEditMode(bool editing);

  private:
    void BuildMenu(QMenuBar* bar);
    // Reloads the list and selects the template of that title (the first when none has it).
    void LoadTemplates(const std::string& select);
    void OnTemplateChosen(int row);
    const MailTemplate* CurrentTemplate() const;
    // True when the current template may be left (saved, or its changes dropped).
    bool LeaveTemplate();
    void ChooseAttachments();

    SendMailTaskRequest request_;
    std::vector<std::string> addresses_;
    Prompter& prompter_;
    SendMailTaskResult result_;
    std::vector<MailTemplate> list_;
    int shownRow_ = -1;  // the template shown in the editor
    bool templateDirty_ = false;
    bool loadingTemplate_ = false;

    QLineEdit* recipients_ = nullptr;
    QLineEdit* subject_ = nullptr;
    QLineEdit* attachments_ = nullptr;
    QPlainTextEdit* content_ = nullptr;
    QCheckBox* html_ = nullptr;
    QListWidget* templates_ = nullptr;
    QPlainTextEdit* templateHtml_ = nullptr;
    QTextBrowser* preview_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QAction* editMode_ = nullptr;
};

}  // namespace sorvik::gui
