#include "mail/smtp_message.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "mail/background_server.h"
#include "mail/mime_encoding.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik {
namespace {

using test::TempDir;

// Sets the time zone for one test (the tests run without TZ set).
struct ScopedTimeZone {
    explicit ScopedTimeZone(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        unsetenv("TZ");
        tzset();
    }
};

constexpr std::time_t kWhen = 1700000000;  // 2023-11-14 22:13:20 UTC, a Tuesday

TEST(MailDate, EnglishNamesAndSignedOffset) {
    {
        ScopedTimeZone tz("CST-8");
        EXPECT_EQ(FormatMailDate(kWhen), "Wed, 15 Nov 2023 06:13:20 +0800");
    }
    {
        ScopedTimeZone tz("NST+3:30");
        EXPECT_EQ(FormatMailDate(kWhen), "Tue, 14 Nov 2023 18:43:20 -0330");
    }
}

TEST(SmtpAddressForms, NameAddressAndLists) {
    EXPECT_EQ((SmtpAddress{"", "a@x.org"}.HeaderForm("gb2312")), "a@x.org");
    EXPECT_EQ((SmtpAddress{"Bob", "b@x.org"}.HeaderForm("gb2312")), "Bob <b@x.org>");
    EXPECT_EQ((SmtpAddress{"Doe, John", "j@x.org"}.HeaderForm("gb2312")), "\"Doe, John\" <j@x.org>");
    EXPECT_EQ((SmtpAddress{"张三", "z@x.org"}.HeaderForm("gb2312")), "=?gb2312?q?=D5=C5=C8=FD?= <z@x.org>");

    auto list = ParseSmtpAddressList(" a@x.org, \"Doe, John\" <j@x.org>;\r\nBob <b@x.org>,, ");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].address, "a@x.org");
    EXPECT_EQ(list[1].name, "Doe, John");
    EXPECT_EQ(list[1].address, "j@x.org");
    EXPECT_EQ(list[2].name, "Bob");
    // Addresses that would inject commands are refused where they are sent (smtp_session_test).
}

TEST(SmtpMessageText, PlainMessageHeaderInOrderAndDotStuffedBody) {
    ScopedTimeZone tz("UTC0");
    SmtpMessage m;
    m.charset = "gb2312";
    m.from = {"Sender", "s@example.com"};
    m.AddRecipients({{"", "a@x.org"}, {"Bob", "b@x.org"}}, 0);
    m.AddRecipients({{"", "c@x.org"}}, 1);
    m.AddRecipients({{"", "hidden@x.org"}}, 2);
    m.replyTo = SmtpAddress{"", "r@x.org"};
    m.subject = "Hello";
    m.AddTextBody(".dot line\r\nsecond = line");
    EXPECT_EQ(m.BuildData(kWhen),
              "From: Sender <s@example.com>\r\n"
              "To: a@x.org,Bob <b@x.org>\r\n"
              "Cc: c@x.org\r\n"
              "Subject: Hello\r\n"
              "Date: Tue, 14 Nov 2023 22:13:20 +0000\r\n"
              "X-Mailer: Sorvik Mail 1.0\r\n"
              "Content-Transfer-Encoding: quoted-printable\r\n"
              "Reply-To: r@x.org\r\n"
              "\r\n"
              "\r\n"
              "..dot line\r\n"
              "second =3D line"
              "\r\n.\r\n");
    std::vector<std::string> envelope = {"a@x.org", "b@x.org", "c@x.org", "hidden@x.org"};
    EXPECT_EQ(m.EnvelopeRecipients(), envelope);
}

TEST(SmtpMessageText, SetMimeMovesPlainBodyIntoTextPart) {
    SmtpMessage m;
    m.charset = "gb2312";
    m.from = {"", "s@x.org"};
    m.to = {{"", "a@x.org"}};
    m.AddTextBody("body");
    m.SetMime(true);
    ASSERT_EQ(m.root.Children().size(), 1u);
    const SmtpBodyPart& text = *m.root.Children()[0];
    EXPECT_EQ(m.root.contentType, "multipart/mixed");
    EXPECT_EQ(text.text, "body");
    // Multipart entities carry no transfer encoding of their own.
    EXPECT_EQ(m.BuildHeader(kWhen).find("Content-Transfer-Encoding"), std::string::npos);
    EXPECT_EQ(m.BuildBody(),
              "This is a multi-part message in MIME format"
              "\r\n--" +
                  m.root.boundary +
                  "\r\nContent-Type: text/plain; charset=gb2312\r\n"
                  "Content-Transfer-Encoding: quoted-printable\r\n\r\nbody"
                  "\r\n--" +
                  m.root.boundary + "--");
}

// A text attachment with a Chinese file name: its header says base64, so its content is base64 too.
TEST(SmtpMessageText, TextAttachmentHeaderAndContent) {
    SmtpBodyPart parent;
    auto attachment = std::make_unique<SmtpBodyPart>();
    attachment->fileName = "/tmp/报告 1.txt";
    attachment->contentType = "text/plain";
    attachment->charset = "gb2312";
    attachment->text = "xyz";
    SmtpBodyPart* a = parent.AddChild(std::move(attachment));
    const std::string name = "\"=?gb2312?q?=B1=A8=B8=E6_1.txt?=\"";
    EXPECT_EQ(a->WriteHeader("gb2312"), "\r\n\r\n--" + parent.boundary +
                                            "\r\nContent-Type: text/plain; charset=gb2312; name=" + name +
                                            "\r\nContent-Transfer-Encoding: base64\r\n"
                                            "Content-Disposition: attachment; filename=" +
                                            name + "\r\n\r\n");
    EXPECT_EQ(a->WriteContent(), "eHl6");
}

class HtmlMailTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(WriteWholeFile(dir_.file("logo.png"), std::string("\x89PNG\r\n\x1a\nlogo-bytes", 18)));
        // Chinese names lie on disk in UTF-8; the mail names them in the system's text.
        ASSERT_TRUE(WriteWholeFile(dir_.file(GbToUtf8("照片.jpg")), "\xff\xd8\xff\xe0photo"));
        ASSERT_TRUE(WriteWholeFile(dir_.file(GbToUtf8("报告.pdf")), "%PDF-1.4\n.leading dot line\n"));
    }
    TempDir dir_;
};

// The text of a parsed mail, cut into its "part" lines.
std::vector<std::vector<std::string>> ParsedParts(const std::string& output) {
    std::vector<std::vector<std::string>> parts;
    for (const auto& line : SplitAll(output, "\n")) {
        auto fields = SplitAll(line, "\t");
        if (fields.size() == 7 && fields[0] == "part") {
            parts.push_back(fields);
        }
    }
    return parts;
}

std::string Hex(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        out += Format("%02x", c);
    }
    return out;
}

// The tree of related, alternative, two images and an attachment: Python's email package, an
// independent parser, reads it back without defects, part by part.
TEST_F(HtmlMailTest, TreeOfRelatedAlternativeImagesAndAttachmentParsesCleanly) {
    SmtpMessage m;
    m.charset = "gb18030";
    m.from = {"发件人", "s@x.org"};
    m.to = {{"", "a@x.org"}};
    m.subject = "报告 and more";
    std::string warnings;
    ASSERT_TRUE(m.AddHtmlBody("<p>你好 =</p><img src=\"<%@@@logo.png>\"><img src=\"<%@@@" +
                                  dir_.file("照片.jpg") + ">\">\r\n." + std::string(120, 'w'),
                              dir_.path(), warnings))
        << warnings;
    std::string error;
    ASSERT_TRUE(m.AddAttachment(dir_.file("报告.pdf"), error)) << error;

    ASSERT_EQ(m.root.Children().size(), 2u);
    const SmtpBodyPart& r = *m.root.Children()[0];
    ASSERT_EQ(r.Children().size(), 3u);
    const SmtpBodyPart& a = *r.Children()[0];
    const SmtpBodyPart& logo = *r.Children()[1];
    const SmtpBodyPart& photo = *r.Children()[2];
    ASSERT_EQ(a.Children().size(), 1u);
    const SmtpBodyPart& html = *a.Children()[0];
    EXPECT_EQ(logo.contentId.substr(0, 10), "<logo.png@");
    std::string logoCid = logo.contentId.substr(1, logo.contentId.size() - 2);
    std::string photoCid = photo.contentId.substr(1, photo.contentId.size() - 2);
    EXPECT_EQ(html.text, "<p>你好 =</p><img src=\"cid:" + logoCid + "\"><img src=\"cid:" + photoCid +
                             "\">\r\n." + std::string(120, 'w'));

    EXPECT_NE(m.BuildHeader(kWhen).find("MIME-Version: 1.0\r\nContent-Type: multipart/related; boundary=\"" +
                                        m.root.boundary + "\"\r\n"),
              std::string::npos);

    std::string python = test::FindPython();
    if (python.empty()) {
        GTEST_SKIP() << "python3 is not installed";
    }
    // What the server stores: the DATA text without the final dot and with the stuffing undone.
    std::string data = m.BuildData(kWhen);
    ASSERT_TRUE(WriteWholeFile(dir_.file("mail.eml"), DotUnstuff(data.substr(0, data.size() - 3))));
    auto result = test::RunProcess(
        python, {std::string(SORVIK_SOURCE_DIR) + "/tests/mail/check_mime.py", dir_.file("mail.eml")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    auto parts = ParsedParts(result.out);
    ASSERT_EQ(parts.size(), 7u) << result.out;
    const std::vector<std::pair<std::string, std::string>> expectedParts = {
        {"multipart/related", "children=2"},
        {"multipart/related", "children=3"},
        {"multipart/alternative", "children=1"},
        {"text/html", Hex(html.text)},
        {"image/png", Hex(std::string("\x89PNG\r\n\x1a\nlogo-bytes", 18))},
        {"image/jpeg", Hex("\xff\xd8\xff\xe0photo")},
        {"application/octet-stream", Hex("%PDF-1.4\n.leading dot line\n")}};
    for (size_t i = 0; i < parts.size(); ++i) {
        EXPECT_EQ(parts[i][1], expectedParts[i].first);
        EXPECT_EQ(parts[i][2], "-") << "defects in " << parts[i][1];
        EXPECT_EQ(parts[i][6], expectedParts[i].second) << parts[i][1];
    }
    EXPECT_EQ(parts[3][5], "gb18030");
    EXPECT_EQ(parts[4][3], logo.contentId);
    EXPECT_EQ(parts[6][4], reinterpret_cast<const char*>(u8"报告.pdf"));  // as a mail program reads it
    EXPECT_NE(result.out.find("subject\t" + Hex(reinterpret_cast<const char*>(u8"报告 and more"))),
              std::string::npos)
        << result.out;
}

TEST_F(HtmlMailTest, SameFileTwiceGivesTwoPartsAndMissingFileIsReported) {
    SmtpMessage m;
    std::string warnings;
    EXPECT_FALSE(m.AddHtmlBody("<%@@@logo.png><%@@@logo.png><%@@@missing.gif>", dir_.path(), warnings));
    EXPECT_EQ(warnings, "文件读取错误！(" + dir_.file("missing.gif") + ")\r\n");
    const SmtpBodyPart& r = *m.root.Children()[0];
    ASSERT_EQ(r.Children().size(), 3u);  // the alternative part and two images
    EXPECT_NE(r.Children()[1]->contentId, r.Children()[2]->contentId);
    const std::string& html = r.Children()[0]->Children()[0]->text;
    EXPECT_EQ(html.find("<%@@@"), std::string::npos);
    EXPECT_NE(html.find("cid:missing.gif@"), std::string::npos);

    // A closing bracket too far away ends the scan: the rest stays as written.
    SmtpMessage far;
    std::string tail = "<%@@@" + std::string(50, 'p') + "> <%@@@logo.png>";
    ASSERT_TRUE(far.AddHtmlBody("<%@@@logo.png> " + tail, dir_.path(), warnings));
    const SmtpBodyPart& fr = *far.root.Children()[0];
    ASSERT_EQ(fr.Children().size(), 2u);
    EXPECT_NE(fr.Children()[0]->Children()[0]->text.find(" " + tail), std::string::npos);
}

}  // namespace
}  // namespace sorvik
