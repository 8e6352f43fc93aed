#pragma once
// The result grid of a task: its records through the filter bar's condition, read one page at a
// time (a task of a million records never has more than one page in memory), and the grid's
// per-task settings in the task's settings text (cSetInfo):
//   "#表格每页记录数="  rows per page; empty or 0: 5000
//   "#字段宽度="        column widths, comma-separated in the order of the shown columns; a width
//                       of 0 hides its column until "显示隐藏字段" shows the hidden ones
//
// Paging: R records and P rows per page. R <= P shows every record on one page (paging off);
// otherwise there are R / P pages rounded up, the last one with the rest.
//
// Counting the records is the costly part of a large task, so it happens once per query: Open and
// Reload count, a page turn reuses the count. Without a sort of the filter's own, turns to the
// next, previous, first and last page read from an ID_ bound or an end of the table instead of
// stepping over every earlier row.
//
// The operations take g_csDatabase while they read, since workers may be writing the table.

#include <string>
#include <string_view>
#include <vector>

#include "store/recordset.h"
#include "workbench/result_filter.h"
#include "workbench/result_query.h"

namespace sorvik {

inline constexpr int kDefaultGridPageSize = 5000;
// Column 0 of the grid.
inline constexpr const char* kRowNumberTitle = "行号";
// What the grid shows, in one row of two columns, when its query fails.
inline constexpr const char* kQueryFailedText = "查询失败！可能是查询条件有误！";

// "#表格每页记录数=" of a settings text.
int GridPageSize(std::string_view settings);

// "#字段宽度=" of a settings text: one value per item, -1 for an item that is no number.
std::vector<int> ReadColumnWidths(std::string_view settings);
// Writes the widths as "#字段宽度=" into the task's settings; false with the error.
bool WriteColumnWidths(int taskId, const std::vector<int>& widths, std::string& error);

struct GridPaging {
    long long total = 0;  // records of the query
    int pageSize = kDefaultGridPageSize;
    int pages = 1;
    int page = 1;        // from 1
    bool paged = false;  // total > pageSize

    long long FirstRow() const { return static_cast<long long>(page - 1) * pageSize; }
    int RowsOnPage() const;
};

// The paging of total records at pageSize (0 or less: 5000) on page (clamped to 1..pages).
GridPaging PlanGridPaging(long long total, int pageSize, int page);

class ResultGrid {
  public:
    // Opens the grid of task taskId with the filter on page 1 (the settings' page size).
    // False when the task's query can't be prepared (error: the message to show; the grid is
    // empty) or when the query fails (QueryFailed(): g_strDbError is "打开表失败！", error has the
    // database's or the filter's reason).
    bool Open(int taskId, const FilterCondition& filter, std::string& error);
    // Counts the records again and reads the current page (after a change of the records).
    bool Reload(std::string& error);
    // Reads another page of the records counted by Open or Reload; the page is clamped.
    bool GoToPage(int page, std::string& error);

    int TaskId() const { return query_.taskId; }
    bool QueryFailed() const { return queryFailed_; }
    const ResultQuery& Query() const { return query_; }
    const CompiledFilter& Filter() const { return compiled_; }
    const GridPaging& Paging() const { return paging_; }
    // The page: the values of the shown columns per row, and each row's ID_.
    const std::vector<Recordset::Row>& Rows() const { return rows_; }
    const std::vector<long long>& Ids() const { return ids_; }

  private:
    void Fail(std::string& error, const std::string& reason);
    bool ReadPage(int page, bool count, std::string& error);
    // The statement of the page to read; reversed: its rows come last first.
    std::string PageStatement(bool& reversed) const;

    ResultQuery query_;
    CompiledFilter compiled_;
    GridPaging paging_;
    std::vector<Recordset::Row> rows_;
    std::vector<long long> ids_;
    bool queryFailed_ = false;
    bool opened_ = false;
    // The page that rows_/ids_ hold under the current count; 0: none (a page turn starts afresh).
    int shownPage_ = 0;
};

}  // namespace sorvik
