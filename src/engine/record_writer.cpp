#include "engine/record_writer.h"

#include <mutex>

#include "store/database.h"
#include "store/db_access.h"
#include "store/keyword_file.h"
#include "store/transaction.h"
#include "text/strings.h"

namespace sorvik {

namespace {

bool IsTextType(std::string_view type) {
    const std::string lower = ToLowerAscii(type);
    return lower == "varchar" || lower == "memo" || lower == "text" || lower == "char";
}

std::string Quoted(std::string_view value) {
    return "'" + SqlQuote(value) + "'";
}

// The statements of one record and how far they got.
struct RecordOutcome {
    bool ok = true;
    bool deleted = false;
    bool insertTried = false;
    bool updateTried = false;
    std::string statement;  // the statement that failed
    std::string error;      // the database's reason
};

RecordOutcome StoreRecord(CDbAccess& db, const BufferedRecord& record, int node, int updateMode) {
    RecordOutcome outcome;
    const RecordTarget& target = *record.target;
    std::string values;
    std::string setList;
    for (size_t i = 0; i < target.columns.size(); ++i) {
        const std::string value = i < record.values.size() ? record.values[i] : std::string();
        const std::string type =
            i < target.columnTypes.size() ? target.columnTypes[i] : std::string("varchar");
        const std::string literal = ColumnValueLiteral(type, value);
        if (i > 0) {
            values += ',';
            setList += ',';
        }
        values += literal;
        setList += target.columns[i] + "=" + literal;
    }
    // Composed without Format: the values of a record run to kilobytes.
    const std::string insert = target.insertPrefix + std::to_string(node) + "," + values + ")";
    auto fail = [&](const std::string& statement, const std::string& error) {
        outcome.ok = false;
        outcome.statement = statement;
        outcome.error = error;
        return outcome;
    };
    if (record.values.size() != target.columns.size()) {
        return fail(insert,
                    Format("值的个数(%zu)与字段数(%zu)不符", record.values.size(), target.columns.size()));
    }
    auto run = [&](const std::string& statement) {
        if (db.ExecuteSql(statement))
            return true;
        fail(statement, db.m_strProviderError);
        return false;
    };

    const std::string condition = UniqueCondition(record);
    if (condition.empty()) {
        outcome.insertTried = true;
        run(insert);
        return outcome;
    }
    const char* table = target.table.c_str();
    if (updateMode != 1 && updateMode != 2) {
        // Delete and insert stand or fall together: a savepoint inside the batch.
        std::string error;
        Transaction both(error);
        if (!both.IsOpen())
            return fail(insert, error);
        const std::string remove =
            Format("delete from %s where iNode_=%d and  %s", table, node, condition.c_str());
        if (!run(remove))
            return outcome;
        outcome.deleted = true;
        outcome.insertTried = true;
        if (!run(insert))
            return outcome;  // the savepoint takes the delete back
        if (!both.Commit(error))
            fail(insert, error);
        return outcome;
    }
    const std::string where =
        updateMode == 2 ? condition : Format("iNode_=%d and  %s", node, condition.c_str());
    const bool exists = db.RecordExists(target.table, where);
    if (!db.m_strError.empty())
        return fail(Format("select top 1 * from %s where %s", table, where.c_str()), db.m_strProviderError);
    if (exists) {
        outcome.updateTried = true;
        run(Format("update %s set %s where %s", table, setList.c_str(), where.c_str()));
    } else {
        outcome.insertTried = true;
        run(insert);
    }
    return outcome;
}

// A keyword file that can't be saved is reported in keywordError without failing the batch: the
// list is in cMemo, from which a resume reads it.
bool WriteResumePoint(CDbAccess& db, int task, const ResumePoint& resume, std::string& error,
                      std::string& keywordError) {
    const std::string sql = Format(
        "update Task set "
        "cNextSite='%s',iStartPage=%d,iSearchKeyIndexPre=%d,iSearchKeyIndex=%d,iRangeValue=%lld,"
        "iPageRecord=%lld,cMemo='%s' where ID=%d",
        SqlQuote(resume.nextUrl).c_str(), resume.startPage, resume.searchKeyIndexPre, resume.searchKeyIndex,
        resume.rangeValue, resume.pageRecord, SqlQuote(resume.keywordList).c_str(), task);
    if (!db.ExecuteSql(sql)) {
        error = db.m_strError + "\r\n" + db.m_strProviderError;
        return false;
    }
    // The keyword list does not change during a run: the file is written once, when it differs.
    if (!resume.keywordList.empty() && LoadTaskKeywords(task) != resume.keywordList)
        SaveTaskKeywords(task, resume.keywordList, &keywordError);
    return true;
}

}  // namespace

ResumePoint ResumePointOf(const ThreadParams& run) {
    ResumePoint resume;
    resume.nextUrl = run.nextUrl;
    resume.startPage = run.startPage;
    resume.searchKeyIndexPre = run.searchKeyIndexPre;
    resume.searchKeyIndex = run.searchKeyIndex;
    resume.rangeValue = run.rangeValue;
    resume.pageRecord = run.pageRecord;
    resume.keywordList = run.keywordList;
    return resume;
}

std::string AfterSaveOperationsName(const RecordTarget& target) {
    if (target.tableNumber == 0)
        return "_保存表数据后";
    return target.table + "_保存表数据后";
}

std::string ColumnValueLiteral(std::string_view sqlType, std::string_view value) {
    if (IsTextType(sqlType))
        return Quoted(value);
    if (ToLowerAscii(sqlType) == "datetime")
        return value.empty() ? std::string("null") : Quoted(value);
    const std::string trimmed = Trim(value);
    if (trimmed.empty())
        return "null";
    if (IsSqlNumber(trimmed))
        return trimmed;
    // Not a number: kept as text rather than pasted into the statement.
    return Quoted(trimmed);
}

std::string UniqueCondition(const BufferedRecord& record) {
    if (!record.target)
        return {};
    const RecordTarget& target = *record.target;
    std::string condition;
    for (size_t index : target.uniqueColumns) {
        if (index >= target.columns.size())
            continue;
        const std::string value = index < record.values.size() ? record.values[index] : std::string();
        const std::string type = index < target.columnTypes.size() ? target.columnTypes[index] : "varchar";
        const std::string literal = ColumnValueLiteral(type, value);
        if (!condition.empty())
            condition += " and ";
        condition += target.columns[index];
        condition += literal == "null" ? " is null" : "=" + literal;
    }
    return condition;
}

SaveResult SaveRecords(ThreadParams& run, RecordBuffer& buffer, const SaveOptions& options) {
    SaveResult result;
    std::scoped_lock lock(g_csDatabase);
    std::vector<BufferedRecord> records = buffer.TakeRecords();
    const bool writeResume = options.resume.has_value() && run.taskNumber > 0;
    if (records.empty() && !writeResume)
        return result;

    CDbAccess db;
    std::string error;
    Transaction batch(error);
    if (!batch.IsOpen()) {
        result.committed = false;
        result.error = error;
        buffer.RestoreRecords(std::move(records));
        return result;
    }
    const int node = run.sharedTaskNumber != 0 ? run.sharedTaskNumber : run.taskNumber;
    const int total = static_cast<int>(records.size());
    std::vector<const RecordTarget*> tablesStored;
    for (int n = 0; n < total; ++n) {
        const BufferedRecord& record = records[static_cast<size_t>(n)];
        const std::string progress = Format("正在保存数据... (%d/%d)", n + 1, total);
        run.Send(RunMessageType::kProgressLine, progress);
        RecordOutcome outcome;
        if (!record.target) {
            outcome.ok = false;
            outcome.error = "没有目标表";
        } else {
            outcome = StoreRecord(db, record, node, run.updateMode);
        }
        if (outcome.ok) {
            ++result.stored;
            bool known = false;
            for (const RecordTarget* t : tablesStored)
                known = known || t == record.target.get();
            if (!known)
                tablesStored.push_back(record.target.get());
            continue;
        }
        ++result.failed;
        run.Send(RunMessageType::kStatusText,
                 Format("任务%d第%d条数据写入数据库失败(共%d条)!del:%d i:%d index:%d\r\n%s\r\n%s\r\n",
                        run.taskNumber, n + 1, total, outcome.deleted ? 1 : 0, outcome.insertTried ? 1 : 0,
                        outcome.updateTried ? 1 : 0, outcome.statement.c_str(), outcome.error.c_str()),
                 0);
        run.Send(RunMessageType::kProgressLine, progress + " 保存失败！");
    }

    std::string keywordError;
    if ((writeResume && !WriteResumePoint(db, run.taskNumber, *options.resume, error, keywordError)) ||
        !batch.Commit(error)) {
        // Nothing of the batch is kept: its records go back to be stored by the next save.
        result.committed = false;
        result.error = error;
        result.stored = 0;
        result.failed = 0;
        buffer.RestoreRecords(std::move(records));
        return result;
    }
    RecordBuffer::ReleasePending(total);
    if (!keywordError.empty())
        run.Send(RunMessageType::kProgressLine, keywordError);
    if (options.afterTableSaved) {
        for (const RecordTarget* target : tablesStored)
            options.afterTableSaved(*target, AfterSaveOperationsName(*target));
    }
    return result;
}

int RequestSave(const std::vector<ThreadParams*>& runs, int taskNumber) {
    int asked = 0;
    for (ThreadParams* run : runs) {
        if (!run || run->mode != RunMode::kHarvest || run->kind != RunKind::kHarvest)
            continue;
        if (taskNumber != kAllTasks && run->taskNumber != taskNumber)
            continue;
        run->saveRequested.store(true);
        ++asked;
    }
    return asked;
}

}  // namespace sorvik
