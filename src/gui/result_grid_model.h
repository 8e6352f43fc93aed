#pragma once
// The result grid's table model: one page of a task's records (the core's ResultGrid), column 0
// "行号" with the row numbers, then one column per shown field under its title. Only the page
// shown is in memory. A failed query shows one row of two columns with "查询失败！可能是查询条件
// 有误！".

#include <QAbstractTableModel>
#include <string>

#include "workbench/result_grid.h"

namespace sorvik::gui {

class ResultGridModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    explicit ResultGridModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Opens the task's records through the filter on page 1 (see ResultGrid::Open); error is
    // the message to show when the task can't be shown at all (not for a failed query).
    bool Open(int taskId, const FilterCondition& filter, std::string& error);
    // Another page of the records counted when the task was opened or reloaded.
    bool GoToPage(int page);
    // Counts the records again and reads the current page.
    bool Reload();
    // Shows nothing (no task).
    void Clear();

    const ResultGrid& Grid() const { return grid_; }
    bool HasTask() const { return open_; }
    // The record ID_ of a row; 0 for none.
    long long IdAt(int row) const;
    // The row that shows the record; -1 when it is not on the page.
    int RowOf(long long id) const;

  private:
    void Loaded(bool ok);
    bool Read(bool recount, int page);

    ResultGrid grid_;
    bool open_ = false;
    bool failed_ = false;
};

}  // namespace sorvik::gui
