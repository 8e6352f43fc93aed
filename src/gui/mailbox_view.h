#pragma once
// The view of a mailbox task ("#任务类型=接收邮件"): its messages in sc_ReceiveBox (sender,
// subject, date, receiver; the selected message's text below), the account dialog and the
// receive command. Receiving runs the core's POP3 download on a thread of its own; its status
// texts and its end come back to the GUI thread as queued signals, so the window never waits.

#include <QWidget>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "mail/mailbox.h"

class QLabel;
class QPushButton;
class QStandardItemModel;
class QTableView;
class QTextBrowser;

namespace sorvik::gui {

class Prompter;

class MailboxView : public QWidget {
    Q_OBJECT

  public:
    explicit MailboxView(Prompter& prompter, QWidget* parent = nullptr);
    // Waits for a download that still runs (bounded by its reply timeout).
    ~MailboxView() override;

    // Shows the mailbox of taskId (0: none).
    void ShowTask(int taskId);
    int Task() const { return taskId_; }
    bool Receiving() const { return receiving_; }

    QTableView* List() const { return list_; }
    QTextBrowser* Message() const { return message_; }
    QPushButton* ReceiveButton() const { return receive_; }
    QLabel* Status() const { return status_; }

  public slots:
    // Starts the download of the shown mailbox ("请等待！" while one runs).
    void Receive();
    void EditAccount();
    // Reads the list again.
    void Reload();

  signals:
    // A status text of the download (GUI thread).
    void StatusText(const QString& text);
    // The download ended and the list was reloaded (GUI thread).
    void ReceiveEnded(bool ok, int stored, const QString& status);

    // From the download's thread; delivered queued.
    void WorkerStatus(const QString& text);
    void WorkerEnded(bool ok, int stored, const QString& status);

  private:
    void OnWorkerEnded(bool ok, int stored, const QString& status);
    void ShowMessage(const QModelIndex& index);

    Prompter& prompter_;
    int taskId_ = 0;
    std::vector<MailboxRow> rows_;
    bool receiving_ = false;  // GUI thread only
    std::thread worker_;
    QStandardItemModel* model_ = nullptr;
    QTableView* list_ = nullptr;
    QTextBrowser* message_ = nullptr;
    QPushButton* receive_ = nullptr;
    QPushButton* account_ = nullptr;
    QLabel* status_ = nullptr;
};

}  // namespace sorvik::gui
