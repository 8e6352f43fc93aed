#include "engine/record_buffer.h"

#include <atomic>

#include "text/strings.h"

namespace sorvik {

namespace {

std::atomic<long long> g_nPendingRecords{0};

}  // namespace

long long PendingRecordCount() {
    return g_nPendingRecords.load();
}

void RecordBuffer::ReleasePending(long long count) {
    if (count > 0)
        g_nPendingRecords.fetch_sub(count);
}

std::string BuildInsertPrefix(std::string_view table, const std::vector<std::string>& columns) {
    std::string prefix = "Insert into ";
    prefix.append(table);
    prefix += " (iNode_";
    for (const std::string& column : columns)
        prefix += "," + column;
    prefix += ") values (";
    return prefix;
}

std::shared_ptr<const RecordTarget> MakeRecordTarget(const ResultTableLayout& layout, std::string& message) {
    if (!CheckResultTableNames(layout, message))
        return nullptr;
    auto target = std::make_shared<RecordTarget>();
    target->tableNumber = layout.tableNumber;
    target->table = layout.table;
    target->columns = layout.columns;
    const size_t typeCount = layout.typeWords.size();
    for (size_t i = 0; i < layout.columns.size(); ++i) {
        std::string type;
        std::string size;
        const std::string word = i < typeCount ? layout.typeWords[i] : std::string();
        if (!ParseFieldType(i, typeCount, word, type, size, message))
            return nullptr;
        target->columnTypes.push_back(type);
    }
    for (const std::string& unique : layout.uniqueFields) {
        size_t index = layout.columns.size();
        for (size_t i = 0; i < layout.columns.size() && index == layout.columns.size(); ++i) {
            if (EqualsNoCase(layout.columns[i], unique))
                index = i;
        }
        for (size_t i = 0; i < layout.fieldNames.size() && index == layout.columns.size(); ++i) {
            if (i < layout.columns.size() && EqualsNoCase(layout.fieldNames[i], unique))
                index = i;
        }
        if (index < layout.columns.size())
            target->uniqueColumns.push_back(index);
    }
    target->insertPrefix = BuildInsertPrefix(target->table, target->columns);
    return target;
}

RecordBuffer::~RecordBuffer() {
    std::scoped_lock lock(mutex_);
    ReleasePending(static_cast<long long>(records_.size()));
}

void RecordBuffer::BeginRecord(std::shared_ptr<const RecordTarget> target) {
    std::scoped_lock lock(mutex_);
    openRecord_.emplace();
    openRecord_->target = std::move(target);
    if (openRecord_->target)
        openRecord_->values.reserve(openRecord_->target->columns.size());
}

bool RecordBuffer::AppendValue(std::string_view value) {
    std::scoped_lock lock(mutex_);
    if (!openRecord_)
        return false;
    openRecord_->values.emplace_back(value);
    return true;
}

size_t RecordBuffer::DropRecord() {
    std::scoped_lock lock(mutex_);
    if (!openRecord_)
        return 0;
    size_t bytes = 0;
    for (const std::string& value : openRecord_->values)
        bytes += value.size();
    openRecord_.reset();
    return bytes;
}

bool RecordBuffer::CommitRecord() {
    std::scoped_lock lock(mutex_);
    if (!openRecord_)
        return false;
    records_.push_back(std::move(*openRecord_));
    openRecord_.reset();
    g_nPendingRecords.fetch_add(1);
    return true;
}

size_t RecordBuffer::BufferedCount() const {
    std::scoped_lock lock(mutex_);
    return records_.size();
}

std::vector<BufferedRecord> RecordBuffer::TakeRecords() {
    std::scoped_lock lock(mutex_);
    std::vector<BufferedRecord> taken;
    taken.swap(records_);
    return taken;
}

void RecordBuffer::RestoreRecords(std::vector<BufferedRecord> records) {
    std::scoped_lock lock(mutex_);
    records.insert(records.end(), std::make_move_iterator(records_.begin()),
                   std::make_move_iterator(records_.end()));
    records_ = std::move(records);
}

}  // namespace sorvik
