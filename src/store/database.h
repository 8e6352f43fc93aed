#pragma once
// The process's one SQLite connection. Every call takes g_csDatabase (recursive), so the
// connection is never used by two threads at once; callers that need several statements to stay
// together (a transaction, a read-modify-write) hold g_csDatabase themselves around them.
//
// Texts cross this boundary as GB18030: statements are converted to UTF-8 and translated from
// the Jet dialect before they run, and every value read back is converted to GB18030.

#include <sqlite3.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "store/recordset.h"

namespace sorvik {

// Serialises all database work between threads; also the run-queue lock of the run controller.
extern std::recursive_mutex g_csDatabase;

class Database {
  public:
    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens (creating when missing) the database file. False with the reason in error.
    // The file must be an SQLite database or new; the parent folder must exist.
    bool Open(const std::string& path, std::string& error);
    void Close();
    bool IsOpen() const;
    const std::string& Path() const { return path_; }

    // Runs one Jet statement. On success, a statement that returns rows fills *rows (when given).
    // On failure returns false with SQLite's message (GB18030) in error. A text holding a second
    // statement after the first is refused before anything runs ("一次只能执行一条语句"), so a
    // name or value pasted into a statement can never add one of its own.
    bool Execute(std::string_view jetSql, std::string& error, Recordset* rows = nullptr);
    // The same for a statement already in SQLite's dialect (the store's own schema statements).
    bool ExecuteNative(std::string_view sqliteSql, std::string& error, Recordset* rows = nullptr);
    // Runs every ";"-separated statement of a text the user wrote as a whole (a script's own SQL
    // operation); stops at the first failure, keeping what ran before it.
    bool ExecuteScript(std::string_view jetSql, std::string& error);

    // Nested transactions: the outermost Begin starts one, inner ones are savepoints.
    bool Begin(std::string& error);
    bool Commit(std::string& error);
    bool Rollback(std::string& error);
    int TransactionDepth() const;

    // Rows changed by the last insert, update or delete.
    long long ChangedRows() const;

  private:
    bool Run(const std::string& utf8Sql, std::string& error, Recordset* rows, bool several);

    struct Closer {
        void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
    };
    std::unique_ptr<sqlite3, Closer> db_;  // guarded by g_csDatabase
    std::string path_;
    int transactionDepth_ = 0;  // guarded by g_csDatabase
};

// The process-wide connection, opened at start-up.
Database& TheDatabase();

}  // namespace sorvik
