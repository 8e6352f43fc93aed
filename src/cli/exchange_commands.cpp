// sorvik-cli export-seed, export-fruit, export-upgrade and import: seed and fruit files and
// keyword lists.
//
// Questions are answered without asking: the version question of an older seed and the question
// before an upgrade package runs are answered Cancel unless --yes is given. Progress texts are not
// printed; files left out because of their names are named on standard error.

#include <iostream>

#include "cli/cli_command.h"
#include "cli/cli_messages.h"
#include "exchange/exchange_export.h"
#include "exchange/exchange_import.h"
#include "exchange/keyword_import.h"
#include "text/code_page.h"
#include "text/strings.h"

namespace sorvik::cli {

namespace {

class CliPrompt : public ExchangePrompt {
  public:
    explicit CliPrompt(bool yes) : yes_(yes) {}
    bool AskOkCancel(std::string_view question) override {
        PrintError(std::string(question) + Text(yes_ ? Msg::kImportYes : Msg::kImportCancelled));
        return yes_;
    }

  private:
    bool yes_;
};

// A result box text on the terminal: its CR LF line ends become LF.
void PrintMessage(std::ostream& out, std::string text) {
    ReplaceAll(text, "\r\n", "\n");
    if (&out == &std::cerr) {
        PrintError(text);
    } else {
        PrintLine(out, text);
    }
}

int RunExport(CliContext& context, bool fruit) {
    std::string out;
    bool ok = true;
    TakeOption(context.args, "--out", out, ok);
    int id = 0;
    if (!ok || context.args.size() != 1 || !ParseIdArgument(context.args[0], id)) {
        return UsageOf(fruit ? "export-fruit ID [--out FILE]" : "export-seed ID [--out FILE]");
    }
    const ExportResult result = fruit ? ExportFruit(id, out) : ExportSeed(id, out);
    for (const std::string& note : result.notes)
        PrintError(note);
    PrintMessage(result.ok ? std::cout : std::cerr, result.message);
    return result.ok ? 0 : 1;
}

int RunExportSeed(CliContext& context) {
    return RunExport(context, false);
}
int RunExportFruit(CliContext& context) {
    return RunExport(context, true);
}

int RunExportUpgrade(CliContext& context) {
    if (!context.args.empty())
        return UsageError(Format(Text(Msg::kNoArguments).c_str(), "export-upgrade"));
    bool present = false;
    const ExportResult result = ExportUpgradePackage(present);
    if (!present) {
        PrintError(Text(Msg::kNoUpgradeFile));
        return 1;
    }
    PrintMessage(result.ok ? std::cout : std::cerr, result.message + "\r\n" + Utf8ToGb(result.path));
    return result.ok ? 0 : 1;
}

int RunImport(CliContext& context) {
    std::string taskText;
    bool ok = true;
    const bool keywords = TakeOption(context.args, "--task", taskText, ok);
    const bool yes = TakeFlag(context.args, "--yes");
    int task = 0;
    if (!ok || context.args.size() != 1)
        return UsageOf("import FILE [--yes] | import FILE --task ID");
    if (keywords) {
        if (const int status = TaskIdArgument(taskText, task); status != 0)
            return status;
    }
    const std::string& path = context.args[0];
    if (keywords) {
        const KeywordImportResult result = ImportKeywordFile(task, path, nullptr);
        PrintMessage(result.ok ? std::cout : std::cerr, result.message);
        PrintLine(std::cout, Format(Text(Msg::kKeywordImport).c_str(), result.lines, result.inserted,
                                    result.updated, result.unchanged, result.failed));
        if (!result.lastDbError.empty())
            PrintMessage(std::cerr, result.lastDbError);
        return result.ok ? 0 : 1;
    }
    CliPrompt prompt(yes);
    const ImportResult result = ImportExchangeFilePath(path, &prompt);
    for (const std::string& note : result.notes)
        PrintError(note);
    PrintMessage(result.ok ? std::cout : std::cerr, result.message);
    if (result.statements > 0 || result.filesWritten > 0 || result.filesSkipped > 0) {
        PrintLine(std::cout, Format(Text(Msg::kImportCounts).c_str(), result.statements, result.succeeded,
                                    result.filesWritten, result.filesSkipped));
    }
    if (!result.lastDbError.empty())
        PrintMessage(std::cerr, Text(Msg::kLastDbError) + result.lastDbError);
    return result.ok ? 0 : 1;
}

const CliCommandRegistrar kExportSeed({"export-seed", "export-seed ID [--out FILE]", false, RunExportSeed});
const CliCommandRegistrar kExportFruit({"export-fruit", "export-fruit ID [--out FILE]", false,
                                        RunExportFruit});
const CliCommandRegistrar kExportUpgrade({"export-upgrade", "export-upgrade", false, RunExportUpgrade});
const CliCommandRegistrar kImport({"import", "import FILE [--yes] | import FILE --task ID", false,
                                   RunImport});

}  // namespace

}  // namespace sorvik::cli
