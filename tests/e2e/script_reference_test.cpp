// docs/script-reference.md: it names every key, rule word, fetch mode, operation and variable form
// the engine reads, and its five-minute walk-through works exactly as written against the demo site.
// The script check over the same table of known keys: examples and templates pass it.

#include <filesystem>
#include <regex>
#include <sstream>

#include "e2e/e2e_support.h"
#include "engine/script_check.h"
#include "script/script_keys.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace sorvik::e2e {
namespace {

using test::ProcessResult;
using test::RunProcess;
using CheckedScripts = test::CoreTest;

std::string Reference() {
    std::string text;
    EXPECT_TRUE(ReadWholeFile(std::string(SORVIK_SOURCE_DIR) + "/docs/script-reference.md", text));
    return text;
}

// The fenced block that follows the marker comment.
std::string Block(const std::string& doc, const std::string& marker) {
    const size_t at = doc.find("<!-- " + marker + " -->\n```\n");
    if (at == std::string::npos)
        return {};
    const size_t start = doc.find('\n', doc.find("```", at)) + 1;
    return doc.substr(start, doc.find("```", start) - start);
}

// Words the reference names besides the table of known keys: boundary markers, variable forms,
// special values and field-type words.
const char8_t* const kOtherWords[] = {u8"关键字可以为空",
                                      u8"(搜索关键字)",
                                      u8"[#需要搜索关键字网址]{",
                                      u8"<空>",
                                      u8"1=",
                                      u8"1_测试=",
                                      u8"`~`",
                                      u8"`$`",
                                      u8"`@`",
                                      u8"网页源码;UTF8",
                                      u8"`为空,",
                                      u8"全部",
                                      u8"唯一",
                                      u8"替换变量",
                                      u8"\\源码",
                                      u8"\\当前页",
                                      u8"<变量_",
                                      u8"[变量_",
                                      u8"<变量_对象",
                                      u8"<系统变量_字符串",
                                      u8"<最后一个>",
                                      u8"<下载全部数据>",
                                      u8"<下载文本>",
                                      u8"`文本(n)`",
                                      u8"`超链接`",
                                      u8"`数字`",
                                      u8"`日期`",
                                      u8"`是/否`",
                                      u8"`货币`",
                                      u8"`备注`",
                                      u8"`对象`",
                                      u8"`字节`",
                                      u8"`整型`",
                                      u8"`长整型`",
                                      u8"`单精度型`",
                                      u8"`双精度型`",
                                      u8"`小数(p.s)`"};

// The reference names every word of the one table the engine reads its keys with and the script
// check checks against.
TEST(ScriptReference, NamesEveryWordTheEngineReads) {
    const std::string doc = Utf8ToGb(Reference());
    auto named = [&](const std::string& word) { return doc.find(word) != std::string::npos; };
    for (const TaskKeyEntry& entry : KnownTaskKeys())
        EXPECT_TRUE(named(KeyDisplayName(entry))) << GbToUtf8(KeyDisplayName(entry));
    for (const RuleWordEntry& rule : KnownRuleWords()) {
        const std::string word(rule.word);
        EXPECT_TRUE(rule.numbered ? named(word + "K=") || named(word + "1=") : named(word + "="))
            << GbToUtf8(word);
    }
    for (std::string_view name : KnownOperations())
        EXPECT_TRUE(named("`" + std::string(name))) << GbToUtf8(std::string(name));
    for (std::string_view mode : KnownReplaceModes())
        EXPECT_TRUE(named(std::string(op::kReplace) + "," + std::string(mode)))
            << GbToUtf8(std::string(mode));
    for (std::string_view mode : KnownFetchModes())
        EXPECT_TRUE(named("`" + std::string(mode) + "`")) << GbToUtf8(std::string(mode));
    for (const char8_t* word : kOtherWords)
        EXPECT_TRUE(named(Utf8ToGb(U8(word)))) << U8(word);
}

// Every "#...=" key literal of the core's sources is a key of the table: a key read without being
// added to the table fails here (and the check would call it unknown).
TEST(ScriptReference, TheCoreReadsNoTaskKeyOutsideTheTable) {
    namespace fs = std::filesystem;
    const std::regex literal(R"re("(#[^"\\ ]*=)")re");
    int literals = 0;
    for (const char* folder : {"engine", "workbench", "mail", "exchange", "store"}) {
        for (const auto& file : fs::directory_iterator(std::string(SORVIK_SOURCE_DIR) + "/src/" + folder)) {
            if (file.path().extension() != ".cpp")
                continue;
            std::string text;
            ASSERT_TRUE(ReadWholeFile(file.path().string(), text));
            for (std::sregex_iterator it(text.begin(), text.end(), literal), end; it != end; ++it) {
                std::string key = Utf8ToGb((*it)[1].str());
                ReplaceAll(key, "%d", "1");
                ReplaceAll(key, "%zu", "1");
                ++literals;
                EXPECT_TRUE(IsKnownTaskKey(key)) << file.path().filename() << ": " << (*it)[1].str();
            }
        }
    }
    EXPECT_GT(literals, 0);
}

// Every example script and every built-in template passes the check without a problem.
TEST_F(CheckedScripts, EveryExampleAndTemplatePasses) {
    for (const auto& file :
         std::filesystem::directory_iterator(std::string(SORVIK_SOURCE_DIR) + "/examples/scripts")) {
        const ProcessResult result = RunProcess(SORVIK_CLI_PATH, {"check", file.path().string()});
        EXPECT_EQ(result.exitCode, 0) << file.path() << result.out << result.err;
        EXPECT_EQ(result.out, "") << file.path();
    }
    CDbAccess db;
    auto rows = db.ExecuteQuery("select cTask,cSearchScript from TaskMod where iMod=1");
    ASSERT_TRUE(rows);
    int templates = 0;
    for (; !rows->IsEof(); rows->MoveNext(), ++templates) {
        for (const ScriptProblem& problem : CheckScript(rows->Text(1)))
            ADD_FAILURE() << GbToUtf8(rows->Text(0)) << " line " << problem.line << ": "
                          << GbToUtf8(problem.message);
    }
    EXPECT_GE(templates, 3);
}

// `check` prints one line per problem and fails on an error, without a home folder.
TEST(ScriptReference, CheckCommandPrintsLinesAndFailsOnAnError) {
    test::TempDir folder;
    ASSERT_TRUE(WriteWholeFile(folder.file("bad.txt"), U8(u8"#表名=T\n#字段名列表=a\n#表明=x\n")));
    test::ScopedLang english("en_US.UTF-8");
    const ProcessResult result = RunProcess(SORVIK_CLI_PATH, {"check", folder.file("bad.txt")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, U8(u8"line 3: error: 未知的任务键“#表明=”，是不是“#表名=”？\n"));
}

TEST(ScriptReference, TheFiveMinuteWalkThroughWorksAsWritten) {
    test::HttpTestServer server;
    ASSERT_TRUE(server.ok()) << server.error();
    ASSERT_GT(test::ServeFolder(server, std::string(SORVIK_SOURCE_DIR) + "/examples/site"), 20);
    const std::string doc = Reference();
    std::string script = Block(doc, "five-minute-script");
    const std::string commands = Block(doc, "five-minute-commands");
    const std::string results = Block(doc, "five-minute-results");
    ASSERT_FALSE(script.empty() || commands.empty() || results.empty());
    ReplaceAll(script, kExampleSite, server.Url("/"));
    test::TempDir home;
    test::TempDir folder;
    ASSERT_TRUE(WriteWholeFile(folder.file("fruits.txt"), script));

    // Each command as written, with the built program, a home of the test's own and the script file.
    std::istringstream lines(commands);
    std::vector<ProcessResult> outputs;
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> args = SplitAll(line, " ");
        ASSERT_EQ(args.front(), "build/sorvik-cli") << line;
        args.erase(args.begin());
        for (size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--home")
                args[++i] = home.path();
            else if (args[i] == "fruits.txt")
                args[i] = folder.file("fruits.txt");
        }
        outputs.push_back(RunProcess(SORVIK_CLI_PATH, args));
        ASSERT_EQ(outputs.back().exitCode, 0) << line << "\n" << outputs.back().err;
    }
    ASSERT_EQ(outputs.size(), 5u);
    EXPECT_NE(outputs[1].out.find(U8(u8"名称:苹果\r\n价格:2.50\r\n简介:苹果是第1种水果。产地：海南")),
              std::string::npos)
        << outputs[1].out;
    EXPECT_EQ(outputs[2].out, "1\n");
    EXPECT_EQ(outputs[4].out, results);
    EXPECT_EQ(
        RunProcess(SORVIK_CLI_PATH, {"--home", home.path(), "sql", "select count(*) as n from My_Fruits"})
            .out,
        "n\n15\n");
}

}  // namespace
}  // namespace sorvik::e2e
