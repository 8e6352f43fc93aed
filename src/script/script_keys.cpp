#include "script/script_keys.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "text/gb_text.h"
#include "text/strings.h"

namespace sorvik {

namespace {

constexpr TaskKeyEntry Exact(std::string_view key) {
    return {key, {}, KeyForm::kExact};
}
constexpr TaskKeyEntry Numbered(std::string_view stem, std::string_view suffix) {
    return {stem, suffix, KeyForm::kNumbered};
}
constexpr TaskKeyEntry Prefix(std::string_view stem) {
    return {stem, {}, KeyForm::kPrefix};
}

const TaskKeyEntry kTaskKeys[] = {
    // the task and its results
    Exact(key::kTaskName), Exact(key::kTaskType), Exact(key::kCategory), Exact(key::kCategoryName),
    Exact(key::kTemplateName), Exact(key::kTaskKind), Exact(key::kTable), Exact(key::kFieldList),
    Exact(key::kTestFieldList), Exact(key::kAliasList), Exact(key::kTypeList), Exact(key::kUniqueFields),
    Exact(key::kUpdateMode), Exact(key::kBatchSize), Exact(key::kKeepBoundaries), Exact(key::kSharedTask),
    Exact(key::kRecordCondition), Exact(key::kNoThread), Numbered(key::kAfterRunStem, "="),
    // pages and keywords
    Exact(key::kStartUrl), Exact(key::kStartUrlRange), Exact(key::kTestStartUrl), Exact(key::kKeywordUrl),
    Exact(key::kKeywordUrlRange), Exact(key::kKeywordUrlSettings), Exact(key::kKeywordEncoding),
    Numbered(key::kKeywordUrlStem, "="), Numbered(key::kKeywordUrlStem, "_关键字编码方式="),
    Exact(key::kSplitBlanks), Exact(key::kKeywordTitle), Exact(key::kSearchedTitle), Exact(key::kNextPage),
    Numbered(key::kNextPageStem, "="), Exact(key::kSearchEngines), Exact(key::kChosenEngines),
    Exact(key::kEnginesInBrowser), Exact(key::kSearchCategories), Exact(key::kDefaultCategory),
    Exact(key::kKeywordUpdate), Exact(key::kConnections), Exact(key::kRequestInterval),
    Exact(key::kUserAgent), Exact(key::kMaxPages), Exact(key::kObeyRobots),
    // entry lists and downloads
    Exact("#取值="), Numbered(key::kTakeValueList, "="), Numbered(key::kTakeValueList, "_1="),
    Exact("#下载源文件="), Numbered(key::kSourceCopyList, "="), Numbered(key::kSourceCopyList, "_1="),
    Exact("#下载文件="), Numbered(key::kFileList, "="), Numbered(key::kFileList, "_1="),
    Exact("#下载头文件="), Numbered(key::kHeadCopyList, "="), Numbered(key::kHeadCopyList, "_1="),
    Exact("#下一页退出条件="), Numbered(key::kNextPageExitList, "="), Numbered(key::kNextPageExitList, "_1="),
    Exact(key::kSourceBeforeFields), Exact(key::kSourceBeforeFiles), Exact(key::kDownloadOptions),
    Exact(key::kDownloadOption),
    // result tables
    Numbered(key::kTableStem, "="), Numbered(key::kTableStem, "_字段名列表="),
    Numbered(key::kTableStem, "_字段类型="), Numbered(key::kTableStem, "_字段别名列表="),
    Numbered(key::kTableStem, "_唯一字段="), Exact(key::kFirstTableFields), Exact(key::kFirstTableTypes),
    Exact(key::kFirstTableAliases), Exact("#字段别名列表_表名列表="), Numbered(key::kMakeTableStem, "="),
    Numbered(key::kMakeTableStem, "_插入值="),
    // mail tasks and mail accounts (the account lives in the task's settings)
    Exact(key::kOutbox), Exact(key::kMailField), Exact(key::kUpdateField), Exact(key::kCurrentMail),
    Exact("#SMTP服务器="), Exact("#服务器端口="), Exact("#用户名="), Exact("#密码="), Exact("#发信地址="),
    Exact("#发信姓名="), Exact("#POP3服务器="), Exact("#使用安全密码验证登录="), Exact("#验证服务器证书="),
    Exact("#发送邮件_默认模板="),
    // views, filter bar, grid commands and favourites (kept by the workbench)
    Exact("#查询字段名="), Exact("#查询操作符="), Exact("#超包含表达式="), Exact("#查询排序选项="),
    Exact("#是否即时过滤="), Exact("#查询模版号="), Numbered("#查询字段名", "="),
    Numbered("#查询操作符", "="), Numbered("#超包含表达式", "="), Numbered("#查询排序选项", "="),
    Numbered("#是否即时过滤", "="), Numbered("#查询模版号", "="), Exact("#级别字段="),
    Prefix("#表格_右键菜单_"), Exact("#表格每页记录数="), Exact("#浏览记录模板号="),
    Exact("#浏览记录每页记录数="), Exact("#记录明细模板号="), Exact("#记录明细每页记录数="),
    Exact("#是否显示浏览记录="), Exact("#是否显示记录明细="), Exact("#字段宽度="),
    Exact("#加亮关键字字段标题="), Exact("#可替换操作的字段标题="), Exact("#只显示备注型字段="),
    Exact("#记录明细_设置="), Exact("#浏览记录_设置="), Exact("#记录明细_显示字段列表="),
    Exact("#浏览记录_显示字段列表="), Exact("#浏览记录_显示字段列表_宽度="),
    Exact("#表格栏_删除记录_删除文件="), Exact("#搜索栏高度="), Exact("#是否显示详细情况="),
    Exact("#是否显示过滤栏和表格="), Exact("#非详细情况高度="), Exact("#收藏表名列表="),
    Exact("#收藏_默认类别号="),
    // a test run's keyword (not a "#" key, but a task key all the same)
    Exact(key::kTestKeyword)};

const RuleWordEntry kRuleWords[] = {
    // fields (and, where marked, entries and variables), in the order the field chain runs them
    {rule::kWhich, false, kFieldOwner, false},
    {rule::kNarrowing, true, kFieldOwner | kEntryOwner, true},
    {rule::kLink, false, kFieldOwner | kEntryOwner, true},
    {rule::kLinkAll, false, kFieldOwner, true},
    {rule::kFetchMode, false, kFieldOwner | kVariableOwner | kEntryOwner, false},
    {rule::kReplaceSource, true, kFieldOwner | kEntryOwner, false},
    {rule::kReplaceTarget, true, kFieldOwner | kEntryOwner, false},
    {rule::kRegexSource, true, kFieldOwner | kVariableOwner | kEntryOwner, true},
    {rule::kRegexTarget, true, kFieldOwner | kVariableOwner | kEntryOwner, false},
    {rule::kPackSource, true, kFieldOwner, false},
    {rule::kPackTarget, true, kFieldOwner, false},
    {rule::kSearchCondition, true, kFieldOwner, true},
    {rule::kDeleteCondition, true, kFieldOwner, true},
    {rule::kInitialValue, false, kFieldOwner, false},
    {rule::kOperation, true, kFieldOwner | kVariableOwner | kEntryOwner, false},
    // variables
    {rule::kTest, false, kVariableOwner, false},
    {rule::kRegexCut, false, kVariableOwner, true},
    {rule::kRegexCut, true, kVariableOwner, true},
    {rule::kDateForm, false, kVariableOwner, false},
    {rule::kLeftPart, false, kVariableOwner, false},
    {rule::kIfNotEmpty, false, kVariableOwner, false},
    {rule::kIfEmpty, false, kVariableOwner, false},
    {rule::kTailFrom, false, kVariableOwner, false},
    {rule::kTailTo, false, kVariableOwner, false},
    {rule::kTailReplacement, false, kVariableOwner, false},
    {rule::kTailRepeat, false, kVariableOwner, false},
    {rule::kSplit, false, kVariableOwner, false},
    // entries
    {rule::kEntryUrl, false, kEntryOwner, false},
    {rule::kEntryUrlEncoding, false, kEntryOwner, false},
    {rule::kEntryUrlToMemory, false, kEntryOwner, false},
    {rule::kIfEmpty, true, kEntryOwner, true},
    {rule::kToMemory, false, kEntryOwner, false},
    {rule::kLinkIfEmpty, true, kEntryOwner, true},
    {rule::kLinkToMemory, false, kEntryOwner, false},
    // download options and search categories
    {rule::kWriteBack, false, kOptionOwner, false},
    {rule::kListData, false, kCategoryOwner, false},
    {rule::kSettings, false, kCategoryOwner, false},
    {rule::kDefault, false, kCategoryOwner, false}};

const std::string_view kOperations[] = {op::kReplace, op::kTake,      op::kIfEmpty,     op::kFetch,
                                        op::kFind,    op::kCompare,   op::kToUrl,       op::kToLink,
                                        op::kSql,     op::kTableData, op::kAddToMemory, op::kSave};

const std::string_view kReplaceModes[] = {op::kPlain, op::kEscaped, op::kOnly,     op::kHalfWidthDigits,
                                          op::kTrim,  op::kCutFrom, op::kReturnId, op::kRegex};

const std::string_view kFetchModes[] = {fetch::kText, fetch::kPlainText, fetch::kLink, fetch::kEmail,
                                        fetch::kPageSource};

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

bool Matches(const TaskKeyEntry& entry, std::string_view key) {
    switch (entry.form) {
        case KeyForm::kExact:
            return key == entry.stem;
        case KeyForm::kPrefix:
            return key.size() > entry.stem.size() + 1 && key.starts_with(entry.stem) && key.ends_with('=');
        case KeyForm::kNumbered:
            if (key.size() <= entry.stem.size() + entry.suffix.size() || !key.starts_with(entry.stem) ||
                !key.ends_with(entry.suffix))
                return false;
            return AllDigits(
                key.substr(entry.stem.size(), key.size() - entry.stem.size() - entry.suffix.size()));
    }
    return false;
}

// The characters of a GB18030 text, each as its bytes.
std::vector<std::string_view> Characters(std::string_view text) {
    std::vector<std::string_view> out;
    for (size_t pos = 0; pos < text.size();) {
        const size_t length = std::max<size_t>(1, GbCharLength(text, pos));
        out.push_back(text.substr(pos, length));
        pos += length;
    }
    return out;
}

size_t EditDistance(std::string_view a, std::string_view b) {
    const std::vector<std::string_view> x = Characters(a);
    const std::vector<std::string_view> y = Characters(b);
    std::vector<size_t> row(y.size() + 1);
    for (size_t j = 0; j <= y.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= x.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= y.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[y.size()];
}

}  // namespace

std::span<const TaskKeyEntry> KnownTaskKeys() {
    return kTaskKeys;
}

std::span<const RuleWordEntry> KnownRuleWords() {
    return kRuleWords;
}

std::span<const std::string_view> KnownOperations() {
    return kOperations;
}

std::span<const std::string_view> KnownReplaceModes() {
    return kReplaceModes;
}

std::span<const std::string_view> KnownFetchModes() {
    return kFetchModes;
}

std::string KeyDisplayName(const TaskKeyEntry& entry) {
    switch (entry.form) {
        case KeyForm::kExact:
            return std::string(entry.stem);
        case KeyForm::kNumbered:
            return std::string(entry.stem) + "N" + std::string(entry.suffix);
        case KeyForm::kPrefix:
            return std::string(entry.stem) + "...";
    }
    return {};
}

bool IsKnownTaskKey(std::string_view key) {
    return std::any_of(std::begin(kTaskKeys), std::end(kTaskKeys),
                       [&](const TaskKeyEntry& entry) { return Matches(entry, key); });
}

std::string ClosestTaskKey(std::string_view key) {
    std::string best;
    size_t bestDistance = 0;
    for (const TaskKeyEntry& entry : kTaskKeys) {
        // A numbered key is compared in its first form, so that "#表名1_字段类行=" finds its key.
        const std::string candidate = entry.form == KeyForm::kNumbered
                                          ? NumberedKey(entry.stem, 1, entry.suffix)
                                          : std::string(entry.stem);
        const size_t distance = EditDistance(key, candidate);
        if (best.empty() || distance < bestDistance) {
            best = KeyDisplayName(entry);
            bestDistance = distance;
        }
    }
    // More than a third of the key changed is another key, not a slip.
    const size_t length = Characters(key).size();
    return bestDistance > 0 && bestDistance * 3 <= length ? best : std::string();
}

const RuleWordEntry* FindRuleWord(std::string_view rest, unsigned owner) {
    for (const RuleWordEntry& entry : kRuleWords) {
        if (!(entry.owners & owner) || !rest.starts_with(entry.word))
            continue;
        const std::string_view number = rest.substr(entry.word.size());
        if (entry.numbered ? AllDigits(number) : number.empty())
            return &entry;
    }
    return nullptr;
}

bool IsKnownFetchMode(std::string_view mode) {
    if (mode.starts_with(fetch::kPageSource)) {
        const std::string_view option = mode.substr(fetch::kPageSource.size());
        return option.empty() || EqualsNoCase(option, ";UTF8") || EqualsNoCase(option, ";UTF-8");
    }
    return std::find(std::begin(kFetchModes), std::end(kFetchModes), mode) != std::end(kFetchModes);
}

std::string NumberedKey(std::string_view stem, int number, std::string_view suffix) {
    std::string key(stem);
    key += std::to_string(number);
    key += suffix;
    return key;
}

}  // namespace sorvik
