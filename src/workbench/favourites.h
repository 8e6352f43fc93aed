#pragma once
// Favourites: copies of a task's records collected under a leaf category. A favourites category
// is bound to a favourites task (settings "#任务类别=收藏夹") whose result table is the source
// table's name with "_me" ("Goods" -> "Goods_me"; a favourites table's own favourites stay in
// "Goods_me", never "Goods_me_me"). The first collection into an empty leaf category creates that
// task and its table and binds the category; the copy itself runs in SQL, through a temporary
// table "<source>_tmp".
//
// Which copy runs (S: the source table without "_me", D: the destination's table without "_me",
// listed: D is an item of the source script's "#收藏表名列表", with or without its "_me"):
//   - a category of a kind other than 0 (task lists and the like), a different table, or the
//     source task itself: listed tables only ("不能选择该类别！" otherwise), copying the columns
//     both tables have into "D_me";
//   - an empty leaf category (no task yet): every column of the source into "S_me";
//   - the same table under another task: as listed when listed, else every column.
// A record is not copied again into a destination task that has a record with the same values
// of the unique fields ("#唯一字段", titles or names); without unique fields, the same values in
// every copied column.
//
// Every operation takes g_csDatabase for its database work; the copy is one transaction, so a
// failed copy leaves neither records nor its temporary table behind.

#include <string>
#include <vector>

namespace sorvik {

// The category the favourites dialog preselects for records of sourceTaskId: the
// "#收藏_默认类别号" of the task's settings, else of its script, else currentNodeId (the main tree's
// selection).
int DefaultFavouritesCategory(int sourceTaskId, int currentNodeId);

// The favourites table of a source table: "<table>_me", "_me_me" cut back to "_me".
std::string FavouritesTableName(const std::string& sourceTable);

struct CollectResult {
    int destinationTaskId = 0;
    bool createdTask = false;   // the favourites task was made now and bound to the category
    bool imageChanged = false;  // the category's icon went from 2 to 3
    long long copied = 0;       // records added to the destination
};

// Copies the records recordIds (ID_ of the source task's table) of sourceTaskId into the
// favourites of categoryId. Remembers the category as the task's "#收藏_默认类别号" once it is
// found usable. False with the message: "请选择要收藏的类别！" (no such category),
// "没有记录或没有选择记录！" (no records given), "不能选择该类别！", "请选择最末级的类别！",
// "收藏失败！(建表出错)" with the reason, "更新任务表失败！", "更新类别表失败！" or
// "收藏记录失败！" with the database's reason.
bool CollectRecords(int sourceTaskId, const std::vector<long long>& recordIds, int categoryId,
                    CollectResult& result, std::string& message);

// True when the task is a favourites task ("#任务类别=收藏夹" in its settings).
bool IsFavouritesTask(int taskId);

}  // namespace sorvik
