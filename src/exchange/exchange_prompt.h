#pragma once
// The questions and progress texts of the seed and fruit exchange, answered by the front end.
// The core never shows a window: the GUI implements this with message boxes and the exchange
// dialog's status line, the command line with flags and standard error, tests by recording.
// Final results (the "导出成功！" / "导入完成！" boxes) are not sent here; they come back as values.

#include <string_view>

namespace sorvik {

class ExchangePrompt {
  public:
    virtual ~ExchangePrompt() = default;

    // An OK/Cancel question; true for OK.
    virtual bool AskOkCancel(std::string_view question) = 0;

    // A progress text for the status line (GB18030); called often, must return quickly.
    virtual void Progress(std::string_view text) { (void)text; }

    // Called every 50 statements, lines or records, where the dialog processes its pending
    // messages; false when the user pressed stop, which ends the work there.
    virtual bool KeepGoing() { return true; }
};

}  // namespace sorvik
