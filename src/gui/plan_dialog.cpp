#include "gui/plan_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

#include "gui/gb_qstring.h"
#include "gui/gui_prompt.h"

namespace sorvik::gui {

PlanDialog::PlanDialog(int taskId, GuiPrompt& prompt, QWidget* parent)
    : QDialog(parent), taskId_(taskId), prompt_(prompt) {
    setWindowTitle(FromGb("计划"));
    setObjectName(QStringLiteral("planDialog"));
    std::vector<std::string> times;
    if (ReadTaskPlan(taskId, times, loadError_))
        plan_ = TaskPlanList(std::move(times));

    timeBox_ = new QLineEdit(FromGb(FormatLocalTime(LocalTimeNow())), this);
    timeBox_->setObjectName(QStringLiteral("planTime"));
    timeBox_->setMaxLength(static_cast<int>(kPlanTimeLength));
    auto button = [this](const char* text, const char* name) {
        auto* b = new QPushButton(FromGb(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("MMM")) + 12);
        return b;
    };
    addButton_ = button("+", "planAdd");
    removeButton_ = button("-", "planRemove");
    presetButton_ = button("..", "planPresets");
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("planList"));
    auto* hint = new QLabel(FromGb("可以用?号代替任意一个数字,如 2006-?\?-28 23:59:59"), this);
    hint->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* grid = new QGridLayout(this);
    grid->addWidget(timeBox_, 0, 0);
    grid->addWidget(addButton_, 0, 1);
    grid->addWidget(removeButton_, 0, 2);
    grid->addWidget(presetButton_, 0, 3);
    grid->addWidget(new QLabel(FromGb("计划搜索时间列表"), this), 1, 0, 1, 4);
    grid->addWidget(list_, 2, 0, 1, 4);
    grid->addWidget(hint, 3, 0, 1, 4);
    grid->addWidget(buttons, 4, 0, 1, 4);
    resize(360, 320);

    connect(addButton_, &QPushButton::clicked, this, &PlanDialog::Add);
    connect(removeButton_, &QPushButton::clicked, this, &PlanDialog::Remove);
    connect(presetButton_, &QPushButton::clicked, this, &PlanDialog::ShowPresets);
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { plan_.Select(row); });
    connect(buttons, &QDialogButtonBox::accepted, this, &PlanDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PlanDialog::reject);
    Refill();
}

bool PlanDialog::Loaded(std::string& error) const {
    error = loadError_;
    return loadError_.empty();
}

void PlanDialog::Refill() {
    const QSignalBlocker blocker(list_);
    list_->clear();
    for (const std::string& time : plan_.Entries())
        list_->addItem(FromGb(time));
    list_->setCurrentRow(plan_.Selected());
}

void PlanDialog::Add() {
    std::string box = ToGb(timeBox_->text());
    std::string message;
    const bool added = plan_.Add(box, LocalTimeNow(), message);
    timeBox_->setText(FromGb(box));
    if (added)
        Refill();
    else if (!message.empty())
        prompt_.ShowMessage(message);
}

void PlanDialog::Remove() {
    std::string box = ToGb(timeBox_->text());
    if (plan_.Remove(box))
        Refill();
    timeBox_->setText(FromGb(box));
}

void PlanDialog::ShowPresets() {
    QMenu menu(this);
    for (const PlanPreset& preset : PlanPresets()) {
        const QString time = FromGb(preset.time);
        menu.addAction(FromGb(preset.text), this, [this, time] { timeBox_->setText(time); });
    }
    menu.exec(presetButton_->mapToGlobal(QPoint(0, presetButton_->height())));
}

void PlanDialog::accept() {
    std::string error;
    if (!SaveTaskPlan(taskId_, plan_.Entries(), error)) {
        prompt_.ShowMessage(error);
        return;
    }
    QDialog::accept();
}

}  // namespace sorvik::gui
