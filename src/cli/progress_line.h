#pragma once
// The progress of `run` and `resume` on standard error. On a terminal one line, redrawn at least
// once a second while anything changes: pages, records, failed links, bytes, pages per second,
// the saving progress and the current URL cut to the terminal's width. Elsewhere (a pipe, a log
// file) a plain line every 10 s at most. Quiet: nothing but errors. Messages that are not the
// routine progress texts of a run (errors, notes) are printed on lines of their own.

#include <chrono>
#include <map>
#include <string>

#include "engine/run_controller.h"

namespace sorvik::cli {

class ProgressLine {
  public:
    explicit ProgressLine(bool quiet);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // A status text of pane 0 (GB18030).
    void StatusText(const std::string& text);
    // Called by the host loop between its waits: redraws when due.
    void Tick(const RunController& controller);
    // Prints a line of its own (an error), keeping the progress line below it.
    void PrintMessage(const std::string& gbText);
    // Ends the progress line: it is cleared, later output starts where it stood.
    void Finish();

  private:
    std::string Compose(const RunController& controller);
    void Draw(const std::string& utf8Line);

    const bool terminal_;
    const bool quiet_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDraw_{};
    std::string saving_;  // "正在保存数据... (n/N)" of the current save
    std::string drawn_;   // the line on the terminal, empty when none is open
    long long startPages_ = -1;
    std::map<int, RunProgressView> runs_;  // the last counts of every run seen, by task
};

// The first bytes of a UTF-8 text that fit in columns terminal columns (East Asian characters take
// two); a cut text ends with "…".
std::string FitToColumns(const std::string& utf8, int columns);

}  // namespace sorvik::cli
