// sorvik-cli search-pages: the result pages of a task's search engines for a keyword. The
// workbench opens them; here they are printed, one per line: title, a tab, the URL, a tab, and
// "browser" when the page belongs in the system's default browser.

#include <iostream>

#include "cli/cli_command.h"
#include "cli/cli_messages.h"
#include "engine/url_list.h"
#include "store/task_table.h"
#include "text/code_page.h"
#include "text/strings.h"

namespace sorvik::cli {

namespace {

// A URL for a terminal: the bytes the engine sends stay what they are, but bytes outside
// printable ASCII are shown percent-escaped, so that a UTF-8 keyword put into the URL raw is
// neither re-encoded nor garbled on the way out.
std::string PrintableUrl(std::string_view url) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

int RunSearchPages(CliContext& context) {
    std::string category;
    bool ok = true;
    TakeOption(context.args, "--category", category, ok);
    static constexpr char kUsage[] = "search-pages TASK_ID KEYWORD [--category NAME]";
    if (!ok || context.args.size() != 2)
        return UsageOf(kUsage);
    int taskId = 0;
    if (const int status = FirstTaskId(context.args, kUsage, taskId); status != 0)
        return status;
    CTaskTable tasks;
    const std::string script = tasks.ReadTaskScript(taskId);
    const SearchEnginePages result =
        OpenSearchEnginePages(ExternalTextToGb(context.args[1]), script, ExternalTextToGb(category));
    if (!result.error.empty()) {
        PrintError(result.error);
        return 1;
    }
    for (const SearchEnginePage& page : result.pages) {
        PrintLine(std::cout, page.title + "\t" + PrintableUrl(page.url) +
                                 (page.openInDefaultBrowser ? "\tbrowser" : ""));
    }
    return 0;
}

const CliCommandRegistrar kSearchPages({"search-pages", "search-pages TASK_ID KEYWORD [--category NAME]",
                                        false, RunSearchPages});

}  // namespace

}  // namespace sorvik::cli
