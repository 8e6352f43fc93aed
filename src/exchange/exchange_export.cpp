#include "exchange/exchange_export.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>

#include "engine/result_table.h"
#include "exchange/exchange_header.h"
#include "exchange/exchange_records.h"
#include "exchange/exchange_statement.h"
#include "exchange/file_scramble.h"
#include "exchange/table_schema.h"
#include "script/script_keys.h"
#include "script/script_text.h"
#include "store/app_home.h"
#include "store/database.h"
#include "store/db_access.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/gb_text.h"
#include "text/strings.h"

namespace sorvik {

namespace fs = std::filesystem;

namespace {

constexpr char kSeparator = '\x01';
constexpr int kMaxPageNumber = 100000;

struct ExportedTask {
    long long id = 0;
    long long folder = 0;  // the shared task number: the download folder and the results' iNode_
    std::string script;
};

// File names on disk are UTF-8; inside they are GB18030.
std::string DiskName(const fs::path& path) {
    return ExternalTextToGb(path.filename().string());
}

// A name the importer writes back under the same name: safe, and unchanged by the way there and
// back. Others are left out of the file with a note, so that export and import agree.
bool TravelsUnchanged(const fs::path& path, const std::string& name) {
    return IsSafeRecordName(name) && FileSystemPath(name) == path.filename().string();
}

// A disk path in a note: control bytes are shown as "?".
std::string NotePath(const fs::path& path) {
    std::string text = Utf8ToGb(path.string());
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    }
    return text;
}

// Regular files and real sub-folders of a folder, sorted by name; links are left out.
void ListFolder(const fs::path& folder, std::vector<fs::path>& files, std::vector<fs::path>& folders) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::file_status status = it->symlink_status(ec);
        if (ec)
            break;
        if (fs::is_regular_file(status))
            files.push_back(it->path());
        if (fs::is_directory(status))
            folders.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
}

class CategoryExporter {
  public:
    CategoryExporter(bool fruit, ExchangePrompt* prompt) : fruit_(fruit), prompt_(prompt) {}

    ExportResult Run(int nodeId, const std::string& outputPath) {
        std::unique_lock lock(g_csDatabase);
        auto root = db_.OpenRecordset(Format("select * from TreeItems where ID=%d", nodeId));
        if (!root)
            return Failed("读取表失败！");
        if (root->IsEof())
            return Failed(Format("类别%d不存在！", nodeId));
        rootName_ = root->Text("Name");
        rootGerm_ = root->Text("cGerm");
        if (!Walk(nodeId, true))
            return Failed(error_);
        if (fruit_ && !ExportData())
            return Failed(error_);
        lock.unlock();

        std::string binary;
        for (const long long folder : folders_) {
            if (fruit_) {
                AppendDownloadFolder(folder, binary);
            } else {
                AppendPageTemplates(folder, binary);
            }
        }
        const std::string header =
            fruit_ ? BuildFruitHeader(rootGerm_, {rootGerm_}, {rootName_}, statements_.size())
                   : BuildSeedHeader(rootGerm_, statements_.size());
        result_.path = outputPath.empty()
                           ? AppPath(FileSystemPath(ExportFileName(rootName_) + (fruit_ ? ".fru" : ".grm")))
                           : outputPath;
        const bool ok =
            WriteWholeFile(result_.path, ScrambleBytes(header + statements_ + binary, kExchangeMarker));
        result_.ok = ok;
        std::string message =
            Format(ok ? "导出成功！\r\n%s" : "导出失败！\r\n%s", Utf8ToGb(result_.path).c_str());
        if (fruit_)
            message += Format("\r\n共导出%lld条数据,文件共有%lld条数据", result_.records, result_.statements);
        result_.message = message;
        return result_;
    }

  private:
    ExportResult Failed(const std::string& message) {
        result_.ok = false;
        result_.message = message;
        return result_;
    }

    void AddStatement(const std::string& statement) {
        if (!statements_.empty())
            statements_ += kSeparator;
        statements_ += statement;
        ++result_.statements;
    }

    // One level of the tree: the rows of this level first, then each child's own level.
    bool Walk(int nodeId, bool root) {
        auto rows = db_.OpenRecordset(
            root ? Format("select * from TreeItems where ParentItemID=%d or ID=%d", nodeId, nodeId)
                 : Format("select * from TreeItems where ParentItemID=%d", nodeId));
        if (!rows) {
            error_ = "读取表失败！";
            return false;
        }
        std::vector<int> children;
        for (; !rows->IsEof(); rows->MoveNext()) {
            const int id = static_cast<int>(rows->Int("ID"));
            // A row met twice (a node filed under itself) is written once and not walked again.
            if (!visited_.insert(id).second)
                continue;
            if (!AddCategory(*rows))
                return false;
            if (!(root && id == nodeId))
                children.push_back(id);
        }
        for (const int child : children) {
            if (!Walk(child, false))
                return false;
        }
        return true;
    }

    bool AddCategory(const Recordset& row) {
        const std::string name = row.Text("Name");
        const std::string germ = row.Text("cGerm");
        if (germ.empty()) {
            error_ = Format("“%s”没有分配种子号！", name.c_str());
            return false;
        }
        if (!IsWritableSeedCode(germ)) {
            error_ = Format("“%s”的种子号含有不能导出的字符！", name.c_str());
            return false;
        }
        long long taskId = row.Int("iTask");
        std::optional<Recordset> task;
        if (taskId > 0) {
            task = db_.OpenRecordset(Format("select * from Task where ID=%lld", taskId));
            if (!task) {
                error_ = "读取表失败！";
                return false;
            }
            // A category bound to a task that no longer exists is written without it.
            if (task->IsEof())
                taskId = 0;
        }
        const std::string quotedName = EscapeExchangeText(name);
        const std::string quotedGerm = EscapeExchangeText(germ);
        AddStatement(Format(
            "insert into TreeItems(ID,Name,iImage,iOrder,bExpand,iType,iTask,cGerm,iVer,ParentItemID) "
            "values(%lld,'%s',%lld,%lld,%lld,%lld,%lld,'%s',%lld,%lld)",
            row.Int("ID"), quotedName.c_str(), row.Int("iImage"), row.Int("iOrder"), row.Int("bExpand"),
            row.Int("iType"), taskId, quotedGerm.c_str(), row.Int("iVer"), row.Int("ParentItemID")));
        if (fruit_) {
            AddStatement(Format(
                "update TreeItems set ID=%lld,Name='%s',iImage=%lld,iOrder=%lld,bExpand=%lld,"
                "iType=%lld,iTask=%lld,iVer=%lld,ParentItemID=%lld where cGerm='%s' and cGerm is not null",
                row.Int("ID"), quotedName.c_str(), row.Int("iImage"), row.Int("iOrder"), row.Int("bExpand"),
                row.Int("iType"), taskId, row.Int("iVer"), row.Int("ParentItemID"), quotedGerm.c_str()));
        }
        if (taskId > 0)
            AddTask(*task, germ);
        return true;
    }

    void AddTask(const Recordset& task, const std::string& categoryGerm) {
        const long long id = task.Int("ID");
        std::string germ = task.Text("cGerm");
        if (!IsWritableSeedCode(germ))
            germ = Format("%s-%lld", categoryGerm.c_str(), id);
        const std::string script = task.Text("cSearchScript");
        const std::string quotedName = EscapeExchangeText(task.Text("cTask"));
        const std::string quotedScript = EscapeExchangeText(script);
        const std::string quotedGerm = EscapeExchangeText(germ);
        AddStatement(Format(
            "insert into Task(ID,iStatus,cTask,cSearchScript,cSetInfo,iType,iMod,cGerm,iMemo) "
            "values(%lld,6,'%s','%s','%s',%lld,%lld,'%s',%lld)",
            id, quotedName.c_str(), quotedScript.c_str(), EscapeExchangeText(task.Text("cSetInfo")).c_str(),
            task.Int("iType"), task.Int("iMod"), quotedGerm.c_str(), task.Int("iMemo")));
        AddStatement(Format(
            "update Task set cTask='%s',iType=%lld,iMod=%lld,iMemo=%lld,cSearchScript='%s' where cGerm='%s'",
            quotedName.c_str(), task.Int("iType"), task.Int("iMod"), task.Int("iMemo"), quotedScript.c_str(),
            quotedGerm.c_str()));
        const long long folder = SharedTaskNumber(script, static_cast<int>(id));
        if (std::find(folders_.begin(), folders_.end(), folder) == folders_.end())
            folders_.push_back(folder);
        tasks_.push_back({id, folder, script});
    }

    // Fruit: the tables the scripts create, then the tasks' result rows, each table preceded by
    // its create statement so that the rows have somewhere to go in a fresh installation.
    bool ExportData() {
        std::vector<std::string> scriptTables;
        std::vector<std::pair<std::string, long long>> resultTables;
        for (const ExportedTask& task : tasks_) {
            for (int n = 1;; ++n) {
                const std::string table = Trim(ScriptValue(Format("#建表%d=", n), task.script));
                if (table.empty())
                    break;
                AddUnique(scriptTables, table);
            }
            std::vector<std::string> names{Trim(ScriptValue(key::kTable, task.script))};
            for (int n = 1;; ++n) {
                const std::string table = Trim(ScriptValue(Format("#表名%d=", n), task.script));
                if (table.empty() && n > 1)
                    break;
                names.push_back(table);
            }
            for (const std::string& table : names) {
                if (table.empty())
                    continue;
                const auto entry = std::make_pair(table, task.folder);
                const bool seen =
                    std::any_of(resultTables.begin(), resultTables.end(), [&](const auto& other) {
                        return EqualsNoCase(other.first, table) && other.second == task.folder;
                    });
                if (!seen)
                    resultTables.push_back(entry);
            }
        }
        for (const std::string& table : scriptTables) {
            if (!ExportRows(table, "select * from " + table, table + "(相关数据)", false))
                return false;
        }
        for (const auto& [table, folder] : resultTables) {
            if (!ExportRows(table, Format("select * from %s where iNode_=%lld", table.c_str(), folder), table,
                            true)) {
                return false;
            }
        }
        return true;
    }

    static void AddUnique(std::vector<std::string>& list, const std::string& item) {
        for (const std::string& other : list) {
            if (EqualsNoCase(other, item))
                return;
        }
        list.push_back(item);
    }

    bool ExportRows(const std::string& table, const std::string& query, const std::string& label,
                    bool results) {
        std::string createSql;
        bool exists = false;
        if (!ReadTableDefinition(table, createSql, exists, error_))
            return false;
        if (!exists)
            return true;  // a task that never ran has no table yet
        if (!created_.count(ToLowerAscii(table))) {
            created_.insert(ToLowerAscii(table));
            AddStatement(createSql);
        }
        auto rows = db_.OpenRecordset(query);
        if (!rows) {
            error_ = "读取表失败！";
            return false;
        }
        // Result rows leave ID_ to the importing table and begin with iNode_.
        std::vector<size_t> order;
        if (results) {
            const int node = FindFieldIndex(*rows, "iNode_");
            if (node >= 0)
                order.push_back(static_cast<size_t>(node));
        }
        for (size_t i = 0; i < rows->ColumnCount(); ++i) {
            const std::string& name = rows->ColumnName(i);
            if (results && (EqualsNoCase(name, "iNode_") || EqualsNoCase(name, "ID_")))
                continue;
            order.push_back(i);
        }
        std::vector<std::string> columns;
        for (const size_t i : order)
            columns.push_back(rows->ColumnName(i));
        const std::string columnList = Join(columns, ",");
        const long long count = static_cast<long long>(rows->RowCount());
        long long number = 0;
        for (; !rows->IsEof(); rows->MoveNext()) {
            std::vector<std::string> values;
            for (const size_t i : order) {
                const auto value = rows->Get(i);
                values.push_back(value ? "'" + EscapeExchangeText(*value) + "'" : std::string("null"));
            }
            AddStatement(Format("insert into %s (%s) values (%s)", table.c_str(), columnList.c_str(),
                                Join(values, ",").c_str()));
            ++result_.records;
            ++number;
            if (prompt_) {
                prompt_->Progress(Format("正处理:%15s %10lld/%lld  %s", label.c_str(), number, count,
                                         g_strDbError.Get().c_str()));
            }
        }
        return true;
    }

    void AddFile(const fs::path& path, const std::string& name, std::string& binary) {
        if (!TravelsUnchanged(path, name)) {
            result_.notes.push_back(Format("文件%s的名称不能原样导入，未导出", NotePath(path).c_str()));
            return;
        }
        std::string content;
        if (!ReadWholeFile(path.string(), content)) {
            result_.notes.push_back(Format("不能读取文件%s，未导出", NotePath(path).c_str()));
            return;
        }
        if (!AppendFileRecords(binary, name, content)) {
            result_.notes.push_back(Format("文件%s的名称或大小超出限制，未导出", NotePath(path).c_str()));
            return;
        }
        ++result_.files;
    }

    // Seed: Source%d.htm, Head%d.htm and image%d.gif of the folder, each kind up to its first gap.
    // Names are matched without regard to case, as the pages were named on the exporting side.
    void AppendPageTemplates(long long folder, std::string& binary) {
        const std::string name = std::to_string(folder);
        AppendFolderRecord(binary, name);
        const fs::path path = fs::path(AppPath("download")) / name;
        std::vector<fs::path> files, folders;
        ListFolder(path, files, folders);
        std::map<std::string, fs::path> byName;
        for (const fs::path& file : files)
            byName.emplace(ToLowerAscii(file.filename().string()), file);
        static const std::pair<const char*, const char*> kKinds[] = {
            {"Source", "htm"}, {"Head", "htm"}, {"image", "gif"}};
        for (const auto& [kind, extension] : kKinds) {
            for (int i = 1; i < kMaxPageNumber; ++i) {
                const auto found = byName.find(ToLowerAscii(Format("%s%d.%s", kind, i, extension)));
                if (found == byName.end())
                    break;
                AddFile(found->second, DiskName(found->second), binary);
            }
        }
    }

    // Fruit: every file of the folder and of its sub-folders, walked depth first.
    void AppendDownloadFolder(long long folder, std::string& binary) {
        const std::string name = std::to_string(folder);
        AppendFolderRecord(binary, name);
        AppendFolderContent(fs::path(AppPath("download")) / name, std::string(), binary);
    }

    void AppendFolderContent(const fs::path& path, const std::string& relative, std::string& binary) {
        std::vector<fs::path> files, folders;
        ListFolder(path, files, folders);
        if (!relative.empty() && !AppendSubFolderRecord(binary, relative)) {
            result_.notes.push_back(Format("文件夹%s的名称太长，未导出", NotePath(path).c_str()));
            return;
        }
        for (const fs::path& file : files)
            AddFile(file, DiskName(file), binary);
        for (const fs::path& sub : folders) {
            const std::string name = DiskName(sub);
            if (!TravelsUnchanged(sub, name)) {
                result_.notes.push_back(
                    Format("文件夹%s的名称不能原样导入，其中的文件未导出", NotePath(sub).c_str()));
                continue;
            }
            AppendFolderContent(sub, relative.empty() ? name : relative + "\\" + name, binary);
        }
    }

    bool fruit_;
    ExchangePrompt* prompt_;
    CDbAccess db_;
    std::string rootName_;
    std::string rootGerm_;
    std::string statements_;
    std::vector<long long> folders_;
    std::vector<ExportedTask> tasks_;
    std::set<int> visited_;
    std::set<std::string> created_;
    std::string error_;
    ExportResult result_;
};

}  // namespace

std::string ExportFileName(const std::string& categoryName) {
    std::string out;
    for (size_t i = 0; i < categoryName.size();) {
        size_t n = GbValidCharLength(categoryName, i);
        const auto c = static_cast<unsigned char>(categoryName[i]);
        if (n == 0 || (n == 1 && (c < 0x20 || c == 0x7F || c == '/' || c == '\\'))) {
            n = 1;
            out += '_';
        } else {
            out.append(categoryName, i, n);
        }
        i += n;
    }
    if (out.empty() || out == "." || out == "..")
        out = "_" + out;
    return out;
}

ExportResult ExportSeed(int nodeId, const std::string& outputPath, ExchangePrompt* prompt) {
    return CategoryExporter(false, prompt).Run(nodeId, outputPath);
}

ExportResult ExportFruit(int nodeId, const std::string& outputPath, ExchangePrompt* prompt) {
    return CategoryExporter(true, prompt).Run(nodeId, outputPath);
}

ExportResult ExportUpgradePackage(bool& present) {
    ExportResult result;
    std::string text;
    present = ReadWholeFile(AppPath(FileSystemPath("sc_升级.txt")), text);
    if (!present)
        return result;
    text = ExternalTextToGb(text);
    // Each line is one statement (a line ending in LF alone counts as well).
    ReplaceAll(text, "\r\n", std::string(1, kSeparator));
    ReplaceAll(text, "\n", std::string(1, kSeparator));
    result.path = AppPath(FileSystemPath(Format("%s.fru", "sc_升级")));
    result.ok = WriteWholeFile(
        result.path, ScrambleBytes(BuildFruitHeader("", {}, {}, text.size()) + text, kExchangeMarker));
    result.message = result.ok ? "导出成功！" : "导出失败！";
    return result;
}

}  // namespace sorvik
