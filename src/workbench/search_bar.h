#pragma once
// The search bar above the task list, built from the selected task's script, and the keyword
// history of its keyword box.
//
// Script keys read:
//   "#需要搜索关键字网址=", "#搜索引擎列表="   the keyword box is offered when either is set
//   "#搜索类别="                          search categories, a list; one choice per category, whose
//                                        values in order make the run's search-object text
//   "<category>_默认值="                  the category's value at first
//   "<category>_设置="                    settings; "菜单" in it ("显示方式,菜单") makes the choice a
//                                        drop-down of the listed values only
//   "<category>_列表数据="                the values offered: "table,column" reads
//                                        "select distinct column from table where column<>'' and column
//                                        is not null"; a lone "table" is a classification table read
//                                        with "select  cName_ from table  where cName_<>'' and cName_
//                                        is not null order by ID_"
//   "#下载选项="                          the download options, a list
//   "#下载选项_默认值="                   the option chosen at first

#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

struct SearchCategoryChoice {
    std::string name;                 // the "#搜索类别=" item
    std::vector<std::string> values;  // offered values
    std::string value;                // the value at first
    bool listOnly = false;            // a drop-down menu: only the offered values
};

struct SearchBarModel {
    bool keywordBox = false;
    std::vector<SearchCategoryChoice> categories;
    std::vector<std::string> options;  // download options
    std::string option;                // the option at first
};

// Builds the bar. A list that can't be read leaves its values empty and its error,
// "读取表%s失败！" with the table, in error (the first one); the rest of the bar is built.
SearchBarModel BuildSearchBar(std::string_view script, std::string& error);

// The run's search-object text: one line per category value, CR LF separated.
std::string SearchObjectText(const std::vector<std::string>& values);

// The run's option text for the chosen download option: the lines "#下载选项_默认值=<option>",
// "<option>=<its script value>" and the script's "#搜索类别=" line, which the engine reads
// instead of the script while the option text is set. Empty for an empty option.
std::string DownloadOptionText(std::string_view script, std::string_view option);

// The keyword box's list item that deletes the history.
inline constexpr const char* kDeleteHistoryItem = "<删除历史记录>";

// The history's distinct non-empty keywords followed by "<删除历史记录>" (under g_csDatabase).
// False with the error.
bool LoadKeywordHistory(std::vector<std::string>& items, std::string& error);

// "delete from sc_tm_SearchKey"; false with the error. The question "确定删除所有历史搜索关键字吗？"
// is the caller's.
bool ClearKeywordHistory(std::string& error);

}  // namespace sorvik
