#include "gui/options_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

#include "engine/fetch_politeness.h"
#include "gui/gb_qstring.h"
#include "gui/prompter.h"
#include "workbench/layout_settings.h"

namespace sorvik::gui {

OptionsDialog::OptionsDialog(int threadLimit, Prompter& prompter, std::function<void(int)> apply,
                             QWidget* parent)
    : QDialog(parent), prompter_(prompter), apply_(std::move(apply)) {
    setObjectName(QStringLiteral("optionsDialog"));
    setWindowTitle(FromGb("选项"));
    auto* layout = new QFormLayout(this);
    threadLimit_ = new QLineEdit(QString::number(threadLimit), this);
    threadLimit_->setObjectName(QStringLiteral("threadLimit"));
    layout->addRow(FromGb("最大线程数(1~63):"), threadLimit_);
    const FetchDefaultTexts defaults = StoredFetchDefaultTexts();
    connections_ = new QLineEdit(FromGb(defaults.connections), this);
    connections_->setObjectName(QStringLiteral("connections"));
    layout->addRow(FromGb("每个网站的并发连接数(1~32):"), connections_);
    interval_ = new QLineEdit(FromGb(defaults.interval), this);
    interval_->setObjectName(QStringLiteral("interval"));
    layout->addRow(FromGb("访问间隔(毫秒):"), interval_);
    userAgent_ = new QLineEdit(FromGb(defaults.userAgent), this);
    userAgent_->setObjectName(QStringLiteral("userAgent"));
    userAgent_->setPlaceholderText(FromGb(kDefaultUserAgent));
    userAgent_->setMinimumWidth(320);  // room for a browser-like User-Agent
    layout->addRow(FromGb("用户代理:"), userAgent_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OptionsDialog::reject);
    layout->addRow(buttons);
}

void OptionsDialog::accept() {
    int count = 0;
    if (!ParseThreadLimit(ToGb(threadLimit_->text()), count)) {
        prompter_.ShowMessage(kThreadLimitMessage);
        threadLimit_->setFocus();
        return;
    }
    FetchDefaultTexts defaults;
    defaults.connections = ToGb(connections_->text());
    defaults.interval = ToGb(interval_->text());
    defaults.userAgent = ToGb(userAgent_->text());
    std::string message;
    if (!StoreFetchDefaults(defaults, message)) {
        prompter_.ShowMessage(message);
        return;
    }
    apply_(count);
    QDialog::accept();
}

}  // namespace sorvik::gui
