#pragma once
// The icons of the task list's column 0 and of the category tree, drawn at run time (16 by 16).

#include <QIcon>

#include "workbench/task_list.h"

namespace sorvik::gui {

// New: a hollow grey ring; waiting: an amber clock face; running: a green triangle; paused: two blue bars;
// finished: a grey check mark; deleted: a red cross.
QIcon TaskStatusIcon(TaskIcon icon);

// The tree's icon numbers (TreeItems.iImage): 0 task lists, 1 finished list, 2 an empty result
// category, 3 a category that holds results, 4 deleted list, 5 the script editor.
QIcon TreeNodeIcon(int image);

}  // namespace sorvik::gui
