#include "mail/mail_templates.h"

#include <gtest/gtest.h>

#include "support/core_fixture.h"
#include "text/file_helpers.h"

namespace sorvik {
namespace {

class MailTemplatesTest : public test::CoreTest {};

std::vector<std::string> Titles() {
    std::vector<MailTemplate> all;
    std::string error;
    EXPECT_TRUE(LoadMailTemplates(all, error)) << error;
    std::vector<std::string> titles;
    for (const auto& t : all) {
        titles.push_back(t.title);
    }
    return titles;
}

TEST_F(MailTemplatesTest, BuiltInListThenUserOnesSavedUpdatedAndDeletedWithTheDialogsChecks) {
    std::vector<std::string> titles = {"空模版", "简洁模版", "信笺模版"};
    EXPECT_EQ(Titles(), titles);
    std::string error;
    MailTemplate t;
    t.title = " ";
    EXPECT_FALSE(SaveMailTemplate(t, true, error));
    EXPECT_EQ(error, "输入项不能为空！");
    t.title = "简洁模版";
    EXPECT_FALSE(SaveMailTemplate(t, true, error));
    EXPECT_EQ(error, "该模版名称已经存在！");
    EXPECT_FALSE(SaveMailTemplate(t, false, error));  // built-in ones are not overwritten either

    t.title = "O'Brien";
    t.html = "v1";
    ASSERT_TRUE(SaveMailTemplate(t, true, error)) << error;
    EXPECT_FALSE(SaveMailTemplate(t, true, error));
    EXPECT_EQ(error, "该模版名称已经存在！");
    t.html = "v2";
    t.memo1 = "m";
    ASSERT_TRUE(SaveMailTemplate(t, false, error)) << error;
    MailTemplate found;
    ASSERT_TRUE(FindMailTemplate("O'Brien", found, error));
    EXPECT_EQ(found.html, "v2");
    EXPECT_EQ(found.memo1, "m");
    EXPECT_FALSE(found.builtIn);
    titles.push_back("O'Brien");
    EXPECT_EQ(Titles(), titles);

    EXPECT_FALSE(DeleteMailTemplate("信笺模版", error));
    EXPECT_EQ(error, "不能删除系统提供的模版！");
    ASSERT_TRUE(DeleteMailTemplate("O'Brien", error)) << error;
    EXPECT_EQ(Titles().size(), 3u);
}

TEST_F(MailTemplatesTest, PreviewFillsTheTemplateAndPointsImagesAtFiles) {
    ASSERT_TRUE(WriteWholeFile(home() + "/logo.png", "png"));
    std::string warnings, error;
    std::string path = WriteMailPreview(
        "<body><%@@邮件内容%> - <%@@发送者%><img src=\"<%@@@logo.png>\">"
        "<img src=\"<%@@@gone.png>\"></body>",
        "第一行\r\n第 二行<%@名称%>", false, "发信人", warnings, error);
    ASSERT_EQ(path, home() + "/sc_mail.html") << error;
    std::string html;
    ASSERT_TRUE(ReadWholeFile(path, html));
    EXPECT_EQ(html, "<body>第一行<BR>第&nbsp;二行&lt;%@名称%> - 发信人<img src=\"" + home() +
                        "/logo.png\"><img src=\"" + home() + "/gone.png\"></body>");
    EXPECT_EQ(warnings, "文件读取错误！(" + home() + "/gone.png)\r\n");
}

}  // namespace
}  // namespace sorvik
