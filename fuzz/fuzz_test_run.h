#pragma once
// A test run of the extraction engine (task 0, no connection) of a script over a page.

#include <string>
#include <string_view>

#include "engine/extraction.h"
#include "engine/thread_params.h"

namespace sorvik::fuzz {

inline void TestRun(std::string_view script, std::string_view page) {
    ThreadParams params;
    params.taskNumber = 0;
    params.taskName = "fuzz";
    params.script.assign(script);
    params.pageText.assign(page);
    // A test run stops at its limits, as the workbench's test command does.
    params.testPageLimit = 5;
    params.testRecordLimit = 1000;
    RunExtraction(params);
}

}  // namespace sorvik::fuzz
