#pragma once
// The download step: entry lists of a task script that take extra values and save extra material
// for a record (page copies, header copies, linked files), and the next-page exit condition.
//
// An entry list is named by its key K: "K=" gives a single entry; when it is empty the entries
// are "K1=", "K2=", ... where an empty "K<n>=" is replaced by "K<n>_1="; the list ends at the first
// number that has neither, or when the run is stopped. The value of such a key is the entry's
// name E, and the entry's keys are E followed by a rule word ("E_网址=", "E=", "E_为空1=", ...):
//   E_网址=              a page to fetch ("<搜索关键字>" is put in; "#name": the URL is the memory
//                        value "#name" (the "加入内存" operation), else "name" (E_加入内存=); a
//                        relative URL is taken against the page URL)
//   E_网址_编码方式=     "UTF-8": the page is decoded as UTF-8
//   E_网址_加入内存=     "1": the fetched page goes into the memory list as "E_网址"
//   E=                   the pattern (or a variable token); E_为空1=, E_为空2=, ... while empty
//   E_加入内存=          "1": the value goes into the memory list as "E"
//   E_1= .. E_9=         narrowing; E_获取= fetch mode; E_处理1=, ... operations
//   E_link=              first match in the page the value links to; E_link_为空1=, ... while empty
//   E_替换源串N= / E_替换目标N=, E_替换源串_正则N= / E_替换目标_正则N=   replacements
//   E_link_加入内存=     "1": the value goes into the memory list as "E_link"
// An entry is skipped when the run's download option does not list it (see OptionAllowsEntry).
//
// The five lists of a record and what happens to an entry's value:
//   "#取值"           kind 3, value flag: the value is the result (patterns on the current record)
//   "#下载源文件"     kind 1: the value is written as a page copy (patterns on the fetched page)
//   "#下载文件"       kind 0: each line of the value is a link of a file to save
//   "#下载头文件"     kind 2: the value is written as a header copy (fetched page, else given text)
//   "#下一页退出条件" kind 2, value flag: the value is the result ("1" ends next-page following)
//
// A page or link that can't be fetched gives an empty value, and the next entry still runs; a
// file that can't be written is skipped. Runs on its run's worker thread only.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/download_folder.h"
#include "engine/page_extractor.h"

namespace sorvik {

enum class EntryKind : int { kFiles = 0, kSourceCopy = 1, kHeadCopy = 2, kValue = 3 };

// A list key with the kind and value flag the engine calls it with.
struct EntryListCall {
    const char* listKey;  // without "="
    EntryKind kind;
    bool valueFlag;
};

inline constexpr EntryListCall kTakeValueList{"#取值", EntryKind::kValue, true};
inline constexpr EntryListCall kSourceCopyList{"#下载源文件", EntryKind::kSourceCopy, false};
inline constexpr EntryListCall kFileList{"#下载文件", EntryKind::kFiles, false};
inline constexpr EntryListCall kHeadCopyList{"#下载头文件", EntryKind::kHeadCopy, false};
inline constexpr EntryListCall kNextPageExitList{"#下一页退出条件", EntryKind::kHeadCopy, true};

// What the download step needs of its run besides the page context (which gives the script,
// the option text, the keyword, the page URL, the level records, the memory list and page
// fetching).
struct DownloadSite {
    DownloadFolder* folder = nullptr;     // null: nothing is saved
    FileFetchCallback fetchFile;          // null: linked files are not fetched
    std::function<bool()> stopRequested;  // null: never stopped
};

// The names of the entries of list key K (see above), in order.
std::vector<std::string> EntryNames(std::string_view listKey, std::string_view script,
                                    const std::function<bool()>& stopRequested = {});

// The run option filter: "#下载选项_默认值=" read with the run's option text as the alternative text;
// when it is set, the value of the key made of it and "=" (read the same way, and possibly
// empty). None when no option is set.
std::optional<std::string> DownloadOptionValue(std::string_view script, std::string_view optionText);

// True when the run builds the fields of its records (and its worker fetches the start page): no
// download option is set, or its value holds "<下载全部数据>" or "<下载文本>".
bool DownloadOptionTakesText(std::string_view script, std::string_view optionText);

// True when the option value lets entry name through: no option, "<下载全部数据>", or the name. An
// option whose value is empty lets no entry through.
bool OptionAllowsEntry(const std::optional<std::string>& optionValue, std::string_view name);

// The pages the entries of the list will fetch for the current record ("E_网址=" of each entry the
// download option lets through, unless it names a memory value), in order.
std::vector<std::string> EntryPageUrls(CPageExtractor& context, const EntryListCall& call);

// Runs the list of call.listKey for the current record. givenText is the text kind 2 works on
// when an entry fetches no page. With the value flag, result gets each entry's value in turn (so
// the last entry's) and true is returned when an entry ran; without it result is not touched.
bool RunEntryList(CPageExtractor& context, const EntryListCall& call, std::string_view givenText,
                  const DownloadSite& site, std::string& result);

}  // namespace sorvik
