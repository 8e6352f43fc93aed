#include "gui/workbench_app.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTimer>

#include "engine/page_fetcher.h"
#include "engine/run_controller.h"
#include "engine/run_recovery.h"
#include "gui/gb_qstring.h"
#include "gui/mail_workbench.h"
#include "gui/main_window.h"
#include "gui/options_dialog.h"
#include "gui/pane_layout.h"
#include "gui/prompter.h"
#include "gui/record_workbench.h"
#include "gui/result_pane.h"
#include "gui/run_bridge.h"
#include "gui/task_workbench.h"
#include "mail/send_mail_task.h"
#include "store/startup.h"
#include "text/strings.h"
#include "workbench/schedule.h"

namespace sorvik::gui {

namespace {

constexpr int kDispatchMs = 2000;
constexpr int kForwardTimeoutMs = 5000;
const QByteArray kRaiseRequest("raise\n");

// The user profile: QSettings of organisation "Sorvik".
class QSettingsProfile : public ProfileStore {
  public:
    std::string Read(std::string_view section, std::string_view key) override {
        return ToGb(settings_.value(Key(section, key)).toString());
    }
    void Write(std::string_view section, std::string_view key, std::string_view value) override {
        settings_.setValue(Key(section, key), FromGb(value));
    }

  private:
    static QString Key(std::string_view section, std::string_view key) {
        return FromGb(section) + QLatin1Char('/') + FromGb(key);
    }
    QSettings settings_{QStringLiteral("Sorvik"), QStringLiteral("Sorvik")};
};

}  // namespace

Workbench::Workbench(Prompter* prompter)
    : ownPrompter_(prompter == nullptr ? std::make_unique<Prompter>() : nullptr),
      prompter_(prompter == nullptr ? ownPrompter_.get() : prompter) {}

Workbench::~Workbench() {
    ShutDown();
}

QString Workbench::InstanceServerName(const std::string& home) {
    const QByteArray path = QDir::cleanPath(QDir(QString::fromStdString(home)).absolutePath()).toUtf8();
    return QStringLiteral("sorvik-") +
           QString::fromLatin1(QCryptographicHash::hash(path, QCryptographicHash::Sha1).toHex().left(20));
}

Workbench::StartResult Workbench::Start(const Options& options, QString& error) {
    screenshot_ = options.screenshot;
    home_ = ResolveHomeFolder(options.home);
    const StartupSettings startup = ReadStartupSettings(home_);
    const bool singleInstance = !startup.multiInstance && !screenshot_;
    const QString serverName = InstanceServerName(home_);
    if (singleInstance && InstanceLockHeldElsewhere(home_) && ForwardToRunningInstance(serverName))
        return StartResult::kForwarded;

    StartupOptions core;
    core.home = options.home;
    core.runsTasks = singleInstance;
    std::string coreError;
    if (!StartUp(core, coreError)) {
        // Lost a race with another start: it holds the lock now.
        if (singleInstance && InstanceLockHeldElsewhere(home_) && ForwardToRunningInstance(serverName))
            return StartResult::kForwarded;
        error = FromGb(coreError);
        return StartResult::kFailed;
    }
    started_ = true;
    SetFetchSettings(FetchSettingsFromStartup(CurrentStartupSettings()));
    if (singleInstance && !ListenForInstances(serverName)) {
        error = QStringLiteral("can't listen on the local socket ") + serverName;
        ShutDown();
        return StartResult::kFailed;
    }
    // Runs a dead process left waiting or running become paused, resumable runs.
    const int recovered = screenshot_ ? 0 : RecoverStaleRuns(singleInstance);
    QSettingsProfile profile;
    LoadLayoutSettings(settings_, profile, home_);

    bridge_ = std::make_unique<RunBridge>();
    controller_ = std::make_unique<RunController>(*bridge_, *prompter_, RunMailTask);
    bridge_->SetController(controller_.get());
    BuildWindow();
    if (recovered > 0)
        window_->SetStatusPaneText(0, FromGb(Format("%d 个中断的任务已标记为暂停", recovered)));
    return StartResult::kStarted;
}

void Workbench::BuildWindow() {
    window_ = std::make_unique<MainWindow>();
    prompter_->SetParent(window_.get());
    layout_ = new PaneLayout(*window_, settings_, *prompter_);

    QMenu* view = window_->menuBar()->addMenu(FromGb("查看(&V)"));
    view->setObjectName(QStringLiteral("viewMenu"));
    view->addAction(layout_->DetailAction());
    view->addAction(layout_->FilterAndGridAction());
    QMenu* tools = window_->menuBar()->addMenu(FromGb("工具(&T)"));
    tools->setObjectName(QStringLiteral("toolsMenu"));
    QAction* options = tools->addAction(FromGb("选项(&O)..."));
    options->setObjectName(QStringLiteral("options"));
    connect(options, &QAction::triggered, this, &Workbench::ShowOptions);

    // Worker messages reach the widgets from the event loop, never from inside the controller.
    MainWindow* window = window_.get();
    connect(bridge_.get(), &RunBridge::statusTextChanged, window, &MainWindow::SetStatusPaneText,
            Qt::QueuedConnection);
    connect(bridge_.get(), &RunBridge::taskRowChanged, window, &MainWindow::TaskRowChanged,
            Qt::QueuedConnection);
    connect(bridge_.get(), &RunBridge::runEnded, window, &MainWindow::RunEnded, Qt::QueuedConnection);
    connect(bridge_.get(), &RunBridge::resultsChanged, window, &MainWindow::ResultsChanged,
            Qt::QueuedConnection);
    connect(bridge_.get(), &RunBridge::testRunEnded, window, &MainWindow::TestRunEnded, Qt::QueuedConnection);
    connect(window, &MainWindow::CurrentNodeChanged, layout_, &PaneLayout::NodeChanged);
    // The category tree, the task pane, the task editor and the exchange commands (owned by the
    // window). The editor's unsaved-script question comes before the running-tasks one.
    auto* tasks = new TaskWorkbench(*window_, *controller_, *prompter_);
    results_ = new ResultPane(*window_, *tasks, *prompter_);
    records_ = new RecordWorkbench(*window_, *tasks, *results_, *prompter_);
    // The grid's script commands, the send-mail dialog and the mailbox (owned by the window).
    new MailWorkbench(*window_, *controller_, *prompter_, tasks->Pane(), results_);
    window_->AddCloseCheck([this] { return QueryClose(); });

    if (!screenshot_) {
        dispatchTimer_ = new QTimer(window);
        dispatchTimer_->setInterval(kDispatchMs);
        connect(dispatchTimer_, &QTimer::timeout, this, [this] { controller_->DispatchTimerTick(); });
        dispatchTimer_->start();
        // Planned starts: the schedule compares its list with the clock every 2000 ms.
        scheduler_ = std::make_unique<Scheduler>(*controller_, LocalTimeNow);
        std::string error;
        if (!scheduler_->Load(error))
            window_->SetStatusPaneText(0, FromGb(error));
        scheduleTimer_ = new QTimer(window);
        scheduleTimer_->setInterval(kDispatchMs);
        connect(scheduleTimer_, &QTimer::timeout, this, [this] { scheduler_->Tick(); });
        scheduleTimer_->start();
    }
}

void Workbench::Show(const QSize& size) {
    if (!window_)
        return;
    if (size.isValid()) {
        window_->resize(size);
        window_->show();
    } else {
        window_->showMaximized();
    }
    // The splitters have their sizes once the window is laid out.
    QApplication::processEvents();
    layout_->ApplyGlobal();
    window_->SelectNode(settings_.currentSelectNode);
}

bool Workbench::QueryClose() {
    if (controller_ && controller_->RunningWorkers() > 0 &&
        !prompter_->AskOkCancel("任务还没有结束，确定退出吗？"))
        return false;
    return true;
}

void Workbench::ShutDown() {
    if (!started_)
        return;
    started_ = false;
    if (dispatchTimer_ != nullptr)
        dispatchTimer_->stop();
    if (scheduleTimer_ != nullptr)
        scheduleTimer_->stop();
    if (layout_ != nullptr && !screenshot_)
        layout_->Capture();
    if (controller_)
        controller_->Shutdown();
    if (window_ && !screenshot_) {
        QSettingsProfile profile;
        settings_.maxThreadCount = giMaxThreadCount;
        if (!SaveLayoutSettings(settings_, profile))
            DebugLog(g_strDbError.Get(), "SaveLayoutSettings");
    }
    instanceServer_.reset();
    layout_ = nullptr;
    results_ = nullptr;
    records_ = nullptr;
    window_.reset();
    if (bridge_)
        bridge_->SetController(nullptr);
    scheduler_.reset();
    controller_.reset();
    bridge_.reset();
    sorvik::ShutDown();
}

void Workbench::ShowOptions() {
    OptionsDialog dialog(
        giMaxThreadCount, *prompter_,
        [this](int count) {
            controller_->SetMaxThreadCount(count);
            settings_.maxThreadCount = count;
        },
        window_.get());
    prompter_->RunDialog(dialog);
}

bool Workbench::ForwardToRunningInstance(const QString& serverName) {
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(kForwardTimeoutMs))
        return false;
    socket.write(kRaiseRequest);
    const bool written = socket.waitForBytesWritten(kForwardTimeoutMs);
    // The first instance answers once its window is forward.
    const bool answered = written && socket.waitForReadyRead(kForwardTimeoutMs);
    socket.disconnectFromServer();
    return answered;
}

bool Workbench::ListenForInstances(const QString& serverName) {
    // The instance lock is ours, so a socket file left under this name is a dead process's.
    QLocalServer::removeServer(serverName);
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(serverName))
        return false;
    connect(server.get(), &QLocalServer::newConnection, this, &Workbench::OnInstanceConnection);
    instanceServer_ = std::move(server);
    return true;
}

void Workbench::OnInstanceConnection() {
    while (QLocalSocket* socket = instanceServer_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            if (socket->readLine() == kRaiseRequest && window_) {
                window_->BringForward();
                socket->write("ok\n");
            }
        });
    }
}

}  // namespace sorvik::gui
