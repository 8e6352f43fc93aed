#pragma once
// The result-table writer: stores the buffered records of a run in their result tables with the
// script's duplicate handling, and asks running workers to store their buffers.
//
// Duplicate handling (the run's updateMode, from "#更新模式="), for a record whose table has
// unique fields:
//   0: rows of the same node that match the unique fields are deleted, then the record inserted;
//   1 ("只是插入"): a matching row of the same node is updated, else the record inserted;
//   2 ("只是插入和更新"): matching rows of any node are updated, else the record inserted.
// Without unique fields every record is inserted. Records are filed under the run's shared task
// number (iNode_).

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/record_buffer.h"
#include "engine/thread_params.h"

namespace sorvik {

// Where a resumed run starts: written into the run's Task row (cNextSite, iStartPage,
// iSearchKeyIndexPre, iSearchKeyIndex, iRangeValue, iPageRecord, cMemo) together with a batch of records.
struct ResumePoint {
    std::string nextUrl;
    int startPage = 0;
    int searchKeyIndexPre = 0;
    int searchKeyIndex = 0;
    std::string keywordList;   // CR LF separated; also kept in the task's keyword file
    long long rangeValue = 0;  // iRangeValue: ThreadParams::rangeValue
    long long pageRecord = 0;  // iPageRecord: ThreadParams::pageRecord
};

// The resume values the engine keeps in the run (nextUrl, startPage, keyword cursor and list).
// Worker-owned fields: call on the worker's thread.
ResumePoint ResumePointOf(const ThreadParams& run);

struct SaveOptions {
    // When set (and the run has a task number), the Task row gets these resume values in the
    // same transaction as the records, so a process killed later loses at most its unsaved
    // records. The row's iStatus is left as it is.
    std::optional<ResumePoint> resume;
    // Runs the operations of a table after its stored records ("_保存表数据后" for the first
    // table, table name + "_保存表数据后" for a further one; see AfterSaveOperationsName).
    // Called after the batch is committed, still under g_csDatabase, once per table that got
    // at least one record. Empty: no operations run.
    std::function<void(const RecordTarget& target, const std::string& operationsName)> afterTableSaved;
};

struct SaveResult {
    int stored = 0;         // records written
    int failed = 0;         // records that could not be written (reported and dropped)
    bool committed = true;  // false: the batch could not be committed; its records are back in the buffer
    std::string error;      // why the batch was not committed
};

// The field name whose operations run after a table's records are stored.
std::string AfterSaveOperationsName(const RecordTarget& target);

// The SQL literal of a value for a column of the given type:
//   varchar, memo (and any text type): 'value' with each "'" doubled;
//   datetime: null when empty, else quoted;
//   other types: trimmed; null when empty; the number as it is when it is a decimal number;
//   any other text is quoted like a varchar value, so it can never end the statement.
std::string ColumnValueLiteral(std::string_view sqlType, std::string_view value);

// The unique condition of a record: "col=literal and col2=literal" ("col is null" for a null
// literal); empty when the target has no unique fields.
std::string UniqueCondition(const BufferedRecord& record);

// Stores every committed record of the buffer, in order, in one transaction under g_csDatabase
// (taken here). Per record it shows "正在保存数据... (%d/%d)" (pane 0) through the run's sink;
// a record that fails is reported with
// "任务%d第%d条数据写入数据库失败(共%d条)!del:%d i:%d index:%d\r\n%s\r\n%s\r\n" (status text,
// pane 0; the flags say whether the delete ran, the insert and the update were tried) and
// "正在保存数据... (%d/%d) 保存失败！", and the rest are still stored. A record whose delete and
// insert (mode 0) do not both succeed changes nothing. The pending-record counter goes down by
// one per record tried. The run's statistics are not changed (the engine counts accepted records).
SaveResult SaveRecords(ThreadParams& run, RecordBuffer& buffer, const SaveOptions& options = {});

// Asks the harvest runs of the task (every harvest run for kAllTasks) among runs to store their
// buffers at their next check (ThreadParams::saveRequested). Returns how many runs were asked.
int RequestSave(const std::vector<ThreadParams*>& runs, int taskNumber);

}  // namespace sorvik
