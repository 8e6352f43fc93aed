#include "workbench/search_bar.h"

#include <mutex>

#include "script/script_keys.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/db_access.h"
#include "text/strings.h"

namespace sorvik {

namespace {

// A table or column name taken from a script goes into a statement as it is; refuse anything
// that could carry more than a name.
bool IsPlainName(std::string_view name) {
    if (name.empty())
        return false;
    for (const char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (!(u >= 0x80 || (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
              u == '_'))
            return false;
    }
    return true;
}

bool ReadListValues(std::string_view listData, std::vector<std::string>& values, std::string& error) {
    const std::vector<std::string> parts = SplitList(listData);
    const std::string table = parts.empty() ? std::string() : Trim(parts[0]);
    const std::string column = parts.size() > 1 ? Trim(parts[1]) : std::string();
    std::string sql;
    if (!column.empty()) {
        sql = Format("select distinct %s from %s where %s<>'' and %s is not null", column.c_str(),
                     table.c_str(), column.c_str(), column.c_str());
    } else {
        sql = Format("select  %s from %s  where cName_<>'' and cName_ is not null order by ID_", "cName_",
                     table.c_str());
    }
    bool ok = IsPlainName(table) && (column.empty() || IsPlainName(column));
    if (ok) {
        std::scoped_lock lock(g_csDatabase);
        CDbAccess db;
        auto rows = db.OpenRecordset(sql);
        ok = rows.has_value();
        for (; ok && !rows->IsEof(); rows->MoveNext())
            values.push_back(rows->Text(size_t{0}));
    }
    if (!ok)
        error = Format("读取表%s失败！", table.c_str());
    return ok;
}

}  // namespace

SearchBarModel BuildSearchBar(std::string_view script, std::string& error) {
    SearchBarModel model;
    model.keywordBox = !Trim(ScriptValue(key::kKeywordUrl, script)).empty() ||
                       !Trim(ScriptValue(key::kSearchEngines, script)).empty();
    for (const std::string& item : SplitList(ScriptValue(key::kSearchCategories, script))) {
        SearchCategoryChoice choice;
        choice.name = Trim(item);
        if (choice.name.empty())
            continue;
        choice.value = ScriptValue(choice.name + "_默认值=", script);
        choice.listOnly = ScriptValue(choice.name + "_设置=", script).find("菜单") != std::string::npos;
        const std::string listData = Trim(ScriptValue(choice.name + "_列表数据=", script));
        std::string listError;
        if (!listData.empty() && !ReadListValues(listData, choice.values, listError) && error.empty())
            error = listError;
        if (choice.listOnly && choice.value.empty() && !choice.values.empty())
            choice.value = choice.values.front();
        model.categories.push_back(std::move(choice));
    }
    for (const std::string& option : SplitList(ScriptValue(key::kDownloadOptions, script))) {
        if (!Trim(option).empty())
            model.options.push_back(Trim(option));
    }
    model.option = Trim(ScriptValue(key::kDownloadOption, script));
    return model;
}

std::string SearchObjectText(const std::vector<std::string>& values) {
    return Join(values, "\r\n");
}

std::string DownloadOptionText(std::string_view script, std::string_view option) {
    if (option.empty())
        return {};
    std::string text = "#下载选项_默认值=" + std::string(option) + "\r\n";
    text += std::string(option) + "=" + ScriptValue(std::string(option) + "=", script) + "\r\n";
    text += "#搜索类别=" + ScriptValue(key::kSearchCategories, script) + "\r\n";
    return text;
}

bool LoadKeywordHistory(std::vector<std::string>& items, std::string& error) {
    items.clear();
    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    if (!db.SelectToArray("cSearchKey", "sc_tm_SearchKey", items, "cSearchKey<>'' and cSearchKey is not null",
                          true, -1, "")) {
        error = db.m_strError;
        return false;
    }
    items.push_back(kDeleteHistoryItem);
    return true;
}

bool ClearKeywordHistory(std::string& error) {
    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    if (!db.ExecuteSql("delete from sc_tm_SearchKey")) {
        error = db.m_strError;
        return false;
    }
    return true;
}

}  // namespace sorvik
