#pragma once
// The query over a task's records, as the result grid and `sorvik-cli results` read them: which
// columns are shown (under which titles), which rows belong to the task, and the user's filter
// condition, checked so that it stays one condition of the statement.
//
// The operations take g_csDatabase themselves while they read the database.

#include <string>
#include <string_view>
#include <vector>

#include "engine/result_columns.h"

namespace sorvik {

struct ResultQuery {
    int taskId = 0;
    std::string script;                 // the task's script
    std::string table;                  // the task's first result table ("#表名=")
    bool tableExists = false;           // false: nothing harvested yet, so there are no rows
    std::vector<ResultColumn> columns;  // the shown columns, in order
    std::string condition;              // the rows: the task's record condition and the filter
    std::string orderBy;                // " order by ..." of the filter bar; empty: by ID_
};

// True when filter can be pasted into a statement as one condition: it does not end the statement,
// open a comment or close the parenthesis put around it, and its literals and bracketed names are
// closed. An empty filter is one condition.
bool IsSingleCondition(std::string_view filter);

// Prepares the query of task taskId's records with the filter (GB18030, blanks around it ignored;
// empty for none). The shown columns are the script's columns that the table has, in list order;
// when the table has none of them, all its columns but ID_ and iNode_ (named as in the table); when
// the table does not exist yet, the script's columns. The rows are those of the task's record
// condition (TaskRecordCondition) and the filter.
// False with error: "任务%d不存在！", "任务%d没有设置结果表（#表名=）！", "任务%d的结果表没有字段！",
// the database's error, or, with filterRefused set, the reason the filter is refused.
bool PrepareResultQuery(int taskId, std::string_view filter, ResultQuery& query, std::string& error,
                        bool& filterRefused);

// "select [top limit] <columns>,ID_ from <table> where <condition> order by ID_": the shown
// columns, then each row's ID_; limit < 0: all rows. With the filter's ordering, ID_ comes last
// in it, so that pages of equal sort values stay apart.
std::string ResultStatement(const ResultQuery& query, int limit = -1);

// The rows offset to offset + count - 1 of ResultStatement (one page of the grid).
std::string ResultPageStatement(const ResultQuery& query, long long offset, int count);

// One page in ID_ order, for cheap page turns of a query without an ordering of its own: count rows
// with ID_ above bound (ascending) or, fromEnd, below it (descending: the caller reverses them),
// after skipping offset rows. bound 0: no bound.
std::string ResultIdPageStatement(const ResultQuery& query, bool fromEnd, long long bound, long long offset,
                                  int count);

// "select count(*) from <table> where <condition>".
std::string ResultCountStatement(const ResultQuery& query);

// The aliased form: the same rows from the derived table "(select <column> as <title>,...,iNode_
// from <table>) aa", the shown columns under their titles and no ID_; " top 1 " when only the
// first row is wanted.
std::string ResultAliasedStatement(const ResultQuery& query, bool firstOnly = false);

}  // namespace sorvik
