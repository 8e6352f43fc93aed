#include "workbench/favourites.h"

#include <mutex>

#include "engine/result_columns.h"
#include "engine/result_table.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/task_table.h"
#include "store/transaction.h"
#include "text/gb_text.h"
#include "text/strings.h"
#include "workbench/category_tree.h"
#include "workbench/result_query.h"

namespace sorvik {

namespace {

constexpr std::string_view kMe = "_me";
constexpr int kFolderIcon = 2;
constexpr int kFavouritesIcon = 3;

std::string StripMe(std::string_view table) {
    if (table.size() >= kMe.size() && table.substr(table.size() - kMe.size()) == kMe)
        table.remove_suffix(kMe.size());
    return std::string(table);
}

bool Listed(std::string_view favouritesList, const std::string& strippedTable) {
    if (strippedTable.empty())
        return false;
    for (const std::string& item : SplitList(favouritesList)) {
        if (EqualsNoCase(StripMe(item), strippedTable))
            return true;
    }
    return false;
}

// The condition that a row of the temporary table has no twin among the destination task's
// records: equal unique columns, or equal copied columns when there are none ("is" matches NULLs).
std::string NotCopiedYet(const std::string& destTable, int destNode, const std::string& tmpTable,
                         const std::vector<std::string>& keyColumns) {
    std::string sql = Format("not exists (select ID_ from %s where %s.iNode_=%d", destTable.c_str(),
                             destTable.c_str(), destNode);
    for (const std::string& column : keyColumns) {
        sql += Format(" and %s.%s is %s.%s", destTable.c_str(), column.c_str(), tmpTable.c_str(),
                      column.c_str());
    }
    return sql + ")";
}

// Creates the favourites task of the category (steps of a first collection). Runs inside the
// caller's transaction.
bool CreateFavouritesTask(const CategoryNode& category, int sourceTaskId, const std::string& sourceScript,
                          const std::string& sourceTable, int& newTaskId, bool& imageChanged,
                          std::string& message) {
    std::string script = sourceScript;
    SetScriptValue("#表名=", script, FavouritesTableName(sourceTable));
    // The copies are filed under the new task's own number and shown by it alone.
    SetScriptValue("#表数据过滤条件=", script, "");
    SetScriptValue("#共用任务号=", script, "");
    std::string reason;
    if (!EnsureResultTable(script, 0, reason)) {
        message = "收藏失败！(建表出错)\r\n" + reason;
        return false;
    }
    CTaskTable tasks;
    newTaskId = tasks.AllocateTaskId();
    if (newTaskId <= 0 || !tasks.InsertTask(newTaskId, category.name, TaskState::kHidden,
                                            Trim(ScriptValue("#要搜索网址=", sourceScript)), 3, script)) {
        message = g_strDbError.Get();
        return false;
    }
    const std::string settings = tasks.ReadTaskText(sourceTaskId, true);
    if (!tasks.ExecuteSql(Format("update task set cSetInfo='%s' where %s", SqlQuote(settings).c_str(),
                                 Format("ID=%d", newTaskId).c_str())) ||
        tasks.SetTaskScriptValue(newTaskId, "#任务类别", "收藏夹", true) != 1) {
        message = "更新任务表失败！";
        return false;
    }
    imageChanged = category.image == kFolderIcon;
    const std::string bind =
        imageChanged ? Format("update TreeItems set iTask=%d,iImage=%d where ID=%d", newTaskId,
                              kFavouritesIcon, category.id)
                     : Format("update TreeItems set iTask=%d where ID=%d", newTaskId, category.id);
    if (!tasks.ExecuteSql(bind)) {
        message = "更新类别表失败！";
        return false;
    }
    return true;
}

}  // namespace

std::string FavouritesTableName(const std::string& sourceTable) {
    std::string name = sourceTable + std::string(kMe);
    if (name.size() >= 6 && name.substr(name.size() - 6) == "_me_me")
        name.resize(name.size() - 3);
    return name;
}

int DefaultFavouritesCategory(int sourceTaskId, int currentNodeId) {
    std::scoped_lock lock(g_csDatabase);
    CTaskTable tasks;
    std::string value = Trim(GetKeyValue("#收藏_默认类别号", tasks.ReadTaskText(sourceTaskId, true)));
    if (value.empty())
        value = Trim(GetKeyValue("#收藏_默认类别号", tasks.ReadTaskScript(sourceTaskId)));
    const int id = ToInt(value);
    return id > 0 ? id : currentNodeId;
}

bool IsFavouritesTask(int taskId) {
    std::scoped_lock lock(g_csDatabase);
    return Trim(GetKeyValue("#任务类别", CTaskTable().ReadTaskText(taskId, true))) == "收藏夹";
}

bool CollectRecords(int sourceTaskId, const std::vector<long long>& recordIds, int categoryId,
                    CollectResult& result, std::string& message) {
    result = CollectResult();
    if (recordIds.empty()) {
        message = "没有记录或没有选择记录！";
        return false;
    }
    std::scoped_lock lock(g_csDatabase);
    CategoryNode category;
    std::string error;
    if (categoryId <= 0 || !ReadCategory(categoryId, category, error)) {
        message = "请选择要收藏的类别！";
        return false;
    }
    CTaskTable tasks;
    const int destTaskId = tasks.GetCategoryTaskId(categoryId);
    const std::string destScript = destTaskId > 0 ? tasks.ReadTaskScript(destTaskId) : std::string();
    const std::string sourceScript = tasks.ReadTaskScript(sourceTaskId);
    const std::string destTableFull = Trim(ScriptValue("#表名=", destScript));
    const std::string sourceTable = Trim(ScriptValue("#表名=", sourceScript));
    const std::string destTable = StripMe(destTableFull);
    const std::string strippedSource = StripMe(sourceTable);

    // The columns the copy reads: those of the source table that its script names.
    ResultQuery source;
    bool refused = false;
    if (!PrepareResultQuery(sourceTaskId, "", source, error, refused)) {
        message = error;
        return false;
    }
    if (!IsPlainName(sourceTable) || (!destTableFull.empty() && !IsPlainName(destTableFull))) {
        message = "不能选择该类别！";
        return false;
    }
    // Columns of both tables, for a copy into a listed table.
    const std::vector<ResultColumn> destColumns = ReadResultColumns(destScript);
    std::vector<std::string> common;
    for (const ResultColumn& column : source.columns) {
        for (const ResultColumn& other : destColumns) {
            if (EqualsNoCase(other.column, column.column)) {
                common.push_back(column.column);
                break;
            }
        }
    }

    const bool listed = Listed(ScriptValue("#收藏表名列表=", sourceScript), destTable);
    bool listedCopy = false;
    bool mustBeListed = false;
    if (category.kind > 0) {
        mustBeListed = true;
    } else if (destScript.empty()) {
        listedCopy = false;
    } else if (!EqualsNoCase(destTable, strippedSource) || destTaskId == sourceTaskId) {
        mustBeListed = true;
    } else {
        listedCopy = listed;
    }
    if (mustBeListed) {
        if (!listed) {
            message = "不能选择该类别！";
            return false;
        }
        listedCopy = true;
    }
    std::vector<CategoryNode> nodes;
    if (!LoadCategoryTree(nodes, error)) {
        message = error;
        return false;
    }
    for (const CategoryNode& node : nodes) {
        if (node.parentId == categoryId) {
            message = "请选择最末级的类别！";
            return false;
        }
    }
    tasks.SetTaskScriptValue(sourceTaskId, "#收藏_默认类别号", std::to_string(categoryId), true);
    if (destTaskId > 0 && Trim(GetKeyValue("#任务类别", tasks.ReadTaskText(destTaskId, true))) != "收藏夹") {
        message = "不能选择该类别！";
        return false;
    }

    Transaction transaction(error);
    if (!transaction.IsOpen()) {
        message = "收藏记录失败！\r\n" + error;
        return false;
    }
    result.destinationTaskId = destTaskId;
    std::string intoTable = destTableFull;
    int destNode = destTaskId > 0 ? SharedTaskNumber(destScript, destTaskId) : 0;
    if (destTaskId <= 0) {
        if (!CreateFavouritesTask(category, sourceTaskId, sourceScript, sourceTable, result.destinationTaskId,
                                  result.imageChanged, message)) {
            result = CollectResult();
            return false;
        }
        result.createdTask = true;
        intoTable = FavouritesTableName(sourceTable);
        destNode = result.destinationTaskId;
    }

    std::vector<std::string> ids;
    for (long long id : recordIds)
        ids.push_back(std::to_string(id));
    const std::string condition = TaskRecordCondition(sourceScript, sourceTaskId);
    const std::string tmp = strippedSource + "_tmp";
    std::vector<std::string> copied = common;
    if (!listedCopy) {
        copied.clear();
        for (const ResultColumn& column : source.columns)
            copied.push_back(column.column);
    }
    const std::vector<std::string> uniques = SplitList(ScriptValue("#唯一字段=", sourceScript));
    std::vector<std::string> keys;
    for (const std::string& unique : uniques) {
        const int index = FindResultColumn(source.columns, unique);
        if (index >= 0)
            keys.push_back(source.columns[static_cast<size_t>(index)].column);
    }
    if (keys.empty())
        keys = copied;
    // iNode_ goes with every copy: without it the destination task would not see its records.
    const std::string columns = "iNode_," + Join(copied, ",");
    const std::string statements[] = {
        listedCopy ? Format("select %s into %s from %s where (%s) and ID_ in (%s)",
                            (Join(copied, ",") + ",iNode_").c_str(), tmp.c_str(), sourceTable.c_str(),
                            condition.c_str(), Join(ids, ",").c_str())
                   : Format("select * into %s from %s where (%s) and ID_ in (%s)", tmp.c_str(),
                            sourceTable.c_str(), condition.c_str(), Join(ids, ",").c_str()),
        Format("update %s set iNode_=%d", tmp.c_str(), destNode),
        Format("insert into %s (%s) select %s from %s where %s", intoTable.c_str(), columns.c_str(),
               columns.c_str(), tmp.c_str(), NotCopiedYet(intoTable, destNode, tmp, keys).c_str()),
        Format("drop table %s", tmp.c_str()),
    };
    CDbAccess db;
    const long long before = db.SelectCount(intoTable, Format("iNode_=%d", destNode));
    for (const std::string& sql : statements) {
        if (!db.ExecuteSql(sql)) {
            message = "收藏记录失败！\r\n" + db.m_strProviderError;
            result = CollectResult();
            return false;
        }
    }
    result.copied = db.SelectCount(intoTable, Format("iNode_=%d", destNode)) - before;
    if (!transaction.Commit(error)) {
        message = "收藏记录失败！\r\n" + error;
        result = CollectResult();
        return false;
    }
    return true;
}

}  // namespace sorvik
