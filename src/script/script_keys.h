#pragma once
// The words a task script is read with, in one place: the task keys ("#..."), the rule words of
// per-field keys, the fetch modes and the operations. The engine reads its keys through these
// constants, and the script check and the script reference are built from the same tables, so the
// check cannot call a key unknown that the engine reads, nor know a key the engine ignores.
//
// All texts are GB18030 (the sources are compiled with -fexec-charset=GB18030).

#include <span>
#include <string>
#include <string_view>

namespace sorvik {

// Task keys as the engine passes them to the lookup ("=" included).
namespace key {
inline constexpr std::string_view kTaskName = "#任务名称=";
inline constexpr std::string_view kTaskType = "#任务类型=";
inline constexpr std::string_view kCategory = "#类别号=";
inline constexpr std::string_view kCategoryName = "#类别名称=";
inline constexpr std::string_view kTemplateName = "#脚本名称=";
inline constexpr std::string_view kTaskKind = "#任务类别=";
inline constexpr std::string_view kTable = "#表名=";
inline constexpr std::string_view kFieldList = "#字段名列表=";
inline constexpr std::string_view kTestFieldList = "#字段名列表_测试=";
inline constexpr std::string_view kAliasList = "#字段别名列表=";
inline constexpr std::string_view kTypeList = "#字段类型=";
inline constexpr std::string_view kUniqueFields = "#唯一字段=";
inline constexpr std::string_view kUpdateMode = "#更新模式=";
inline constexpr std::string_view kBatchSize = "#保存数据库的最大记录数=";
inline constexpr std::string_view kKeepBoundaries = "#是否保留字段值前后边界=";
inline constexpr std::string_view kSharedTask = "#共用任务号=";
inline constexpr std::string_view kRecordCondition = "#表数据过滤条件=";
inline constexpr std::string_view kNoThread = "#不启动线程=";
inline constexpr std::string_view kStartUrl = "#要搜索网址=";
inline constexpr std::string_view kStartUrlRange = "#要搜索网址_始末值=";
inline constexpr std::string_view kTestStartUrl = "#要搜索网址_测试=";
inline constexpr std::string_view kKeywordUrl = "#需要搜索关键字网址=";
inline constexpr std::string_view kKeywordUrlRange = "#需要搜索关键字网址_始末值=";
inline constexpr std::string_view kKeywordUrlSettings = "#需要搜索关键字网址_设置=";
inline constexpr std::string_view kKeywordEncoding = "#需要搜索关键字网址_关键字编码方式=";
inline constexpr std::string_view kTestKeyword = "<搜索关键字>=";
inline constexpr std::string_view kSplitBlanks = "#是否拆分空格=";
inline constexpr std::string_view kKeywordTitle = "#搜索关键字标题=";
inline constexpr std::string_view kSearchedTitle = "#已搜索字段标题=";
inline constexpr std::string_view kNextPage = "#下一页网址=";
inline constexpr std::string_view kSearchEngines = "#搜索引擎列表=";
inline constexpr std::string_view kChosenEngines = "#搜索引擎列表_用户选择=";
inline constexpr std::string_view kEnginesInBrowser = "#搜索引擎列表_用默认浏览器打开=";
inline constexpr std::string_view kSearchCategories = "#搜索类别=";
inline constexpr std::string_view kDefaultCategory = "#搜索类别_默认值=";
inline constexpr std::string_view kKeywordUpdate = "#已存在关键字时的更新=";
inline constexpr std::string_view kConnections = "#并发连接数=";
inline constexpr std::string_view kRequestInterval = "#访问间隔=";
inline constexpr std::string_view kUserAgent = "#用户代理=";
inline constexpr std::string_view kMaxPages = "#最大页数=";
inline constexpr std::string_view kObeyRobots = "#遵守robots=";
inline constexpr std::string_view kSourceBeforeFields = "#下载源文件_优先于_字段=";
inline constexpr std::string_view kSourceBeforeFiles = "#下载源文件_优先于_下载文件=";
inline constexpr std::string_view kDownloadOptions = "#下载选项=";
inline constexpr std::string_view kDownloadOption = "#下载选项_默认值=";
inline constexpr std::string_view kFirstTableFields = "#表名_字段名列表=";
inline constexpr std::string_view kFirstTableTypes = "#表名_字段类型=";
inline constexpr std::string_view kFirstTableAliases = "#表名_字段别名列表=";
inline constexpr std::string_view kOutbox = "#发送箱ID号=";
inline constexpr std::string_view kMailField = "#iMailField=";
inline constexpr std::string_view kUpdateField = "#cUpdateField=";
inline constexpr std::string_view kCurrentMail = "#当前Email号=";

// Stems of numbered keys: stem, a decimal number and the suffix ("#表名" 2 "_字段类型=").
inline constexpr std::string_view kTableStem = "#表名";
inline constexpr std::string_view kMakeTableStem = "#建表";
inline constexpr std::string_view kNextPageStem = "#下一页网址_";  // and one digit, the loop level
inline constexpr std::string_view kKeywordUrlStem = "#需要搜索关键字网址";
inline constexpr std::string_view kAfterRunStem = "#下载完成后_处理";

// Entry lists ("K=" one entry, else "K1=", "K2=", ...), without "=".
inline constexpr std::string_view kTakeValueList = "#取值";
inline constexpr std::string_view kSourceCopyList = "#下载源文件";
inline constexpr std::string_view kFileList = "#下载文件";
inline constexpr std::string_view kHeadCopyList = "#下载头文件";
inline constexpr std::string_view kNextPageExitList = "#下一页退出条件";
}  // namespace key

// Operation names ("F_处理1=NAME,...") and the modes of "替换字符串".
namespace op {
inline constexpr std::string_view kReplace = "替换字符串";
inline constexpr std::string_view kTake = "取值";
inline constexpr std::string_view kIfEmpty = "为空";
inline constexpr std::string_view kFetch = "获取";
inline constexpr std::string_view kFind = "查找";
inline constexpr std::string_view kCompare = "比较";
inline constexpr std::string_view kToUrl = "转换网址";
inline constexpr std::string_view kToLink = "转换成链接";
inline constexpr std::string_view kSql = "执行SQL";
inline constexpr std::string_view kTableData = "取表数据";
inline constexpr std::string_view kAddToMemory = "加入内存";
inline constexpr std::string_view kSave = "保存";

inline constexpr std::string_view kPlain = "普通";
inline constexpr std::string_view kEscaped = "转义";
inline constexpr std::string_view kOnly = "只含";
inline constexpr std::string_view kHalfWidthDigits = "全角数字转半角";
inline constexpr std::string_view kTrim = "删除前后空格";
inline constexpr std::string_view kCutFrom = "删除开头的";
inline constexpr std::string_view kReturnId = "返回ID";
inline constexpr std::string_view kRegex = "正则";  // also "取值,正则,..." and "为空,正则,..."
}  // namespace op

// Fetch modes ("F_获取=MODE", "获取,MODE"); the page source takes ";UTF8" or ";UTF-8" after it.
namespace fetch {
inline constexpr std::string_view kText = "文本";
inline constexpr std::string_view kPlainText = "纯文本";
inline constexpr std::string_view kLink = "超级链接";
inline constexpr std::string_view kEmail = "Email";
inline constexpr std::string_view kPageSource = "网页源码";
}  // namespace fetch

// Rule words of per-field keys: a name, the word and "=" ("名称_1" "_获取" "="); numbered words take
// a decimal number before the "=" ("名称_1" "_处理" 2 "=").
namespace rule {
inline constexpr std::string_view kWhich = "_第几个";
inline constexpr std::string_view kNarrowing = "_";  // numbered: "_1=" .. "_9="
inline constexpr std::string_view kLink = "_link";
inline constexpr std::string_view kLinkAll = "_linkadd";
inline constexpr std::string_view kFetchMode = "_获取";
inline constexpr std::string_view kReplaceSource = "_替换源串";
inline constexpr std::string_view kReplaceTarget = "_替换目标";
inline constexpr std::string_view kRegexSource = "_替换源串_正则";
inline constexpr std::string_view kRegexTarget = "_替换目标_正则";
inline constexpr std::string_view kPackSource = "_压缩源串";
inline constexpr std::string_view kPackTarget = "_压缩目标";
inline constexpr std::string_view kSearchCondition = "_搜索条件";
inline constexpr std::string_view kDeleteCondition = "_删除条件";
inline constexpr std::string_view kInitialValue = "_初始值";
inline constexpr std::string_view kOperation = "_处理";
inline constexpr std::string_view kTest = "_测试";
inline constexpr std::string_view kRegexCut = "_正则";
inline constexpr std::string_view kDateForm = "_格式化_日期型";
inline constexpr std::string_view kLeftPart = "_取左边字符串";
inline constexpr std::string_view kIfNotEmpty = "_非空";
inline constexpr std::string_view kIfEmpty = "_为空";
inline constexpr std::string_view kTailFrom = "_反向查找字符串_1";
inline constexpr std::string_view kTailTo = "_反向查找字符串_2";
inline constexpr std::string_view kTailReplacement = "_替换字符串";
inline constexpr std::string_view kTailRepeat = "_重复次数";
inline constexpr std::string_view kSplit = "_拆分字符串";
inline constexpr std::string_view kEntryUrl = "_网址";
inline constexpr std::string_view kEntryUrlEncoding = "_网址_编码方式";
inline constexpr std::string_view kEntryUrlToMemory = "_网址_加入内存";
inline constexpr std::string_view kToMemory = "_加入内存";
inline constexpr std::string_view kLinkIfEmpty = "_link_为空";
inline constexpr std::string_view kLinkToMemory = "_link_加入内存";
inline constexpr std::string_view kWriteBack = "_处理字段";
inline constexpr std::string_view kListData = "_列表数据";
inline constexpr std::string_view kSettings = "_设置";
inline constexpr std::string_view kDefault = "_默认值";
}  // namespace rule

// How a task key of the table is spelled.
enum class KeyForm {
    kExact,     // stem is the whole key, "=" included
    kNumbered,  // stem, a decimal number, then suffix ("=" included)
    kPrefix,    // stem and anything up to the "=" (script-defined names)
};

struct TaskKeyEntry {
    std::string_view stem;
    std::string_view suffix;  // kNumbered only
    KeyForm form;
};

// Who owns the name in front of a rule word.
enum RuleOwner : unsigned {
    kFieldOwner = 1,     // a field of the field list ("F_N" in the level form)
    kVariableOwner = 2,  // a variable token "<变量_x>"
    kEntryOwner = 4,     // an entry of an entry list
    kOptionOwner = 8,    // a download option (the value of "#下载选项_默认值=")
    kCategoryOwner = 16  // a search category of "#搜索类别="
};

struct RuleWordEntry {
    std::string_view word;
    bool numbered;    // the word takes a number before its "="
    unsigned owners;  // RuleOwner bits
    bool pattern;     // the value is a regular expression (with an optional boundary marker)
};

// The tables.
std::span<const TaskKeyEntry> KnownTaskKeys();
std::span<const RuleWordEntry> KnownRuleWords();
std::span<const std::string_view> KnownOperations();
std::span<const std::string_view> KnownReplaceModes();
std::span<const std::string_view> KnownFetchModes();

// The key as the reference writes it: numbered keys with "N" for the number ("#表名N_字段类型="),
// prefix keys with "..." for the name.
std::string KeyDisplayName(const TaskKeyEntry& entry);

// True when key (a whole "#...=" key) is a form of the table.
bool IsKnownTaskKey(std::string_view key);

// The display name of the known task key nearest to key (fewest character edits), empty when none is
// near enough to be a likely typing mistake.
std::string ClosestTaskKey(std::string_view key);

// The rule-word entry that rest ("_处理2", "_获取") is a form of for the owner kind, or null.
const RuleWordEntry* FindRuleWord(std::string_view rest, unsigned owner);

// True for a fetch mode the engine knows (the page source with ";UTF8"/";UTF-8" included).
bool IsKnownFetchMode(std::string_view mode);

// stem + number + suffix: "#表名" 2 "_字段类型=".
std::string NumberedKey(std::string_view stem, int number, std::string_view suffix);

}  // namespace sorvik
