#pragma once
// The task commands of the list's and the tree's menus over task IDs: start, pause, stop, start
// all, pause all, delete, properties, browse, open in the default browser and search again. The
// rules are the workbench core's; this class asks through the prompt and reports changes.

#include <QObject>
#include <vector>

namespace sorvik {
class RunController;
}

namespace sorvik::gui {

class GuiPrompt;

class TaskCommander : public QObject {
    Q_OBJECT

  public:
    // controller and prompt must outlive the commander.
    TaskCommander(RunController& controller, GuiPrompt& prompt, QObject* parent = nullptr);

    RunController& Controller() { return controller_; }

    void Start(const std::vector<int>& ids);
    void Pause(const std::vector<int>& ids);
    void Stop(const std::vector<int>& ids);
    void StartAll(const std::vector<int>& idsInListOrder);
    void PauseAll();
    // Returns the IDs that left the list (see DeleteTasks).
    std::vector<int> Delete(const std::vector<int>& ids, int currentList, bool shiftHeld);
    void ShowProperties(int id, QWidget* parent);
    void Browse(int id);
    void OpenInDefaultBrowser(int id);
    void SearchAgain(int id);
    // "计划(&S)...": the dialog "计划" over the task's plan.
    void Plan(int id, QWidget* parent);

  signals:
    // Task rows changed in the database: lists reload.
    void TasksChanged();
    // Categories changed (a task's category binding was dropped): the tree reloads.
    void CategoriesChanged();

  private:
    bool OpenUrl(int id);

    RunController& controller_;
    GuiPrompt& prompt_;
};

}  // namespace sorvik::gui
