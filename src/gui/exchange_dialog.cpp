#include "gui/exchange_dialog.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "exchange/exchange_export.h"
#include "exchange/exchange_import.h"
#include "exchange/keyword_import.h"
#include "gui/gb_qstring.h"
#include "gui/gui_prompt.h"

namespace sorvik::gui {

ExchangeDialog::ExchangeDialog(Mode mode, int nodeId, int taskId, GuiPrompt& prompt, QWidget* parent)
    : QDialog(parent), mode_(mode), nodeId_(nodeId), taskId_(taskId), prompt_(prompt) {
    setObjectName(QStringLiteral("exchangeDialog"));
    setWindowTitle(FromGb(mode == Mode::kImport ? "引入数据" : "导出数据"));
    auto* layout = new QVBoxLayout(this);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("exchangeStatus"));
    status_->setMinimumWidth(460);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(status_);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    layout->addWidget(progress_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    openButton_ = new QPushButton(FromGb("打开文件(&O)"), this);
    startButton_ = new QPushButton(FromGb("开始(&S)"), this);
    stopButton_ = new QPushButton(FromGb("停止(&S)"), this);
    closeButton_ = new QPushButton(FromGb("关闭(&C)"), this);
    for (QPushButton* button : {openButton_, startButton_, stopButton_, closeButton_}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);
    openButton_->setVisible(mode == Mode::kImport);
    startButton_->setVisible(mode != Mode::kImport);
    stopButton_->setEnabled(false);

    connect(openButton_, &QPushButton::clicked, this, [this] {
        const QString path = prompt_.AskOpenFileName(
            FromGb("种子或果子文件 (*.grm *.fru);;种子文件 (*.grm);;果子文件 (*.fru);;文本文件 (*.txt)"));
        if (!path.isEmpty())
            ImportFile(path);
    });
    connect(startButton_, &QPushButton::clicked, this, &ExchangeDialog::StartExport);
    connect(stopButton_, &QPushButton::clicked, this, [this] { stop_ = true; });
    connect(closeButton_, &QPushButton::clicked, this, &ExchangeDialog::reject);
}

ExchangeDialog::~ExchangeDialog() {
    stop_ = true;
    {
        std::scoped_lock lock(answerMutex_);
        closing_ = true;
    }
    answered_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

void ExchangeDialog::reject() {
    if (!Working())
        QDialog::reject();
}

void ExchangeDialog::SetWorking(bool working) {
    openButton_->setEnabled(!working);
    startButton_->setEnabled(!working);
    closeButton_->setEnabled(!working);
    stopButton_->setEnabled(working);
    // A busy bar while working: the core reports texts, not fractions.
    progress_->setRange(0, working ? 0 : 1);
    progress_->setValue(working ? 0 : 1);
}

void ExchangeDialog::Run(std::function<void()> work) {
    if (Working())
        return;
    stop_ = false;
    ok_ = false;
    message_.clear();
    showMessage_ = true;
    SetWorking(true);
    worker_ = std::thread([this, work = std::move(work)] {
        work();
        QMetaObject::invokeMethod(
            this, [this] { Finish(); }, Qt::QueuedConnection);
    });
}

void ExchangeDialog::Finish() {
    if (worker_.joinable())
        worker_.join();
    SetWorking(false);
    if (!ok_ && !stop_) {
        progress_->setValue(0);
    }
    const bool closeWithOk = ok_ && mode_ == Mode::kImport && imported_;
    if (!message_.empty() && (showMessage_ && !closeWithOk))
        prompt_.ShowMessage(message_);
    emit WorkFinished(ok_);
    if (closeWithOk)
        accept();
}

void ExchangeDialog::ImportFile(const QString& path) {
    const std::string file = path.toStdString();  // file names stay UTF-8 for the file system
    const bool keywords = QFileInfo(path).suffix().compare(QStringLiteral("txt"), Qt::CaseInsensitive) == 0;
    if (keywords && taskId_ <= 0) {
        prompt_.ShowMessage("请先选择任务！");
        return;
    }
    Run([this, file, keywords] {
        if (keywords) {
            const KeywordImportResult result = ImportKeywordFile(taskId_, file, this);
            ok_ = result.ok;
            message_ = result.message;
            return;
        }
        const ImportResult result = ImportExchangeFilePath(file, this);
        ok_ = result.ok;
        message_ = result.message;
        if (result.ok) {
            imported_ = true;
            restartNeeded_ = restartNeeded_ || result.restartNeeded;
            resultMessage_ = result.message;
        }
    });
}

void ExchangeDialog::StartExport() {
    if (mode_ == Mode::kImport)
        return;
    const bool fruit = mode_ == Mode::kExportFruit;
    Run([this, fruit] {
        const ExportResult result = fruit ? ExportFruit(nodeId_, {}, this) : ExportSeed(nodeId_, {}, this);
        ok_ = result.ok;
        message_ = result.message;
    });
}

void ExchangeDialog::mouseDoubleClickEvent(QMouseEvent* event) {
    QDialog::mouseDoubleClickEvent(event);
    if (Working())
        return;
    Run([this] {
        bool present = false;
        const ExportResult result = ExportUpgradePackage(present);
        ok_ = result.ok;
        message_ = result.message;
        showMessage_ = present;  // without "sc_升级.txt" the double-click does nothing
    });
}

bool ExchangeDialog::AskOkCancel(std::string_view question) {
    const std::string text(question);
    {
        std::scoped_lock lock(answerMutex_);
        if (closing_)
            return false;
        answer_ = -1;
    }
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            const bool ok = prompt_.AskOkCancel(text);
            {
                std::scoped_lock lock(answerMutex_);
                answer_ = ok ? 1 : 0;
            }
            answered_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(answerMutex_);
    answered_.wait(lock, [this] { return answer_ >= 0 || closing_; });
    return answer_ == 1 && !closing_;
}

void ExchangeDialog::Progress(std::string_view text) {
    const QString line = FromGb(text);
    QMetaObject::invokeMethod(
        this, [this, line] { status_->setText(line); }, Qt::QueuedConnection);
}

}  // namespace sorvik::gui
