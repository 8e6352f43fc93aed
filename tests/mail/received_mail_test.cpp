#include "mail/received_mail.h"

#include <gtest/gtest.h>

namespace sorvik {
namespace {

const std::time_t kNow = 1700000000;

TEST(EncodedWords, CharsetsFormsAndAdjacentWordsDecodeToGb) {
    // 中文 in GB2312 is D6 D0 CE C4.
    EXPECT_EQ(DecodeEncodedWords("=?gb2312?B?1tDOxA==?="), "中文");
    EXPECT_EQ(DecodeEncodedWords("=?GB2312?Q?=D6=D0=CE=C4_x?="), "中文 x");
    EXPECT_EQ(DecodeEncodedWords("plain text"), "plain text");
    // 中文 in UTF-8 is E4 B8 AD E6 96 87; the blank between two encoded words disappears.
    EXPECT_EQ(DecodeEncodedWords("Re: =?utf-8?b?5Lit?= =?UTF-8?Q?=E6=96=87?= end"), "Re: 中文 end");
    EXPECT_EQ(DecodeEncodedWords("=?iso-8859-1?q?caf=E9?="), "caf\xa8\xa6");  // é in GB18030
    // Unknown charsets and broken words stay as written.
    EXPECT_EQ(DecodeEncodedWords("=?x-no-such?q?abc?="), "=?x-no-such?q?abc?=");
    EXPECT_EQ(DecodeEncodedWords("=?utf-8?b?***?="), "=?utf-8?b?***?=");
    EXPECT_EQ(DecodeEncodedWords("=?utf-8?q?open"), "=?utf-8?q?open");
}

TEST(MailDates, CommonFormsAndRejects) {
    std::string out;
    ASSERT_TRUE(ParseMailDate("Tue, 14 Nov 2023 22:13:20 +0800", out));
    EXPECT_EQ(out, "2023-11-14 22:13:20");
    ASSERT_TRUE(ParseMailDate("5 Jan 24 07:03 -0500 (EST)", out));
    EXPECT_EQ(out, "2024-01-05 07:03:00");
    ASSERT_TRUE(ParseMailDate("2023-02-28 01:02:03", out));
    EXPECT_EQ(out, "2023-02-28 01:02:03");
    EXPECT_FALSE(ParseMailDate("yesterday", out));
    EXPECT_FALSE(ParseMailDate("31 Feb 2023 10:00:00", out));
    EXPECT_FALSE(ParseMailDate("14 Nov 2023 25:00:00", out));
}

TEST(HeaderFields, FoldedCaseInsensitiveAndOnlyInTheHeader) {
    std::string m =
        "X-Subject: not this\r\nsubject: first\r\n part\r\nSubject: second\r\n\r\nSubject: body\r\n";
    std::string value;
    ASSERT_TRUE(FindHeaderField(m, "Subject", value));
    EXPECT_EQ(value, "first part");
    EXPECT_FALSE(FindHeaderField(m, "Date", value));
    EXPECT_FALSE(FindHeaderField("From: a\r\n\r\nDate: in body\r\n", "Date", value));
}

TEST(ReceivedMailParse, SenderReceiverDateSubjectAndContent) {
    std::string m =
        "Return-Path: <x@y>\r\n"
        "From: \"=?gb2312?B?1tDOxA==?=\" <li=5Fsi@example.com>\r\n"
        "To: <me@example.com>\r\n"
        "Subject: =?gb2312?B?1tDOxA==?=\r\n"
        "Date: Tue, 14 Nov 2023 22:13:20 +0800\r\n"
        "\r\n"
        "Body line 1\r\n"
        "Body line 2\r\n";
    ReceivedMail mail = ParseReceivedMail(m, kNow);
    EXPECT_EQ(mail.senderName, "中文");
    EXPECT_EQ(mail.senderAddress, "li_si@example.com");
    EXPECT_EQ(mail.content,
              "From: \"=?gb2312?B?1tDOxA==?=\" <li=5Fsi@example.com>\r\n"
              "To: <me@example.com>\r\n"
              "Date: Tue, 14 Nov 2023 22:13:20 +0800\r\n"
              "Subject: =?gb2312?B?1tDOxA==?=\r\n"
              "Body line 1\r\nBody line 2\r\n");
}

TEST(ReceivedMailParse, OtherSenderFormsAndMissingDate) {
    ReceivedMail a = ParseReceivedMail("From: Zhang San <zs@x.org>\r\n\r\nb", kNow);
    EXPECT_EQ(a.senderName, "Zhang San");
    EXPECT_EQ(a.senderAddress, "zs@x.org");
    EXPECT_EQ(a.content, "From: Zhang San <zs@x.org>\r\nb");
    ReceivedMail b = ParseReceivedMail("From: zs@x.org (Zhang San)\r\n\r\n", kNow);
    EXPECT_EQ(b.senderName, "Zhang San");
    EXPECT_EQ(b.senderAddress, "zs@x.org");
    ReceivedMail c = ParseReceivedMail("From: zs@x.org\r\nDate: garbage\r\n\r\n", kNow);
    EXPECT_EQ(c.senderName, "");
    EXPECT_EQ(c.senderAddress, "zs@x.org");
    // An unreadable date is stored as the time of receipt.
    std::tm local{};
    localtime_r(&kNow, &local);
    char expected[32];
    std::strftime(expected, sizeof expected, "%Y-%m-%d %H:%M:%S", &local);
    EXPECT_EQ(c.date, expected);
}

}  // namespace
}  // namespace sorvik
