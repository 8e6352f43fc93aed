// From a harvest to a mailing through sorvik-cli: the demo site's fruits and their sellers'
// addresses, harvested by a script whose alias list titles the columns, are mailed one
// personalised mail each, with an attachment of a Chinese name, through a real SMTP server on
// loopback (aiosmtpd), and every record is marked sent.

#include "e2e/e2e_support.h"
#include "mail/background_server.h"
#include "support/temp_dir.h"

namespace sorvik::e2e {
namespace {

using test::ProcessResult;
using test::RunCli;

// The first list page of the demo site; the field names are not the columns' titles.
constexpr const char8_t* kSellersScript =
    u8"#任务名称=水果商家\n#表名=Demo_Sellers\n#字段名列表=name,mail,sent\n"
    u8"#字段别名列表=名称,邮箱,已发送\n#字段类型=文本(50),文本(100),文本(10)\n"
    u8"#要搜索网址={site}/list_1.htm\n1=<li class=\"item\">.*?</li>\n"
    u8"name_1=<a [^>]*>.*?</a>\nname_1_获取=文本\n"
    u8"mail_1=@href=\"(.*?)\"\nmail_1_link=$<p class=\"contact\">.*?</p>\nmail_1_获取=Email\n";

std::string Hex(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes)
        out += Format("%02x", c);
    return out;
}

using HarvestMailTest = SiteTest;

TEST_F(HarvestMailTest, AHarvestWithAliasesIsMailedPersonallyWithAChineseAttachment) {
    const std::string python = test::FindPython("aiosmtpd");
    if (python.empty())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    test::TempDir out;
    test::BackgroundServer smtp;
    ASSERT_TRUE(smtp.Start(
        python, {std::string(SORVIK_SOURCE_DIR) + "/tests/mail/smtp_test_server.py", "--out", out.path()}));
    const std::string port = Trim(smtp.ReadLine());
    ASSERT_GT(ToInt(port), 0);

    Cli cli;
    const std::string source = cli.Add(WithSite(test::U8(kSellersScript)));
    ASSERT_FALSE(source.empty());
    ProcessResult run = cli.Run(source);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    constexpr int kSellers = 5;  // the fruits of list_1.htm
    ASSERT_EQ(cli.Results(source), Rows(test::U8(u8"名称\t邮箱\t已发送"), kSellers, [](int i) {
                  return Fruit(i) + Format("\tseller%d@example.com\t", i);
              }));

    const std::string h = cli.home.path();
    ProcessResult account = RunCli(h, {"mail-account", source, "--smtp", "127.0.0.1", "--port", port,
                                       "--from", "shop@sorvik.test", "--name", test::U8(u8"水果店")});
    ASSERT_EQ(account.exitCode, 0) << account.err;
    const std::string attachment = cli.folder.file(test::U8(u8"价目表.txt"));
    const std::string prices = test::U8(u8"苹果 2.50元\n");
    ASSERT_TRUE(WriteWholeFile(attachment, prices));
    ASSERT_TRUE(
        WriteWholeFile(cli.folder.file("body.txt"), test::U8(u8"<%@名称%>的商家（<%@mail%>），您好！")));
    ProcessResult task = RunCli(h, {"mail-task", source, "--address-column", test::U8(u8"邮箱"),
                                    "--flag-column", test::U8(u8"已发送"), "--subject", test::U8(u8"价目"),
                                    "--body", cli.folder.file("body.txt"), "--attach", attachment});
    ASSERT_EQ(task.exitCode, 0) << task.err;
    run = cli.Run(Trim(task.out));
    EXPECT_EQ(run.exitCode, 0) << run.err;

    for (int i = 1; i <= kSellers; ++i) {
        const std::string mail = out.file(std::to_string(i) + ".eml");
        std::string envelope;
        ASSERT_TRUE(ReadWholeFile(out.file(std::to_string(i) + ".env"), envelope)) << run.err;
        EXPECT_EQ(SplitAll(envelope, "\n").at(1), Format("seller%d@example.com", i));
        // Python's own MIME reading: the HTML part (GB18030) and the attachment, decoded.
        ProcessResult parsed =
            test::RunProcess(python, {std::string(SORVIK_SOURCE_DIR) + "/tests/mail/check_mime.py", mail});
        ASSERT_EQ(parsed.exitCode, 0) << parsed.err;
        const std::string greeting = Utf8ToGb(Fruit(i) + test::U8(u8"的商家（") +
                                              Format("seller%d@example.com", i) + test::U8(u8"），您好！"));
        EXPECT_NE(parsed.out.find("\ttext/html\t-\t-\t-\tgb18030\t"), std::string::npos) << parsed.out;
        EXPECT_NE(parsed.out.find(Hex(greeting)), std::string::npos) << parsed.out;
        const size_t named = parsed.out.find(test::U8(u8"\t价目表.txt\t"));
        ASSERT_NE(named, std::string::npos) << parsed.out;
        EXPECT_EQ(
            parsed.out.substr(named, parsed.out.find('\n', named) - named).ends_with("\t" + Hex(prices)),
            true)
            << parsed.out;
    }
    EXPECT_FALSE(FileExists(out.file(std::to_string(kSellers + 1) + ".eml")));
    EXPECT_EQ(RunCli(h, {"sql", test::U8(u8"select 已发送 from Demo_Sellers order by ID_")}).out,
              test::U8(u8"已发送\n1\n1\n1\n1\n1\n"));
}

}  // namespace
}  // namespace sorvik::e2e
