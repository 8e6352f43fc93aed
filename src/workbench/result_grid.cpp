#include "workbench/result_grid.h"

#include <algorithm>
#include <mutex>

#include "script/script_text.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "text/strings.h"

namespace sorvik {

int GridPageSize(std::string_view settings) {
    const int size = ToInt(Trim(ScriptValue("#表格每页记录数=", settings)));
    return size > 0 ? size : kDefaultGridPageSize;
}

std::vector<int> ReadColumnWidths(std::string_view settings) {
    std::vector<int> widths;
    for (const std::string& item : SplitAll(Trim(ScriptValue("#字段宽度=", settings)), ",")) {
        const std::string text = Trim(item);
        const bool number = !text.empty() && std::all_of(text.begin(), text.end(),
                                                         [](char c) { return c >= '0' && c <= '9'; });
        widths.push_back(number ? ToInt(text) : -1);
    }
    if (widths.size() == 1 && widths[0] < 0)
        widths.clear();  // no value
    return widths;
}

bool WriteColumnWidths(int taskId, const std::vector<int>& widths, std::string& error) {
    std::vector<std::string> items;
    for (const int width : widths)
        items.push_back(std::to_string(std::max(width, 0)));
    if (CTaskTable().SetTaskScriptValue(taskId, "#字段宽度", Join(items, ","), true) != 1) {
        error = g_strDbError.Get();
        return false;
    }
    return true;
}

int GridPaging::RowsOnPage() const {
    if (!paged)
        return static_cast<int>(total);
    return page < pages ? pageSize : static_cast<int>(total - static_cast<long long>(pages - 1) * pageSize);
}

GridPaging PlanGridPaging(long long total, int pageSize, int page) {
    GridPaging paging;
    paging.total = std::max(total, 0LL);
    paging.pageSize = pageSize > 0 ? pageSize : kDefaultGridPageSize;
    paging.paged = paging.total > paging.pageSize;
    paging.pages =
        paging.paged ? static_cast<int>((paging.total + paging.pageSize - 1) / paging.pageSize) : 1;
    paging.page = std::clamp(page, 1, paging.pages);
    return paging;
}

void ResultGrid::Fail(std::string& error, const std::string& reason) {
    queryFailed_ = true;
    rows_.clear();
    ids_.clear();
    paging_ = PlanGridPaging(0, paging_.pageSize, 1);
    g_strDbError.Set("打开表失败！");
    error = reason;
}

bool ResultGrid::Open(int taskId, const FilterCondition& filter, std::string& error) {
    opened_ = false;
    queryFailed_ = false;
    rows_.clear();
    ids_.clear();
    compiled_ = CompiledFilter{};
    bool refused = false;
    if (!PrepareResultQuery(taskId, "", query_, error, refused))
        return false;
    opened_ = true;
    std::string settings;
    {
        std::scoped_lock lock(g_csDatabase);
        settings = CTaskTable().ReadTaskText(taskId, true);
    }
    paging_ = PlanGridPaging(0, GridPageSize(settings), 1);
    if (!ApplyFilter(query_, filter, compiled_, error)) {
        Fail(error, error);
        return false;
    }
    shownPage_ = 0;
    return ReadPage(1, true, error);
}

bool ResultGrid::Reload(std::string& error) {
    return ReadPage(paging_.page, true, error);
}

bool ResultGrid::GoToPage(int page, std::string& error) {
    return ReadPage(page, false, error);
}

std::string ResultGrid::PageStatement(bool& reversed) const {
    reversed = false;
    const long long first = paging_.FirstRow();
    const int count = paging_.RowsOnPage();
    if (!query_.orderBy.empty() || first == 0)
        return ResultPageStatement(query_, first, count);
    const int page = paging_.page;
    if (shownPage_ > 0 && !ids_.empty() && page == shownPage_ + 1)
        return ResultIdPageStatement(query_, false, ids_.back(), 0, count);
    reversed = true;
    if (shownPage_ > 0 && !ids_.empty() && page == shownPage_ - 1)
        return ResultIdPageStatement(query_, true, ids_.front(), 0, count);
    // From the nearer end of the table.
    const long long fromEnd = paging_.total - first - count;
    if (fromEnd <= first)
        return ResultIdPageStatement(query_, true, 0, fromEnd, count);
    reversed = false;
    return ResultIdPageStatement(query_, false, 0, first, count);
}

bool ResultGrid::ReadPage(int page, bool count, std::string& error) {
    if (!opened_) {
        error = "请先选择任务！";
        return false;
    }
    if (queryFailed_)
        return false;
    if (!query_.tableExists) {
        rows_.clear();
        ids_.clear();
        paging_ = PlanGridPaging(0, paging_.pageSize, 1);
        return true;
    }
    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    long long total = paging_.total;
    if (count) {
        auto counted = db.OpenRecordset(ResultCountStatement(query_));
        if (!counted) {
            Fail(error, db.m_strProviderError.empty() ? db.m_strError : db.m_strProviderError);
            return false;
        }
        total = counted->Int(0);
        shownPage_ = 0;
    }
    paging_ = PlanGridPaging(total, paging_.pageSize, page);
    if (paging_.total == 0) {
        rows_.clear();
        ids_.clear();
        shownPage_ = 0;
        return true;
    }
    bool reversed = false;
    auto rows = db.OpenRecordset(PageStatement(reversed));
    rows_.clear();
    ids_.clear();
    shownPage_ = 0;
    if (!rows) {
        Fail(error, db.m_strProviderError.empty() ? db.m_strError : db.m_strProviderError);
        return false;
    }
    const size_t shown = query_.columns.size();
    rows_.reserve(rows->RowCount());
    ids_.reserve(rows->RowCount());
    for (const Recordset::Row& row : rows->Rows()) {
        ids_.push_back(row.size() > shown && row[shown] ? ParseLeadingInt(*row[shown]) : 0);
        rows_.emplace_back(row.begin(), row.begin() + std::min(shown, row.size()));
    }
    if (reversed) {
        std::reverse(rows_.begin(), rows_.end());
        std::reverse(ids_.begin(), ids_.end());
    }
    shownPage_ = paging_.page;
    return true;
}

}  // namespace sorvik
