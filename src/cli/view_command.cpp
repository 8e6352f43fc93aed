// sorvik-cli view: writes a task's detail or browse view as the workbench shows it.

#include <iostream>

#include "cli/cli_command.h"
#include "cli/cli_messages.h"
#include "text/code_page.h"
#include "text/strings.h"
#include "workbench/record_view.h"
#include "workbench/result_filter.h"

namespace sorvik::cli {

namespace {

constexpr const char* kUsage =
    "view ID [--browse] [--page N] [--filter EXPR] [--where FIELD_TITLE OPERATOR VALUE] [--ids ID,...]";

int RunView(CliContext& context) {
    std::string pageText = "1";
    std::string filter;
    std::string idsText;
    bool ok = true;
    const bool browse = TakeFlag(context.args, "--browse");
    TakeOption(context.args, "--page", pageText, ok);
    TakeOption(context.args, "--filter", filter, ok);
    FilterCondition where;
    const bool hasWhere = TakeWhere(context.args, where, ok);
    const bool hasIds = TakeOption(context.args, "--ids", idsText, ok);
    if (!ok || context.args.size() > 1)
        return UsageOf(kUsage);
    RecordViewRequest request;
    if (!ParseIdArgument(pageText, request.page))
        return ArgumentError(Format(Text(Msg::kNotANumber).c_str(), "--page"));
    if (hasIds) {
        std::vector<long long> ids;
        for (const std::string& item : SplitAll(idsText, ",")) {
            int id = 0;
            if (!ParseIdArgument(Trim(item), id))
                return ArgumentError(Text(Msg::kIdsWords));
            ids.push_back(id);
        }
        request.recordIds = std::move(ids);
    }
    int taskId = 0;
    if (const int status = FirstTaskId(context.args, kUsage, taskId); status != 0)
        return status;
    request.kind = browse ? RecordViewKind::kBrowse : RecordViewKind::kDetail;
    std::string error;
    bool filterRefused = false;
    if (!PrepareResultQuery(taskId, ExternalTextToGb(filter), request.query, error, filterRefused)) {
        PrintError(filterRefused ? Text(Msg::kFilterOneCondition) : error);
        return filterRefused ? 2 : 1;
    }
    // The bar's condition through the bar's compiler; its search terms are highlighted.
    if (hasWhere) {
        CompiledFilter compiled;
        if (!ApplyFilter(request.query, where, compiled, error)) {
            PrintError(error);
            return 1;
        }
        request.terms = compiled.searchTerms;
    }
    RecordViewResult result;
    if (!WriteRecordView(request, result, error)) {
        PrintError(error);
        return 1;
    }
    std::cout << result.path << "\n";
    return 0;
}

const CliCommandRegistrar kView({"view", kUsage, false, RunView});

}  // namespace

}  // namespace sorvik::cli
