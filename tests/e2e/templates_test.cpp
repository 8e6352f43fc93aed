// The script templates a new home holds (TaskMod) harvest typical pages: each template, with its
// example address pointed at the demo site, stores the expected rows.

#include "e2e/e2e_support.h"

namespace sorvik::e2e {
namespace {

using TemplatesTest = SiteTest;

// The template of that name (GB18030) as a new home holds it; empty when missing.
std::string TemplateScript(const std::string& name) {
    CDbAccess db;
    auto rows =
        db.ExecuteQuery("select cSearchScript from TaskMod where iMod=1 and cTask='" + SqlQuote(name) + "'");
    EXPECT_TRUE(rows && !rows->IsEof()) << GbToUtf8(name);
    return rows && !rows->IsEof() ? rows->Text(0) : std::string();
}

TEST_F(TemplatesTest, EachTemplateHarvestsTheDemoSite) {
    auto pointed = [&](std::string script) {
        ReplaceAll(script, "http://www.example.com/search?q=<搜索关键字>",
                   SiteUrl() + "search/<搜索关键字>.htm");
        ReplaceAll(script, "http://www.example.com/", SiteUrl());
        return script;
    };

    const int list = AddTask(pointed(TemplateScript("列表页和下一页(&L)")));
    ASSERT_EQ(Harvest(list), 4);
    EXPECT_EQ(TableTsv(U8(u8"T_列表采集"), list),
              WithSite(Rows(U8(u8"标题\t链接\t日期"), kFruitCount, [](int i) {
                  return Fruit(i) + Format("\t{site}/detail_%d.htm\t", i) + Date(i);
              })));

    const int search = AddTask(pointed(TemplateScript("关键字搜索(&K)")));
    ASSERT_EQ(Harvest(search, "apple"), 4);
    EXPECT_EQ(
        TableTsv(U8(u8"T_关键字搜索"), search),
        WithSite(U8(u8"关键字\t标题\t链接\n"
                    u8"apple\tApple pie\t{site}/detail_1.htm\napple\tApple juice\t{site}/detail_2.htm\n"
                    u8"apple\tApple tree\t{site}/detail_3.htm\napple\tApple cider\t{site}/detail_9.htm\n")));

    const int details = AddTask(pointed(TemplateScript("列表页和明细页(&D)")));
    ASSERT_EQ(Harvest(details), 4);
    EXPECT_EQ(TableTsv(U8(u8"T_明细采集"), details),
              WithSite(Rows(U8(u8"标题\t链接\t正文"), kFruitCount, [](int i) {
                  return Fruit(i) + Format("\t{site}/detail_%d.htm\t", i) + Content(i);
              })));
}

}  // namespace
}  // namespace sorvik::e2e
