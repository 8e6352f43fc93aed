// The download step (entry lists, page copies, linked files) against a real HTTP server on loopback
// and a real home folder.

#include "engine/entry_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "engine/page_fetcher.h"
#include "engine/run_fetch.h"
#include "support/core_fixture.h"
#include "support/http_test_server.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik {
namespace {

using test::HttpTestServer;
namespace fs = std::filesystem;

constexpr int kTask = 7;

class EntryListTest : public test::CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        ASSERT_TRUE(server.ok()) << server.error();
        run.taskNumber = kTask;
        run.fetcher = &fetcher;
        context.taskNumber = kTask;
        context.pageUrl = server.Url("/list/page1.htm");
        context.pageBytes = &run.stats.pageBytes;
        context.fetchPage = [this](const std::string& url, bool fromUtf8, std::string& page) {
            return FetchRunPage(run, fetcher, url, fromUtf8, page, SideFetchFailure::kQuiet);
        };
        // The folder lies below the home folder, which exists only from here on.
        folder.emplace(kTask);
        site.folder = &*folder;
        site.fetchFile = [this](const std::string& url, const std::string& path) {
            return FetchRunFile(run, fetcher, url, path);
        };
        site.stopRequested = [this] { return run.StopRequested(); };
    }

    // Runs one list over a record of the deepest of `levels` levels.
    std::string Run(const EntryListCall& call, const std::string& script, std::string_view given = {}) {
        context.script = script;
        std::string result;
        RunEntryList(context, call, given, site, result);
        return result;
    }

    void SetRecord(int level, std::string record) {
        context.levelRecords[level].push_back(std::move(record));
        context.currentLevel = level;
    }

    std::string Read(const std::string& relative) {
        std::string text;
        ReadWholeFile(folder->Path() + "/" + relative, text);
        return text;
    }

    // Every regular file below the home folder that is not below the task's download folder
    // (the database and its journal files excepted).
    std::vector<std::string> FilesOutsideTaskFolder() {
        std::vector<std::string> out;
        for (const auto& entry : fs::recursive_directory_iterator(home())) {
            if (!entry.is_regular_file())
                continue;
            const std::string path = entry.path().string();
            if (path.rfind(folder->Path() + "/", 0) == 0)
                continue;
            if (path.find("/DataBase/") != std::string::npos || path.ends_with("sorvik.lock"))
                continue;
            out.push_back(path);
        }
        return out;
    }

    HttpTestServer server;
    ThreadParams run;
    PageFetcher fetcher;
    CPageExtractor context;
    std::optional<DownloadFolder> folder;
    DownloadSite site;
};

TEST_F(EntryListTest, EntryNamesSingleKeyNumberedAndUnderscoreOneForms) {
    EXPECT_EQ(EntryNames("#取值", "#取值=a\r\n#取值1=b\r\n"), std::vector<std::string>{"a"});
    EXPECT_EQ(EntryNames("#取值", "#取值1=a\r\n#取值2_1=b\r\n#取值3=c\r\n#取值5=e\r\n"),
              (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(EntryNames("#取值", "#取值2=b\r\n").empty());
}

TEST_F(EntryListTest, OptionFilterSkipsEntriesNotListed) {
    SetRecord(1, "<b>x1</b><i>y1</i>");
    const std::string script =
        "#取值1=甲\r\n#取值2=乙\r\n甲=~<b>(.*?)</b>\r\n甲_加入内存=1\r\n乙=~<i>(.*?)</i>\r\n乙_加入内存=1\r\n"
        "#下载选项_默认值=选项一\r\n选项一=<下载文本>乙\r\n";
    EXPECT_EQ(Run(kTakeValueList, script), "y1");
    EXPECT_EQ(context.memory.Find("甲"), nullptr);
    ASSERT_NE(context.memory.Find("乙"), nullptr);

    // The run's option text replaces the script as the place the option is read from.
    context.memory.Clear();
    context.optionText = "#下载选项_默认值=全部\r\n全部=<下载全部数据>\r\n";
    EXPECT_EQ(Run(kTakeValueList, script), "y1");
    ASSERT_NE(context.memory.Find("甲"), nullptr);
    EXPECT_EQ(*context.memory.Find("甲"), "x1");

    // An option whose value key is empty lets no entry through.
    context.memory.Clear();
    context.optionText = "#下载选项_默认值=无\r\n";
    EXPECT_EQ(Run(kTakeValueList, script), "");
    EXPECT_EQ(context.memory.size(), 0u);
}

TEST_F(EntryListTest, ValueListWorksOnCurrentRecordAndFillsMemoryList) {
    server.AddPage("/detail/1.htm", "<title>Detail One</title>");
    SetRecord(1, "<li><a href=\"/detail/1.htm\">one</a> <em>a</em><em>b</em></li>");
    // All matches one per line.
    EXPECT_EQ(Run(kTakeValueList, "#取值=项\r\n项=~<em>(.*?)</em>\r\n"), "a\nb");

    // Fallback patterns, narrowing, link following and replacements in their order.
    const std::string chain =
        "#取值=链\r\n链=~<x>(.*?)</x>\r\n链_为空1=~<y>(.*?)</y>\r\n链_为空2=href=\"(.*?)\"\r\n"
        "链_1=~\"(.*?)\"\r\n链_link=~<title>(.*?)</title>\r\n链_link_加入内存=1\r\n"
        "链_替换源串1=<搜索关键字>\r\n链_替换目标1=Uno\r\n";
    context.searchKeyword = "One";
    EXPECT_EQ(Run(kTakeValueList, chain), "Detail Uno");
    EXPECT_EQ(*context.memory.Find("链_link"), "Detail Uno");
}

TEST_F(EntryListTest, MemoryUrlAndFailedPageGiveEmptyValueAndNextEntryRuns) {
    server.AddPage("/p.htm", "<b>from memory url</b>");
    SetRecord(1, "record");
    // "#name" finds the value the "加入内存" operation named with its "#", then one an entry named
    // without it.
    context.memory.Add("#地址", server.Url("/p.htm"));
    context.memory.Add("地址", server.Url("/missing.htm"));
    const std::string script =
        "#取值1=坏\r\n#取值2=好\r\n坏_网址=/missing.htm\r\n坏=~<b>(.*?)</b>\r\n坏_加入内存=1\r\n"
        "好_网址=#地址\r\n好=~<b>(.*?)</b>\r\n";
    EntryListCall call{"#取值", EntryKind::kHeadCopy, true};  // patterns on the fetched page
    EXPECT_EQ(Run(call, script), "from memory url");
    EXPECT_EQ(*context.memory.Find("坏"), "");
    // A failed entry page is quiet: the run goes on.
    EXPECT_FALSE(run.StopRequested());
}

TEST_F(EntryListTest, HostileLinksNeverWriteOutsideTheTaskFolder) {
    for (const char* path : {"/evil.txt", "/etc/passwd.txt", "/C:/evil.txt", "/..\\..\\evil.txt", "/a\\b.txt",
                             "/ctl\x01name.txt", "/%2e%2e/%2e%2e/evil2.txt"})
        server.AddPage(path, "payload", "text/plain");
    const std::string base = server.Url("/");
    std::string record;
    for (const std::string& link :
         {std::string("../../../../evil.txt"), std::string("/etc/passwd.txt"), std::string("C:\\evil.txt"),
          std::string("..\\..\\evil.txt"), std::string("a\\b.txt"), std::string("ctl\x01name.txt"),
          std::string("%2e%2e/%2e%2e/evil2.txt"), base + "a/../../../../evil.txt",
          base + "..%2f..%2fevil.txt", std::string("./../../evil.txt")})
        record += "<L>" + link + "</L>";
    SetRecord(1, record);
    context.pageUrl = server.Url("/deep/a/b/list.htm");
    Run(kFileList, "#下载文件=坏\r\n坏=~<L>(.*?)</L>\r\n");
    EXPECT_TRUE(FilesOutsideTaskFolder().empty()) << Join(FilesOutsideTaskFolder(), "\n");
    // "<task folder>/a/../../../../evil.txt" would be the folder above the home folder.
    EXPECT_FALSE(fs::exists(fs::path(home()).parent_path() / "evil.txt"));
    // What the server answered landed inside, under neutralised names.
    EXPECT_EQ(Read("evil.txt"), "payload");
    EXPECT_EQ(Read("etc/passwd.txt"), "payload");
    for (const auto& entry : fs::recursive_directory_iterator(folder->Path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(name.find('\\'), std::string::npos) << name;
        EXPECT_EQ(name.find(':'), std::string::npos) << name;
        EXPECT_EQ(name.find('\x01'), std::string::npos) << name;
        EXPECT_NE(name, "..");
    }
}

// A linked file over its cap is removed and counted as a failed link; the next one is saved.
TEST_F(EntryListTest, AFileOverItsCapIsAFailedLinkAndTheListGoesOn) {
    const FetchSettings saved = CurrentFetchSettings();
    FetchSettings capped = saved;
    capped.maxFileBytes = 1024 * 1024;
    SetFetchSettings(capped);
    server.AddPage("/big.bin", std::string(2 * 1024 * 1024, 'b'), "application/octet-stream");
    server.AddPage("/small.txt", "small", "text/plain");
    SetRecord(1, "<L>/big.bin</L><L>/small.txt</L>");
    Run(kFileList, "#下载文件=文\r\n文=~<L>(.*?)</L>\r\n");
    SetFetchSettings(saved);
    EXPECT_EQ(run.stats.failedPages.load(), 1);
    EXPECT_FALSE(fs::exists(folder->Path() + "/big.bin"));
    EXPECT_EQ(Read("small.txt"), "small");
    EXPECT_FALSE(run.StopRequested());
}

TEST_F(EntryListTest, LinkedFilePathNeutralisesEveryEscape) {
    EXPECT_EQ(DownloadFolder::LinkedFilePath("http://h/a/../../b.txt"), "a/b.txt");
    EXPECT_EQ(DownloadFolder::LinkedFilePath(std::string("http://h/a\0b/c", 14)), "a_b/c");
    EXPECT_EQ(DownloadFolder::LinkedFilePath("http://h/dir/"), "dir/index.htm");
    EXPECT_EQ(DownloadFolder::LinkedFilePath("http://h/s?f=/etc/passwd#x"), "s_f=_etc_passwd");
    EXPECT_EQ(DownloadFolder::LinkedFilePath("http://h/" + std::string(300, 'n')).size(), kMaxSavedNameBytes);
    EXPECT_EQ(DownloadFolder::LinkedFilePath("http://h/" + std::string(1200, '/') + "x"), "x");
    // Names are UTF-8 on disk, cut on whole characters.
    EXPECT_EQ(DownloadFolder::LinkedFilePath("http://h/files/价目表.txt"), GbToUtf8("files/价目表.txt"));
    std::string longName;
    for (int i = 0; i < 150; ++i)
        longName += "中";
    EXPECT_EQ(DownloadFolder::LinkedFilePath("http://h/" + longName).size(), 198u);  // 66 characters
}

TEST_F(EntryListTest, PageCopiesAreNumberedForTheCopyCleanup) {
    server.AddPage("/detail/1.htm", "<body>D1</body>");
    server.AddPage("/detail/2.htm", "<body>D2</body>");
    // Two levels: the page copy belongs to level 2 and level 2 gets its marker.
    context.levelRecords[1].push_back("outer record");
    for (int i = 1; i <= 2; ++i) {
        SetRecord(2, "inner");
        context.memory.Add("#链", server.Url("/detail/" + std::to_string(i) + ".htm"));
        // "#name" in the URL key reads the memory list directly.
        Run(kSourceCopyList, "#下载源文件=页\r\n页_网址=#链\r\n页=$<body>.*?</body>\r\n");
    }
    EXPECT_EQ(Read("Source2_2.htm"), "<body>D2</body>");
    EXPECT_EQ(Read("Source2.htm"), "outer record");
    EXPECT_FALSE(FileExists(folder->Path() + "/Source1_1.htm"));

    // A later run neither overwrites the copies, nor writes a copy that exists, nor leaves a gap.
    server.AddPage("/detail/3.htm", "<body>D3</body>");
    DownloadFolder again(kTask);
    site.folder = &again;
    for (int i = 2; i <= 3; ++i) {
        context.memory.Add("#链", server.Url("/detail/" + std::to_string(i) + ".htm"));
        Run(kSourceCopyList, "#下载源文件=页\r\n页_网址=#链\r\n页=$<body>.*?</body>\r\n");
    }
    EXPECT_EQ(Read("Source2_1.htm"), "<body>D1</body>");
    EXPECT_EQ(Read("Source2_3.htm"), "<body>D3</body>");

    // Without a URL a page copy has no text and nothing is written.
    Run(kSourceCopyList, "#下载源文件=页\r\n页=$<body>.*?</body>\r\n");
    EXPECT_FALSE(FileExists(folder->Path() + "/Source2_4.htm"));
}

TEST_F(EntryListTest, ExitConditionThroughAVariableReadsThePageNotTheGivenText) {
    SetRecord(1, "record");
    const std::string exit =
        "#下一页退出条件=末\r\n末=<变量_末>\r\n<变量_末>=\\源码\r\n<变量_末>_正则=~<end>(.*?)</end>\r\n";
    context.pageSource = "<end>1</end>";
    // The pattern form on the given page runs in extraction_test's served chain.
    EXPECT_EQ(Run(kNextPageExitList, exit, "ignored"), "1");
}

TEST_F(EntryListTest, StopEndsTheList) {
    server.AddPage("/f1.txt", "1", "text/plain");
    SetRecord(1, "<a href=\"/f1.txt\">");
    run.RequestStop(kStopPause);
    Run(kFileList, "#下载文件1=甲\r\n甲=~href=\"(.*?)\"\r\n");
    EXPECT_EQ(server.CountRequests("/f1.txt"), 0);
}

}  // namespace
}  // namespace sorvik
