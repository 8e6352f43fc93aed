#pragma once
// The dialog "计划": a task's planned start times. A time box with "+" (add), "-" (remove) and ".."
// (presets), the list "计划搜索时间列表", the hint on "?" and OK/Cancel. The rules (checks, series,
// saving) are the core's TaskPlanList and SaveTaskPlan; OK saves the plan and the schedule picks it
// up at its next tick. A refusal is said through the prompt, and the dialog stays open.

#include <QDialog>

#include "workbench/schedule.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace sorvik::gui {

class GuiPrompt;

class PlanDialog : public QDialog {
    Q_OBJECT

  public:
    // Reads the task's plan; the time box holds now. prompt must outlive the dialog.
    PlanDialog(int taskId, GuiPrompt& prompt, QWidget* parent = nullptr);

    // False with the error when the task's plan can't be read (the dialog then is not shown).
    bool Loaded(std::string& error) const;

    QLineEdit* TimeBox() const { return timeBox_; }
    QListWidget* List() const { return list_; }
    QPushButton* AddButton() const { return addButton_; }
    QPushButton* RemoveButton() const { return removeButton_; }
    QPushButton* PresetButton() const { return presetButton_; }

  public slots:
    void accept() override;

  private:
    void Add();
    void Remove();
    void ShowPresets();
    void Refill();

    int taskId_;
    GuiPrompt& prompt_;
    TaskPlanList plan_;
    std::string loadError_;
    QLineEdit* timeBox_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    QPushButton* presetButton_ = nullptr;
};

}  // namespace sorvik::gui
