#include "mail/mail_account.h"

#include <gtest/gtest.h>

#include "script/script_text.h"

namespace sorvik {
namespace {

TEST(MailAccountSettings, WrittenAndReadBackThroughTheSettingsText) {
    MailAccount a;
    a.senderName = "张三";
    a.senderAddress = "zs@x.org";
    a.smtpServer = "smtp.x.org";
    a.pop3Server = "pop.x.org:995";
    a.smtpPort = "587";
    a.securePassword = true;
    a.user = "zs";
    a.password = "p\r\nw";
    std::string settings = "#其他=保留\r\n";
    WriteMailAccount(a, settings);
    EXPECT_EQ(ScriptValue("#其他=", settings), "保留");
    EXPECT_EQ(ScriptValue("#使用安全密码验证登录=", settings), "1");
    MailAccount b = ReadMailAccount(settings);
    EXPECT_EQ(b.pop3Server, "pop.x.org:995");
    EXPECT_EQ(b.smtpPort, "587");
    EXPECT_TRUE(b.securePassword);
    EXPECT_EQ(b.password, "pw");  // a value is one line
    EXPECT_TRUE(b.verifyCertificate);
    a.verifyCertificate = false;
    WriteMailAccount(a, settings);
    EXPECT_FALSE(ReadMailAccount(settings).verifyCertificate);
}

TEST(MailAccountSettings, DialogChecksInOrderAndDefaults) {
    MailAccount a;
    a.smtpPort = "";
    EXPECT_EQ(CheckMailAccount(a), "发信地址不能为空！");
    a.senderAddress = "  me@x.org";
    EXPECT_EQ(CheckMailAccount(a), "服务器端口不能为空！");
    a.smtpPort = "25";
    EXPECT_EQ(CheckMailAccount(a), "SMTP服务器不能为空！");
    a.smtpServer = "smtp.x.org";
    EXPECT_EQ(CheckMailAccount(a), "");
    EXPECT_EQ(ReadMailAccount("").smtpPort, "25");
}

TEST(MailAccountSettings, MethodPortAndPop3Server) {
    MailAccount a;
    EXPECT_EQ(SmtpAuthMethodFor(a), 0);
    a.user = "u";
    EXPECT_EQ(SmtpAuthMethodFor(a), 2);
    a.securePassword = true;
    EXPECT_EQ(SmtpAuthMethodFor(a), 3);
    a.smtpPort = "25x";
    EXPECT_EQ(SmtpPortFor(a), 0);

    std::string host;
    int port = 0;
    ASSERT_TRUE(SplitPop3Server(" pop.x.org ", host, port));
    EXPECT_EQ(host, "pop.x.org");
    EXPECT_EQ(port, 110);
    ASSERT_TRUE(SplitPop3Server("[::1]:995", host, port));
    EXPECT_EQ(host, "::1");
    EXPECT_EQ(port, 995);
    ASSERT_TRUE(SplitPop3Server("::1", host, port));
    EXPECT_EQ(host, "::1");
    EXPECT_FALSE(SplitPop3Server("pop.x.org:http", host, port));
}

}  // namespace
}  // namespace sorvik
