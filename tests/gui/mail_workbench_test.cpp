// Mail in the window on a real home: a script-defined command run from the grid's menu, a
// mailing made in the send-mail dialog and sent through a real SMTP server on loopback (aiosmtpd),
// and the mailbox view receiving from a real POP3 server (dovecot) without blocking the window.
// With SORVIK_SCREENSHOT_DIR set, the dialog and the mailbox view are written there as PNGs.

#include "gui/mail_workbench.h"

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QTableView>
#include <QTest>
#include <QTextBrowser>
#include <deque>
#include <functional>
#include <memory>

#include "engine/result_table.h"
#include "gui/gb_qstring.h"
#include "gui/grid_command_menu.h"
#include "gui/mailbox_view.h"
#include "gui/main_window.h"
#include "gui/result_grid_model.h"
#include "gui/result_pane.h"
#include "gui/send_mail_dialog.h"
#include "gui/workbench_app.h"
#include "mail/background_server.h"
#include "mail/dovecot_server.h"
#include "mail/mail_account.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "support/gui_workbench_fixture.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"
#include "text/file_helpers.h"
#include "text/strings.h"

using namespace sorvik;
using namespace sorvik::gui;

namespace {

constexpr int kWaitMs = 120000;

const char kSellers[] =
    "#任务名称=商家\r\n#表名=Sellers\r\n#字段名列表=name,mail,sent\r\n#字段别名列表=名称,邮箱,已发送\r\n"
    "#字段类型=文本,文本,是/否\r\n#表格_右键菜单_#追加=标记已发,,群发邮件\r\n"
    "#表格_右键菜单_标记已发=已发送,1\r\n#表格_右键菜单_群发邮件=已发送,SendMail,邮箱\r\n";

std::string Column(const char* column) {
    return CDbAccess().SelectJoined(Format("ifnull(%s,'null')", column), "Sellers", "1=1 order by ID_");
}

std::string Hex(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes)
        out += Format("%02x", c);
    return out;
}

}  // namespace

class MailWorkbenchTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        QString error;
        QVERIFY2(gui_.Start(error), qPrintable(error));
        mail_ = gui_.workbench->Window()->findChild<MailWorkbench*>();
        QVERIFY(mail_);

        std::string message;
        QVERIFY(EnsureResultTable(kSellers, 0, message));
        QVERIFY(CTaskTable().InsertTask(7, "商家", TaskState::kEnded, "", 4, kSellers));
        CDbAccess db;
        for (int i = 1; i <= 3; ++i)
            QVERIFY(db.ExecuteSql(Format(
                "insert into Sellers(iNode_,名称,邮箱) values(7,'商家%d','seller%d@example.com')", i, i)));
    }
    void cleanup() { gui_.Stop(); }

    void aScriptCommandWritesTheSelectedRows() {
        QVERIFY(TriggerGridCommand("标记已发"));
        QCOMPARE(QString::fromStdString(Column("已发送")), QStringLiteral("1,null,1"));
        QVERIFY(gui_.prompter->said.empty());
        // The grid read its page again: a yes shows as "√".
        ResultPane* results = gui_.workbench->Results();
        QCOMPARE(results->Model()->index(0, 3).data().toString(), FromGb("√"));
        QCOMPARE(results->Model()->index(1, 3).data().toString(), QString());
        // The menu holds the task's commands once, with the separator of the empty name.
        QMenu* menu = results->ContextMenu();
        emit menu->aboutToShow();
        QStringList items;
        for (QAction* action : menu->actions())
            items << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QVERIFY(items.join(QLatin1Char('|')).endsWith(FromGb("-|标记已发|-|群发邮件")));
        QCOMPARE(items.count(FromGb("标记已发")), 1);

        // A submit goes out from its own thread; the window hears when it is done.
        test::HttpTestServer server;
        server.AddPage("/add.asp", "ok");
        CTaskTable tasks;
        QCOMPARE(tasks.SetTaskScriptValue(7, "#表格_右键菜单_#追加", "登记", false), 1);
        QCOMPARE(tasks.SetTaskScriptValue(7, "#表格_右键菜单_登记",
                                          "#提交:" + server.Url("/add.asp") + "?n=<@名称>", false),
                 1);
        QSignalSpy ended(gui_.workbench->Window()->findChild<GridCommandMenu*>(),
                         &GridCommandMenu::SubmitsEnded);
        QVERIFY(TriggerGridCommand("登记"));
        QVERIFY(ended.wait(kWaitMs));
        QCOMPARE(ended.at(0).at(0).toInt(), 2);
        QCOMPARE(server.CountRequests("/add.asp"), 2);
        QCOMPARE(QString::fromStdString(server.Requests().at(1).target),
                 QStringLiteral("/add.asp?n=%c9%cc%bc%d23"));
    }

    void aMailingFromTheGridIsSentPersonally() {
        const std::string python = test::FindPython("aiosmtpd");
        if (python.empty())
            QSKIP("python3-aiosmtpd is not installed");
        test::TempDir out;
        test::BackgroundServer smtp;
        QVERIFY(smtp.Start(python, {std::string(SORVIK_SOURCE_DIR) + "/tests/mail/smtp_test_server.py",
                                    "--out", out.path()}));
        const std::string port = Trim(smtp.ReadLine());
        QVERIFY(ToInt(port) > 0);
        MailAccount account;
        account.smtpServer = "127.0.0.1";
        account.smtpPort = port;
        account.senderAddress = "shop@sorvik.test";
        account.senderName = "水果店";
        std::string error;
        QVERIFY(SaveMailAccount(7, account, error));
        QVERIFY(CDbAccess().ExecuteSql("update Sellers set 已发送=1"));

        int mailTask = 0;
        connect(mail_->GridCommands(), &GridCommandMenu::MailTaskCreated, this,
                [&](int id) { mailTask = id; });
        gui_.prompter->dialogs.push_back([](QDialog& d) {
            auto& dialog = dynamic_cast<SendMailDialog&>(d);
            // Rows 1 and 3 are chosen; the dialog lists their addresses.
            if (dialog.Recipients()->text() != FromGb("(2个收件人)seller1@example.com,seller3@example.com"))
                return int(QDialog::Rejected);
            dialog.Subject()->setText(FromGb("价目"));
            dialog.Content()->setPlainText(FromGb("<%@名称%>，您好！"));
            const auto letter = dialog.Templates()->findItems(FromGb("信笺模版"), Qt::MatchExactly);
            if (letter.size() != 1)
                return int(QDialog::Rejected);
            dialog.Templates()->setCurrentItem(letter.front());
            dialog.PreviewTemplate();
            test::Grab(dialog, "send_mail_dialog.png");
            dialog.Send();
            return dialog.result();
        });
        QVERIFY(TriggerGridCommand("群发邮件"));
        QVERIFY(gui_.prompter->dialogs.empty());
        QVERIFY(mailTask > 0);
        // The preview file was written in the home folder.
        QVERIFY(FileExists(gui_.home->file("sc_mail.html")));

        // Sent one by one; each record is marked sent again, the unchosen one stays.
        QTRY_VERIFY_WITH_TIMEOUT(Column("已发送") == "1,1,1" && FileExists(out.file("2.eml")), kWaitMs);
        QVERIFY(!FileExists(out.file("3.eml")));
        for (int i : {1, 2}) {
            const std::string seller = Format("商家%d", i == 1 ? 1 : 3);
            std::string envelope;
            QVERIFY(ReadWholeFile(out.file(std::to_string(i) + ".env"), envelope));
            QCOMPARE(QString::fromStdString(SplitAll(envelope, "\n").at(1)),
                     QString::fromStdString(Format("seller%d@example.com", i == 1 ? 1 : 3)));
            test::ProcessResult parsed =
                test::RunProcess(python, {std::string(SORVIK_SOURCE_DIR) + "/tests/mail/check_mime.py",
                                          out.file(std::to_string(i) + ".eml")});
            QCOMPARE(parsed.exitCode, 0);
            QVERIFY2(parsed.out.find(Hex(seller + "，您好！")) != std::string::npos, parsed.out.c_str());
        }
    }

    void theMailboxReceivesWithoutBlockingTheWindow() {
        if (!test::DovecotServer::Installed())
            QSKIP("dovecot-pop3d is not installed");
        test::TempDir serverDir;
        test::DovecotServer dovecot(serverDir.path(), false);
        QVERIFY(dovecot.AddMessage("From: a@x.org\r\nTo: me@x.org\r\nSubject: one\r\n\r\nfirst\r\n"));
        QVERIFY(dovecot.AddMessage("From: b@x.org\r\nSubject: =?utf-8?b?5Lit5paH?=\r\n\r\nsecond\r\n"));
        QCOMPARE(QString::fromStdString(dovecot.Start()), QString());
        QVERIFY(CTaskTable().InsertTask(9, "收件箱", TaskState::kEnded, "", 4,
                                        "#任务类型=接收邮件\r\n#任务名称=收件箱\r\n"));
        MailAccount account;
        account.smtpServer = "127.0.0.1";
        account.senderAddress = "me@x.org";
        account.smtpPort = "25";
        account.pop3Server = Format("127.0.0.1:%d", dovecot.port());
        account.user = test::DovecotServer::kUser;
        account.password = test::DovecotServer::kPassword;
        std::string error;
        QVERIFY(SaveMailAccount(9, account, error));

        gui_.workbench->Window()->OnNodeSelected(0, 0, 9);
        MailboxView* view = mail_->Mailbox();
        // The account dialog stays open until its checks pass.
        gui_.prompter->dialogs.push_back([this](QDialog& dialog) {
            auto* port = dialog.findChild<QLineEdit*>(QStringLiteral("smtpPort"));
            auto* pop3 = dialog.findChild<QLineEdit*>(QStringLiteral("pop3Server"));
            if (!port || !pop3 || !pop3->text().startsWith(QStringLiteral("127.0.0.1:")))
                return int(QDialog::Rejected);
            port->clear();
            dialog.accept();
            if (dialog.result() == QDialog::Accepted ||
                gui_.prompter->said != std::vector<std::string>{"服务器端口不能为空！"})
                return int(QDialog::Rejected);
            port->setText(QStringLiteral("2525"));
            test::Grab(dialog, "mail_account_dialog.png");
            dialog.accept();
            return dialog.result();
        });
        view->EditAccount();
        QVERIFY(gui_.prompter->dialogs.empty());
        QCOMPARE(QString::fromStdString(LoadMailAccount(9).smtpPort), QStringLiteral("2525"));
        QSplitter* data = gui_.workbench->Window()->DataSplitter();
        QVERIFY(view->isVisibleTo(data));
        QVERIFY(!gui_.workbench->Window()->FilterBar()->isVisibleTo(data));
        view->ReceiveButton()->click();
        // The click returned at once: the download runs on its own thread.
        QVERIFY(view->Receiving());
        QTRY_VERIFY_WITH_TIMEOUT(!view->Receiving(), kWaitMs);
        QCOMPARE(view->Status()->text(), QStringLiteral("Deleted all messages"));
        QCOMPARE(view->List()->model()->rowCount(), 2);
        QCOMPARE(view->List()->model()->index(0, 2).data().toString(), FromGb("中文"));  // newest first
        view->List()->selectRow(1);
        QCOMPARE(view->Message()->toPlainText().contains(QStringLiteral("first")), true);
        test::Grab(*gui_.workbench->Window(), "mailbox_view.png");
        QCOMPARE(dovecot.MessagesLeft(), 0);

        // Another node gives the data pane back.
        gui_.workbench->Window()->OnNodeSelected(0, 0, 7);
        QVERIFY(!view->isVisibleTo(data));
        QVERIFY(gui_.workbench->Window()->FilterBar()->isVisibleTo(data));
    }

  private:
    // Shows task 7's records, selects the first and the third row and triggers the grid menu's
    // item of that text; false when there is none.
    bool TriggerGridCommand(const char* text) {
        ResultPane* results = gui_.workbench->Results();
        results->ShowTask(7);
        if (results->Model()->rowCount() != 3)
            return false;
        QTableView* view = results->View();
        view->selectionModel()->clearSelection();
        for (int row : {0, 2})
            view->selectionModel()->select(results->Model()->index(row, 1),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QMenu* menu = results->ContextMenu();
        emit menu->aboutToShow();
        for (QAction* action : menu->actions()) {
            if (action->text() == FromGb(text)) {
                action->trigger();
                return true;
            }
        }
        return false;
    }

    test::FreshWorkbench gui_;
    MailWorkbench* mail_ = nullptr;
};

QTEST_MAIN(MailWorkbenchTest)
#include "mail_workbench_test.moc"
