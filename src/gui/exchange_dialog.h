#pragma once
// The exchange dialog: "引入数据" (import a seed, fruit or upgrade package, or a keyword list into
// the current task) and "导出数据" (export the seed or fruit of a category, started with
// "开始(&S)"). The work runs on a worker thread; the dialog shows its progress texts, a busy bar
// and a stop button, and stays responsive. Double-clicking the dialog's background makes the
// upgrade package from "sc_升级.txt" when the home folder holds one.

#include <QDialog>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "exchange/exchange_prompt.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace sorvik::gui {

class GuiPrompt;

class ExchangeDialog : public QDialog, private ExchangePrompt {
    Q_OBJECT

  public:
    enum class Mode { kImport, kExportSeed, kExportFruit };

    // nodeId: the category to export; taskId: the task that a keyword list goes into (0 none).
    ExchangeDialog(Mode mode, int nodeId, int taskId, GuiPrompt& prompt, QWidget* parent = nullptr);
    ~ExchangeDialog() override;

    // After an import: a seed or fruit went in (the tree must reload), a fruit asks for a restart.
    bool Imported() const { return imported_; }
    bool RestartNeeded() const { return restartNeeded_; }
    // The text the import command shows when the dialog ended with OK.
    const std::string& ResultMessage() const { return resultMessage_; }
    bool Working() const { return worker_.joinable(); }

    QPushButton* OpenButton() const { return openButton_; }
    QPushButton* StartButton() const { return startButton_; }
    QPushButton* StopButton() const { return stopButton_; }
    QPushButton* CloseButton() const { return closeButton_; }
    QLabel* StatusLine() const { return status_; }
    QProgressBar* ProgressBar() const { return progress_; }

  public slots:
    // "打开文件(&O)" after its file dialog: imports the file (.grm/.fru, or .txt keywords).
    void ImportFile(const QString& path);
    // "开始(&S)": the export.
    void StartExport();
    void reject() override;

  signals:
    // The worker has finished and its result is shown.
    void WorkFinished(bool ok);

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    // ExchangePrompt, called on the worker thread.
    bool AskOkCancel(std::string_view question) override;
    void Progress(std::string_view text) override;
    bool KeepGoing() override { return !stop_.load(); }

    // Runs work on the worker; finish runs on the GUI thread with its result.
    void Run(std::function<void()> work);
    void Finish();
    void SetWorking(bool working);

    Mode mode_;
    int nodeId_;
    int taskId_;
    GuiPrompt& prompt_;
    QPushButton* openButton_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;

    std::thread worker_;
    std::atomic<bool> stop_{false};

    // The worker's question waits here for the GUI thread's answer.
    std::mutex answerMutex_;
    std::condition_variable answered_;
    int answer_ = -1;       // guarded by answerMutex_: -1 none yet, 0 Cancel, 1 OK
    bool closing_ = false;  // guarded by answerMutex_: the dialog goes; every question is Cancel

    // Set by the worker before it posts Finish (read on the GUI thread after the join).
    bool ok_ = false;
    std::string message_;
    bool showMessage_ = true;
    bool imported_ = false;
    bool restartNeeded_ = false;
    std::string resultMessage_;
};

}  // namespace sorvik::gui
