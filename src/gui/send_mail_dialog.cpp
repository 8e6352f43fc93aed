#include "gui/send_mail_dialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "gui/gb_qstring.h"
#include "gui/mail_account_dialog.h"
#include "gui/prompter.h"
#include "mail/mail_account.h"
#include "store/app_home.h"
#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik::gui {

namespace {

QPushButton* Button(const char* text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(FromGb(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

SendMailDialog::SendMailDialog(SendMailTaskRequest request, std::vector<std::string> recipients,
                               Prompter& prompter, QWidget* parent)
    : QDialog(parent), request_(std::move(request)), addresses_(std::move(recipients)), prompter_(prompter) {
    setObjectName(QStringLiteral("sendMailDialog"));
    setWindowTitle(FromGb("发送邮件"));
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QMenuBar(this);
    layout->setMenuBar(bar);

    auto* form = new QFormLayout;
    recipients_ = new QLineEdit(FromGb(RecipientsDisplayText(addresses_, request_.distinct)), this);
    recipients_->setObjectName(QStringLiteral("recipients"));
    recipients_->setReadOnly(true);  // the chosen records' addresses: their sent flags follow them
    recipients_->setCursorPosition(0);
    subject_ = new QLineEdit(this);
    subject_->setObjectName(QStringLiteral("subject"));
    attachments_ = new QLineEdit(this);
    attachments_->setObjectName(QStringLiteral("attachments"));
    attachments_->setPlaceholderText(FromGb("文件路径，多个用 ; 分隔"));
    auto* attachRow = new QHBoxLayout;
    attachRow->addWidget(attachments_, 1);
    QPushButton* browse = Button("...", "chooseAttachments", this);
    browse->setMaximumWidth(32);
    connect(browse, &QPushButton::clicked, this, &SendMailDialog::ChooseAttachments);
    attachRow->addWidget(browse);
    form->addRow(FromGb("收件人:"), recipients_);
    form->addRow(FromGb("主题(&U):"), subject_);
    form->addRow(FromGb("附件(&F):"), attachRow);
    layout->addLayout(form);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    auto* templatePane = new QWidget(splitter);
    auto* templateLayout = new QVBoxLayout(templatePane);
    templateLayout->setContentsMargins(0, 0, 0, 0);
    templates_ = new QListWidget(templatePane);
    templates_->setObjectName(QStringLiteral("templates"));
    templateLayout->addWidget(templates_);
    splitter->addWidget(templatePane);

    tabs_ = new QTabWidget(splitter);
    auto* contentPage = new QWidget(tabs_);
    auto* contentLayout = new QVBoxLayout(contentPage);
    contentLayout->setContentsMargins(2, 2, 2, 2);
    html_ = new QCheckBox(FromGb("HTML格式(&H)"), contentPage);
    html_->setObjectName(QStringLiteral("html"));
    content_ = new QPlainTextEdit(contentPage);
    content_->setObjectName(QStringLiteral("content"));
    contentLayout->addWidget(html_);
    contentLayout->addWidget(content_, 1);
    templateHtml_ = new QPlainTextEdit(tabs_);
    templateHtml_->setObjectName(QStringLiteral("templateHtml"));
    templateHtml_->setReadOnly(true);
    preview_ = new QTextBrowser(tabs_);
    preview_->setObjectName(QStringLiteral("preview"));
    tabs_->addTab(contentPage, FromGb("邮件内容"));
    tabs_->addTab(templateHtml_, FromGb("模版"));
    tabs_->addTab(preview_, FromGb("预览"));
    splitter->addWidget(tabs_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({160, 520});
    layout->addWidget(splitter, 1);

    auto* buttons = new QHBoxLayout;
    QPushButton* preview = Button("预览模版(&B)", "previewTemplate", this);
    QPushButton* send = Button("发送(&S)", "send", this);
    QPushButton* close = Button("关闭(&C)", "close", this);
    connect(preview, &QPushButton::clicked, this, &SendMailDialog::PreviewTemplate);
    connect(send, &QPushButton::clicked, this, &SendMailDialog::Send);
    connect(close, &QPushButton::clicked, this, &SendMailDialog::reject);
    buttons->addWidget(preview);
    buttons->addStretch(1);
    buttons->addWidget(send);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    BuildMenu(bar);
    connect(templates_, &QListWidget::currentRowChanged, this, &SendMailDialog::OnTemplateChosen);
    connect(templateHtml_, &QPlainTextEdit::textChanged, this, [this] {
        if (!loadingTemplate_)
            templateDirty_ = true;
    });
    LoadTemplates(DefaultMailTemplateTitle(request_.sourceTaskId));
    resize(720, 520);
}

void SendMailDialog::BuildMenu(QMenuBar* bar) {
    QMenu* templates = bar->addMenu(FromGb("模版(&M)"));
    editMode_ = templates->addAction(FromGb("修改模版模式(&E)"));
    editMode_->setObjectName(QStringLiteral("editTemplateMode"));
    editMode_->setCheckable(true);
    connect(editMode_, &QAction::toggled, this, &SendMailDialog::SetEditMode);
    const struct {
        const char* text;
        const char* name;
        void (SendMailDialog::*slot)();
    } items[] = {
        {"保存当前模版(&S)", "saveTemplate", &SendMailDialog::SaveTemplate},
        {"删除当前模版(&D)", "deleteTemplate", &SendMailDialog::DeleteTemplate},
        {"设为默认模版(&M)", "defaultTemplate", &SendMailDialog::SetDefaultTemplate},
        {nullptr, nullptr, nullptr},
        {"电子邮件帐户(&A)...", "mailAccount", &SendMailDialog::EditAccount},
        {"获取不重复的收件人(&G)", "distinctRecipients", &SendMailDialog::DistinctRecipients},
    };
    for (const auto& item : items) {
        if (item.text == nullptr) {
            templates->addSeparator();
            continue;
        }
        QAction* action = templates->addAction(FromGb(item.text));
        action->setObjectName(QString::fromLatin1(item.name));
        connect(action, &QAction::triggered, this, item.slot);
    }
}

void SendMailDialog::LoadTemplates(const std::string& select) {
    std::string error;
    if (!LoadMailTemplates(list_, error))
        prompter_.ShowMessage(error);
    int row = 0;
    loadingTemplate_ = true;
    templates_->blockSignals(true);
    templates_->clear();
    for (size_t i = 0; i < list_.size(); ++i) {
        templates_->addItem(FromGb(list_[i].title));
        if (list_[i].title == select)
            row = static_cast<int>(i);
    }
    templates_->blockSignals(false);
    loadingTemplate_ = false;
    shownRow_ = -1;
    templates_->setCurrentRow(row);
    if (shownRow_ != row)  // the row did not change: show it anyway
        OnTemplateChosen(row);
}

const MailTemplate* SendMailDialog::CurrentTemplate() const {
    return shownRow_ >= 0 && static_cast<size_t>(shownRow_) < list_.size() ? &list_[shownRow_] : nullptr;
}

bool SendMailDialog::LeaveTemplate() {
    if (!templateDirty_)
        return true;
    switch (prompter_.AskYesNoCancel("当前模版没有保存，是否保存？")) {
        case PromptAnswer::kYes:
            SaveTemplate();
            return !templateDirty_;
        case PromptAnswer::kNo:
            templateDirty_ = false;
            return true;
        case PromptAnswer::kCancel:
            break;
    }
    return false;
}

void SendMailDialog::OnTemplateChosen(int row) {
    if (row == shownRow_ || row < 0 || static_cast<size_t>(row) >= list_.size())
        return;
    if (shownRow_ >= 0 && !LeaveTemplate()) {
        templates_->blockSignals(true);
        templates_->setCurrentRow(shownRow_);
        templates_->blockSignals(false);
        return;
    }
    // Saving may have reloaded the list: find the row by its title again.
    const std::string title = ToGb(templates_->item(row) ? templates_->item(row)->text() : QString());
    for (size_t i = 0; i < list_.size(); ++i) {
        if (list_[i].title == title)
            row = static_cast<int>(i);
    }
    shownRow_ = row;
    loadingTemplate_ = true;
    templateHtml_->setPlainText(FromGb(list_[row].html));
    loadingTemplate_ = false;
    templateDirty_ = false;
}

void SendMailDialog::SetEditMode(bool editing) {
    templateHtml_->setReadOnly(!editing);
    if (editing)
        tabs_->setCurrentWidget(templateHtml_);
}

void SendMailDialog::SaveTemplate() {
    const MailTemplate* current = CurrentTemplate();
    if (current == nullptr)
        return;
    MailTemplate saved = *current;
    saved.html = ToGb(templateHtml_->toPlainText());
    const bool isNew = current->builtIn;  // a built-in template is saved as a new one of the user's
    if (isNew) {
        QInputDialog ask(this);
        ask.setObjectName(QStringLiteral("templateName"));
        ask.setWindowTitle(FromGb("保存当前模版"));
        ask.setLabelText(FromGb("模版名称:"));
        if (prompter_.RunDialog(ask) != QDialog::Accepted)
            return;
        saved.title = ToGb(ask.textValue());
        saved.builtIn = false;
    }
    std::string error;
    if (!SaveMailTemplate(saved, isNew, error)) {
        prompter_.ShowMessage(error);
        return;
    }
    templateDirty_ = false;
    LoadTemplates(Trim(saved.title));
}

void SendMailDialog::DeleteTemplate() {
    const MailTemplate* current = CurrentTemplate();
    if (current == nullptr)
        return;
    const std::string title = current->title;
    std::string error;
    if (current->builtIn) {
        DeleteMailTemplate(title, error);  // says why a built-in one stays
        prompter_.ShowMessage(error);
        return;
    }
    if (!prompter_.AskOkCancel(Format("确定删除当前模版(%s)吗？", title.c_str())))
        return;
    if (!DeleteMailTemplate(title, error)) {
        prompter_.ShowMessage(error);
        return;
    }
    templateDirty_ = false;
    LoadTemplates(std::string());
}

void SendMailDialog::SetDefaultTemplate() {
    const MailTemplate* current = CurrentTemplate();
    std::string error;
    if (current != nullptr && !SetDefaultMailTemplate(request_.sourceTaskId, current->title, error))
        prompter_.ShowMessage(error);
}

void SendMailDialog::EditAccount() {
    MailAccountDialog dialog(request_.sourceTaskId, prompter_, this);
    prompter_.RunDialog(dialog);
}

void SendMailDialog::DistinctRecipients() {
    SendMailTaskRequest distinct = request_;
    distinct.distinct = true;
    std::vector<std::string> addresses;
    std::string error;
    if (!CollectSendMailAddresses(distinct, addresses, error)) {
        prompter_.ShowMessage(error);
        return;
    }
    request_.distinct = true;
    addresses_ = std::move(addresses);
    recipients_->setText(FromGb(RecipientsDisplayText(addresses_, true)));
    recipients_->setCursorPosition(0);
}

void SendMailDialog::PreviewTemplate() {
    std::string warnings, error;
    const std::string path = WriteMailPreview(
        ToGb(templateHtml_->toPlainText()), ToGb(content_->toPlainText()), html_->isChecked(),
        LoadMailAccount(request_.sourceTaskId).senderName, warnings, error);
    if (!warnings.empty())
        prompter_.ShowMessage(warnings);
    if (path.empty()) {
        prompter_.ShowMessage(error);
        return;
    }
    // The file holds the system's text: shown from it, with its images found beside it.
    std::string page;
    ReadWholeFile(path, page);
    preview_->document()->setBaseUrl(
        QUrl::fromLocalFile(QString::fromStdString(AppDir()) + QLatin1Char('/')));
    preview_->setHtml(FromGb(page));
    tabs_->setCurrentWidget(preview_);
}

void SendMailDialog::ChooseAttachments() {
    QFileDialog dialog(this, FromGb("附件"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (prompter_.RunDialog(dialog) != QDialog::Accepted)
        return;
    QStringList paths;
    if (!attachments_->text().trimmed().isEmpty())
        paths << attachments_->text().trimmed();
    paths << dialog.selectedFiles();
    attachments_->setText(paths.join(QLatin1Char(';')));
}

void SendMailDialog::Send() {
    if (subject_->text().trimmed().isEmpty() && !prompter_.AskOkCancel("主题为空，确定发送吗？"))
        return;
    SendMailTaskRequest request = request_;
    request.subject = ToGb(subject_->text());
    request.content = ToGb(content_->toPlainText());
    request.html = html_->isChecked();
    request.templateHtml = ToGb(templateHtml_->toPlainText());
    // Paths typed or chosen here are the file system's (UTF-8); the mail task reads them as text.
    request.attachments = ToGb(attachments_->text());
    if (!CreateSendMailTask(request, result_)) {
        prompter_.ShowMessage(result_.error);  // "附件不存在!(%s)" and the like: the dialog stays
        return;
    }
    accept();
}

}  // namespace sorvik::gui
