#pragma once
// URL lists: the keyword list of a run, its current keyword, the start URL of a run, and the
// result pages of the search engines a task names.
//
// A keyword list is GB18030 text with one keyword per line, every keyword ended by CR LF. The
// keyword cursor (iSearchKeyIndexPre, iSearchKeyIndex) locates the current keyword by byte
// offsets; a value below 1 means the first keyword. Keyword files (SearchKey/<task>.txt) are
// kept by SaveTaskKeywords / LoadTaskKeywords of store/keyword_file.h.

#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

// The most bytes of a keyword put into a URL (a longer one is cut on a character boundary), as
// the extraction engine cuts the keywords it puts into later URLs.
inline constexpr size_t kMaxKeywordBytes = 256;

// Encodes a keyword for the URL template of templateKey ("#需要搜索关键字网址" or
// "#需要搜索关键字网址2", with or without its "="): when templateKey + "_关键字编码方式=" is
// "UTF-8", the keyword's UTF-8 bytes (put into the URL as they are); otherwise UrlEncodeText of
// its GB bytes (lower-case %xx, space as %20). An empty keyword stays empty.
std::string EncodeKeyword(std::string_view templateKey, std::string_view keyword, std::string_view script);

// The keyword template "#需要搜索关键字网址=" with the keyword put in: encoded by EncodeKeyword
// in place of "(搜索关键字)" and "<搜索关键字>", then the script's variables substituted
// (SubstituteUrlVariables with the task number, the keyword and the run's search object). A
// "(*)" range marker stays.
std::string FillKeywordTemplate(std::string_view urlTemplate, std::string_view keyword,
                                std::string_view script, int taskNumber,
                                std::string_view searchObjectText = {});

// Normalises the text typed into the keyword box: trimmed, double spaces made single, spaces
// made line breaks when "#是否拆分空格=" is "1", "(" and ")" removed, "|" and "&" made line
// breaks; empty lines and repeated keywords dropped (first seen order kept). Every keyword of the
// result ends with CR LF. Only whole characters are matched, never the second byte of a
// double-byte character.
std::string NormaliseKeywordText(std::string_view enteredText, std::string_view script);

// NormaliseKeywordText, after adding the text as typed to the keyword history (one row of
// sc_tm_SearchKey with cSearchKey and iTask = taskNumber, unless a row holds that text already;
// under g_csDatabase). A failed history write does not stop the search: its reason is returned
// in historyError when given.
std::string BuildKeywordList(std::string_view enteredText, std::string_view script, int taskNumber,
                             std::string* historyError = nullptr);

// The current keyword of the list at the cursor. Cursor below 1: the first line, or when it is
// empty the first non-empty line (the rest of the text when no CR LF follows). Otherwise the text
// from two bytes after iSearchKeyIndexPre up to the first CR LF at or after iSearchKeyIndex (empty
// when there is no such CR LF or the length would be negative).
std::string SelectCurrentKeyword(std::string_view keywordList, int searchKeyIndexPre, int searchKeyIndex);

// True when "#需要搜索关键字网址_设置=" contains "关键字可以为空": a keyword run may start without any
// keyword (the value may hold other settings too).
bool EmptyKeywordAllowed(std::string_view script);

// The first URL of a run.
struct StartUrl {
    std::string url;      // empty: no start URL (a harvest is then not started)
    std::string keyword;  // the current keyword of a keyword run, trimmed and cut (not encoded)
    bool keywordRun = false;
};

// Builds the start URL. A keyword run (keywordList not empty, or "#需要搜索关键字网址_设置=" is
// "关键字可以为空" with a keyword template) puts the current keyword, encoded, into the template
// "#需要搜索关键字网址=" in place of "(搜索关键字)" and "<搜索关键字>", then substitutes script
// variables (SubstituteUrlVariables with the task number and the keyword). A plain run takes
// "#要搜索网址=". A test run (taskNumber 0) whose "#要搜索网址=" is empty takes its keyword list
// from "<搜索关键字>="; a plain test run whose "#要搜索网址_测试=" is "<空>" has no start URL.
// With a range ("..._始末值=" start,end) every "(*)" becomes the start value.
StartUrl BuildStartUrl(std::string_view script, std::string_view keywordList, int searchKeyIndexPre,
                       int searchKeyIndex, int taskNumber, std::string_view searchObjectText = {});

// One search-engine result page to open for the user.
struct SearchEnginePage {
    std::string title;  // keyword + " - " + engine name (+ "[" category "]")
    std::string url;
    bool openInDefaultBrowser = false;  // else in a browser page of the main window titled title
};

struct SearchEnginePages {
    std::vector<SearchEnginePage> pages;
    // "该类别不能处理搜索关键字！" when the task names engines but none has a template for the
    // category; empty otherwise.
    std::string error;
};

// The result pages of the engines of "#搜索引擎列表" that the user chose ("#搜索引擎列表_用户选择"),
// for the keyword and the current search category (empty: none). Engine i uses the template
// "#需要搜索关键字网址=" (i = 1) or "#需要搜索关键字网址<i>=" (2 to 999), first with the suffix
// "_" + category, then, when that is empty and the category is the default one
// ("#搜索类别_默认值=") or none, without it. The front end opens the pages (and skips titles that
// are open already, showing "该关键字的所有搜索页面已存在！" when nothing new opened).
SearchEnginePages OpenSearchEnginePages(std::string_view keyword, std::string_view script,
                                        std::string_view category = {});

}  // namespace sorvik
