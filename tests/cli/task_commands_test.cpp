// sorvik-cli task show|edit|rename|delete|restart, tasks --all, --help of every command and the one
// message for an unknown task ID, run as a real process against a loopback HTTP server.

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "support/http_test_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "text/file_helpers.h"

namespace sorvik {
namespace {

using test::HttpTestServer;
using test::ProcessResult;
using test::RunCli;
using test::ScopedLang;
using test::U8;

class TaskCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.ok()) << server.error();
        server.AddPage("/list.htm", "<li>a</li><li>b</li><li>c</li>");
        ASSERT_EQ(RunCli(home.path(), {"init"}).exitCode, 0);
    }

    std::string Script(const std::string& name, const std::string& extra = {}) {
        return U8(u8"#任务名称=") + name + U8(u8"\n#表名=Items\n#字段名列表=名\n#要搜索网址=") +
               server.Url("/list.htm") + U8(u8"\n1=<li>.*?</li>\n名_1=~<li>(.*?)</li>\n") + extra;
    }

    std::string File(const std::string& text) {
        const std::string path = folder.file("f" + std::to_string(++files) + ".txt");
        EXPECT_TRUE(WriteWholeFile(path, text));
        return path;
    }

    std::string Add(const std::string& script) {
        ProcessResult added = RunCli(home.path(), {"add", File(script)});
        EXPECT_EQ(added.exitCode, 0) << added.err;
        return added.out.substr(0, added.out.find('\n'));
    }

    ProcessResult Cli(const std::vector<std::string>& args, int expected = 0) {
        ProcessResult result = RunCli(home.path(), args);
        EXPECT_EQ(result.exitCode, expected) << args.front() << " " << args.back() << "\n" << result.err;
        return result;
    }

    std::string Sql(const std::string& statement) { return Cli({"sql", statement}).out; }

    HttpTestServer server;
    test::TempDir home;
    test::TempDir folder;
    int files = 0;
};

TEST_F(TaskCommandsTest, ShowEditRenameAndRestart) {
    ScopedLang lang("zh_CN.UTF-8");
    const std::string id = Add(Script("one"));
    Cli({"run", id});
    std::string shown = Cli({"task", "show", id}).out;
    EXPECT_NE(shown.find(U8(u8"状态: 已完成\n")), std::string::npos) << shown;
    EXPECT_NE(shown.find(U8(u8"记录数: 3\n")), std::string::npos) << shown;
    EXPECT_NE(shown.find(U8(u8"[脚本]\n#任务名称=one\n")), std::string::npos) << shown;

    // edit replaces the script with the name and URL the list shows; rename changes both places.
    Cli({"task", "edit", id, File(Script("two", U8(u8"名_1_获取=纯文本\n")))});
    Cli({"task", "rename", id, U8(u8"第三")});
    EXPECT_EQ(Sql("select cTask from Task where ID=" + id), U8(u8"cTask\n第三\n"));
    shown = Cli({"task", "show", id}).out;
    EXPECT_NE(shown.find(U8(u8"#任务名称=第三\n")), std::string::npos) << shown;
    EXPECT_NE(shown.find(U8(u8"名_1_获取=纯文本\n")), std::string::npos) << shown;
    Cli({"task", "rename", id, " "}, 1);
    Cli({"task", "edit", id, File("#表名=X\n")}, 1);  // no name: the old script stays
    EXPECT_NE(Cli({"task", "show", id}).out.find(U8(u8"#任务名称=第三\n")), std::string::npos);

    // restart searches from the start with fresh statistics; the records already stored stay.
    Cli({"sql", "update Task set cNextSite='http://127.0.0.1:1/gone',iStartPage=7 where ID=" + id});
    Cli({"task", "restart", id});
    shown = Cli({"task", "show", id}).out;
    EXPECT_NE(shown.find(U8(u8"记录数: 3\n")), std::string::npos) << shown;
    EXPECT_EQ(Sql("select count(*) as n from Items"), "n\n6\n");
    EXPECT_EQ(server.CountRequests("/list.htm"), 2);
    const std::string list = Cli({"tasks", "--all"}).out;
    EXPECT_NE(list.find(id + U8(u8"\t已完成\t第三\t")), std::string::npos) << list;
}

TEST_F(TaskCommandsTest, DeleteMovesToTheDeletedListThenDeletesForGoodWithResults) {
    const std::string own = Add(Script("own"));
    const std::string shared = Add(Script("shared", U8(u8"#表数据过滤条件=名='b'\n")));
    Cli({"run", own, shared});
    Cli({"category", "new", "C"});
    Sql("update TreeItems set iTask=" + own + ",iImage=3 where Name='C'");
    Sql("insert into PlanTask (iTaskID,dPlanDateTime) values (" + own + ",'2030-01-01 07:00:00')");

    Cli({"task", "delete", own});
    EXPECT_EQ(Sql("select iType from Task where ID=" + own), "iType\n5\n");
    EXPECT_EQ(Sql("select count(*) as n from PlanTask"), "n\n0\n");
    EXPECT_EQ(Sql("select count(*) as n from Items"), "n\n6\n");
    // From the deleted list a delete is for good: its rows, the category binding and the row.
    Cli({"task", "delete", own});
    EXPECT_EQ(Sql("select count(*) as n from Task where ID=" + own), "n\n0\n");
    EXPECT_EQ(Sql("select iTask,iImage from TreeItems where Name='C'"), "iTask\tiImage\n0\t2\n");
    EXPECT_EQ(Sql("select iNode_,名 from Items order by ID_"),
              U8(u8"iNode_\t名\n") + shared + "\ta\n" + shared + "\tb\n" + shared + "\tc\n");

    // Results selected by the script's own condition may be other tasks' rows: kept unless --yes.
    const ProcessResult kept = Cli({"task", "delete", shared, "--purge"});
    EXPECT_NE(kept.err.find(U8(u8"#表数据过滤条件=")), std::string::npos) << kept.err;
    EXPECT_EQ(Sql("select count(*) as n from Items"), "n\n3\n");
    const std::string again = Add(Script("again", U8(u8"#表数据过滤条件=名='b'\n")));
    Cli({"task", "delete", again, "--purge", "--yes"});
    EXPECT_EQ(Sql("select 名 from Items order by ID_"), U8(u8"名\na\nc\n"));

    // A built-in task is never deleted; a task a live run holds neither.
    const std::string builtIn = Add(Script("builtin"));
    Sql("update Task set iMod=1 where ID=" + builtIn);
    EXPECT_NE(Cli({"task", "delete", builtIn, "--purge"}, 1).err.find(U8(u8"系统的内置任务不能删除！")),
              std::string::npos);
    EXPECT_EQ(Sql("select count(*) as n from Task where ID=" + builtIn), "n\n1\n");
}

TEST_F(TaskCommandsTest, EveryCommandAnswersHelpAndAnUnknownTaskGivesOneMessage) {
    ScopedLang lang("en_US.UTF-8");
    const ProcessResult usage = Cli({"--help"});
    std::istringstream lines(usage.out);
    std::set<std::string> commands;
    for (std::string line; std::getline(lines, line);) {
        const std::string prefix = "  sorvik-cli [--home DIR] ";
        if (line.rfind(prefix, 0) == 0)
            commands.insert(line.substr(prefix.size(), line.find(' ', prefix.size()) - prefix.size()));
    }
    EXPECT_GE(commands.size(), 19u) << usage.out;
    for (const std::string& command : commands) {
        const ProcessResult help = Cli({command, "--help"});
        EXPECT_EQ(help.out.find("sorvik-cli [--home DIR] " + command), 0u) << help.out;
        EXPECT_GT(help.out.size(), 60u) << command;  // a description follows the syntax
        EXPECT_TRUE(help.err.empty()) << help.err;
    }

    const std::string english = "no task with ID 99 (the task list: sorvik-cli tasks --all)\n";
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"task", "show", "99"},
                                               {"task", "restart", "99"},
                                               {"run", "99"},
                                               {"resume", "99"},
                                               {"results", "99"},
                                               {"search-pages", "99", "x"},
                                               {"mail-account", "99"},
                                               {"receive", "99"},
                                               {"import", File("k"), "--task", "99"}}) {
        EXPECT_EQ(Cli(args, 1).err, english) << args.front();
    }
    EXPECT_EQ(Cli({"task", "show", "x9"}, 2).err,
              "no task with ID x9 (the task list: sorvik-cli tasks --all)\n");
    EXPECT_NE(Cli({"task", "show"}, 2).err.find("task ID missing\n"), std::string::npos);
    EXPECT_EQ(Cli({"add", folder.file("missing.txt")}, 1).err,
              "can't read " + folder.file("missing.txt") + "\n");
    ScopedLang chinese("zh_CN.UTF-8");
    EXPECT_EQ(Cli({"run", "99"}, 1).err,
              U8(u8"没有任务号为 99 的任务（任务列表：sorvik-cli tasks --all）\n"));
}

}  // namespace
}  // namespace sorvik
