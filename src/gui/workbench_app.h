#pragma once
// The workbench's life: start-up (settings file, single instance, database, stale-run recovery,
// layout settings, run controller, main window), the dispatch timer, closing and shut-down.
//
// Single instance: unless scSet.txt says Muli=1, the process that holds the home folder's
// instance lock listens on a local socket named after the home folder; a second start on the
// same home finds the lock held, asks the first one to bring its window forward and exits 0.

#include <QObject>
#include <QSize>
#include <QString>
#include <memory>
#include <string>

#include "workbench/layout_settings.h"

class QLocalServer;
class QTimer;

namespace sorvik {
class RunController;
class Scheduler;
}  // namespace sorvik

namespace sorvik::gui {

class MainWindow;
class PaneLayout;
class Prompter;
class RecordWorkbench;
class ResultPane;
class RunBridge;

class Workbench : public QObject {
    Q_OBJECT

  public:
    enum class StartResult { kStarted, kForwarded, kFailed };

    struct Options {
        std::string home;         // --home; empty: $SORVIK_HOME or the default
        bool screenshot = false;  // renders once: no instance lock, no recovery, settings unchanged
    };

    // prompter: where every message box goes (tests pass their own); null: message boxes.
    explicit Workbench(Prompter* prompter = nullptr);
    ~Workbench() override;

    // Starts up; kForwarded when another instance runs on the home (it was asked to come
    // forward); kFailed with the message in error.
    StartResult Start(const Options& options, QString& error);
    // Shows the window (maximised, or at size), lays out its panes and selects the stored node.
    void Show(const QSize& size = QSize());
    // Saves the layout, shuts the workers down and closes the database. Called once after the
    // window has closed (also by the destructor).
    void ShutDown();

    MainWindow* Window() const { return window_.get(); }
    RunController* Controller() const { return controller_.get(); }
    PaneLayout* Layout() const { return layout_; }
    // The filter bar and result grid (owned by the window).
    ResultPane* Results() const { return results_; }
    // The record views and favourites (owned by the window).
    RecordWorkbench* Records() const { return records_; }
    Scheduler* Schedule() const { return scheduler_.get(); }
    Prompter& Prompts() const { return *prompter_; }
    const LayoutSettings& Settings() const { return settings_; }

    // The options dialog ("选项(&O)...").
    void ShowOptions();

    // The local socket name of a home folder's running instance.
    static QString InstanceServerName(const std::string& home);

  private:
    bool ForwardToRunningInstance(const QString& serverName);
    bool ListenForInstances(const QString& serverName);
    void OnInstanceConnection();
    bool QueryClose();
    void BuildWindow();

    std::unique_ptr<Prompter> ownPrompter_;
    Prompter* prompter_;
    std::unique_ptr<RunBridge> bridge_;
    std::unique_ptr<RunController> controller_;
    std::unique_ptr<MainWindow> window_;
    PaneLayout* layout_ = nullptr;        // owned by the window
    ResultPane* results_ = nullptr;       // owned by the window
    RecordWorkbench* records_ = nullptr;  // owned by the window
    QTimer* dispatchTimer_ = nullptr;
    // The schedule and its 2000 ms timer (none for a screenshot).
    std::unique_ptr<Scheduler> scheduler_;
    QTimer* scheduleTimer_ = nullptr;
    std::unique_ptr<QLocalServer> instanceServer_;
    LayoutSettings settings_;
    std::string home_;
    bool screenshot_ = false;
    bool started_ = false;
};

}  // namespace sorvik::gui
