#pragma once
// The command line's own messages (usage, arguments, files, statuses), each with a Chinese and an
// English text; one language per run, chosen by LANG: English when it starts with "en", else
// Chinese. The system's own texts (database errors, engine messages) are printed as they are.

#include <string>
#include <string_view>

namespace sorvik::cli {

enum class Msg {
    kUsage,          // heading of the usage list
    kUsageOf,        // "usage: %s"
    kHelpHint,       // how to see one command's help
    kUnknownOption,  // %s
    kNoCommand,
    kUnknownCommand,  // %s
    kNoArguments,     // %s: the command
    kCannotRead,      // %s: a file
    kTaskIdMissing,
    kNoSuchTask,  // %s: what was given
    kNotANumber,  // %s: the option
    kThreadsRange,
    kListWords,
    kFormatWords,
    kFilterOneCondition,
    kConditionSlot,
    kWhereOperator,
    kNoSavedCondition,  // %d slot, %d task
    kRowsWords,
    kRecoveredRuns,  // %d
    kTaskEnded,      // %d, %s: the state word
    kStateWaiting,
    kStateRunning,
    kStatePaused,
    kStateFinished,
    kStateStopped,
    kStateNew,
    kStateDeleted,
    kStateHidden,
    kStateNotRun,
    kNoStartUrl,
    kTestNoOutput,
    kHome,  // %s
    kCategoryAction,
    kUnknownAction,      // %s
    kCategoryRenamed,    // %d, %s
    kCategoryDeleted,    // %d
    kSeedCodesAssigned,  // %d
    kNoUpgradeFile,
    kImportYes,
    kImportCancelled,
    kKeywordImport,  // %d x5
    kImportCounts,   // %d x4
    kLastDbError,
    kNoSuchTemplate,
    kRecipients,  // %d
    kTaskAction,
    kTaskRenamed,         // %d, %s
    kTaskScriptReplaced,  // %d
    kTaskMovedToDeleted,  // %d
    kTaskPurgedResults,   // %d, %d rows
    kTaskRunning,         // %d
    kSharedResultsKept,   // %d
    kShowName,
    kShowStatus,
    kShowList,
    kShowUrl,
    kShowStart,
    kShowEnd,
    kShowTime,
    kShowRecords,
    kShowRecordBytes,
    kShowLinks,
    kShowPageBytes,
    kShowResume,
    kShowScript,
    kShowSettings,
    kListActive,
    kListFinished,
    kListDeleted,
    kProgress,  // pages, records, failed, bytes (text), pages per second
    kIdsWords,
    kFavouriteAction,
    kFavouriteRecords,
    kFavouriteAdded,  // %lld records, %d category, %d task
    kCheckLine,       // %d line, %s severity word, %s message
    kCheckError,
    kCheckWarning,
    kScheduledStart,   // %d
    kScheduledActive,  // %d
    kScheduledFailed,  // %d
    kServing,          // %d plan entries
    kNoSuchPlanTime,   // %s
};

// The text in the run's language, in the internal code page (print it with PrintLine/PrintError).
const std::string& Text(Msg id);

// True when this run speaks English (LANG starts with "en").
bool EnglishMessages();

// The word for a task's state from its status and list: deleted (list 5), waiting, running, paused,
// finished (list 4), or new (an ended status in the active list: added, never run to its end).
const std::string& TaskStateWord(int status, int list);

// The one-paragraph description of a command (by name) in the run's language; empty when none.
std::string CommandHelp(std::string_view command);

}  // namespace sorvik::cli
