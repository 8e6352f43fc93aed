#pragma once
// The task list's table model: the rows of one list (LoadTaskList) with the status icon in
// column 0, kept in the order the user gave them ("上移到顶部", "下移到底部") across reloads.

#include <QAbstractTableModel>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "workbench/task_list.h"

namespace sorvik::gui {

class TaskListModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    // entryState gives a task's live queue entry state (none: no entry).
    explicit TaskListModel(std::function<std::optional<QueueState>(int)> entryState,
                           QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Loads list 3, 4 or 5; false with the error (the rows stay as they were).
    bool Load(int list, std::string& error);
    bool Reload(std::string& error) { return Load(list_, error); }
    int List() const { return list_; }

    int TaskId(int row) const;
    int RowOf(int taskId) const;  // -1 when absent
    const TaskListRow* Row(int row) const;
    std::vector<int> TaskIds() const;  // in display order

    void MoveTasks(const std::set<int>& ids, bool toTop);
    void RemoveTasks(const std::vector<int>& ids);

  private:
    std::function<std::optional<QueueState>(int)> entryState_;
    int list_ = 3;
    std::vector<TaskListRow> rows_;
    std::map<int, std::vector<int>> order_;  // per list, the display order the user made
};

}  // namespace sorvik::gui
