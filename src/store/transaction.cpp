#include "store/transaction.h"

#include "store/database.h"

namespace sorvik {

Transaction::Transaction(std::string& error) : lock_(g_csDatabase) {
    open_ = TheDatabase().Begin(error);
}

Transaction::~Transaction() {
    std::string ignored;  // nothing is left to undo when the rollback itself fails
    Rollback(ignored);
}

bool Transaction::Commit(std::string& error) {
    if (!open_) {
        error = "没有事务";
        return false;
    }
    std::string reason;
    if (!TheDatabase().Commit(reason)) {
        error = "提交失败!\r\n" + reason;
        return false;
    }
    open_ = false;
    return true;
}

bool Transaction::Rollback(std::string& error) {
    if (!open_)
        return true;
    open_ = false;
    return TheDatabase().Rollback(error);
}

}  // namespace sorvik
