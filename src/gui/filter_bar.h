#pragma once
// The filter bar above the result grid: field (titles), operator, value, sort and the instant
// switch. Enter in the value box applies the condition; with the instant switch on, every edit
// applies it once typing pauses, and so does a change of field, operator or sort. A right click
// on the bar opens its menu (the window's "条件" menu). The empty value box shows the hint
// "请在此处空白处点击鼠标右键设置过滤条件！".

#include <QWidget>
#include <string>
#include <vector>

#include "workbench/result_filter.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QMenu;
class QTimer;

namespace sorvik::gui {

class FilterBar : public QWidget {
    Q_OBJECT

  public:
    explicit FilterBar(QWidget* parent = nullptr);

    // The fields offered (titles, GB18030); the field box starts at the first.
    void SetFields(const std::vector<std::string>& titles);
    // The bar's condition, and the bar set to one (a field not offered selects none).
    FilterCondition Condition() const;
    void SetCondition(const FilterCondition& condition);
    // The menu a right click opens.
    void SetMenu(QMenu* menu) { menu_ = menu; }

    QComboBox* FieldBox() const { return field_; }
    QComboBox* OperatorBox() const { return operator_; }
    QLineEdit* ValueBox() const { return value_; }
    QComboBox* SortBox() const { return sort_; }
    QCheckBox* InstantBox() const { return instant_; }

  signals:
    // The user asked for the condition to be applied.
    void Applied();

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void ApplyIfInstant();

    QComboBox* field_ = nullptr;
    QComboBox* operator_ = nullptr;
    QLineEdit* value_ = nullptr;
    QComboBox* sort_ = nullptr;
    QCheckBox* instant_ = nullptr;
    QTimer* typing_ = nullptr;
    QMenu* menu_ = nullptr;
    bool setting_ = false;  // SetCondition at work: no instant filtering
};

}  // namespace sorvik::gui
