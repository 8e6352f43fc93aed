// docs/script-reference.md: it names every key, rule word, fetch mode, operation and variable form
// the engine reads, and its five-minute walk-through works exactly as written against the demo site.

#include <sstream>

#include "e2e/e2e_support.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace sorvik::e2e {
namespace {

using test::ProcessResult;
using test::RunProcess;

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

// The words as the engine spells them (per-field keys without the field name, numbered ones with
// their placeholder as the reference writes it). The engine reads its keys in many places today;
// this is the one list of them, to be replaced by the script check's table of known keys.
const char8_t* const kEngineWords[] = {
    // task keys
    u8"#任务名称=", u8"#任务类型=", u8"#类别号=", u8"#表名=", u8"#字段名列表=", u8"#字段名列表_测试=",
    u8"#字段别名列表=", u8"#字段类型=", u8"#唯一字段=", u8"#更新模式=", u8"#保存数据库的最大记录数=",
    u8"#是否保留字段值前后边界=", u8"#共用任务号=", u8"#表数据过滤条件=", u8"#下载完成后_处理1=",
    u8"#不启动线程=",
    // pages and keywords
    u8"#要搜索网址=", u8"#要搜索网址_始末值=", u8"#要搜索网址_测试=", u8"#需要搜索关键字网址=",
    u8"#需要搜索关键字网址_始末值=", u8"#需要搜索关键字网址_设置=", u8"关键字可以为空", u8"_关键字编码方式=",
    u8"<搜索关键字>=", u8"(搜索关键字)", u8"#是否拆分空格=", u8"#搜索关键字标题=", u8"[#需要搜索关键字网址]{",
    u8"#下一页网址=", u8"#下一页网址_N=", u8"#下一页退出条件=", u8"#搜索引擎列表=", u8"#需要搜索关键字网址N=",
    u8"#搜索引擎列表_用户选择=", u8"#搜索引擎列表_用默认浏览器打开=", u8"#搜索类别=", u8"#搜索类别_默认值=",
    u8"#已存在关键字时的更新=", u8"<空>",
    // records, fields and their rule words
    u8"1=", u8"1_测试=", u8"`~`", u8"`$`", u8"`@`", u8"_第几个=", u8"_N_1=", u8"_link=", u8"_linkadd=",
    u8"_获取=", u8"_替换源串K=", u8"_替换目标K=", u8"_替换源串_正则K=", u8"_替换目标_正则K=", u8"_压缩源串K=",
    u8"_压缩目标K=", u8"_搜索条件K=", u8"_删除条件K=", u8"_初始值=", u8"_处理K=",
    // fetch modes
    u8"`文本`", u8"`纯文本`", u8"`超级链接`", u8"`Email`", u8"`网页源码`", u8"网页源码;UTF8",
    // operations and their words
    u8"替换字符串,普通", u8"替换字符串,转义", u8"替换字符串,只含", u8"替换字符串,全角数字转半角",
    u8"替换字符串,删除前后空格", u8"替换字符串,删除开头的", u8"替换字符串,返回ID", u8"替换字符串,正则",
    u8"`取值,", u8"`为空,", u8"`获取,", u8"`查找,", u8"`比较,", u8"`转换网址`", u8"`转换成链接`",
    u8"`执行SQL,", u8"`取表数据,", u8"`加入内存", u8"`保存,", u8"全部", u8"唯一", u8"替换变量", u8"\\源码",
    u8"\\当前页",
    // variables
    u8"<变量_", u8"[变量_", u8"<变量_对象", u8"<系统变量_字符串", u8">_测试=", u8">_正则=", u8">_正则1=",
    u8"_格式化_日期型=", u8"_取左边字符串=", u8"_非空=", u8"_为空=", u8"_反向查找字符串_1=",
    u8"_反向查找字符串_2=", u8"_替换字符串=", u8"_重复次数=", u8"_拆分字符串=", u8"<最后一个>",
    // entry lists and downloads
    u8"#取值=", u8"#下载源文件=", u8"#下载文件=", u8"#下载头文件=", u8"#下载源文件_优先于_字段=",
    u8"#下载源文件_优先于_下载文件=", u8"#下载选项_默认值=", u8"<下载全部数据>", u8"<下载文本>",
    u8"_处理字段=", u8"_网址=", u8"_网址_编码方式=", u8"_网址_加入内存=", u8"_为空K=", u8"_加入内存=",
    u8"_link_为空K=", u8"_link_加入内存=",
    // result tables and mail
    u8"#表名N=", u8"#表名N_字段名列表=", u8"#表名N_字段类型=", u8"#表名N_字段别名列表=", u8"#表名N_唯一字段=",
    u8"#表名_字段名列表=", u8"#表名_字段类型=", u8"#表名_字段别名列表=", u8"#建表N=", u8"#发送箱ID号=",
    u8"#iMailField=", u8"#cUpdateField=", u8"#当前Email号=",
    // field-type words
    u8"`文本(n)`", u8"`超链接`", u8"`数字`", u8"`日期`", u8"`是/否`", u8"`货币`", u8"`备注`", u8"`对象`",
    u8"`字节`", u8"`整型`", u8"`长整型`", u8"`单精度型`", u8"`双精度型`", u8"`小数(p.s)`"};

TEST(ScriptReference, NamesEveryWordTheEngineReads) {
    const std::string doc = Reference();
    for (const char8_t* word : kEngineWords)
        EXPECT_NE(doc.find(U8(word)), std::string::npos) << U8(word);
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
