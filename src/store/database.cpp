#include "store/database.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "store/sql_dialect.h"
#include "text/code_page.h"
#include "text/strings.h"

namespace sorvik {

std::recursive_mutex g_csDatabase;

namespace {

// Owns a prepared statement.
struct StatementDeleter {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

std::string ErrorText(sqlite3* db) {
    return Utf8ToGb(sqlite3_errmsg(db));
}

// Jet's CDate: a date text in a comparable form ("%Y-%m-%d %H:%M:%S"); unreadable text stays.
void CdateFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
    if (argc != 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const char* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char sep = 0;
    const int n = std::sscanf(text ? text : "", "%d%c%d%*c%d %d:%d:%d", &y, &sep, &mo, &d, &h, &mi, &s);
    if (n >= 4 && (sep == '-' || sep == '/' || sep == '.')) {
        char buffer[32];
        if (n >= 6) {
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
        } else {
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", y, mo, d);
        }
        sqlite3_result_text(context, buffer, -1, SQLITE_TRANSIENT);
        return;
    }
    sqlite3_result_value(context, argv[0]);
}

// Reads one column as the text a variant-to-string conversion gives.
Recordset::Value ColumnText(sqlite3_stmt* stmt, int column) {
    switch (sqlite3_column_type(stmt, column)) {
        case SQLITE_NULL:
            return std::nullopt;
        case SQLITE_INTEGER:
            return std::to_string(sqlite3_column_int64(stmt, column));
        case SQLITE_FLOAT: {
            const double value = sqlite3_column_double(stmt, column);
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%.15g", value);
            return std::string(buffer);
        }
        case SQLITE_BLOB: {
            const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt, column));
            return std::string(data ? data : "", static_cast<size_t>(sqlite3_column_bytes(stmt, column)));
        }
        default: {
            const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
            return Utf8ToGb(
                std::string_view(data ? data : "", static_cast<size_t>(sqlite3_column_bytes(stmt, column))));
        }
    }
}

// True when the text after a statement holds more than blanks and comments (a text that does
// not even compile counts as a statement).
bool HasFurtherStatement(sqlite3* db, const char* tail, const char* end) {
    while (tail < end) {
        sqlite3_stmt* raw = nullptr;
        const char* next = nullptr;
        if (sqlite3_prepare_v2(db, tail, static_cast<int>(end - tail), &raw, &next) != SQLITE_OK)
            return true;
        StatementPtr stmt(raw);
        if (stmt)
            return true;
        if (next == tail)
            break;
        tail = next;
    }
    return false;
}

}  // namespace

Database::~Database() {
    Close();
}

bool Database::Open(const std::string& path, std::string& error) {
    std::scoped_lock lock(g_csDatabase);
    Close();
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(
        path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    if (rc != SQLITE_OK) {
        error = raw ? ErrorText(raw) : std::string("out of memory");
        return false;
    }
    sqlite3_busy_timeout(db.get(), 10000);
    sqlite3_create_function(db.get(), "cdate", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, CdateFunction,
                            nullptr, nullptr);
    // Reading the schema proves the file is a database (a text file fails here, not later).
    char* message = nullptr;
    if (sqlite3_exec(db.get(), "PRAGMA journal_mode=WAL; SELECT count(*) FROM sqlite_master;", nullptr,
                     nullptr, &message) != SQLITE_OK) {
        error = Utf8ToGb(message ? message : sqlite3_errmsg(db.get()));
        sqlite3_free(message);
        return false;
    }
    sqlite3_exec(db.get(), "PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
    db_ = std::move(db);
    path_ = path;
    transactionDepth_ = 0;
    return true;
}

void Database::Close() {
    std::scoped_lock lock(g_csDatabase);
    db_.reset();
    transactionDepth_ = 0;
}

bool Database::IsOpen() const {
    std::scoped_lock lock(g_csDatabase);
    return db_ != nullptr;
}

bool Database::Execute(std::string_view jetSql, std::string& error, Recordset* rows) {
    return Run(TranslateJetSql(GbToUtf8(jetSql)), error, rows, false);
}

bool Database::ExecuteNative(std::string_view sqliteSql, std::string& error, Recordset* rows) {
    return Run(GbToUtf8(sqliteSql), error, rows, false);
}

bool Database::ExecuteScript(std::string_view jetSql, std::string& error) {
    return Run(TranslateJetSql(GbToUtf8(jetSql)), error, nullptr, true);
}

bool Database::Run(const std::string& sql, std::string& error, Recordset* rows, bool several) {
    std::scoped_lock lock(g_csDatabase);
    error.clear();
    if (!db_) {
        error = "数据库未打开";
        return false;
    }
    const char* tail = sql.c_str();
    const char* end = sql.c_str() + sql.size();
    std::vector<std::string> columns;
    std::vector<Recordset::Row> resultRows;
    bool haveColumns = false;
    // Runs the statement (every statement of a script); the rows of the first one that returns rows
    // are kept.
    while (tail < end) {
        sqlite3_stmt* raw = nullptr;
        const char* next = nullptr;
        if (sqlite3_prepare_v2(db_.get(), tail, static_cast<int>(end - tail), &raw, &next) != SQLITE_OK) {
            error = ErrorText(db_.get());
            return false;
        }
        StatementPtr stmt(raw);
        tail = next;
        if (!stmt)
            continue;  // blank text or a comment
        if (!several && HasFurtherStatement(db_.get(), tail, end)) {
            error = "一次只能执行一条语句";
            return false;
        }
        const int columnCount = sqlite3_column_count(stmt.get());
        const bool keep = rows && !haveColumns && columnCount > 0;
        if (keep) {
            haveColumns = true;
            for (int i = 0; i < columnCount; ++i)
                columns.push_back(Utf8ToGb(sqlite3_column_name(stmt.get(), i)));
        }
        while (true) {
            const int rc = sqlite3_step(stmt.get());
            if (rc == SQLITE_DONE)
                break;
            if (rc != SQLITE_ROW) {
                error = ErrorText(db_.get());
                return false;
            }
            if (!keep)
                continue;
            Recordset::Row row;
            row.reserve(static_cast<size_t>(columnCount));
            for (int i = 0; i < columnCount; ++i)
                row.push_back(ColumnText(stmt.get(), i));
            resultRows.push_back(std::move(row));
        }
    }
    if (rows)
        *rows = Recordset(std::move(columns), std::move(resultRows));
    return true;
}

bool Database::Begin(std::string& error) {
    std::scoped_lock lock(g_csDatabase);
    const std::string sql =
        transactionDepth_ == 0 ? "BEGIN IMMEDIATE" : Format("SAVEPOINT sp%d", transactionDepth_);
    if (!ExecuteNative(sql, error))
        return false;
    ++transactionDepth_;
    return true;
}

bool Database::Commit(std::string& error) {
    std::scoped_lock lock(g_csDatabase);
    if (transactionDepth_ == 0) {
        error = "没有事务";
        return false;
    }
    const std::string sql = transactionDepth_ == 1 ? "COMMIT" : Format("RELEASE sp%d", transactionDepth_ - 1);
    if (!ExecuteNative(sql, error))
        return false;
    --transactionDepth_;
    return true;
}

bool Database::Rollback(std::string& error) {
    std::scoped_lock lock(g_csDatabase);
    if (transactionDepth_ == 0) {
        error = "没有事务";
        return false;
    }
    bool ok;
    if (transactionDepth_ == 1) {
        ok = ExecuteNative("ROLLBACK", error);
        // A failed rollback still ends the transaction when SQLite has already rolled it back.
        if (!ok && sqlite3_get_autocommit(db_.get()))
            ok = true;
    } else {
        ok = ExecuteNative(Format("ROLLBACK TO sp%d", transactionDepth_ - 1), error) &&
             ExecuteNative(Format("RELEASE sp%d", transactionDepth_ - 1), error);
    }
    --transactionDepth_;
    return ok;
}

int Database::TransactionDepth() const {
    std::scoped_lock lock(g_csDatabase);
    return transactionDepth_;
}

long long Database::ChangedRows() const {
    std::scoped_lock lock(g_csDatabase);
    return db_ ? sqlite3_changes64(db_.get()) : 0;
}

Database& TheDatabase() {
    static Database database;
    return database;
}

}  // namespace sorvik
