#include "engine/result_table.h"

#include <algorithm>
#include <mutex>
#include <set>

#include "script/script_keys.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/db_access.h"
#include "text/gb_text.h"
#include "text/strings.h"

namespace sorvik {

namespace {

struct TypeEntry {
    const char* word;
    const char* sqlType;
};

// The field-type words; both the Chinese word and the SQL name are accepted.
constexpr TypeEntry kTypeTable[] = {
    {"文本", "varchar"},    {"varchar", "varchar"}, {"超链接", "varchar"},    {"数字", "int"},
    {"int", "int"},         {"日期", "datetime"},   {"datetime", "datetime"}, {"是/否", "bit"},
    {"bit", "bit"},         {"货币", "money"},      {"money", "money"},       {"备注", "memo"},
    {"memo", "memo"},       {"对象", "image"},      {"image", "image"},       {"字节", "tinyint"},
    {"tinyint", "tinyint"}, {"整型", "smallint"},   {"smallint", "smallint"}, {"长整型", "int"},
    {"单精度型", "real"},   {"real", "real"},       {"双精度型", "float"},    {"float", "float"},
    {"小数", "decimal"},    {"decimal", "decimal"},
};

const char* LookUpType(std::string_view lowerWord) {
    for (const TypeEntry& entry : kTypeTable) {
        if (lowerWord == entry.word)
            return entry.sqlType;
    }
    return nullptr;
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "(10,2)" or "(10)" with digits only: the size goes into the statement as it is.
bool IsPlainSize(std::string_view size, bool allowScale) {
    if (size.size() < 3 || size.front() != '(' || size.back() != ')')
        return false;
    const std::string_view inner = size.substr(1, size.size() - 2);
    const size_t comma = inner.find(',');
    if (comma == std::string_view::npos)
        return AllDigits(inner);
    return allowScale && AllDigits(inner.substr(0, comma)) && AllDigits(inner.substr(comma + 1));
}

std::string UnrecognisedType(std::string_view word) {
    return "“" + std::string(word) + "”中系统无法识别字段类型！";
}

std::string TableKey(int tableNumber, std::string_view suffix) {
    if (tableNumber == 0)
        return std::string(key::kTableStem) + std::string(suffix);
    return NumberedKey(key::kTableStem, tableNumber, suffix);
}

// The first non-empty value of the keys, in order; *found gets its key (the last key when none).
std::string FirstValue(std::string_view script, std::initializer_list<std::string> keys,
                       std::string* found = nullptr) {
    for (const std::string& key : keys) {
        if (found)
            *found = key;
        std::string value = Trim(ScriptValue(key, script));
        if (!value.empty())
            return value;
    }
    return {};
}

}  // namespace

ResultTableLayout ReadResultTableLayout(std::string_view script, int tableNumber) {
    ResultTableLayout layout;
    layout.tableNumber = tableNumber;
    layout.tableKey = TableKey(tableNumber, "=");
    layout.table = Trim(ScriptValue(layout.tableKey, script));
    std::string aliases;
    std::string aliasKey;
    std::string names;
    std::string nameKey;
    std::string types;
    std::string unique;
    if (tableNumber == 0) {
        aliases = FirstValue(script, {std::string(key::kFirstTableAliases), std::string(key::kAliasList)},
                             &aliasKey);
        names =
            FirstValue(script, {std::string(key::kFirstTableFields), std::string(key::kFieldList)}, &nameKey);
        types = FirstValue(script, {std::string(key::kFirstTableTypes), std::string(key::kTypeList)});
        unique = FirstValue(script, {std::string(key::kUniqueFields)});
    } else {
        aliases = FirstValue(script, {TableKey(tableNumber, "_字段别名列表=")}, &aliasKey);
        names = FirstValue(script, {TableKey(tableNumber, "_字段名列表=")}, &nameKey);
        types = FirstValue(script, {TableKey(tableNumber, "_字段类型=")});
        unique = FirstValue(script, {TableKey(tableNumber, "_唯一字段=")});
    }
    layout.fieldNames = SplitList(names);
    layout.columns = aliases.empty() ? layout.fieldNames : SplitList(aliases);
    layout.columnsKey = aliases.empty() ? nameKey : aliasKey;
    layout.typeWords = SplitList(types);
    layout.uniqueFields = SplitList(unique);
    return layout;
}

std::vector<ResultTableLayout> ReadResultTableLayouts(std::string_view script) {
    std::vector<ResultTableLayout> layouts;
    for (int number = 0;; ++number) {
        ResultTableLayout layout = ReadResultTableLayout(script, number);
        if (layout.table.empty())
            break;
        layouts.push_back(std::move(layout));
    }
    return layouts;
}

int SharedTaskNumber(std::string_view script, int taskNumber) {
    const int shared = ToInt(ScriptValue(key::kSharedTask, script));
    return shared != 0 ? shared : taskNumber;
}

std::string TaskRecordCondition(std::string_view script, int taskNumber) {
    const std::string condition = Trim(ScriptValue(key::kRecordCondition, script));
    if (!condition.empty())
        return "(" + condition + ")";
    return Format("iNode_=%d", SharedTaskNumber(script, taskNumber));
}

bool CheckResultTableNames(const ResultTableLayout& layout, std::string& message) {
    auto refuse = [&](const std::string& name, const std::string& key) {
        message = "“" + name + "”不能用作名称(" + key + ")：名称只能由字母、数字、下划线和汉字组成";
        return false;
    };
    if (!IsPlainName(layout.table))
        return refuse(layout.table, layout.tableKey);
    for (const std::string& column : layout.columns) {
        if (!IsPlainName(column))
            return refuse(column, layout.columnsKey);
    }
    return true;
}

bool ResultTableExists(std::string_view tableName) {
    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    auto rows = db.OpenRecordset("select name from sqlite_master where type='table'");
    if (!rows)
        return false;
    for (; !rows->IsEof(); rows->MoveNext()) {
        if (EqualsNoCase(rows->Text(size_t{0}), tableName))
            return true;
    }
    return false;
}

bool ParseFieldType(size_t fieldIndex, size_t typeCount, std::string_view typeWord, std::string& sqlType,
                    std::string& size, std::string& message) {
    sqlType.clear();
    size.clear();
    if (fieldIndex >= typeCount) {
        sqlType = "varchar";
        size = "(255)";
        return true;
    }
    const std::string word = Trim(typeWord);
    std::string typePart = word;
    const size_t open = word.find('(');
    if (open != std::string::npos) {
        const size_t close = word.rfind(')');
        if (close == std::string::npos || close < open) {
            message = "“" + word + "”中缺少“)！”";
            return false;
        }
        size = word.substr(open, close - open + 1);
        ReplaceAll(size, ".", ",");
        typePart = Trim(word.substr(0, open));
    }
    const char* type = LookUpType(ToLowerAscii(typePart));
    if (!type) {
        message = UnrecognisedType(word);
        return false;
    }
    sqlType = type;
    if (sqlType == "varchar") {
        if (size.empty())
            size = "(255)";
        if (!IsPlainSize(size, false)) {
            message = UnrecognisedType(word);
            return false;
        }
    } else if (sqlType == "decimal") {
        if (!size.empty() && !IsPlainSize(size, true)) {
            message = UnrecognisedType(word);
            return false;
        }
    } else {
        // The other types take no size; one written in the script is not honoured.
        size.clear();
    }
    return true;
}

bool EnsureResultTable(std::string_view script, int tableNumber, std::string& message) {
    const ResultTableLayout layout = ReadResultTableLayout(script, tableNumber);
    // The key that names the table, for messages that say which line is wrong.
    const std::string tableKey =
        tableNumber == 0 ? std::string(key::kTable) : NumberedKey(key::kTableStem, tableNumber, "=");
    if (layout.table.empty()) {
        message = "没有设置表名！(" + tableKey + ")";
        return false;
    }
    if (!CheckResultTableNames(layout, message))
        return false;
    const size_t typeCount = layout.typeWords.size();
    auto typeOf = [&](size_t i, std::string& columnType) {
        std::string type;
        std::string size;
        const std::string word = i < typeCount ? layout.typeWords[i] : std::string();
        if (!ParseFieldType(i, typeCount, word, type, size, message))
            return false;
        columnType = type + size;
        return true;
    };

    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    if (ResultTableExists(layout.table)) {
        auto rows = db.OpenRecordset("select top 1 * from " + layout.table);
        if (!rows) {
            message = "打开一个记录集失败!";
            return false;
        }
        std::set<std::string> present;
        for (const std::string& column : rows->Columns())
            present.insert(ToLowerAscii(column));
        for (size_t i = 0; i < layout.columns.size(); ++i) {
            const std::string lower = ToLowerAscii(layout.columns[i]);
            if (lower == "id_" || lower == "inode_" || present.count(lower))
                continue;
            std::string columnType;
            if (!typeOf(i, columnType))
                return false;
            if (!db.ExecuteSql(Format("alter table %s add column %s %s", layout.table.c_str(),
                                      layout.columns[i].c_str(), columnType.c_str()))) {
                message = "增加字段失败!\r\n" + db.m_strProviderError;
                return false;
            }
            present.insert(lower);
        }
        return true;
    }

    std::string sql = Format("Create Table %s(ID_ IDENTITY CONSTRAINT PK_%s PRIMARY KEY,iNode_ int",
                             layout.table.c_str(), layout.table.c_str());
    for (size_t i = 0; i < layout.columns.size(); ++i) {
        std::string columnType;
        if (!typeOf(i, columnType))
            return false;
        sql += "," + layout.columns[i] + " " + columnType;
    }
    sql += ")";
    if (!db.ExecuteSql(sql)) {
        message = "建表失败!(" + tableKey + layout.table + ")";
        if (!db.m_strProviderError.empty())
            message += "\r\n" + db.m_strProviderError;
        return false;
    }
    return true;
}

}  // namespace sorvik
