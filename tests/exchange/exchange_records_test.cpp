// The binary part: hostile and broken folder and file records (the round trip unpacks good ones).

#include "exchange/exchange_records.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/temp_dir.h"
#include "text/code_page.h"
#include "text/file_helpers.h"

using sorvik::UnpackResult;
using sorvik::test::TempDir;

namespace {

std::string Named(char type, const std::string& name) {
    return std::string(1, type) + static_cast<char>(name.size()) + name;
}

std::string FileRecords(const std::string& name, const std::string& content) {
    std::string out;
    EXPECT_TRUE(sorvik::AppendFileRecords(out, name, content));
    return out;
}

// Every entry below the folder, as relative paths.
std::vector<std::string> Tree(const std::string& folder) {
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        entries.push_back(std::filesystem::relative(entry.path(), folder).string());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool Unpack(const std::string& records, const std::string& root, UnpackResult& result) {
    return sorvik::UnpackExchangeRecords(records, 0, root, nullptr, nullptr, result);
}

}  // namespace

TEST(ExchangeRecords, EscapingNamesAreSkippedWithANoteAndTheRestIsUnpacked) {
    const std::vector<std::string> hostile = {
        Named('\x05', "..") + FileRecords("evil", "x"),
        Named('\x05', "7") + FileRecords("../evil", "x"),
        Named('\x05', "7") + FileRecords("..\\evil", "x"),
        Named('\x05', "7") + FileRecords("sub/evil", "x"),
        Named('\x05', "/tmp") + FileRecords("evil", "x"),
        Named('\x05', "7") + Named('\x02', "a\\..\\..") + FileRecords("evil", "x"),
        Named('\x05', "7") + Named('\x02', "\\abs") + FileRecords("evil", "x"),
        Named('\x05', "7") + FileRecords("line\nbreak", "x"),
        Named('\x05', "7") + FileRecords("tab\tname", "x"),
    };
    for (const std::string& records : hostile) {
        TempDir dir;
        const std::string root = dir.file("home/download");
        UnpackResult result;
        EXPECT_TRUE(Unpack(records + Named('\x05', "8") + FileRecords("a..b.txt", "y"), root, result))
            << result.error;
        ASSERT_EQ(result.notes.size(), 1u);
        EXPECT_NE(result.notes[0].find("不安全"), std::string::npos) << result.notes[0];
        EXPECT_EQ(result.written, 1);
        EXPECT_TRUE(sorvik::FileExists(root + "/8/a..b.txt"));
        for (const std::string& entry : Tree(dir.path())) {
            EXPECT_TRUE(entry == "home" || entry.rfind("home/download", 0) == 0) << entry;
            EXPECT_EQ(entry.find("evil"), std::string::npos) << entry;
        }
    }
    // A folder that is a link leading elsewhere is not written through.
    TempDir dir;
    const std::string root = dir.file("download");
    ASSERT_TRUE(sorvik::MakeDirectories(root));
    ASSERT_TRUE(sorvik::MakeDirectories(dir.file("elsewhere")));
    ASSERT_EQ(::symlink(dir.file("elsewhere").c_str(), (root + "/7").c_str()), 0);
    UnpackResult result;
    EXPECT_FALSE(Unpack(Named('\x05', "7") + FileRecords("f", "x"), root, result));
    EXPECT_TRUE(Tree(dir.file("elsewhere")).empty());
}

TEST(ExchangeRecords, BrokenRecordsEndTheUnpackingWithoutPartialFiles) {
    const std::string full = Named('\x05', "7") + FileRecords("f.htm", "0123456789");
    struct Case {
        std::string records;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {full.substr(0, full.size() - 3), "截断"},  // content cut short
        {full.substr(0, 3 + 1 + 1 + 3), "截断"},    // file name cut short
        {full.substr(0, 13), "截断"},               // length field cut short
        {Named('\x05', "7") + std::string("\x04\x01\x00\x00\x00", 5) + "x",
         "文件名"},  // content without a name
        {Named('\x05', "7") + "\x09", "0x09"},
        {Named('\x05', "7") + FileRecords("a", "ok") + "\x03\x01" + "b" + "\x04\xff\xff\xff\x7f" + "tiny",
         "截断"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string root = dir.file("download");
        UnpackResult result;
        EXPECT_FALSE(Unpack(c.records, root, result));
        EXPECT_NE(result.error.find(c.reason), std::string::npos) << result.error;
        EXPECT_FALSE(sorvik::FileExists(root + "/7/f.htm"));
        EXPECT_FALSE(sorvik::FileExists(root + "/7/b"));
    }
    // No folder record at all: nothing to do.
    TempDir dir;
    UnpackResult result;
    EXPECT_TRUE(Unpack("no records here", dir.file("download"), result));
    EXPECT_EQ(result.records, 0);
}

TEST(ExchangeRecords, WriterRefusesNamesThatDoNotFitTheFormat) {
    std::string out;
    EXPECT_FALSE(sorvik::AppendFolderRecord(out, ""));
    EXPECT_FALSE(sorvik::AppendFolderRecord(out, std::string(256, 'a')));
    EXPECT_FALSE(sorvik::AppendFileRecords(out, std::string(256, 'a'), "x"));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(sorvik::AppendFolderRecord(out, std::string(255, 'a')));
    EXPECT_TRUE(sorvik::IsSafeRecordName("Source1.htm"));
    EXPECT_TRUE(sorvik::IsSafeRecordName("\x95\x5c.htm"));  // a GBK character whose second byte is "\"
    EXPECT_TRUE(sorvik::IsSafeRecordName("a..b"));
    EXPECT_TRUE(sorvik::IsSafeRecordName("caf\xe9.txt"));  // Latin-1 from another disk
    EXPECT_FALSE(sorvik::IsSafeRecordName("."));
    EXPECT_FALSE(sorvik::IsSafeRecordName("\x81/x"));  // not a character: the "/" would stand alone
}
