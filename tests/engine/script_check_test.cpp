// The script check finds each kind of mistake on its line, with the right severity, and names the
// key (and, for a mistyped task key, the key that was meant).

#include "engine/script_check.h"
#include "text/strings.h"

#include <gtest/gtest.h>

namespace sorvik {
namespace {

TEST(ScriptCheck, FindsEachKindOfMistakeOnItsLine) {
    const std::string script =
        "//Sorvik脚本\r\n"                       // 1
        "#表名=T\r\n"                            // 2
        "#字段名列表=名称,价格\r\n"              // 3
        "#字段别名列表=名称\r\n"                 // 4 one title for two fields
        "#表明=X\r\n"                            // 5 typo of #表名=
        "1=<li>(.*?</li>\r\n"                    // 6 does not compile
        "名称_1=<b>(.*?)</b>\r\n"                // 7
        "名称_1_获得=文本\r\n"                   // 8 unknown rule word
        "名称_1_处理1=替换字符创,普通,a\r\n"     // 9 unknown operation
        "价格_1=~<i>(.*?)</i>\r\n"               // 10
        "价格_1_获取=纯文字\r\n"                 // 11 unknown fetch mode
        "价格_1_处理1=替换字符串,正则,[0-9\r\n"  // 12 operation pattern
        "重量_1_获取=文本\r\n"                   // 13 field not in the list
        "<变量_x>_正则=[z-a]\r\n"                // 14 variable pattern
        "<变量_x>_正则表达式=a\r\n"              // 15 unknown variable rule
        "#字段类型=文本(10)\r\n"                 // 16 one type for two fields
        "#表名=U\r\n"                            // 17 hidden by line 2
        "[变量_块]{\r\n"                         // a block's lines are values
        "#不是键=1\r\n"
        "}[变量_块]\r\n";
    std::string editorText = script;  // an editor's LF lines give the same problems
    ReplaceAll(editorText, "\r\n", "\n");
    const std::vector<ScriptProblem> problems = CheckScript(editorText);
    struct Expected {
        int line;
        CheckSeverity severity;
        std::string text;
    };
    const Expected expected[] = {
        {4, CheckSeverity::kError, "“#字段别名列表=”有1项，字段名列表有2项"},
        {5, CheckSeverity::kError, "未知的任务键“#表明=”，是不是“#表名=”？"},
        {6, CheckSeverity::kError, "正则表达式有误（1=）"},
        {8, CheckSeverity::kError, "未知的规则词“_获得”（字段“名称”）"},
        {9, CheckSeverity::kError, "未知的处理操作“替换字符创”（名称_1_处理1=）"},
        {11, CheckSeverity::kError, "未知的获取方式“纯文字”（价格_1_获取=）"},
        {12, CheckSeverity::kError, "正则表达式有误（价格_1_处理1=）：[0-9"},
        {13, CheckSeverity::kWarning, "“重量”不在“#字段名列表=”中"},
        {14, CheckSeverity::kError, "正则表达式有误（<变量_x>_正则=）：[z-a]"},
        {15, CheckSeverity::kError, "未知的规则词“_正则表达式”（变量“<变量_x>”）"},
        {16, CheckSeverity::kWarning, "“#字段类型=”有1项，字段有2个"},
        {17, CheckSeverity::kWarning, "“#表名=”在第2行已有"},
    };
    ASSERT_EQ(problems.size(), std::size(expected));
    for (size_t i = 0; i < problems.size(); ++i) {
        EXPECT_EQ(problems[i].line, expected[i].line) << i;
        EXPECT_EQ(problems[i].severity, expected[i].severity) << i;
        EXPECT_NE(problems[i].message.find(expected[i].text), std::string::npos) << problems[i].line;
    }
    EXPECT_TRUE(HasCheckErrors(problems));
    EXPECT_FALSE(HasCheckErrors({problems[7]}));
}

// Names a script declares make their keys known: entries of the entry lists, download options,
// search categories, the lists a "返回ID" operation reads, the keyword block's own lines.
TEST(ScriptCheck, KnowsTheNamesTheScriptDeclares) {
    const std::string script =
        "#表名=T\r\n"
        "#字段名列表=产地\r\n"
        "#取值1=明细\r\n"
        "明细=(?<=href=\")[^\"]*\r\n"
        "明细_加入内存=1\r\n"
        "#下载选项_默认值=只要文件\r\n"
        "只要文件=明细\r\n"
        "只要文件_处理字段=产地\r\n"
        "#搜索类别=水果\r\n"
        "#需要搜索关键字网址_水果=http://x/<搜索关键字>\r\n"
        "水果_列表数据=a\r\n"
        "产地_1=~<p>(.*?)</p>\r\n"
        "产地_1_处理1=替换字符串,返回ID,#产地,#产地号\r\n"
        "#产地=海南,广西\r\n"
        "#产地号=1,2\r\n"
        "#表格_右键菜单_标记=产地,1\r\n"
        "[#需要搜索关键字网址]{\r\n"
        "#表名=K\r\n"
        "}[#需要搜索关键字网址]\r\n";
    const std::vector<ScriptProblem> problems = CheckScript(script);
    for (const ScriptProblem& problem : problems)
        ADD_FAILURE() << problem.line << ": " << problem.message;
}

}  // namespace
}  // namespace sorvik
