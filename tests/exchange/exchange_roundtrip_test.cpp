// Seed and fruit files between two separate home folders: export, import, ID matching, refusals.

#include <gtest/gtest.h>

#include <filesystem>

#include "exchange/exchange_export.h"
#include "exchange/exchange_header.h"
#include "exchange/exchange_import.h"
#include "exchange/exchange_statement.h"
#include "exchange/file_scramble.h"
#include "exchange/keyword_import.h"
#include "exchange/seed_codes.h"
#include "script/script_text.h"
#include "store/app_home.h"
#include "store/db_access.h"
#include "store/startup.h"
#include "store/task_table.h"
#include "support/temp_dir.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/strings.h"

using namespace sorvik;
using sorvik::test::TempDir;

namespace {

// Answers OK and keeps the questions asked.
class RecordingPrompt : public ExchangePrompt {
  public:
    bool AskOkCancel(std::string_view question) override {
        questions.emplace_back(question);
        return true;
    }
    std::vector<std::string> questions;
};

void Sql(const std::string& statement) {
    CDbAccess db;
    ASSERT_TRUE(db.ExecuteSql(statement)) << GbToUtf8(db.m_strError + db.m_strProviderError);
}

std::string Value(const std::string& query) {
    CDbAccess db;
    auto rows = db.OpenRecordset(query);
    EXPECT_TRUE(rows) << GbToUtf8(db.m_strError);
    return rows && !rows->IsEof() ? rows->Text(size_t{0}) : "<none>";
}

long long Count(const std::string& table, const std::string& where) {
    CDbAccess db;
    return db.SelectCount(table, where);
}

// A page or download file below the home folder (GB name -> UTF-8 path).
std::string HomeFile(const std::string& relative) {
    return AppPath(GbToUtf8(relative));
}

void Write(const std::string& relative, const std::string& content) {
    const std::string path = HomeFile(relative);
    ASSERT_TRUE(MakeDirectories(path.substr(0, path.rfind('/'))));
    ASSERT_TRUE(WriteWholeFile(path, content));
}

std::string Read(const std::string& relative) {
    std::string content;
    return ReadWholeFile(HomeFile(relative), content) ? content : "<missing>";
}

// The plain content of a written exchange file.
std::string Plain(const std::string& path) {
    std::string stored, plain;
    EXPECT_TRUE(ReadWholeFile(path, stored));
    EXPECT_TRUE(UnscrambleBytes(stored, "germ", plain));
    return plain;
}

// The names of the records of a binary part, "5:1", "3:Source1.htm", "4:<size>".
std::vector<std::string> RecordList(std::string_view binary) {
    std::vector<std::string> list;
    size_t pos = 0;
    while (pos < binary.size()) {
        const char type = binary[pos++];
        if (type == '\x04') {
            uint32_t m = 0;
            for (int i = 3; i >= 0; --i)
                m = (m << 8) | static_cast<unsigned char>(binary[pos + static_cast<size_t>(i)]);
            list.push_back(Format("4:%u", m));
            pos += 4 + m;
        } else {
            const auto n = static_cast<unsigned char>(binary[pos]);
            list.push_back(Format("%d:", type) + std::string(binary.substr(pos + 1, n)));
            pos += 1 + n;
        }
    }
    return list;
}

// New categories of a fresh home are numbered from 101.
constexpr int kRoot = 101, kChild = 102, kEmpty = 103;

const char* const kScriptA =
    "#任务名称=新闻任务\r\n#类别号=101\r\n#表名=T_新闻\r\n#建表1=T_分类\r\n#字段名列表=标题,价格,备注\r\n";
const char* const kScriptB = "#任务名称=体育任务\r\n#类别号=102\r\n#表名=T_新闻\r\n#共用任务号=1\r\n";

class ExchangeTest : public ::testing::Test {
  protected:
    void TearDown() override { ShutDown(); }

    void Use(const TempDir& home) {
        ShutDown();
        StartupOptions options;
        options.home = home.path();
        std::string error;
        ASSERT_TRUE(StartUp(options, error)) << error;
    }

    // The source installation: 新闻 (task 1) with 体育 (task 2, sharing task 1's data) and 空类.
    void BuildSource(bool assignCodes = true) {
        Use(source_);
        CTaskTable tasks;
        ASSERT_EQ(tasks.NewCategory("新闻", 42, 2), kRoot);
        ASSERT_EQ(tasks.NewCategory("体育", kRoot, 2), kChild);
        ASSERT_EQ(tasks.NewCategory("空类", kRoot, 2), kEmpty);
        ASSERT_EQ(tasks.AllocateTaskId(), 1);
        ASSERT_TRUE(tasks.InsertTask(1, "新闻任务", TaskState::kEnded, "http://x/", 4, kScriptA));
        ASSERT_EQ(tasks.AllocateTaskId(), 2);
        ASSERT_TRUE(tasks.InsertTask(2, "体育任务", TaskState::kWaiting, "http://y/", 3, kScriptB));
        Sql(Format("update TreeItems set iTask=1,iImage=3 where ID=%d", kRoot));
        Sql(Format("update TreeItems set iTask=2,iImage=3 where ID=%d", kChild));
        Sql("Create Table T_新闻(ID_ IDENTITY CONSTRAINT PK_T_新闻 PRIMARY KEY,iNode_ int,标题 varchar(100),"
            "价格 decimal(10,2),备注 memo)");
        Sql("insert into T_新闻 (iNode_,标题,价格,备注) values (1,'第一',12.5,'O''Neil\x01二值')");
        Sql("insert into T_新闻 (iNode_,标题,价格) values (1,'第二',3)");
        Sql("insert into T_新闻 (iNode_,标题,价格) values (9,'别的任务',1)");
        Sql("create table T_分类 (ID_ IDENTITY CONSTRAINT PK_T_分类 PRIMARY KEY,cID_ varchar(50),cName_ "
            "varchar(100),"
            "iGrade_ smallint,iParent_ int,cFullName_ varchar(100))");
        Sql("insert into  T_分类 (cName_ ,iGrade_ ,iParent_ ,cFullName_ ) values('国内',1,0,'国内')");
        Write("download/1/Source1.htm", "<p>源1</p>");
        Write("download/1/source2.htm", "<p>源2</p>");
        Write("download/1/Source4.htm", "<p>源4</p>");
        Write("download/1/Head1.htm", "head");
        Write("download/1/image1.gif", std::string("GIF89a\0\x01", 8));
        Write("download/1/img/2024/图.jpg", "jpeg");
        Write("download/2/Source1.htm", "task 2's own page");
        if (assignCodes) {
            int assigned = 0;
            std::string error;
            ASSERT_TRUE(AssignSeedCodes(kRoot, assigned, error)) << error;
            ASSERT_EQ(assigned, 5);
        }
    }

    // Exports seed and fruit of 新闻 into the source home and copies them out.
    void ExportBoth() {
        const ExportResult seed = ExportSeed(kRoot);
        ASSERT_TRUE(seed.ok) << GbToUtf8(seed.message);
        const ExportResult fruit = ExportFruit(kRoot, files_.file("f.fru"));
        ASSERT_TRUE(fruit.ok) << GbToUtf8(fruit.message);
        EXPECT_EQ(fruit.records, 3);  // two result rows filed under 1, one row of T_分类
        std::string bytes;
        ASSERT_TRUE(ReadWholeFile(seed.path, bytes));
        ASSERT_TRUE(WriteWholeFile(files_.file("s.grm"), bytes));
        seedGerm_ = Value(Format("select cGerm from TreeItems where ID=%d", kRoot));
    }

    ImportResult Import(const std::string& name, ExchangePrompt* prompt = nullptr) {
        ImportResult result = ImportExchangeFilePath(files_.file(name), prompt);
        EXPECT_FALSE(FileExists(WorkingCopyPath()));
        return result;
    }

    TempDir source_, target_, files_;
    std::string seedGerm_;
};

}  // namespace

TEST_F(ExchangeTest, SeedFileHoldsTheStatementsAndThePageTemplatesUpToTheFirstGap) {
    BuildSource();
    ExportBoth();
    const std::string plain = Plain(files_.file("s.grm"));
    ExchangeHeader header;
    std::string error;
    ASSERT_TRUE(ParseExchangeHeader(plain, header, error)) << GbToUtf8(error);
    EXPECT_EQ(header.kind, ExchangeKind::kSeed);
    EXPECT_EQ(header.germ, seedGerm_);
    EXPECT_EQ(plain.substr(0, header.statementsBegin), BuildSeedHeader(seedGerm_, header.statementsLength));

    // L covers exactly the statements: 3 category rows, and a row and an update per task.
    const std::string statements = plain.substr(header.statementsBegin, header.statementsLength);
    const std::vector<std::string> items = SplitAll(statements, "\x01");
    ASSERT_EQ(items.size(), 7u);
    EXPECT_EQ(items[0].rfind(
                  std::string("insert into TreeItems(ID,Name,iImage,iOrder,bExpand,iType,iTask,cGerm,iVer,"
                              "ParentItemID) ") +
                      Format("values(%d,'新闻',3,2,0,0,1,'%s',0,42)", kRoot, seedGerm_.c_str()),
                  0),
              0u)
        << GbToUtf8(items[0]);

    // Both tasks file under folder 1; Source4 follows a gap and stays out; names keep their case.
    EXPECT_EQ(RecordList(std::string_view(plain).substr(header.statementsBegin + header.statementsLength)),
              (std::vector<std::string>{"5:1", "3:Source1.htm", "4:10", "3:source2.htm", "4:10",
                                        "3:Head1.htm", "4:4", "3:image1.gif", "4:8"}));
}

TEST_F(ExchangeTest, RoundTripIntoAFreshHome) {
    BuildSource();
    ExportBoth();
    Use(target_);

    // The fruit needs its seed first.
    ImportResult early = Import("f.fru");
    EXPECT_FALSE(early.ok);
    EXPECT_EQ(early.message, "您不能导入该文件！\r\n您还没有引入种子“新闻”");
    EXPECT_EQ(Count("TreeItems", "cGerm is not null"), 0);

    ImportResult seed = Import("s.grm");
    ASSERT_TRUE(seed.ok) << GbToUtf8(seed.message);
    // A fresh home takes the file's IDs as they are.
    EXPECT_EQ(Value(Format("select Name from TreeItems where ID=%d and ParentItemID=42 and iTask=1", kRoot)),
              "新闻");
    EXPECT_EQ(Value(Format("select Name from TreeItems where ID=%d and ParentItemID=%d and iTask=2", kChild,
                           kRoot)),
              "体育");
    EXPECT_EQ(Value("select cSearchScript from Task where ID=1 and iStatus=6 and iType=4"), kScriptA);
    EXPECT_EQ(Value("select cTask from Task where ID=2 and iStatus=6"), "体育任务");
    // Status 6 keeps them out of every task list.
    EXPECT_EQ(Count("Task", "iStatus<>6"), 0);
    EXPECT_EQ(Read("download/1/Source1.htm"), "<p>源1</p>");
    EXPECT_EQ(Read("download/1/image1.gif"), std::string("GIF89a\0\x01", 8));
    EXPECT_EQ(Read("download/1/Source4.htm"), "<missing>");

    // The same seed again: inserts fail on the rows already here, the task updates rewrite them.
    Sql("update Task set cTask='改过',cSearchScript='x' where ID=1");
    ASSERT_TRUE(Import("s.grm").ok);
    EXPECT_EQ(Count("TreeItems", "ID>100"), 3);
    EXPECT_EQ(Count("Task", "ID>0"), 2);
    EXPECT_EQ(Value("select cSearchScript from Task where ID=1"), kScriptA);

    // The fruit: result rows filed under 1 (not the row of task 9), the script table, every file.
    Write("download/1/Source1.htm", "changed here");
    RecordingPrompt prompt;
    ImportResult fruit = Import("f.fru", &prompt);
    ASSERT_TRUE(fruit.ok) << GbToUtf8(fruit.message);
    EXPECT_TRUE(fruit.restartNeeded);
    EXPECT_TRUE(prompt.questions.empty());
    EXPECT_EQ(Count("T_新闻", "iNode_=1"), 2);
    EXPECT_EQ(Value("select 备注 from T_新闻 where 标题='第一'"), "O'Neil\x01二值");
    EXPECT_EQ(Value("select 价格 from T_新闻 where 标题='第一'"), "12.5");
    EXPECT_EQ(Value("select cFullName_ from T_分类 where cName_='国内'"), "国内");
    EXPECT_EQ(Read("download/1/img/2024/图.jpg"), "jpeg");
    EXPECT_EQ(Read("download/1/Source1.htm"), "changed here");
    EXPECT_EQ(Read("download/1/Source4.htm"), "<p>源4</p>");
    // Rows made here later get IDs above the imported ones.
    EXPECT_GT(CTaskTable().AllocateTaskId(), 2);
}

TEST_F(ExchangeTest, HostileFileNamesTravelAsTheyAreOrStayOutWithANote) {
    BuildSource();
    // Names on disk as the file system holds them (bytes), beside the pages of BuildSource.
    const std::string folder = AppPath("download/1/");
    const std::vector<std::string> travel = {"a..b.txt", "caf\xE9.txt", GbToUtf8("价目表.txt"),
                                             GbToUtf8("图片/新/图.jpg"), "z_last.txt"};
    for (const std::string& name : travel) {
        ASSERT_TRUE(MakeDirectories((folder + name).substr(0, (folder + name).rfind('/'))));
        ASSERT_TRUE(WriteWholeFile(folder + name, "content of " + name));
    }
    ASSERT_TRUE(WriteWholeFile(folder + "line\nbreak.txt", "x"));
    ASSERT_TRUE(MakeDirectories(folder + "back\\slash"));
    ASSERT_TRUE(WriteWholeFile(folder + "back\\slash/f.txt", "x"));
    ExportBoth();
    const ExportResult fruit = ExportFruit(kRoot, files_.file("f.fru"));
    ASSERT_EQ(fruit.notes.size(), 2u);
    EXPECT_NE(fruit.notes[0].find("line?break.txt"), std::string::npos) << GbToUtf8(fruit.notes[0]);
    EXPECT_NE(fruit.notes[1].find("back\\slash"), std::string::npos) << GbToUtf8(fruit.notes[1]);

    Use(target_);
    ASSERT_TRUE(Import("s.grm").ok);
    const ImportResult result = Import("f.fru");
    ASSERT_TRUE(result.ok) << GbToUtf8(result.message);
    EXPECT_TRUE(result.notes.empty());
    for (const std::string& name : travel) {
        std::string content;
        EXPECT_TRUE(ReadWholeFile(AppPath("download/1/") + name, content)) << name;
        EXPECT_EQ(content, "content of " + name);
    }
    EXPECT_EQ(Read("download/1/img/2024/图.jpg"), "jpeg");
}

TEST_F(ExchangeTest, IdsTakenHereAreReplacedEverywhereTheyAreUsed) {
    BuildSource();
    ExportBoth();
    Use(target_);
    // This installation has its own category with the root's number and task 1, with a page of its own.
    CTaskTable tasks;
    ASSERT_EQ(tasks.NewCategory("本地", 42, 2), kRoot);
    ASSERT_EQ(tasks.AllocateTaskId(), 1);
    ASSERT_TRUE(tasks.InsertTask(1, "本地任务", TaskState::kWaiting, "", 3, "#任务名称=本地任务\r\n"));
    Sql(Format("update TreeItems set iTask=1 where ID=%d", kRoot));
    Write("download/1/Source1.htm", "local page");

    ASSERT_TRUE(Import("s.grm").ok);
    const int root = ToInt(Value("select ID from TreeItems where cGerm='" + seedGerm_ + "'"));
    const int child = ToInt(Value("select ID from TreeItems where Name='体育'"));
    const int taskA = ToInt(Value("select ID from Task where cTask='新闻任务'"));
    const int taskB = ToInt(Value("select ID from Task where cTask='体育任务'"));
    EXPECT_GT(taskA, 2);
    EXPECT_EQ(Value(Format("select ParentItemID from TreeItems where ID=%d", root)), "42");
    EXPECT_EQ(Value(Format("select ParentItemID from TreeItems where ID=%d", child)), std::to_string(root));
    EXPECT_EQ(Value(Format("select iTask from TreeItems where ID=%d", child)), std::to_string(taskB));
    const std::string scriptA = Value(Format("select cSearchScript from Task where ID=%d", taskA));
    const std::string scriptB = Value(Format("select cSearchScript from Task where ID=%d", taskB));
    EXPECT_EQ(ScriptValue("#类别号=", scriptA), std::to_string(root));
    EXPECT_EQ(ScriptValue("#类别号=", scriptB), std::to_string(child));
    EXPECT_EQ(ScriptValue("#共用任务号=", scriptB), std::to_string(taskA));
    // What was here stays as it was.
    EXPECT_EQ(Value("select cTask from Task where ID=1"), "本地任务");
    EXPECT_EQ(Read("download/1/Source1.htm"), "local page");
    EXPECT_EQ(Read(Format("download/%d/Source1.htm", taskA)), "<p>源1</p>");

    // A second import finds the same rows by their seed codes.
    ASSERT_TRUE(Import("s.grm").ok);
    EXPECT_EQ(Count("TreeItems", "Name='新闻'"), 1);
    EXPECT_EQ(Count("Task", "cTask='新闻任务'"), 1);

    ImportResult fruit = Import("f.fru");
    ASSERT_TRUE(fruit.ok) << GbToUtf8(fruit.message);
    EXPECT_EQ(Count("T_新闻", Format("iNode_=%d", taskA)), 2);
}

TEST_F(ExchangeTest, ADefaultNodeJoinsItsCounterpartInsteadOfBeingCopied) {
    Use(source_);
    CTaskTable tasks;
    ASSERT_EQ(tasks.NewCategory("子类", 43, 2), kRoot);
    int assigned = 0;
    std::string error;
    ASSERT_TRUE(AssignSeedCodes(43, assigned, error)) << error;
    const std::string germ = Value("select cGerm from TreeItems where ID=43");
    const ExportResult seed = ExportSeed(43, files_.file("d.grm"));
    ASSERT_TRUE(seed.ok) << GbToUtf8(seed.message);
    const ExportResult fruit = ExportFruit(43, files_.file("d.fru"));
    ASSERT_TRUE(fruit.ok) << GbToUtf8(fruit.message);

    Use(target_);
    ASSERT_TRUE(Import("d.grm").ok);
    EXPECT_EQ(Count("TreeItems", "Name='默认类别'"), 1);
    EXPECT_EQ(Value("select cGerm from TreeItems where ID=43"), germ);
    EXPECT_EQ(Value("select ParentItemID from TreeItems where Name='子类'"), "43");
    // The fruit finds the seed it needs on node 43.
    const ImportResult result = Import("d.fru");
    EXPECT_TRUE(result.ok) << GbToUtf8(result.message);
    EXPECT_EQ(Count("TreeItems", "Name='默认类别'"), 1);
}

TEST_F(ExchangeTest, ExportRefusesCategoriesWithoutSeedCodes) {
    BuildSource(false);
    const ExportResult seed = ExportSeed(kRoot);
    EXPECT_FALSE(seed.ok);
    EXPECT_EQ(seed.message, "“新闻”没有分配种子号！");
    EXPECT_FALSE(FileExists(HomeFile("新闻.grm")));
    Sql(Format("update TreeItems set cGerm='G1' where ID=%d", kRoot));
    const ExportResult fruit = ExportFruit(kRoot);
    EXPECT_FALSE(fruit.ok);
    EXPECT_EQ(fruit.message, "“体育”没有分配种子号！");
    EXPECT_FALSE(FileExists(HomeFile("新闻.fru")));

    int assigned = 0;
    std::string error;
    ASSERT_TRUE(AssignSeedCodes(kRoot, assigned, error));
    EXPECT_EQ(assigned, 4);  // two categories and two tasks; 新闻 keeps G1
    EXPECT_EQ(Value(Format("select cGerm from TreeItems where ID=%d", kRoot)), "G1");
    EXPECT_NE(Value(Format("select cGerm from TreeItems where ID=%d", kChild)),
              Value(Format("select cGerm from TreeItems where ID=%d", kEmpty)));
}

TEST_F(ExchangeTest, AForeignStatementStopsTheWholeFileBeforeAnythingRuns) {
    Use(target_);
    const std::string statements =
        "insert into TreeItems(ID,Name,ParentItemID) values(300,'甲',42)\x01"
        "delete from Task";
    ASSERT_TRUE(WriteWholeFile(files_.file("foreign.grm"),
                               ScrambleBytes(BuildSeedHeader("GX", statements.size()) + statements, "germ")));
    ImportResult foreign = Import("foreign.grm");
    EXPECT_FALSE(foreign.ok);
    EXPECT_NE(foreign.message.find("拒绝导入：第2条语句"), std::string::npos) << GbToUtf8(foreign.message);
    EXPECT_NE(foreign.message.find("delete from Task"), std::string::npos);
    EXPECT_EQ(Count("TreeItems", "ID=300"), 0);
    EXPECT_EQ(Count("Task", "ID=0"), 1);
}

TEST_F(ExchangeTest, KeywordListsGoIntoTheTasksKeywordColumn) {
    Use(target_);
    CTaskTable tasks;
    ASSERT_TRUE(tasks.InsertTask(5, "关键字任务", TaskState::kWaiting, "", 3,
                                 "#表名=T_kw\r\n#搜索关键字标题=关键字\r\n#字段名列表=关键字,状态\r\n"
                                 "状态_初始值=新\r\n#已存在关键字时的更新=状态='再次'\r\n#共用任务号=4\r\n"));
    Sql("Create Table T_kw(ID_ IDENTITY CONSTRAINT PK_T_kw PRIMARY KEY,iNode_ int,关键字 varchar(100),状态 "
        "varchar(20))");
    Sql("insert into T_kw (iNode_,关键字,状态) values (4,'甲','旧')");
    RecordingPrompt prompt;
    const KeywordImportResult result = ImportKeywordText(5, "甲\r\n乙\r\n\r\n  丙 \r\nO'K\nlast", &prompt);
    ASSERT_TRUE(result.ok) << GbToUtf8(result.message);
    EXPECT_EQ(result.message, "引入完成！\r\n共引入4条数据,文件共有5条数据");
    EXPECT_EQ(Value("select 状态 from T_kw where 关键字='甲'"), "再次");
    EXPECT_EQ(Value("select 状态 from T_kw where 关键字='丙' and iNode_=4"), "新");
    EXPECT_EQ(Value("select count(*) from T_kw where 关键字='O''K'"), "1");

    EXPECT_FALSE(ImportKeywordText(77, "a", nullptr).ok);
    ASSERT_TRUE(tasks.InsertTask(6, "无表", TaskState::kWaiting, "", 3, "#任务名称=无表\r\n"));
    EXPECT_FALSE(ImportKeywordText(6, "a", nullptr).ok);
}

TEST_F(ExchangeTest, AnUpgradePackageChangesTablesOfASecondHomeAfterTheQuestion) {
    Use(source_);
    bool present = false;
    Write(
        "sc_升级.txt",
        "create table T_升级 (ID_ IDENTITY CONSTRAINT PK_T_升级 PRIMARY KEY,iNode_ int,名称 varchar(20))\r\n"
        "alter table T_升级 add column 备注 memo\r\n"
        "insert into T_升级 (iNode_,名称,备注) values (1,'甲','旧')\r\n"
        "insert into T_升级 (iNode_,名称) values (1,'乙')\r\n"
        "update T_升级 set 备注='改' where 名称='乙'\r\n"
        "delete from T_升级 where 名称='甲'\r\n"
        "update ShowModule set cHtml='新模版' where ID=1\r\n");
    const ExportResult package = ExportUpgradePackage(present);
    ASSERT_TRUE(package.ok && present) << GbToUtf8(package.message);
    // A package that would drop a table is refused whole.
    Write("sc_升级.txt", "insert into T_升级 (iNode_,名称) values (1,'丙')\r\ndrop table T_升级\r\n");
    std::filesystem::copy_file(package.path, files_.file("u.fru"));
    ASSERT_TRUE(ExportUpgradePackage(present).ok);
    std::filesystem::copy_file(package.path, files_.file("drop.fru"));

    Use(target_);
    EXPECT_EQ(Import("u.fru").message, "已取消导入。");  // no prompt: the question is answered Cancel
    RecordingPrompt prompt;
    const ImportResult result = Import("u.fru", &prompt);
    ASSERT_TRUE(result.ok) << GbToUtf8(result.message);
    EXPECT_EQ(prompt.questions, std::vector<std::string>{"升级包有7条语句，确定执行吗？"});
    EXPECT_EQ(result.succeeded, 7) << GbToUtf8(result.lastDbError);
    EXPECT_EQ(Value("select 名称 || 备注 from T_升级"), "乙改");
    EXPECT_EQ(Value("select cHtml from ShowModule where ID=1"), "新模版");

    const ImportResult refused = Import("drop.fru", &prompt);
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.message.find("第2条"), std::string::npos) << GbToUtf8(refused.message);
    EXPECT_EQ(Count("T_升级", "名称='丙'"), 0);
}

TEST_F(ExchangeTest, AnInterruptedFruitImportLeavesNothingAndTheRetryGivesOneCopy) {
    BuildSource();
    ExportBoth();
    const std::string plain = Plain(files_.file("f.fru"));
    ExchangeHeader header;
    std::string error;
    ASSERT_TRUE(ParseExchangeHeader(plain, header, error)) << error;
    Use(target_);
    ASSERT_TRUE(Import("s.grm").ok);
    const long long tasks = Count("Task", "1=1");
    // Cut inside its files: every statement ran, yet nothing of the file may stay.
    const size_t binary = header.statementsBegin + header.statementsLength;
    ASSERT_LT(binary + 40, plain.size());
    const ImportResult cut = ImportExchangeFile(std::string_view(plain).substr(0, plain.size() - 3), nullptr);
    EXPECT_FALSE(cut.ok);
    EXPECT_EQ(Count("T_新闻", "1=1"), 0);
    EXPECT_EQ(Value("select count(*) from sqlite_master where name='T_分类'"), "0");
    EXPECT_EQ(Count("Task", "1=1"), tasks);
    EXPECT_EQ(Read("download/1/img/2024/图.jpg"), "<missing>");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(HomeFile("download")))
        EXPECT_EQ(entry.path().string().find(".sorvik-part"), std::string::npos) << entry.path();
    // A part a killed import left behind goes with the next import into its folder.
    const std::string stale = HomeFile("download/1/img/old.jpg.sorvik-part");
    std::filesystem::create_directories(HomeFile("download/1/img"));
    ASSERT_TRUE(WriteWholeFile(stale, "part"));
    ASSERT_TRUE(Import("f.fru").ok);
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_EQ(Count("T_新闻", "1=1"), 2);
    EXPECT_EQ(Count("T_分类", "1=1"), 1);
    EXPECT_EQ(Read("download/1/img/2024/图.jpg"), "jpeg");
}

TEST_F(ExchangeTest, AFruitCutAnywhereOrWithFlippedBytesIsRefusedOrContained) {
    BuildSource();
    ExportBoth();
    const std::string plain = Plain(files_.file("f.fru"));
    Use(target_);
    ASSERT_TRUE(Import("s.grm").ok);
    const size_t step = std::max<size_t>(1, plain.size() / 80);
    for (size_t cut = 0; cut < plain.size(); cut += step) {
        const ImportResult result = ImportExchangeFile(std::string_view(plain).substr(0, cut), nullptr);
        if (!result.ok) {
            EXPECT_FALSE(result.message.empty()) << cut;
        }
    }
    std::string flipped = plain;
    for (size_t i = 7; i < flipped.size(); i += 13)
        flipped[i] = static_cast<char>(flipped[i] ^ 0x5A);
    const ImportResult result = ImportExchangeFile(flipped, nullptr);
    EXPECT_FALSE(result.ok);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(target_.path())) {
        const std::string relative = std::filesystem::relative(entry.path(), target_.path()).string();
        EXPECT_TRUE(relative.rfind("download", 0) == 0 || relative.rfind("DataBase", 0) == 0 ||
                    relative == "sorvik.lock")
            << relative;
    }
}
