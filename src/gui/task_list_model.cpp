#include "gui/task_list_model.h"

#include <algorithm>

#include "gui/gb_qstring.h"
#include "gui/workbench_icons.h"

namespace sorvik::gui {

TaskListModel::TaskListModel(std::function<std::optional<QueueState>(int)> entryState, QObject* parent)
    : QAbstractTableModel(parent), entryState_(std::move(entryState)) {}

int TaskListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TaskListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(TaskListTitles().size()) + 1;
}

QVariant TaskListModel::data(const QModelIndex& index, int role) const {
    const TaskListRow* row = Row(index.row());
    if (!row)
        return {};
    if (index.column() == 0) {
        const TaskIcon icon =
            TaskIconFor(row->status, row->list, entryState_ ? entryState_(row->id) : std::nullopt);
        if (role == Qt::DecorationRole)
            return TaskStatusIcon(icon);
        if (role == Qt::ToolTipRole || role == Qt::AccessibleTextRole)
            return FromGb(TaskIconWord(icon));
        return {};
    }
    const size_t column = static_cast<size_t>(index.column() - 1);
    if ((role == Qt::DisplayRole || role == Qt::ToolTipRole) && column < row->columns.size())
        return FromGb(row->columns[column]);
    return {};
}

QVariant TaskListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section <= 0)
        return {};
    const std::vector<std::string>& titles = TaskListTitles();
    return static_cast<size_t>(section - 1) < titles.size() ? FromGb(titles[section - 1]) : QVariant();
}

bool TaskListModel::Load(int list, std::string& error) {
    std::vector<TaskListRow> rows;
    if (!LoadTaskList(list, rows, error))
        return false;
    ApplyTaskOrder(rows, order_[list]);
    beginResetModel();
    list_ = list;
    rows_ = std::move(rows);
    endResetModel();
    return true;
}

int TaskListModel::TaskId(int row) const {
    const TaskListRow* found = Row(row);
    return found ? found->id : 0;
}

int TaskListModel::RowOf(int taskId) const {
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].id == taskId)
            return static_cast<int>(i);
    }
    return -1;
}

const TaskListRow* TaskListModel::Row(int row) const {
    return row >= 0 && static_cast<size_t>(row) < rows_.size() ? &rows_[static_cast<size_t>(row)] : nullptr;
}

std::vector<int> TaskListModel::TaskIds() const {
    std::vector<int> ids;
    for (const TaskListRow& row : rows_)
        ids.push_back(row.id);
    return ids;
}

void TaskListModel::MoveTasks(const std::set<int>& ids, bool toTop) {
    beginResetModel();
    MoveTaskRows(rows_, ids, toTop);
    endResetModel();
    order_[list_] = TaskIds();
}

void TaskListModel::RemoveTasks(const std::vector<int>& ids) {
    for (const int id : ids) {
        const int row = RowOf(id);
        if (row < 0)
            continue;
        beginRemoveRows(QModelIndex(), row, row);
        rows_.erase(rows_.begin() + row);
        endRemoveRows();
    }
}

}  // namespace sorvik::gui
