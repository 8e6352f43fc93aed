#include "workbench/result_grid_commands.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>

#include "engine/download_folder.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "text/file_helpers.h"
#include "text/strings.h"
#include "workbench/result_query.h"

namespace sorvik {

namespace {

// A key of the task's script, else of its settings text.
std::string TaskKey(const ResultQuery& query, std::string_view key) {
    std::string value = Trim(ScriptValue(key, query.script));
    if (value.empty()) {
        std::scoped_lock lock(g_csDatabase);
        value = Trim(ScriptValue(key, CTaskTable().ReadTaskText(query.taskId, true)));
    }
    return value;
}

bool Prepare(int taskId, ResultQuery& query, std::string& error) {
    bool refused = false;
    return PrepareResultQuery(taskId, "", query, error, refused);
}

std::string IdList(const std::vector<long long>& ids) {
    std::vector<std::string> items;
    for (const long long id : ids)
        items.push_back(std::to_string(id));
    return Join(items, ",");
}

}  // namespace

std::vector<std::string> LevelMenuTexts() {
    std::vector<std::string> texts;
    for (int level = 1; level <= 9; ++level)
        texts.push_back(Format("%d级", level));
    texts.push_back("0级");
    return texts;
}

bool SetRecordLevel(int taskId, const std::vector<long long>& ids, int level, std::string& error) {
    ResultQuery query;
    if (!Prepare(taskId, query, error))
        return false;
    const int field = FindResultColumn(query.columns, TaskKey(query, "#级别字段="));
    if (field < 0 || !query.tableExists) {
        error = "找不到级别字段！";
        return false;
    }
    const std::string value = level >= 1 && level <= 9 ? std::to_string(level) : std::string("null");
    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    for (const long long id : ids) {
        if (!db.ExecuteSql(Format("update %s set %s=%s where ID_=%lld", query.table.c_str(),
                                  query.columns[field].column.c_str(), value.c_str(), id))) {
            error = "更新数据表失败！";
            return false;
        }
    }
    return true;
}

bool DeleteResultRecords(int taskId, const std::vector<long long>& ids, WorkbenchPrompt& prompt,
                         RecordDeleteOutcome& outcome) {
    outcome = RecordDeleteOutcome{};
    if (ids.empty() || !prompt.AskOkCancel("确定删除选定的记录吗？"))
        return false;
    ResultQuery query;
    std::string error;
    if (!Prepare(taskId, query, error)) {
        prompt.ShowMessage(error);
        return false;
    }
    if (!query.tableExists)
        return false;
    std::vector<std::string> fileColumns;
    for (const std::string& title : SplitList(TaskKey(query, "#表格栏_删除记录_删除文件="))) {
        const int field = FindResultColumn(query.columns, title);
        if (field >= 0)
            fileColumns.push_back(query.columns[field].column);
    }
    const std::string folder = DownloadFolder(taskId).Path();
    for (const long long id : ids) {
        std::vector<std::string> names;
        std::scoped_lock lock(g_csDatabase);
        CDbAccess db;
        if (!fileColumns.empty()) {
            auto row = db.OpenRecordset(Format("select %s from %s where ID_=%lld",
                                               Join(fileColumns, ",").c_str(), query.table.c_str(), id));
            for (size_t i = 0; row && !row->IsEof() && i < fileColumns.size(); ++i) {
                // A field may hold several names, one a line or separated by 0x01.
                std::string value = row->Text(i);
                ReplaceAll(value, "\x01", "\n");
                for (const std::string& name : SplitAll(value, "\n"))
                    names.push_back(name);
            }
        }
        for (const std::string& name : names) {
            const std::string file = DownloadFolder::FileOfName(folder, name);
            std::error_code ec;
            if (!file.empty() && std::filesystem::is_regular_file(file, ec) &&
                std::filesystem::remove(file, ec))
                ++outcome.filesDeleted;
        }
        if (db.ExecuteSql(Format("delete from %s where ID_=%lld", query.table.c_str(), id)))
            ++outcome.deleted;
        else
            outcome.failures += "删除失败！\r\n";
    }
    if (!outcome.failures.empty())
        prompt.ShowMessage(outcome.failures);
    return true;
}

bool GridKeywordList(int taskId, const std::vector<long long>* ids, std::string& list, std::string& error) {
    list.clear();
    ResultQuery query;
    if (!Prepare(taskId, query, error))
        return false;
    const int keywordField = FindResultColumn(query.columns, TaskKey(query, "#搜索关键字标题="));
    if (keywordField < 0) {
        error = "找不到搜索关键字字段！";
        return false;
    }
    const std::string& keywordColumn = query.columns[keywordField].column;
    std::vector<std::string> keywords;
    if (query.tableExists && (ids == nullptr || !ids->empty())) {
        std::string sql;
        if (ids != nullptr) {
            sql = Format("select ID_,%s from %s where ID_ in (%s)", keywordColumn.c_str(),
                         query.table.c_str(), IdList(*ids).c_str());
        } else {
            const int searchedField = FindResultColumn(query.columns, TaskKey(query, "#已搜索字段标题="));
            if (searchedField < 0) {
                error = "找不到已搜索字段！";
                return false;
            }
            const std::string& searched = query.columns[searchedField].column;
            sql = Format("select ID_,%s from %s where %s and (%s is null or %s='') order by ID_",
                         keywordColumn.c_str(), query.table.c_str(), query.condition.c_str(),
                         searched.c_str(), searched.c_str());
        }
        std::scoped_lock lock(g_csDatabase);
        CDbAccess db;
        auto rows = db.OpenRecordset(sql);
        if (!rows) {
            error = db.m_strError;
            return false;
        }
        std::map<long long, std::string> byId;
        for (; !rows->IsEof(); rows->MoveNext()) {
            const std::string keyword = Trim(rows->Text(1));
            if (keyword.empty())
                continue;
            if (ids == nullptr)
                keywords.push_back(keyword);
            else
                byId[rows->Int(0)] = keyword;
        }
        if (ids != nullptr) {
            for (const long long id : *ids) {
                if (auto found = byId.find(id); found != byId.end())
                    keywords.push_back(found->second);
            }
        }
    }
    if (keywords.empty()) {
        error = "所有关键字都已搜索！";
        return false;
    }
    list = Join(keywords, "\r\n");
    return true;
}

}  // namespace sorvik
