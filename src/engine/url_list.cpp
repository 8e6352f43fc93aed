#include "engine/url_list.h"

#include <mutex>
#include <set>

#include "engine/variables.h"
#include "script/script_keys.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/db_access.h"
#include "text/code_page.h"
#include "text/gb_text.h"
#include "text/strings.h"
#include "text/url_coding.h"

namespace sorvik {
namespace {

constexpr std::string_view kKeywordTemplateKey = key::kKeywordUrl;
constexpr std::string_view kKeywordRangeKey = key::kKeywordUrlRange;
constexpr std::string_view kKeywordSettingKey = key::kKeywordUrlSettings;
const char* const kEmptyKeywordAllowed = "关键字可以为空";

// "key=" or "key" -> "key" (the template key without its "=").
std::string_view WithoutEquals(std::string_view key) {
    if (!key.empty() && key.back() == '=')
        key.remove_suffix(1);
    return key;
}

// Every "(*)" of url becomes the start value of the range (the text before the comma).
void ApplyRangeStart(std::string& url, std::string_view range) {
    if (range.empty())
        return;
    const size_t comma = range.find(',');
    const std::string start = Trim(range.substr(0, comma));
    ReplaceAll(url, "(*)", start);
}

bool Contains(const std::vector<std::string>& items, std::string_view item) {
    for (const std::string& candidate : items)
        if (candidate == item)
            return true;
    return false;
}

}  // namespace

std::string EncodeKeyword(std::string_view templateKey, std::string_view keyword, std::string_view script) {
    if (keyword.empty())
        return {};
    const std::string encodingKey = std::string(WithoutEquals(templateKey)) + "_关键字编码方式=";
    if (Trim(ScriptValue(encodingKey, script)) == "UTF-8")
        return translateCharToUTF_8(keyword);
    return UrlEncodeText(keyword);
}

std::string FillKeywordTemplate(std::string_view urlTemplate, std::string_view keyword,
                                std::string_view script, int taskNumber, std::string_view searchObjectText) {
    const std::string encoded = EncodeKeyword(kKeywordTemplateKey, keyword, script);
    std::string url(urlTemplate);
    ReplaceAll(url, "(搜索关键字)", encoded);
    ReplaceAll(url, "<搜索关键字>", encoded);
    return SubstituteUrlVariables(url, script, taskNumber, keyword, searchObjectText);
}

std::string NormaliseKeywordText(std::string_view enteredText, std::string_view script) {
    std::string text = Trim(enteredText);
    while (ReplaceAll(text, "  ", " ") > 0) {
    }
    if (ScriptValue(key::kSplitBlanks, script) == "1")
        GbReplaceAll(text, " ", "\r\n");
    GbReplaceAll(text, "(", "");
    GbReplaceAll(text, ")", "");
    GbReplaceAll(text, "|", "\r\n");
    GbReplaceAll(text, "&", "\r\n");
    std::string list;
    std::set<std::string> seen;
    for (const std::string& keyword : SplitAll(text, "\r\n")) {
        if (keyword.empty() || !seen.insert(keyword).second)
            continue;
        list += keyword;
        list += "\r\n";
    }
    return list;
}

std::string BuildKeywordList(std::string_view enteredText, std::string_view script, int taskNumber,
                             std::string* historyError) {
    if (historyError)
        historyError->clear();
    if (!Trim(enteredText).empty()) {
        CDbAccess db;
        const std::string quoted = SqlQuote(enteredText);
        std::scoped_lock lock(g_csDatabase);
        if (!db.RecordExists("sc_tm_SearchKey", "cSearchKey='" + quoted + "'") && db.m_strError.empty()) {
            db.ExecuteSql(Format("insert into sc_tm_SearchKey (cSearchKey,iTask) values ('%s',%d)",
                                 quoted.c_str(), taskNumber));
        }
        if (historyError)
            *historyError = db.m_strError;
    }
    return NormaliseKeywordText(enteredText, script);
}

std::string SelectCurrentKeyword(std::string_view list, int searchKeyIndexPre, int searchKeyIndex) {
    if (searchKeyIndexPre < 1 || searchKeyIndex < 1) {
        size_t start = 0;
        while (true) {
            const size_t end = list.find("\r\n", start);
            std::string keyword(list.substr(start, end == std::string_view::npos ? end : end - start));
            if (!keyword.empty() || end == std::string_view::npos)
                return keyword;
            start = end + 2;
        }
    }
    const size_t from = static_cast<size_t>(searchKeyIndex);
    if (from > list.size())
        return {};
    const size_t end = list.find("\r\n", from);
    const size_t start = static_cast<size_t>(searchKeyIndexPre) + 2;
    if (end == std::string_view::npos || end <= start)
        return {};
    return std::string(list.substr(start, end - start));
}

bool EmptyKeywordAllowed(std::string_view script) {
    return ScriptValue(kKeywordSettingKey, script).find(kEmptyKeywordAllowed) != std::string::npos;
}

StartUrl BuildStartUrl(std::string_view script, std::string_view keywordList, int searchKeyIndexPre,
                       int searchKeyIndex, int taskNumber, std::string_view searchObjectText) {
    StartUrl result;
    const bool test = taskNumber == 0;
    const std::string plainUrl = Trim(ScriptValue(key::kStartUrl, script));
    std::string list(keywordList);
    if (test && plainUrl.empty() && list.empty())
        list = ScriptValue(key::kTestKeyword, script);
    const std::string keywordTemplate = Trim(ScriptValue(kKeywordTemplateKey, script));
    const bool emptyAllowed = EmptyKeywordAllowed(script);
    result.keywordRun = !list.empty() || (emptyAllowed && !keywordTemplate.empty());

    if (result.keywordRun) {
        const std::string range = Trim(ScriptValue(kKeywordRangeKey, script));
        result.keyword = std::string(
            GbPrefix(Trim(SelectCurrentKeyword(list, searchKeyIndexPre, searchKeyIndex)), kMaxKeywordBytes));
        std::string url =
            FillKeywordTemplate(keywordTemplate, result.keyword, script, taskNumber, searchObjectText);
        ApplyRangeStart(url, range);
        result.url = std::move(url);
        return result;
    }
    if (test && ScriptValue(key::kTestStartUrl, script) == "<空>")
        return result;
    std::string url = plainUrl;
    ApplyRangeStart(url, Trim(ScriptValue(key::kStartUrlRange, script)));
    result.url = std::move(url);
    return result;
}

SearchEnginePages OpenSearchEnginePages(std::string_view keyword, std::string_view script,
                                        std::string_view category) {
    SearchEnginePages result;
    const std::vector<std::string> names = SplitList(ScriptValue(key::kSearchEngines, script));
    if (names.empty())
        return result;
    const std::vector<std::string> flags = SplitAll(ScriptValue(key::kEnginesInBrowser, script), ",");
    const std::vector<std::string> chosen = SplitList(ScriptValue(key::kChosenEngines, script));
    const std::string defaultCategory = Trim(ScriptValue(key::kDefaultCategory, script));
    bool anyTemplate = false;
    for (size_t i = 1; i <= names.size() && i <= 999; ++i) {
        const std::string baseKey = i == 1 ? std::string(key::kKeywordUrlStem)
                                           : NumberedKey(key::kKeywordUrlStem, static_cast<int>(i), "");
        std::string templateKey = baseKey;
        std::string url;
        if (!category.empty()) {
            templateKey = baseKey + "_" + std::string(category);
            url = Trim(ScriptValue(templateKey + "=", script));
        }
        if (url.empty() && (category.empty() || category == defaultCategory)) {
            templateKey = baseKey;
            url = Trim(ScriptValue(baseKey + "=", script));
        }
        if (url.empty())
            continue;
        anyTemplate = true;
        const std::string& name = names[i - 1];
        if (!Contains(chosen, name))
            continue;
        ReplaceAll(url, "<搜索关键字>", EncodeKeyword(templateKey, keyword, script));
        SearchEnginePage page;
        page.url = std::move(url);
        page.openInDefaultBrowser = i - 1 < flags.size() && Trim(flags[i - 1]) == "1";
        page.title = std::string(keyword) + " - " + name;
        if (!category.empty())
            page.title += "[" + std::string(category) + "]";
        result.pages.push_back(std::move(page));
    }
    if (!anyTemplate)
        result.error = "该类别不能处理搜索关键字！";
    return result;
}

}  // namespace sorvik
