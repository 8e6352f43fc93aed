#pragma once
// Pane sizes and visibilities of the main window from the layout settings, and back.
//
// Rows of the splitters and the values that keep them:
//   mainSplitter   tree pane width                    iLeftTreeWidth
//   findSplitter   find bar height                    iRightTopFindHeight
//   upperSplitter  search-and-data pane, detail pane  iRightTopSearchDataHeight, iRightBottDetailHeight
//                  (detail shown: bShowRightBottBrow; per task "#非详细情况高度", "#是否显示详细情况")
//   rightSplitter  task pane, result data pane        iRightTaskHeight, iRightDataHeight
//                  (data shown: bShowFilterAndGrid; per task "#搜索栏高度", "#是否显示过滤栏和表格")
//   dataSplitter   filter bar height                  iRightTopDataHeight
// While a harvesting task's node is selected the per-task values lay out the upper and right
// splitters; otherwise the global values do.

#include <QObject>

#include "workbench/layout_settings.h"

class QAction;
class QSplitter;

namespace sorvik::gui {

class MainWindow;
class Prompter;

class PaneLayout : public QObject {
    Q_OBJECT

  public:
    PaneLayout(MainWindow& window, LayoutSettings& settings, Prompter& prompter);

    // Lays the panes out from the global values (once the window has its size).
    void ApplyGlobal();
    // Reads the panes back into the global values (at exit); per-task rows are left alone while
    // a task is shown.
    void Capture();
    // The window's current node changed: the task's layout, or the global one.
    void NodeChanged(int nodeId, int kind, int taskId);

    // The two toggle commands, "详细情况(&D)" and "过滤栏和表格栏(&F)".
    QAction* DetailAction() const { return detailAction_; }
    QAction* FilterAndGridAction() const { return filterAndGridAction_; }
    void ToggleDetail();
    void ToggleFilterAndGrid();

    // The task whose layout is shown (0: the global layout).
    int LayoutTask() const { return layoutTask_; }

  private:
    void ApplyGlobalRows();
    void ApplyTaskLayout();
    void CaptureShared();
    void CaptureGlobalRows();
    void TogglePane(bool shown, bool& windowSetting, const char* taskKey, void (PaneLayout::*setShown)(bool));
    void SetDetailShown(bool shown);
    void SetDataShown(bool shown);
    void UpdateActions();
    void OnRightSplitterMoved();

    MainWindow& window_;
    LayoutSettings& settings_;
    Prompter& prompter_;
    QAction* detailAction_;
    QAction* filterAndGridAction_;
    int layoutTask_ = 0;
    int globalSearchBarHeight_ = -1;  // the last search-bar height of a task, for tasks without one
};

}  // namespace sorvik::gui
