#pragma once
// The record buffer of a run and the process-wide pending-record counter.
//
// The extraction engine fills a run's buffer field by field: BeginRecord with the record's
// target, AppendValue per accepted field value, then CommitRecord when every field was accepted
// or DropRecord when one was rejected. The result-table writer (SaveRecords) takes the committed
// records out and stores them.
//
// Locks: the members of a RecordBuffer are guarded by its own mutex, which each method takes
// for its own duration (the engine fills a buffer on its worker, a save may take it on another
// thread). The pending-record counter is an atomic: committing a record adds one,
// the writer subtracts one per record it has tried to store, and a buffer destroyed with
// records still in it subtracts those.

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/result_table.h"

namespace sorvik {

// Records buffered in all runs and not yet stored.
long long PendingRecordCount();

// Where a record goes: shared, read-only, by all records of one table in a run.
struct RecordTarget {
    int tableNumber = 0;  // 0: "#表名=", N: "#表名N="
    std::string table;
    std::vector<std::string> columns;      // column names, in the order of the record's values
    std::vector<std::string> columnTypes;  // SQL type per column, lower case ("varchar", "int", ...)
    std::vector<size_t> uniqueColumns;     // indices into columns of the unique fields
    std::string insertPrefix;              // "Insert into T (iNode_,c1,c2) values ("
};

// "Insert into " + table + " (iNode_," + columns joined by "," + ") values (".
std::string BuildInsertPrefix(std::string_view table, const std::vector<std::string>& columns);

// The target of a table of the script: its columns, their types (ParseFieldType) and its unique
// fields (each matched by column name, else by field name, case-insensitively; names that match
// neither are left out). Null with the message of CheckResultTableNames when a name is not plain,
// or with the type-word message when a type word is not valid.
std::shared_ptr<const RecordTarget> MakeRecordTarget(const ResultTableLayout& layout, std::string& message);

// One record: its target and one value per column.
struct BufferedRecord {
    std::shared_ptr<const RecordTarget> target;
    std::vector<std::string> values;
};

class RecordBuffer {
  public:
    RecordBuffer() = default;
    ~RecordBuffer();
    RecordBuffer(const RecordBuffer&) = delete;
    RecordBuffer& operator=(const RecordBuffer&) = delete;

    // Opens a new record for target. A record still open is dropped first.
    void BeginRecord(std::shared_ptr<const RecordTarget> target);
    // Appends the next value of the open record. False (value not kept) when no record is open.
    bool AppendValue(std::string_view value);
    // Removes the open record and its values; returns the bytes of those values (0 when none).
    size_t DropRecord();
    // Closes the open record: it is buffered and the pending-record counter grows by one.
    // False when no record is open.
    bool CommitRecord();

    // Committed records not yet taken.
    size_t BufferedCount() const;

    // Takes all committed records, in order (the open record stays). The pending-record counter
    // is not changed: the taker accounts for them (SaveRecords), or gives them back.
    std::vector<BufferedRecord> TakeRecords();
    // Puts records taken earlier back in front of the buffered ones (a save that did not commit).
    void RestoreRecords(std::vector<BufferedRecord> records);
    // Subtracts count from the pending-record counter (records taken and now dealt with).
    static void ReleasePending(long long count);

  private:
    mutable std::mutex mutex_;
    std::vector<BufferedRecord> records_;       // guarded by mutex_
    std::optional<BufferedRecord> openRecord_;  // guarded by mutex_
};

}  // namespace sorvik
