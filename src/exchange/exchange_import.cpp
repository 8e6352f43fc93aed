#include "exchange/exchange_import.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "exchange/exchange_records.h"
#include "exchange/exchange_statement.h"
#include "exchange/file_scramble.h"
#include "exchange/import_id_map.h"
#include "store/app_home.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/transaction.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/gb_text.h"
#include "text/strings.h"

namespace sorvik {

namespace {

constexpr char kSeparator = '\x01';
constexpr size_t kStopCheckInterval = 50;  // statements between two looks at the stop button

ImportResult Failed(ImportResult result, std::string message) {
    result.ok = false;
    result.message = std::move(message);
    return result;
}

// The installed version as shown: its first character, a point and the rest ("10" -> "1.0").
std::string ShownVersion(const std::string& installed) {
    if (installed.empty())
        return installed;
    return installed.substr(0, 1) + "." + installed.substr(1);
}

// Removes the working copy when the import ends, however it ends.
class WorkingCopy {
  public:
    explicit WorkingCopy(std::string path) : path_(std::move(path)) {}
    ~WorkingCopy() { std::remove(path_.c_str()); }
    WorkingCopy(const WorkingCopy&) = delete;
    WorkingCopy& operator=(const WorkingCopy&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace

std::string WorkingCopyPath() {
    return AppPath("temp99");
}

ImportResult ImportExchangeFile(std::string_view content, ExchangePrompt* prompt) {
    ImportResult result;
    ExchangeHeader header;
    std::string error;
    if (!ParseExchangeHeader(content, header, error))
        return Failed(result, error);
    result.kind = header.kind;

    CDbAccess db;
    if (header.kind == ExchangeKind::kFruit) {
        result.restartNeeded = true;
        for (size_t i = 0; i < header.requiredGerms.size(); ++i) {
            const std::string& germ = header.requiredGerms[i];
            if (germ.empty())
                continue;
            if (!db.RecordExists("TreeItems", Format("cGerm='%s'", SqlQuote(germ).c_str()), true)) {
                const std::string name = i < header.requiredNames.size() ? header.requiredNames[i] : germ;
                return Failed(result, Format("您不能导入该文件！\r\n您还没有引入种子“%s”", name.c_str()));
            }
        }
    }
    const std::string installed =
        header.germ.empty()
            ? std::string()
            : db.SelectTopString("iVer", "TreeItems", Format("cGerm='%s'", SqlQuote(header.germ).c_str()));
    if (header.kind == ExchangeKind::kSeed && !installed.empty()) {
        const std::string shown = ShownVersion(installed);
        if (std::strtod(header.version.c_str(), nullptr) < std::strtod(shown.c_str(), nullptr)) {
            const std::string question = Format("当前文件的版本(%s)比系统(%s)的低，确定导入吗？",
                                                header.version.c_str(), shown.c_str());
            if (!prompt || !prompt->AskOkCancel(question))
                return Failed(result, "已取消导入。");
        }
    }

    // Every statement is checked before the first one runs.
    const bool upgrade = IsUpgradePackage(header);
    const std::string_view section = content.substr(header.statementsBegin, header.statementsLength);
    std::vector<ExchangeStatement> statements;
    size_t number = 0;
    for (const std::string& item : SplitAll(section, std::string_view(&kSeparator, 1))) {
        if (Trim(item).empty())
            continue;
        ++number;
        ExchangeStatement statement;
        if (!ParseExchangeStatement(item, statement, error, upgrade)) {
            return Failed(result,
                          Format(upgrade ? "拒绝导入：升级包的第%zu条语句不允许（%s）：\r\n%s"
                                         : "拒绝导入：第%zu条语句不是种子或果子文件的数据语句（%s）：\r\n%s",
                                 number, error.c_str(), std::string(GbPrefixChars(item, 80)).c_str()));
        }
        statements.push_back(std::move(statement));
    }
    result.statements = static_cast<int>(statements.size());
    // An upgrade changes tables and templates: it runs only when the user agrees.
    if (upgrade && !statements.empty() &&
        (!prompt || !prompt->AskOkCancel(Format("升级包有%zu条语句，确定执行吗？", statements.size())))) {
        return Failed(result, "已取消导入。");
    }

    // One transaction for the whole file, held under g_csDatabase from the first statement to the
    // last file (the connection is shared: a gap would let another thread's work into it). A
    // stopped, failed or killed import leaves nothing, so importing the file again gives one copy.
    // A failing statement undoes only itself.
    std::scoped_lock lock(g_csDatabase);
    ImportIdMap ids;
    if (!ids.Plan(statements, error))
        return Failed(result, error);
    std::string transactionError;
    Transaction transaction(transactionError);
    if (!transaction.IsOpen())
        return Failed(result, "导入失败！\r\n" + transactionError);
    for (size_t i = 0; i < statements.size(); ++i) {
        if (i > 0 && i % kStopCheckInterval == 0 && prompt && !prompt->KeepGoing()) {
            result.stopped = true;
            result.succeeded = 0;
            return Failed(result, "导入已停止！");
        }
        ExchangeStatement& statement = statements[i];
        if (!ids.Apply(statement) || db.ExecuteSql(statement.Render())) {
            ++result.succeeded;
        } else {
            result.lastDbError = db.m_strProviderError.empty() ? db.m_strError : db.m_strProviderError;
        }
        if (prompt) {
            prompt->Progress(Format("正处理:%10zu(%d)/%d  %s", i + 1, result.succeeded, result.statements,
                                    result.lastDbError.c_str()));
        }
    }
    if (!ids.RaiseIdCounters(error))
        result.lastDbError = error;

    const size_t binaryBegin = header.statementsBegin + header.statementsLength;
    if (binaryBegin < content.size()) {
        UnpackResult unpack;
        const bool unpacked = UnpackExchangeRecords(
            content, binaryBegin, AppPath("download"),
            [&](const std::string& name) { return ids.MapFolder(name); }, prompt, unpack);
        result.filesWritten = unpack.written;
        result.filesSkipped = unpack.skipped;
        result.notes = unpack.notes;
        if (unpack.stopped) {
            result.stopped = true;
            result.succeeded = 0;
            return Failed(result, "导入已停止！");
        }
        if (!unpacked) {
            result.succeeded = 0;
            return Failed(result,
                          Format("解压文件失败！\r\n%s\r\n（没有导入任何内容）", unpack.error.c_str()));
        }
    }
    if (!transaction.Commit(transactionError)) {
        result.succeeded = 0;
        return Failed(result, "导入失败！\r\n" + transactionError);
    }
    result.ok = true;
    result.message = result.restartNeeded ? "导入完成！\r\n请退出重新运行软件！" : "导入完成！";
    return result;
}

ImportResult ImportExchangeFilePath(const std::string& path, ExchangePrompt* prompt) {
    ImportResult result;
    if (!FileExists(path))
        return Failed(result, Format("打开文件%s失败！", Utf8ToGb(path).c_str()));
    WorkingCopy copy(WorkingCopyPath());
    if (!UnscrambleFile(path, kExchangeMarker, copy.path())) {
        return Failed(result, "文件格式不对！\r\n文件结尾的标记不对：不是种子或果子文件，或者文件已损坏");
    }
    std::string content;
    if (!ReadWholeFile(copy.path(), content))
        return Failed(result, "读取临时文件temp99失败！");
    return ImportExchangeFile(content, prompt);
}

}  // namespace sorvik
