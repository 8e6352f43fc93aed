// The workbench window as a user drives it: the options dialog, the layout kept across a
// restart, and a second start on the same home.

#include <QAction>
#include <QDialog>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <functional>

#include "engine/fetch_politeness.h"
#include "engine/run_controller.h"
#include "engine/run_globals.h"
#include "gui/gb_qstring.h"
#include "gui/main_window.h"
#include "gui/options_dialog.h"
#include "gui/prompter.h"
#include "gui/workbench_app.h"
#include "script/script_text.h"
#include "store/db_access.h"
#include "store/startup.h"
#include "store/system_tables.h"
#include "store/task_table.h"
#include "support/http_test_server.h"
#include "support/serve_folder.h"
#include "support/temp_dir.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/strings.h"

using namespace sorvik;
using namespace sorvik::gui;

namespace {

// Answers every prompt and records what it was asked.
class TestPrompter : public Prompter {
  public:
    void ShowMessage(const std::string& text) override { messages << FromGb(text); }
    PromptAnswer AskYesNoCancel(const std::string& text) override {
        messages << FromGb(text);
        return PromptAnswer::kYes;
    }
    bool AskOkCancel(const std::string& text) override {
        messages << FromGb(text);
        return okCancelAnswer;
    }
    int RunDialog(QDialog& dialog) override {
        dialog.show();
        driveDialog(dialog);
        return dialog.result();
    }

    QStringList messages;
    bool okCancelAnswer = true;
    std::function<void(QDialog&)> driveDialog;
};

// Warnings fail the test, as QT_FATAL_WARNINGS would, except the offscreen platform's own notes
// that it has no window manager (raise, size hints).
// A task from an example script pointed at the served demo site.
int AddExampleTask(const std::string& name, const std::string& siteUrl, const std::string& startUrl = {}) {
    std::string text;
    if (!ReadWholeFile(std::string(SORVIK_SOURCE_DIR) + "/examples/scripts/" + name, text))
        return 0;
    ReplaceAll(text, "http://127.0.0.1:8080/", siteUrl);
    std::string script = Utf8ToGb(text);
    ReplaceAll(script, "\r\n", "\n");
    ReplaceAll(script, "\n", "\r\n");
    if (!startUrl.empty())
        SetScriptValue("#要搜索网址=", script, startUrl);
    CTaskTable tasks;
    const int id = tasks.AllocateTaskId();
    return tasks.InsertTask(id, "t", TaskState::kEnded, startUrl, 3, script) ? id : 0;
}

QtMessageHandler g_previousHandler = nullptr;
void FailOnWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if ((type == QtWarningMsg || type == QtCriticalMsg) &&
        !message.startsWith(QLatin1String("This plugin does not support")))
        qFatal("unexpected Qt warning: %s", qPrintable(message));
    if (g_previousHandler != nullptr)
        g_previousHandler(type, context, message);
}

}  // namespace

class WorkbenchTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<test::TempDir> config_;

    static void Start(Workbench& workbench, const std::string& home) {
        QString error;
        Workbench::Options options;
        options.home = home;
        QCOMPARE(workbench.Start(options, error), Workbench::StartResult::kStarted);
        workbench.Show();
    }

  private slots:
    void initTestCase() {
        config_ = std::make_unique<test::TempDir>();
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config_->path()));
        g_previousHandler = qInstallMessageHandler(FailOnWarnings);
    }

    void threadLimitDialogRefusesOutOfRange() {
        test::TempDir home;
        TestPrompter prompter;
        Workbench workbench(&prompter);
        Start(workbench, home.path());
        bool driven = false;
        prompter.driveDialog = [&](QDialog& dialog) {
            auto& options = dynamic_cast<OptionsDialog&>(dialog);
            for (const char* refused : {"0", "64", "x"}) {
                options.ThreadLimitEdit()->setText(QString::fromLatin1(refused));
                QTest::mouseClick(options.OkButton(), Qt::LeftButton);
                QVERIFY2(options.isVisible(), refused);
                QCOMPARE(prompter.messages.size(), 1);
                QCOMPARE(prompter.messages.takeFirst(), FromGb("值应在1~63之间！"));
            }
            options.ThreadLimitEdit()->setText(QStringLiteral("63"));
            QCOMPARE(options.ConnectionsEdit()->text(), QStringLiteral("4"));
            options.ConnectionsEdit()->setText(QStringLiteral("33"));
            QTest::mouseClick(options.OkButton(), Qt::LeftButton);
            QVERIFY(options.isVisible());
            QCOMPARE(prompter.messages.takeFirst(), FromGb("并发连接数应在1~32之间！"));
            options.ConnectionsEdit()->setText(QStringLiteral("8"));
            QTest::mouseClick(options.OkButton(), Qt::LeftButton);
            QVERIFY(!options.isVisible());
            QVERIFY(prompter.messages.isEmpty());
            driven = true;
        };
        workbench.Window()->findChild<QAction*>(QStringLiteral("options"))->trigger();
        QVERIFY(driven);
        QCOMPARE(giMaxThreadCount.load(), 63);
        CDbAccess db;
        QCOMPARE(db.GetSetValue("giMaxThreadCount"), std::string("63"));
        QCOMPARE(ReadRunFetchSettings("").politeness.connections, 8);
    }

    void layoutAndSelectionComeBackAfterRestart() {
        test::TempDir home;
        TestPrompter prompter;
        int taskId = 0;
        int taskNode = 0;
        {
            Workbench first(&prompter);
            Start(first, home.path());
            MainWindow& window = *first.Window();
            QCOMPARE(window.windowTitle(), QStringLiteral("Sorvik"));
            QCOMPARE(window.CurrentNode(), kNodeActiveTasks);
            QVERIFY(window.isMaximized());

            // A task filed under a category of its own: its node keeps its own layout.
            CTaskTable tasks;
            taskId = tasks.AllocateTaskId();
            QVERIFY(tasks.InsertTask(taskId, "t", TaskState::kEnded, "", 4, "#任务名称=t\r\n"));
            taskNode = tasks.NewCategory("c", kNodeResults, 2);
            QVERIFY(taskNode > 0);
            CDbAccess db;
            QVERIFY(db.ExecuteSql("update TreeItems set iTask=" + std::to_string(taskId) +
                                  " where ID=" + std::to_string(taskNode)));

            window.MainSplitter()->setSizes({300, window.MainSplitter()->sizes().value(1) + 50});
            window.RightSplitter()->setSizes({150, 250});
            window.findChild<QAction*>(QStringLiteral("toggleDetail"))->trigger();
            QVERIFY(window.DetailPane()->isHidden());

            QVERIFY(window.SelectNode(taskNode));
            QVERIFY(!window.DetailPane()->isHidden());  // the task's own visibility
            QCOMPARE(window.RightSplitter()->sizes().value(0), 42);
            window.findChild<QAction*>(QStringLiteral("toggleFilterAndGrid"))->trigger();
            QVERIFY(window.DataSplitter()->isHidden());
            QCOMPARE(tasks.ReadTaskText(taskId, true).find("#是否显示过滤栏和表格=0") != std::string::npos,
                     true);

            QVERIFY(window.SelectNode(kNodeFinishedTasks));  // back to the global layout
            QVERIFY(window.DetailPane()->isHidden());
            QVERIFY(!window.DataSplitter()->isHidden());
            QCOMPARE(window.RightSplitter()->sizes().value(0), 150);
            QVERIFY(window.close());
            first.ShutDown();
        }
        QVERIFY(prompter.messages.isEmpty());

        Workbench second(&prompter);
        Start(second, home.path());
        MainWindow& window = *second.Window();
        QCOMPARE(window.CurrentNode(), kNodeFinishedTasks);
        QCOMPARE(window.MainSplitter()->sizes().value(0), 300);
        QCOMPARE(window.RightSplitter()->sizes().value(0), 150);
        QVERIFY(window.DetailPane()->isHidden());
        QVERIFY(!window.findChild<QAction*>(QStringLiteral("toggleDetail"))->isChecked());
        QVERIFY(window.SelectNode(taskNode));
        QVERIFY(window.DataSplitter()->isHidden());
    }

    void runsReachTheStatusBarAndClosingAsksWhileWorkersRun() {
        test::HttpTestServer site;
        QVERIFY(site.ok());
        QVERIFY(test::ServeFolder(site, std::string(SORVIK_SOURCE_DIR) + "/examples/site") > 0);
        site.AddStall("/stall.htm");
        test::TempDir home;
        TestPrompter prompter;
        Workbench workbench(&prompter);
        Start(workbench, home.path());
        MainWindow& window = *workbench.Window();
        const int harvest = AddExampleTask("next_page.txt", site.Url("/"));
        const int stalled = AddExampleTask("next_page.txt", site.Url("/"), site.Url("/stall.htm"));
        QVERIFY(harvest > 0 && stalled > 0);

        QSignalSpy ended(&window, &MainWindow::RunEnded);
        StartRequest request;
        request.taskNumber = harvest;
        QVERIFY(workbench.Controller()->StartTask(request));
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 120000);
        QCOMPARE(ended[0][0].toInt(), harvest);
        QCOMPARE(ended[0][1].toInt(), 4);
        CTaskTable tasks;
        QCOMPARE(tasks.ReadTaskInt("iRecordCount", harvest), 15);
        QTRY_COMPARE(window.StatusPaneText(2), FromGb("任务数:0"));
        QCOMPARE(window.StatusPaneText(0), FromGb("就绪"));
        QCOMPARE(window.StatusPaneText(1), FromGb("连接已关闭"));

        request.taskNumber = stalled;
        QVERIFY(workbench.Controller()->StartTask(request));
        QTRY_COMPARE_WITH_TIMEOUT(window.StatusPaneText(2), FromGb("任务数:1"), 60000);
        prompter.okCancelAnswer = false;
        QVERIFY(!window.close());
        QCOMPARE(prompter.messages, QStringList{FromGb("任务还没有结束，确定退出吗？")});
        QVERIFY(window.isVisible());
        prompter.okCancelAnswer = true;
        QVERIFY(window.close());
        workbench.ShutDown();
        // Shut down under way: the stalled run keeps its resume point as a paused task.
        StartupOptions options;
        options.home = home.path();
        std::string error;
        QVERIFY(StartUp(options, error));
        QCOMPARE(tasks.ReadTaskInt("iStatus", stalled), 2);
        ShutDown();
    }

    void secondStartOnTheSameHomeRaisesTheFirst() {
        test::TempDir home;
        Workbench first;
        Start(first, home.path());
        QSignalSpy raised(first.Window(), &MainWindow::BroughtForward);
        QProcess second;
        second.start(QStringLiteral(SORVIK_GUI_PATH),
                     {QStringLiteral("--home"), QString::fromStdString(home.path())});
        // The first window answers from its event loop, which QTRY keeps turning.
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 120000);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(raised.count(), 1);
    }
};

QTEST_MAIN(WorkbenchTest)
#include "workbench_test.moc"
