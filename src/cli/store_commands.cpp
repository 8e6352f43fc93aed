// sorvik-cli init and sql: the home folder and the database as they are.

#include <iostream>

#include "cli/cli_command.h"
#include "cli/cli_messages.h"
#include "store/app_home.h"
#include "store/db_access.h"
#include "text/code_page.h"
#include "text/strings.h"

namespace sorvik::cli {

namespace {

int RunInit(CliContext& context) {
    if (!context.args.empty())
        return UsageError(Format(Text(Msg::kNoArguments).c_str(), "init"));
    // Start-up has made the folder, the database and its system tables.
    PrintLine(std::cout, Format(Text(Msg::kHome).c_str(), Utf8ToGb(AppDir()).c_str()));
    return 0;
}

int RunSql(CliContext& context) {
    if (context.args.size() != 1)
        return UsageOf("sql STATEMENT");
    CDbAccess db;
    const std::string statement = ExternalTextToGb(context.args[0]);
    auto rows = db.ExecuteQuery(statement);
    if (!rows) {
        PrintError(db.m_strError);
        if (!db.m_strProviderError.empty())
            PrintError(db.m_strProviderError);
        return 1;
    }
    if (rows->ColumnCount() == 0)
        return 0;
    std::string line;
    for (size_t i = 0; i < rows->ColumnCount(); ++i) {
        if (i > 0)
            line += '\t';
        line += rows->ColumnName(i);
    }
    PrintLine(std::cout, line);
    for (; !rows->IsEof(); rows->MoveNext()) {
        line.clear();
        for (size_t i = 0; i < rows->ColumnCount(); ++i) {
            if (i > 0)
                line += '\t';
            // Tabs and line ends inside a value would break the row apart.
            line += TabSafe(rows->Text(i));
        }
        PrintLine(std::cout, line);
    }
    return 0;
}

const CliCommandRegistrar kInit({"init", "init", false, RunInit});
const CliCommandRegistrar kSql({"sql", "sql STATEMENT", false, RunSql});

}  // namespace

}  // namespace sorvik::cli
