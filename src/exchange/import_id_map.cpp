#include "exchange/import_id_map.h"

#include <algorithm>

#include "script/script_text.h"
#include "store/system_tables.h"
#include "store/task_table.h"
#include "text/strings.h"

namespace sorvik {

namespace {

bool IsTable(const ExchangeStatement& s, const char* name) {
    return EqualsNoCase(s.tableName, name);
}

bool IsAllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

long long ImportIdMap::MaxId(const char* table) {
    auto rows = db_.OpenRecordset(Format("select max(ID) as m from %s", table));
    return rows && !rows->IsEof() ? rows->Int(size_t{0}) : 0;
}

bool ImportIdMap::RaiseCounter(const char* counterTable, long long atLeast, std::string& error) {
    // The counter keeps counting past the largest number it ever gave, so one row with that
    // number, inserted and deleted again, moves it on.
    if (!db_.ExecuteSql(Format("delete from %s", counterTable)) ||
        !db_.ExecuteSql(
            Format("insert into %s(ID,i) values(%lld,0)", counterTable, std::max(atLeast, 1LL))) ||
        !db_.ExecuteSql(Format("delete from %s", counterTable))) {
        error = db_.m_strError;
        return false;
    }
    return true;
}

bool ImportIdMap::Plan(const std::vector<ExchangeStatement>& statements, std::string& error) {
    struct Row {
        long long id;
        std::string germ;
        long long kind;  // categories: iType
    };
    std::vector<Row> categoryRows, taskRows;
    long long fileMaxCategory = 0, fileMaxTask = 0;
    for (const ExchangeStatement& s : statements) {
        if (s.kind != ExchangeStatement::Kind::kInsert)
            continue;
        const bool category = IsTable(s, "TreeItems");
        if (!category && !IsTable(s, "Task"))
            continue;
        const int idColumn = s.ColumnIndex("ID");
        if (idColumn < 0)
            continue;
        const int germColumn = s.ColumnIndex("cGerm");
        const int kindColumn = s.ColumnIndex("iType");
        Row row{s.values[static_cast<size_t>(idColumn)].AsInt(),
                germColumn < 0 ? std::string() : s.values[static_cast<size_t>(germColumn)].text,
                kindColumn < 0 ? 0 : s.values[static_cast<size_t>(kindColumn)].AsInt()};
        (category ? categoryRows : taskRows).push_back(row);
        long long& max = category ? fileMaxCategory : fileMaxTask;
        max = std::max(max, row.id);
    }
    // Fresh IDs must lie above every ID of the file as well as of this database.
    if (!RaiseCounter("TreeItems_ID", std::max(fileMaxCategory, MaxId("TreeItems")), error) ||
        !RaiseCounter("Task_ID", std::max(fileMaxTask, MaxId("Task")), error)) {
        return false;
    }
    CTaskTable taskTable;
    auto decide = [&](const Row& row, const char* table, std::map<long long, long long>& map, auto allocate) {
        if (map.count(row.id))
            return true;
        if (!row.germ.empty()) {
            const std::string local =
                db_.SelectTopString("ID", table, Format("cGerm='%s'", SqlQuote(row.germ).c_str()));
            if (!local.empty()) {
                map[row.id] = ParseLeadingInt(local);
                return true;
            }
        }
        if (!db_.RecordExists(table, Format("ID=%lld", row.id))) {
            map[row.id] = row.id;
            return true;
        }
        const long long fresh = allocate();
        if (fresh <= 0) {
            error = Format("取ID号失败！(%s)", table);
            return false;
        }
        map[row.id] = fresh;
        return true;
    };
    for (const Row& row : categoryRows) {
        // A node of the default tree is the same node in every installation: it is joined, not
        // copied, when this one has it with the same kind and no other seed code claims the row.
        if (!categories_.count(row.id) && IsDefaultNode(row.id) && !row.germ.empty() &&
            !db_.RecordExists("TreeItems", Format("cGerm='%s'", SqlQuote(row.germ).c_str())) &&
            db_.RecordExists("TreeItems", Format("ID=%lld and iType=%lld and (cGerm is null or cGerm='')",
                                                 row.id, row.kind))) {
            categories_[row.id] = row.id;
            adoptedGerms_[row.id] = row.germ;
            continue;
        }
        if (!decide(row, "TreeItems", categories_,
                    [&] { return static_cast<long long>(taskTable.AllocateCategoryId()); }))
            return false;
    }
    for (const Row& row : taskRows) {
        if (!decide(row, "Task", tasks_,
                    [&] { return static_cast<long long>(taskTable.AllocateTaskId()); })) {
            return false;
        }
    }
    fallbackParent_ = db_.RecordExists("TreeItems", Format("ID=%d", kNodeResults)) ? kNodeResults : 0;
    return true;
}

long long ImportIdMap::LocalCategory(long long fileId) const {
    const auto found = categories_.find(fileId);
    return found == categories_.end() ? fileId : found->second;
}

long long ImportIdMap::LocalTask(long long fileId) const {
    const auto found = tasks_.find(fileId);
    return found == tasks_.end() ? fileId : found->second;
}

long long ImportIdMap::LocalParent(long long fileParent, bool insert) {
    if (fileParent == 0)
        return 0;
    const auto found = categories_.find(fileParent);
    if (found != categories_.end())
        return found->second;
    if (db_.RecordExists("TreeItems", Format("ID=%lld", fileParent)))
        return fileParent;
    return insert ? fallbackParent_ : -1;
}

void ImportIdMap::RewriteScript(SqlValue& script) const {
    if (script.type != SqlValue::Type::kText)
        return;
    auto rewrite = [&](const char* key, const std::map<long long, long long>& map) {
        const std::string value = Trim(ScriptValue(key, script.text));
        if (!IsAllDigits(value))
            return;
        const auto found = map.find(ParseLeadingInt(value));
        if (found != map.end() && found->second != found->first) {
            SetScriptValue(key, script.text, std::to_string(found->second));
        }
    };
    rewrite("#类别号=", categories_);
    rewrite("#共用任务号=", tasks_);
}

bool ImportIdMap::Apply(ExchangeStatement& s) {
    if (s.kind == ExchangeStatement::Kind::kCreateTable || s.kind == ExchangeStatement::Kind::kUpgrade)
        return true;
    const bool insert = s.kind == ExchangeStatement::Kind::kInsert;
    auto column = [&](const char* name) -> SqlValue* {
        const int index = s.ColumnIndex(name);
        return index < 0 ? nullptr : &s.values[static_cast<size_t>(index)];
    };
    auto drop = [&](const char* name) {
        const int index = s.ColumnIndex(name);
        if (index >= 0)
            s.RemoveColumn(static_cast<size_t>(index));
    };
    if (IsTable(s, "TreeItems")) {
        if (insert && s.ColumnIndex("ID") >= 0) {
            const auto adopted =
                adoptedGerms_.find(s.values[static_cast<size_t>(s.ColumnIndex("ID"))].AsInt());
            if (adopted != adoptedGerms_.end()) {
                // The node is here already: it only takes the file's seed code, so that later
                // files (a fruit needing this seed, its update statements) find it.
                db_.ExecuteSql(
                    Format("update TreeItems set cGerm='%s' where ID=%lld and (cGerm is null or cGerm='')",
                           SqlQuote(adopted->second).c_str(), adopted->first));
                return false;
            }
        }
        if (insert) {
            if (SqlValue* id = column("ID"))
                *id = SqlValue::Number(LocalCategory(id->AsInt()));
        } else {
            drop("ID");
        }
        if (SqlValue* parent = column("ParentItemID")) {
            const long long local = LocalParent(parent->AsInt(), insert);
            if (local < 0) {
                drop("ParentItemID");
            } else {
                *parent = SqlValue::Number(local);
            }
        }
        if (SqlValue* task = column("iTask")) {
            const long long fileTask = task->AsInt();
            if (fileTask <= 0 || tasks_.count(fileTask)) {
                *task = SqlValue::Number(fileTask <= 0 ? 0 : LocalTask(fileTask));
            } else if (insert) {
                // A task the file does not bring: the number means nothing here.
                *task = SqlValue::Number(0);
            } else {
                drop("iTask");
            }
        }
    } else if (IsTable(s, "Task")) {
        if (insert) {
            if (SqlValue* id = column("ID"))
                *id = SqlValue::Number(LocalTask(id->AsInt()));
        } else {
            drop("ID");
        }
        if (SqlValue* script = column("cSearchScript"))
            RewriteScript(*script);
    } else if (insert && !s.columnNames.empty() && EqualsNoCase(s.columnNames[0], "iNode_")) {
        SqlValue& node = s.values[0];
        if (node.type != SqlValue::Type::kNull && tasks_.count(node.AsInt())) {
            node = SqlValue::Number(LocalTask(node.AsInt()));
        }
    }
    return !s.columns.empty();
}

std::string ImportIdMap::MapFolder(const std::string& name) const {
    if (!IsAllDigits(name) || name.size() > 18)
        return name;
    const long long fileId = ParseLeadingInt(name);
    return tasks_.count(fileId) ? std::to_string(LocalTask(fileId)) : name;
}

bool ImportIdMap::RaiseIdCounters(std::string& error) {
    return RaiseCounter("TreeItems_ID", MaxId("TreeItems"), error) &&
           RaiseCounter("Task_ID", MaxId("Task"), error);
}

}  // namespace sorvik
