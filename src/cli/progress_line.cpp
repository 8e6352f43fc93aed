#include "cli/progress_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "cli/cli_command.h"
#include "cli/cli_messages.h"
#include "engine/run_controller.h"
#include "text/code_page.h"
#include "text/strings.h"

namespace sorvik::cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kTerminalRefresh = std::chrono::milliseconds(500);
constexpr auto kLogInterval = std::chrono::seconds(10);

int TerminalColumns() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    if (const char* columns = std::getenv("COLUMNS"); columns != nullptr && std::atoi(columns) > 0)
        return std::atoi(columns);
    return 80;
}

std::string Bytes(long long bytes) {
    if (bytes >= 1024LL * 1024)
        return Format("%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return Format("%lld KB", bytes / 1024);
}

// Texts every run sends to pane 0 that the line itself shows.
bool IsRoutine(const std::string& text) {
    return text.empty() || text.starts_with("【关键字】") || text.starts_with("正打开任务") || text == "就绪";
}

}  // namespace

std::string FitToColumns(const std::string& utf8, int columns) {
    int used = 0;
    size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        unsigned code = lead;
        if (length == 3 && i + 2 < utf8.size())
            code = ((lead & 0x0Fu) << 12) | ((static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 6) |
                   (static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu);
        const int width = (length >= 3 && code >= 0x1100) || length == 4 ? 2 : 1;
        if (used + width > columns - 1) {
            std::string cut = utf8.substr(0, i);
            return cut + "\xE2\x80\xA6";  // …
        }
        used += width;
        i += length;
    }
    return utf8;
}

ProgressLine::ProgressLine(bool quiet) : terminal_(isatty(STDERR_FILENO) != 0), quiet_(quiet) {}

ProgressLine::~ProgressLine() {
    Finish();
}

void ProgressLine::StatusText(const std::string& text) {
    if (text.starts_with("正在保存数据")) {
        saving_ = text;
        return;
    }
    if (IsRoutine(text))
        return;
    PrintMessage(text);
}

void ProgressLine::PrintMessage(const std::string& gbText) {
    if (!drawn_.empty()) {
        std::cerr << "\r\033[K";
        drawn_.clear();
        lastDraw_ = {};
    }
    PrintError(gbText);
}

std::string ProgressLine::Compose(const RunController& controller) {
    // A run that has ended keeps its last counts in the line.
    for (RunProgressView& run : controller.RunProgress())
        runs_[run.taskNumber] = std::move(run);
    long long pages = 0, records = 0, failed = 0, bytes = 0;
    std::string url;
    for (const auto& [task, run] : runs_) {
        pages += run.stats.pages;
        records += run.stats.records;
        bytes += run.stats.pageBytes;
        failed += run.failedPages;
        if (!run.url.empty())
            url = run.url;
    }
    if (startPages_ < 0)
        startPages_ = pages;
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    const double rate = seconds > 0.5 ? static_cast<double>(pages - startPages_) / seconds : 0.0;
    std::string line =
        Format(Text(Msg::kProgress).c_str(), pages, records, failed, Bytes(bytes).c_str(), rate);
    if (!saving_.empty())
        line += "  " + saving_;
    if (!url.empty())
        line += "  " + url;
    return GbToUtf8(line);
}

void ProgressLine::Draw(const std::string& utf8Line) {
    std::cerr << "\r\033[K" << utf8Line << std::flush;
    drawn_ = utf8Line;
}

void ProgressLine::Tick(const RunController& controller) {
    if (quiet_)
        return;
    const Clock::time_point now = Clock::now();
    if (!terminal_) {
        if (now - start_ < kLogInterval || now - lastDraw_ < kLogInterval)
            return;
        lastDraw_ = now;
        std::cerr << Compose(controller) << "\n" << std::flush;
        return;
    }
    if (now - lastDraw_ < kTerminalRefresh)
        return;
    lastDraw_ = now;
    const std::string line = FitToColumns(Compose(controller), TerminalColumns());
    if (line != drawn_)
        Draw(line);
}

void ProgressLine::Finish() {
    // The counts of the last redraw may be older than the run's end: the end's own lines follow.
    if (!drawn_.empty())
        std::cerr << "\r\033[K" << std::flush;
    drawn_.clear();
}

}  // namespace sorvik::cli
