#include "exchange/table_schema.h"

#include "store/db_access.h"
#include "text/strings.h"

namespace sorvik {

bool ReadTableDefinition(std::string_view table, std::string& createSql, bool& exists, std::string& error) {
    createSql.clear();
    exists = false;
    std::string bare(table);
    if (bare.size() >= 2 && bare.front() == '[' && bare.back() == ']')
        bare = bare.substr(1, bare.size() - 2);
    CDbAccess db;
    auto rows =
        db.ExecuteQuery(Format("select sql from sqlite_master where type='table' and lower(name)=lower('%s')",
                               SqlQuote(bare).c_str()));
    if (!rows) {
        error = db.m_strError;
        return false;
    }
    if (rows->IsEof())
        return true;
    createSql = rows->Text(size_t{0});
    exists = !createSql.empty();
    return true;
}

}  // namespace sorvik
