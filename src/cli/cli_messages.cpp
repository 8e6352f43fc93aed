#include "cli/cli_messages.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "store/task_state.h"

namespace sorvik::cli {

namespace {

struct MessageText {
    Msg id;
    const char* zh;
    const char* en;
};

// One row per message, in the order of the enum (checked when the table is first used).
constexpr MessageText kMessages[] = {
    {Msg::kUsage, "用法：", "usage:"},
    {Msg::kUsageOf, "用法：sorvik-cli [--home DIR] %s", "usage: sorvik-cli [--home DIR] %s"},
    {Msg::kHelpHint, "每个命令的说明：sorvik-cli COMMAND --help",
     "help on one command: sorvik-cli COMMAND --help"},
    {Msg::kUnknownOption, "未知的选项 %s", "unknown option %s"},
    {Msg::kNoCommand, "没有给出命令", "no command given"},
    {Msg::kUnknownCommand, "未知的命令 %s", "unknown command %s"},
    {Msg::kNoArguments, "%s 不带参数", "%s takes no arguments"},
    {Msg::kCannotRead, "无法读取文件 %s", "can't read %s"},
    {Msg::kTaskIdMissing, "缺少任务号", "task ID missing"},
    {Msg::kNoSuchTask, "没有任务号为 %s 的任务（任务列表：sorvik-cli tasks --all）",
     "no task with ID %s (the task list: sorvik-cli tasks --all)"},
    {Msg::kNotANumber, "%s 需要一个数字", "%s needs a number"},
    {Msg::kThreadsRange, "--threads 应在 1 到 63 之间", "--threads must be 1 to 63"},
    {Msg::kListWords, "--list 只能是 3、4 或 5", "--list must be 3, 4 or 5"},
    {Msg::kFormatWords, "--format 只能是 tsv、csv 或 json", "--format must be tsv, csv or json"},
    {Msg::kFilterOneCondition, "--filter 必须是一个 SQL 条件（不能有“;”、注释或不配对的括号）",
     "--filter must be one SQL condition (no \";\", comments or unbalanced parentheses)"},
    {Msg::kConditionSlot, "--condition 只能是 0 到 49", "--condition must be 0 to 49"},
    {Msg::kWhereOperator, "--where 的操作符只能是 包含、超包含、左包含、右包含、=、>、>=、<、<=、<>",
     "--where's operator must be 包含, 超包含, 左包含, 右包含, =, >, >=, <, <= or <>"},
    {Msg::kNoSavedCondition, "过滤条件 %d 在任务 %d 中没有保存",
     "task %2$d has no saved filter condition %1$d"},
    {Msg::kRowsWords, "--rows 只能是 all 或 ID,ID,...", "--rows must be all or ID,ID,..."},
    {Msg::kRecoveredRuns, "%d 个中断的任务已标记为暂停", "%d interrupted task(s) marked paused"},
    {Msg::kTaskEnded, "任务 %d: %s", "task %d: %s"},
    {Msg::kStateWaiting, "等待中", "waiting"},
    {Msg::kStateRunning, "运行中", "running"},
    {Msg::kStatePaused, "已暂停", "paused"},
    {Msg::kStateFinished, "已完成", "finished"},
    {Msg::kStateStopped, "已停止", "stopped"},
    {Msg::kStateNew, "未运行", "new"},
    {Msg::kStateDeleted, "已删除", "deleted"},
    {Msg::kStateHidden, "隐藏", "hidden"},
    {Msg::kStateNotRun, "没有运行", "not run"},
    {Msg::kNoStartUrl, "脚本没有测试用的起始网址（#要搜索网址=）：请用 --page FILE 给出网页",
     "the script has no start URL (#要搜索网址=) for the test: give a page with --page FILE"},
    {Msg::kTestNoOutput, "测试没有输出", "the test produced no output"},
    {Msg::kHome, "Sorvik 主目录：%s", "Sorvik home: %s"},
    {Msg::kCategoryAction, "category 后面应是 new、rename、delete 或 assign-seed",
     "category needs new, rename, delete or assign-seed"},
    {Msg::kUnknownAction, "未知的操作 %s", "unknown action %s"},
    {Msg::kCategoryRenamed, "类别%d已改名为“%s”", "category %d renamed to \"%s\""},
    {Msg::kCategoryDeleted, "类别%d已删除", "category %d deleted"},
    {Msg::kSeedCodesAssigned, "分配了%d个种子号", "%d seed code(s) assigned"},
    {Msg::kNoUpgradeFile, "主目录中没有sc_升级.txt", "the home folder has no sc_升级.txt"},
    {Msg::kImportYes, " (--yes: 确定)", " (--yes: OK)"},
    {Msg::kImportCancelled, " (取消；用 --yes 确定)", " (cancelled; --yes answers OK)"},
    {Msg::kKeywordImport, "关键字%d个：新增%d，更新%d，未变%d，失败%d",
     "%d keyword(s): %d new, %d updated, %d unchanged, %d failed"},
    {Msg::kImportCounts, "语句%d条，成功%d条；文件写入%d个，已存在跳过%d个",
     "%d statement(s), %d succeeded; %d file(s) written, %d present and skipped"},
    {Msg::kLastDbError, "最后的数据库错误：", "last database error: "},
    {Msg::kNoSuchTemplate, "没有这个模版：", "no such template: "},
    {Msg::kRecipients, "(%d个收件人)", "(%d recipient(s))"},
    {Msg::kTaskAction, "task 后面应是 show、edit、rename、delete 或 restart",
     "task needs show, edit, rename, delete or restart"},
    {Msg::kTaskRenamed, "任务%d已改名为“%s”", "task %d renamed to \"%s\""},
    {Msg::kTaskScriptReplaced, "任务%d的脚本已替换", "the script of task %d replaced"},
    {Msg::kTaskMovedToDeleted, "任务%d已移到已删除的任务中（永久删除：task delete %d --purge）",
     "task %d moved to the deleted tasks (delete for good: task delete %d --purge)"},
    {Msg::kTaskPurgedResults, "任务%d已永久删除，删除了%d条搜索结果记录",
     "task %d deleted for good with %d result record(s)"},
    {Msg::kTaskRunning, "任务%d正在运行：先暂停它", "task %d is running: pause it first"},
    {Msg::kSharedResultsKept,
     "任务%d的搜索结果按 #表数据过滤条件= 与其他任务共享，已保留（用 --yes 一并删除）",
     "the results of task %d are shared with other tasks by #表数据过滤条件= and were kept (--yes deletes "
     "them too)"},
    {Msg::kShowName, "任务名称", "name"},
    {Msg::kShowStatus, "状态", "status"},
    {Msg::kShowList, "列表", "list"},
    {Msg::kShowUrl, "网址", "URL"},
    {Msg::kShowStart, "开始时间", "started"},
    {Msg::kShowEnd, "结束时间", "ended"},
    {Msg::kShowTime, "用时", "running time"},
    {Msg::kShowRecords, "记录数", "records"},
    {Msg::kShowRecordBytes, "记录字节数", "record bytes"},
    {Msg::kShowLinks, "链接数", "links"},
    {Msg::kShowPageBytes, "网页字节数", "page bytes"},
    {Msg::kShowResume, "继续位置", "resume point"},
    {Msg::kShowScript, "脚本", "script"},
    {Msg::kShowSettings, "设置", "settings"},
    {Msg::kListActive, "活动任务", "active"},
    {Msg::kListFinished, "已完成", "finished"},
    {Msg::kListDeleted, "已删除", "deleted"},
    {Msg::kProgress, "网页 %lld  记录 %lld  失败 %lld  %s  %.1f 页/秒",
     "pages %lld  records %lld  failed %lld  %s  %.1f pages/s"},
    {Msg::kIdsWords, "--ids 只能是 ID,ID,...", "--ids must be ID,ID,..."},
    {Msg::kFavouriteAction, "favourite 后面应是 list 或 add", "favourite needs list or add"},
    {Msg::kFavouriteRecords, "请给出 --ids ID,... 或 --all", "give --ids ID,... or --all"},
    {Msg::kFavouriteAdded, "收藏了 %lld 条记录（类别%d，收藏任务%d）",
     "%lld record(s) added to the favourites of category %d (task %d)"},
    {Msg::kCheckLine, "第%d行：%s：%s", "line %d: %s: %s"},
    {Msg::kCheckError, "错误", "error"},
    {Msg::kCheckWarning, "警告", "warning"},
    {Msg::kScheduledStart, "按计划启动任务 %d", "task %d started on its plan"},
    {Msg::kScheduledActive, "任务 %d 的计划时间到了，它已在运行",
     "task %d is due on its plan and runs already"},
    {Msg::kScheduledFailed, "任务 %d 的计划时间到了，但不能启动",
     "task %d is due on its plan but could not start"},
    {Msg::kServing, "按计划运行任务（%d 个计划时间）；SIGTERM 或 Ctrl-C 暂停正在运行的任务并退出",
     "running tasks on their plans (%d planned times); SIGTERM or Ctrl-C pauses the running tasks and exits"},
    {Msg::kNoSuchPlanTime, "任务的计划中没有 %s", "the task's plan has no %s"},
};

struct CommandText {
    const char* name;
    const char* zh;
    const char* en;
};

constexpr CommandText kCommandHelp[] = {
    {"init", "建立主目录和数据库（已有的不变）。",
     "Creates the home folder and its database (what exists stays)."},
    {"sql", "通过数据层执行一条语句（Jet 方言）；结果行以制表符分隔。",
     "Runs one statement through the data layer (Jet dialect); rows come as tab-separated lines."},
    {"tasks",
     "任务列表及其统计：--list 3 活动任务（默认），4 已完成，5 已删除；--all 全部列表。状态列是文字。",
     "The task list with its statistics: --list 3 active (default), 4 finished, 5 deleted; --all every "
     "list. The status column is a word."},
    {"add", "用脚本文件（UTF-8 或 GB18030）新建任务，输出任务号。",
     "Makes a new task from a script file (UTF-8 or GB18030) and prints its ID."},
    {"check",
     "检查脚本：未知的键、规则词、获取方式和处理操作，不能编译的正则表达式，长度不同的列表；每个问题一行"
     "（第N行：错误/警告：...）。有错误时退出状态为 1。不需要主目录。",
     "Checks a script: unknown keys, rule words, fetch modes and operations, regular expressions that do "
     "not compile, lists of different lengths; one line per problem (line N: error/warning: ...). Exits "
     "with status 1 when there is an error. Needs no home folder."},
    {"schedule",
     "编辑任务的计划：--add TIME 加入一个开始时间（\"yyyy-mm-dd hh:mm:ss\"，日期中的数字可以用 ? 代替，如 "
     "?\?\?\?-?\?-?\? 07:00:00 是每天 7 点；N,S 从最后一个时间起加入 N 个间隔 S 秒的时间），--remove TIME "
     "去掉一个，"
     "--list 列出计划。检查与“计划”对话框相同；先去掉，再加入。",
     "Edits a task's plan: --add TIME adds a start time (\"yyyy-mm-dd hh:mm:ss\"; any digit of the date may "
     "be "
     "?, so ?\?\?\?-?\?-?\? 07:00:00 is every day at 7; N,S adds N times S seconds apart from the last one), "
     "--remove TIME removes one, --list lists the plan. The checks are the plan dialog's; removals come "
     "before additions."},
    {"serve",
     "不开窗口运行计划：每 2 秒检查计划并启动到时的任务，直到 SIGTERM 或 Ctrl-C（然后像 run 一样暂停正在运行"
     "的任务）。每次启动和结束在标准错误上写一行。",
     "Runs the schedule without a window: every 2 s it starts the tasks whose planned time has come, until "
     "SIGTERM or Ctrl-C (then it pauses the running tasks as run does). Each start and end is a line on "
     "standard error."},
    {"test",
     "测试运行脚本（任务 0）：输出跟踪，不保存记录。只处理 --pages N 个网页（没有 --page 时默认 1："
     "起始网页和它的记录所链接的网页）；--records N 在 N 条记录后停止；--page FILE：在这个网页上测试，"
     "不取起始网址。",
     "Test run of a script (task 0): prints the trace and stores nothing. It processes --pages N pages "
     "(default 1 without --page: the start page and what its records link to); --records N stops after N "
     "records; --page FILE works on that page instead of fetching the start URL."},
    {"run",
     "运行任务直到结束，在标准错误上显示进度行（终端上每秒刷新；否则最多每 10 秒一行）；"
     "Ctrl-C 暂停并保留继续位置。--quiet 只输出错误。",
     "Runs tasks to their end with a progress line on standard error (refreshed every second on a "
     "terminal, else a line every 10 s at most); Ctrl-C pauses them and keeps their resume points. "
     "--quiet prints nothing but errors."},
    {"resume", "从暂停的位置继续任务。--skip-page 跳过暂停时打不开的网页，--quiet 只输出错误。",
     "Continues a paused task where it stopped. --skip-page skips the page it could not open, "
     "--quiet prints nothing but errors."},
    {"results",
     "任务的记录：--filter SQL 条件；--where 字段标题 操作符 值，与过滤栏相同（包含、超包含、左包含、右包含、"
     "=、>、>=、<、<=、<>）；--condition N 应用任务保存的第 N 个过滤条件（0-49）；--format tsv|csv|json，"
     "--limit 条数。",
     "A task's records: --filter SQL condition; --where FIELD_TITLE OPERATOR VALUE as the filter bar reads "
     "it "
     "(包含, 超包含, 左包含, 右包含, =, >, >=, <, <=, <>); --condition N applies the task's saved filter "
     "condition N (0-49); --format tsv|csv|json, --limit count."},
    {"search-pages", "任务的搜索引擎对关键字的结果网页。",
     "The result pages of the task's search engines for a keyword."},
    {"categories", "类别树：ID、类型、任务和种子号。",
     "The category tree with IDs, kinds, tasks and seed codes."},
    {"category", "新建、改名、删除类别，或给类别分配种子号。",
     "Creates, renames or deletes a category, or gives it seed codes."},
    {"export-seed", "导出类别子树的任务定义（.grm）。",
     "Exports the task definitions of a category subtree (.grm)."},
    {"export-fruit", "导出任务定义和它们的记录、文件（.fru）。",
     "Exports the task definitions with their records and files (.fru)."},
    {"export-upgrade", "用主目录的 sc_升级.txt 生成升级包。",
     "Builds the upgrade package from sc_升级.txt in the home folder."},
    {"import", "引入种子或果实（--yes 回答版本问题），或用 --task 把关键字表引入任务。",
     "Imports a seed or fruit (--yes answers the version question), or with --task a keyword list into "
     "a task."},
    {"mail-account", "设置邮件任务的发信和收信账号。",
     "Sets the sending and receiving account of a mail task."},
    {"mail-task", "用任务的记录建立发件箱行和发送任务；run 发送。",
     "Makes the outbox row and a send task from a task's records; run sends it."},
    {"receive", "把邮箱任务的 POP3 邮件收到 sc_ReceiveBox。",
     "Receives a mailbox task's POP3 mail into sc_ReceiveBox."},
    {"task",
     "管理一个任务：show 显示脚本、设置、状态和统计；edit 用文件替换脚本；rename 改名；delete 移到已删除"
     "的任务（已删除的任务或 --purge：连同搜索结果永久删除）；restart 重新搜索（从头开始，统计清零）。",
     "Manages one task: show prints its script, settings, status and statistics; edit replaces the "
     "script from a file; rename renames it; delete moves it to the deleted tasks (a deleted task, or "
     "--purge: deletes it for good with its results); restart searches again (from the start, "
     "statistics cleared)."},
    {"view",
     "把任务记录的记录明细（或 --browse：浏览记录）写成 "
     "download/ID/index.htm（index_brow.htm），输出文件路径。"
     "--page N 选页，--filter 条件，--where 字段标题 操作符 值（过滤栏的条件，搜索词加亮），--ids ID,... "
     "只显示这些记录。",
     "Writes the detail view (or with --browse the browse view) of a task's records as "
     "download/ID/index.htm (index_brow.htm) and prints the file's path. --page N picks the page, "
     "--filter a condition, --where a filter-bar condition (its search terms highlighted), --ids ID,... "
     "shows only those records."},
    {"favourite",
     "收藏夹：list 显示类别树，标出收藏任务和它们的记录数（--task ID：用 * 标出该任务的默认收藏类别）；"
     "add 把任务的记录（--ids ID,... 或 --all）收藏到最末级的类别，第一次收藏时建立收藏任务和“_me”表。",
     "Favourites: list prints the category tree with the favourites tasks and their record counts "
     "(--task ID marks that task's default favourites category with *); add copies a task's records "
     "(--ids ID,... or --all) into the favourites of a lowest-level category, creating the favourites "
     "task and its \"_me\" table at the first collection."},
};

bool DecideEnglish() {
    const char* lang = std::getenv("LANG");
    return lang != nullptr && std::strncmp(lang, "en", 2) == 0;
}

}  // namespace

bool EnglishMessages() {
    static const bool english = DecideEnglish();
    return english;
}

const std::string& Text(Msg id) {
    static const auto texts = [] {
        std::vector<std::string> out;
        for (const MessageText& message : kMessages) {
            if (static_cast<size_t>(message.id) != out.size())
                std::abort();  // the table is out of the enum's order: a build fault, found by any test
            out.emplace_back(EnglishMessages() ? message.en : message.zh);
        }
        return out;
    }();
    return texts.at(static_cast<size_t>(id));
}

const std::string& TaskStateWord(int status, int list) {
    if (list == 5)
        return Text(Msg::kStateDeleted);
    switch (static_cast<TaskState>(status)) {
        case TaskState::kWaiting:
            return Text(Msg::kStateWaiting);
        case TaskState::kRunning:
            return Text(Msg::kStateRunning);
        case TaskState::kPaused:
            return Text(Msg::kStatePaused);
        case TaskState::kHidden:
            return Text(Msg::kStateHidden);
        default:
            return Text(list == 4 ? Msg::kStateFinished : Msg::kStateNew);
    }
}

std::string CommandHelp(std::string_view command) {
    for (const CommandText& help : kCommandHelp) {
        if (command == help.name)
            return EnglishMessages() ? help.en : help.zh;
    }
    return {};
}

}  // namespace sorvik::cli
