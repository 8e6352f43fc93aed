#include "engine/script_index.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/script_text.h"

using namespace sorvik;

namespace {

// Every key of the list gives what the scanning lookup gives.
void ExpectSameAsScan(const std::string& script, const std::vector<std::string>& keys) {
    for (const auto& key : keys) {
        EXPECT_EQ(IndexedScriptValue(key, script), ScriptValue(key, script)) << "key " << key;
    }
}

}  // namespace

TEST(ScriptIndex, GivesTheScanningLookupsValues) {
    const std::string script =
        "#表名=abc\r\n"
        "  #字段名列表=indented\r\n"
        "//#表名=comment\r\n"
        "#字段名列表=a,b\r\n"
        "#字段名列表=second\r\n"
        "F_1=x=y\r\n"
        "F_1_1=\r\n"
        "bare=lf\n"
        "noequals\r\n"
        "last=no line end";
    ExpectSameAsScan(script, {"#表名=", "#字段名列表=", "F_1=", "F_1_1=", "bare=", "last=", "noequals=",
                              "missing=", "F_1=x=", "=", "#下一页网址_", "last"});
    EXPECT_EQ(IndexedScriptValue("#字段名列表=", script), "a,b");
    // The alternative text is read instead when given.
    EXPECT_EQ(IndexedScriptValue("#表名=", script, "#表名=option\r\n"), "option");
}

TEST(ScriptIndex, AChangedTextIsNeverReadStale) {
    std::string script = "k=one\r\n";
    EXPECT_EQ(IndexedScriptValue("k=", script), "one");
    script[2] = 'x';  // same address, same size
    EXPECT_EQ(IndexedScriptValue("k=", script), "xne");
    // More texts than the cache holds, then the first again.
    for (int i = 0; i < 10; ++i) {
        const std::string other = "k=" + std::to_string(i) + "\r\n";
        EXPECT_EQ(IndexedScriptValue("k=", other), std::to_string(i));
    }
    EXPECT_EQ(IndexedScriptValue("k=", script), "xne");
}
