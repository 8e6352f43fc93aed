#include "cli/cli_command.h"

#include <algorithm>
#include <iostream>
#include <mutex>

#include "cli/cli_messages.h"
#include "engine/page_fetcher.h"
#include "store/database.h"
#include "store/startup.h"
#include "store/task_table.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik::cli {

namespace {

std::vector<CliCommand>& CommandTable() {
    static std::vector<CliCommand> commands;
    return commands;
}

}  // namespace

CliCommandRegistrar::CliCommandRegistrar(const CliCommand& command) {
    CommandTable().push_back(command);
}

const std::vector<CliCommand>& RegisteredCommands() {
    return CommandTable();
}

void PrintUsage(std::ostream& out) {
    PrintLine(out, Text(Msg::kUsage));
    for (const CliCommand& command : RegisteredCommands())
        out << "  sorvik-cli [--home DIR] " << command.usage << "\n";
    PrintLine(out, Text(Msg::kHelpHint));
}

int UsageError(std::string_view gbMessage) {
    if (!gbMessage.empty())
        PrintError("sorvik-cli: " + std::string(gbMessage));
    PrintUsage(std::cerr);
    return 2;
}

int ArgumentError(std::string_view gbMessage) {
    PrintError("sorvik-cli: " + std::string(gbMessage));
    return 2;
}

int UsageOf(std::string_view syntax) {
    PrintError(Format(Text(Msg::kUsageOf).c_str(), std::string(syntax).c_str()));
    return 2;
}

bool AnswerHelp(const CliCommand& command, const std::vector<std::string>& args) {
    if (std::find(args.begin(), args.end(), "--help") == args.end())
        return false;
    std::cout << "sorvik-cli [--home DIR] " << command.usage << "\n\n";
    PrintLine(std::cout, CommandHelp(command.name));
    return true;
}

bool ReadInputFile(const std::string& path, std::string& bytes) {
    if (ReadWholeFile(path, bytes))
        return true;
    PrintError(Format(Text(Msg::kCannotRead).c_str(), Utf8ToGb(path).c_str()));
    return false;
}

int TaskIdArgument(std::string_view text, int& id) {
    id = 0;
    const bool number = ParseIdArgument(text, id) && id > 0;
    bool exists = false;
    if (number) {
        std::scoped_lock lock(g_csDatabase);
        exists = CTaskTable().TaskExists(id);
    }
    if (exists)
        return 0;
    // What was typed comes from the terminal as UTF-8.
    PrintError(Format(Text(Msg::kNoSuchTask).c_str(), Utf8ToGb(text).c_str()));
    id = 0;
    return number ? 1 : 2;
}

int FirstTaskId(const std::vector<std::string>& args, std::string_view syntax, int& id) {
    if (args.empty()) {
        PrintError(Text(Msg::kTaskIdMissing));
        return UsageOf(syntax);
    }
    return TaskIdArgument(args.front(), id);
}

void PrintLine(std::ostream& out, std::string_view gbText) {
    out << GbToUtf8(gbText) << "\n";
}

void PrintError(std::string_view gbText) {
    std::string text = GbToUtf8(gbText);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    std::cerr << text << "\n";
}

bool StartCore(const CliContext& context, bool runsTasks) {
    StartupOptions options;
    options.home = context.home;
    options.runsTasks = runsTasks;
    std::string error;
    if (!StartUp(options, error)) {
        PrintError(error);
        return false;
    }
    SetFetchSettings(FetchSettingsFromStartup(CurrentStartupSettings()));
    return true;
}

bool TakeOption(std::vector<std::string>& args, std::string_view name, std::string& value, bool& ok) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != name)
            continue;
        if (i + 1 >= args.size()) {
            ok = false;
            args.erase(args.begin() + static_cast<long>(i));
            return false;
        }
        value = args[i + 1];
        args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        return true;
    }
    return false;
}

bool ParseIdArgument(std::string_view text, int& id) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    id = ToInt(text);
    return true;
}

std::string TabSafe(std::string_view text) {
    std::string cell(text);
    for (char& c : cell) {
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    }
    return cell;
}

std::string ExternalTextAsLines(std::string_view bytes) {
    const std::string text = ExternalTextToGb(bytes);
    std::string lines;
    lines.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            lines += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            lines += "\r\n";
        } else {
            lines += c;
        }
    }
    return lines;
}

bool TakeFlag(std::vector<std::string>& args, std::string_view name) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == name) {
            args.erase(args.begin() + static_cast<long>(i));
            return true;
        }
    }
    return false;
}

bool TakeWhere(std::vector<std::string>& args, FilterCondition& where, bool& ok) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--where")
            continue;
        if (args.size() - i < 4) {
            ok = false;
            return false;
        }
        where.field = ExternalTextToGb(args[i + 1]);
        where.op = ExternalTextToGb(args[i + 2]);
        where.value = ExternalTextToGb(args[i + 3]);
        args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 4);
        return true;
    }
    return false;
}

}  // namespace sorvik::cli
