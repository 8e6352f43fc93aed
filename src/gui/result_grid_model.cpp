#include "gui/result_grid_model.h"

#include "gui/gb_qstring.h"
#include "workbench/grid_commands.h"

namespace sorvik::gui {

ResultGridModel::ResultGridModel(QObject* parent) : QAbstractTableModel(parent) {}

int ResultGridModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !open_)
        return 0;
    return failed_ ? 1 : static_cast<int>(grid_.Rows().size());
}

int ResultGridModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid() || !open_)
        return 0;
    return failed_ ? 2 : static_cast<int>(grid_.Query().columns.size()) + 1;
}

QVariant ResultGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::TextAlignmentRole))
        return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() == 0 ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
    if (failed_)
        return index.column() == 1 ? FromGb(kQueryFailedText) : QVariant();
    const size_t row = static_cast<size_t>(index.row());
    if (row >= grid_.Rows().size())
        return {};
    if (index.column() == 0)
        return role == Qt::DisplayRole
                   ? QVariant(QString::number(grid_.Paging().FirstRow() + index.row() + 1))
                   : QVariant();
    const auto& cells = grid_.Rows()[row];
    const size_t column = static_cast<size_t>(index.column() - 1);
    if (column >= cells.size() || !cells[column])
        return {};
    // A yes/no column shows "√" for yes.
    const auto& columns = grid_.Query().columns;
    return FromGb(column < columns.size() ? GridDisplayValue(columns[column], *cells[column])
                                          : *cells[column]);
}

QVariant ResultGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || !open_)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section == 0)
        return FromGb(kRowNumberTitle);
    if (failed_)
        return QString();
    const auto& columns = grid_.Query().columns;
    const size_t column = static_cast<size_t>(section - 1);
    return column < columns.size() ? FromGb(columns[column].title) : QVariant();
}

void ResultGridModel::Loaded(bool ok) {
    failed_ = !ok && grid_.QueryFailed();
    open_ = ok || failed_;
}

bool ResultGridModel::Open(int taskId, const FilterCondition& filter, std::string& error) {
    beginResetModel();
    const bool ok = grid_.Open(taskId, filter, error);
    Loaded(ok);
    endResetModel();
    return ok || failed_;
}

bool ResultGridModel::Read(bool recount, int page) {
    if (!open_ || failed_)
        return false;
    beginResetModel();
    std::string error;
    const bool ok = recount ? grid_.Reload(error) : grid_.GoToPage(page, error);
    Loaded(ok);
    endResetModel();
    return ok;
}

bool ResultGridModel::GoToPage(int page) {
    return Read(false, page);
}

bool ResultGridModel::Reload() {
    return Read(true, 0);
}

void ResultGridModel::Clear() {
    beginResetModel();
    open_ = false;
    failed_ = false;
    endResetModel();
}

long long ResultGridModel::IdAt(int row) const {
    if (!open_ || failed_ || row < 0 || static_cast<size_t>(row) >= grid_.Ids().size())
        return 0;
    return grid_.Ids()[static_cast<size_t>(row)];
}

int ResultGridModel::RowOf(long long id) const {
    for (size_t row = 0; open_ && !failed_ && row < grid_.Ids().size(); ++row) {
        if (grid_.Ids()[row] == id)
            return static_cast<int>(row);
    }
    return -1;
}

}  // namespace sorvik::gui
