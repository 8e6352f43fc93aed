#include "gui/mailbox_view.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "gui/gb_qstring.h"
#include "gui/mail_account_dialog.h"
#include "gui/prompter.h"
#include "text/strings.h"

namespace sorvik::gui {

MailboxView::MailboxView(Prompter& prompter, QWidget* parent) : QWidget(parent), prompter_(prompter) {
    setObjectName(QStringLiteral("mailboxView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(4, 2, 4, 2);
    receive_ = new QPushButton(FromGb("接收邮件(&R)"), this);
    receive_->setObjectName(QStringLiteral("receiveMail"));
    account_ = new QPushButton(FromGb("电子邮件帐户(&A)..."), this);
    account_->setObjectName(QStringLiteral("mailboxAccount"));
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("mailboxStatus"));
    bar->addWidget(receive_);
    bar->addWidget(account_);
    bar->addWidget(status_, 1);
    layout->addLayout(bar);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    model_ = new QStandardItemModel(0, 5, this);
    model_->setHorizontalHeaderLabels(
        {FromGb("发件人"), FromGb("发件地址"), FromGb("主题"), FromGb("日期"), FromGb("收件人")});
    list_ = new QTableView(splitter);
    list_->setObjectName(QStringLiteral("mailboxList"));
    list_->setModel(model_);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);  // the subject
    message_ = new QTextBrowser(splitter);
    message_->setObjectName(QStringLiteral("mailboxMessage"));
    splitter->addWidget(list_);
    splitter->addWidget(message_);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter, 1);

    connect(receive_, &QPushButton::clicked, this, &MailboxView::Receive);
    connect(account_, &QPushButton::clicked, this, &MailboxView::EditAccount);
    connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& index) { ShowMessage(index); });
    // The download's thread only emits; the slots run here, on the GUI thread.
    connect(this, &MailboxView::WorkerStatus, this, &MailboxView::StatusText, Qt::QueuedConnection);
    connect(this, &MailboxView::WorkerEnded, this, &MailboxView::OnWorkerEnded, Qt::QueuedConnection);
    connect(this, &MailboxView::StatusText, status_, &QLabel::setText);
}

MailboxView::~MailboxView() {
    if (worker_.joinable())
        worker_.join();
}

void MailboxView::ShowTask(int taskId) {
    taskId_ = taskId;
    Reload();
}

void MailboxView::Reload() {
    std::string error;
    rows_.clear();
    if (taskId_ > 0 && !ReadMailboxRows(taskId_, rows_, error))
        status_->setText(FromGb(error));
    model_->setRowCount(0);
    for (const MailboxRow& row : rows_) {
        QList<QStandardItem*> items;
        for (const std::string* text :
             {&row.senderName, &row.senderAddress, &row.subject, &row.date, &row.receiver})
            items << new QStandardItem(FromGb(*text));
        model_->appendRow(items);
    }
    message_->clear();
    if (!rows_.empty())
        list_->selectRow(0);
    receive_->setEnabled(taskId_ > 0 && !receiving_);
    account_->setEnabled(taskId_ > 0);
}

void MailboxView::ShowMessage(const QModelIndex& index) {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= rows_.size()) {
        message_->clear();
        return;
    }
    // Received text is shown as text: a message never runs as a page inside the window.
    message_->setPlainText(FromGb(ReadMailboxContent(taskId_, rows_[index.row()].id)));
}

void MailboxView::EditAccount() {
    if (taskId_ <= 0)
        return;
    MailAccountDialog dialog(taskId_, prompter_, this);
    prompter_.RunDialog(dialog);
}

void MailboxView::Receive() {
    if (taskId_ <= 0)
        return;
    if (receiving_) {
        prompter_.ShowMessage("请等待！");
        return;
    }
    if (worker_.joinable())
        worker_.join();  // the last download has ended: its end was delivered
    receiving_ = true;
    receive_->setEnabled(false);
    const int taskId = taskId_;
    worker_ = std::thread([this, taskId] {
        MailboxResult result = ReceiveMailbox(
            taskId, [this](const std::string& text) { emit WorkerStatus(FromGb(Trim(text))); });
        emit WorkerEnded(result.ok, result.stored, FromGb(Trim(result.status)));
    });
}

void MailboxView::OnWorkerEnded(bool ok, int stored, const QString& status) {
    receiving_ = false;
    if (worker_.joinable())
        worker_.join();
    status_->setText(status);
    emit StatusText(status);
    Reload();
    emit ReceiveEnded(ok, stored, status);
}

}  // namespace sorvik::gui
