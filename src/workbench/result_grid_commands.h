#pragma once
// The result grid's own commands over the selected records (rows named by their ID_):
//   "分级"           "1级" .. "9级" write the number into the field "#级别字段=" names (by title or
//                    field name), "0级" writes NULL
//   "删除(&D)"        deletes the records and the downloaded files their fields name
//                    ("#表格栏_删除记录_删除文件=": titles of fields holding file names, below the
//                    task's download folder "<home>/download/<task>")
//   "搜索所选关键字"   the keyword list of the selected rows' "#搜索关键字标题=" column
//   "搜索未处理关键字" the same column of every row of the task whose "#已搜索字段标题=" column is
//                    empty
// The keys are read from the task's script, then from its settings text.
//
// The operations take g_csDatabase while they touch the database and never hold it while they
// ask or tell the user.

#include <string>
#include <string_view>
#include <vector>

#include "workbench/workbench_prompt.h"

namespace sorvik {

// The level items of the "分级" menu, in menu order: "1级" .. "9级", "0级".
std::vector<std::string> LevelMenuTexts();

// Writes level (0 to 9; 0 stores NULL) into the level field of the records. False with error:
// "找不到级别字段！" when the task names none the table has, "更新数据表失败！" at the first
// statement that fails (the records before it keep their new level).
bool SetRecordLevel(int taskId, const std::vector<long long>& ids, int level, std::string& error);

struct RecordDeleteOutcome {
    int deleted = 0;       // records deleted
    int filesDeleted = 0;  // files deleted
    std::string failures;  // one "删除失败！\r\n" per record that could not be deleted
};

// Asks "确定删除选定的记录吗？" (OK/Cancel); on OK deletes the files, then the records, and shows
// the collected failures together. False when the user cancelled or there was nothing to delete.
// A file that is missing, or whose name would lead out of the download folder, is left alone;
// its record is deleted all the same.
bool DeleteResultRecords(int taskId, const std::vector<long long>& ids, WorkbenchPrompt& prompt,
                         RecordDeleteOutcome& outcome);

// The keyword list (values joined with CR LF, in row order, empty values left out) of the
// selected rows (ids non-null) or of the task's unsearched rows (ids null). False with error:
// "所有关键字都已搜索！" when there is no keyword, "找不到搜索关键字字段！" /
// "找不到已搜索字段！" when the keys name no column of the table, or the database's message.
bool GridKeywordList(int taskId, const std::vector<long long>* ids, std::string& list, std::string& error);

}  // namespace sorvik
