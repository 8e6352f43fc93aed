#pragma once
// A database transaction that rolls back unless it is committed. It holds g_csDatabase from
// construction to destruction, so no other thread's statement runs inside it; a transaction made
// while another is open on this thread is a savepoint of the outer one (its commit keeps its work
// for the outer one to commit, its rollback undoes only its own statements).
//
//   std::string error;
//   Transaction transaction(error);
//   if (!transaction.IsOpen()) return fail(error);
//   ... statements through CDbAccess ...
//   if (!transaction.Commit(error)) return fail(error);   // rolled back when it goes out of scope

#include <mutex>
#include <string>

namespace sorvik {

class Transaction {
  public:
    // Begins. On failure IsOpen() is false and error holds the database's reason.
    explicit Transaction(std::string& error);
    ~Transaction();  // rolls back an open transaction
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool IsOpen() const { return open_; }

    // Commits. False with error "提交失败!" and the database's reason (the transaction stays open
    // and is rolled back at the end), or "没有事务" when it is not open.
    bool Commit(std::string& error);
    // Rolls back now. False with the database's reason in error (the transaction ends anyway).
    bool Rollback(std::string& error);

  private:
    std::unique_lock<std::recursive_mutex> lock_;
    bool open_ = false;
};

}  // namespace sorvik
