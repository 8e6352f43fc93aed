#include "gui/filter_bar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>

#include "gui/gb_qstring.h"

namespace sorvik::gui {

namespace {

// How long typing pauses before an instant filter applies.
constexpr int kInstantDelayMs = 400;

QComboBox* NewBox(const char* name, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return box;
}

}  // namespace

FilterBar::FilterBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("filterBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 1, 4, 1);
    layout->setSpacing(4);
    field_ = NewBox("filterField", this);
    operator_ = NewBox("filterOperator", this);
    for (const char* op : kFilterOperators)
        operator_->addItem(FromGb(op));
    value_ = new QLineEdit(this);
    value_->setObjectName(QStringLiteral("filterValue"));
    value_->setPlaceholderText(FromGb(kEmptyFilterHint));
    value_->setClearButtonEnabled(true);
    // The hint sends the user to the bar's right click: the box defers it to the bar.
    value_->setContextMenuPolicy(Qt::NoContextMenu);
    sort_ = NewBox("filterSort", this);
    for (const char* sort : kFilterSorts)
        sort_->addItem(FromGb(sort));
    instant_ = new QCheckBox(FromGb("即时过滤"), this);
    instant_->setObjectName(QStringLiteral("filterInstant"));
    layout->addWidget(new QLabel(FromGb("过滤:"), this));
    layout->addWidget(field_);
    layout->addWidget(operator_);
    layout->addWidget(value_, 1);
    layout->addWidget(sort_);
    layout->addWidget(instant_);

    typing_ = new QTimer(this);
    typing_->setSingleShot(true);
    typing_->setInterval(kInstantDelayMs);
    connect(typing_, &QTimer::timeout, this, &FilterBar::Applied);
    connect(value_, &QLineEdit::returnPressed, this, [this] {
        typing_->stop();
        emit Applied();
    });
    connect(value_, &QLineEdit::textEdited, this, [this] {
        if (instant_->isChecked() && !setting_)
            typing_->start();
    });
    for (QComboBox* box : {field_, operator_, sort_})
        connect(box, &QComboBox::activated, this, &FilterBar::ApplyIfInstant);
}

void FilterBar::ApplyIfInstant() {
    if (instant_->isChecked() && !setting_)
        emit Applied();
}

void FilterBar::SetFields(const std::vector<std::string>& titles) {
    setting_ = true;
    field_->clear();
    for (const std::string& title : titles)
        field_->addItem(FromGb(title));
    setting_ = false;
}

FilterCondition FilterBar::Condition() const {
    FilterCondition condition;
    condition.field = ToGb(field_->currentText());
    condition.op = ToGb(operator_->currentText());
    condition.value = ToGb(value_->text());
    condition.sort = ToGb(sort_->currentText());
    condition.instant = instant_->isChecked();
    return condition;
}

void FilterBar::SetCondition(const FilterCondition& condition) {
    setting_ = true;
    field_->setCurrentIndex(field_->findText(FromGb(condition.field)));
    const int op = operator_->findText(FromGb(condition.op));
    operator_->setCurrentIndex(op >= 0 ? op : 0);
    value_->setText(FromGb(condition.value));
    const int sort = sort_->findText(FromGb(condition.sort));
    sort_->setCurrentIndex(sort >= 0 ? sort : 0);
    instant_->setChecked(condition.instant);
    setting_ = false;
}

void FilterBar::contextMenuEvent(QContextMenuEvent* event) {
    if (menu_ == nullptr)
        return;
    menu_->exec(event->globalPos());
    event->accept();
}

}  // namespace sorvik::gui
