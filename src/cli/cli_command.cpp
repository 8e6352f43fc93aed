#include "cli/cli_command.h"

#include <iostream>

#include "store/startup.h"
#include "text/code_page.h"
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

int UsageError(std::string_view message) {
    if (!message.empty())
        std::cerr << "sorvik-cli: " << message << "\n";
    std::cerr << "usage:\n";
    for (const CliCommand& command : RegisteredCommands()) {
        std::cerr << "  sorvik-cli [--home DIR] " << command.usage << "\n";
    }
    return 2;
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

}  // namespace sorvik::cli
