// The run controller with real workers, a real SQLite home and a loopback HTTP server.

#include "engine/run_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "engine/rules_test_helpers.h"
#include "engine/run_recovery.h"
#include "engine/run_statistics_panel.h"
#include "store/app_home.h"
#include "store/db_access.h"
#include "store/keyword_file.h"
#include "store/task_table.h"
#include "support/core_fixture.h"
#include "support/http_test_server.h"
#include "support/recording_front_end.h"
#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik {
namespace {

using test::HttpReply;
using test::HttpRequestRecord;
using test::HttpTestServer;

using test::RecordingObserver;
using test::RecordingPrompt;

class RunControllerTest : public test::CoreTest {
  protected:
    void SetUp() override {
        test::CoreTest::SetUp();
        ASSERT_TRUE(server.ok()) << server.error();
        controller = std::make_unique<RunController>(observer, prompt);
    }
    void TearDown() override {
        controller.reset();
        test::CoreTest::TearDown();
    }

    int AddTask(const std::string& name, const std::string& script) {
        CTaskTable table;
        const int id = table.AllocateTaskId();
        EXPECT_GT(id, 0);
        EXPECT_TRUE(table.InsertTask(id, name, TaskState::kEnded, "", 3, script));
        return id;
    }

    // A harvest of one page: every <li> item is a record of table `table`.
    std::string ListScript(const std::string& table, const std::string& url) {
        return "#要搜索网址=" + url + "\r\n#表名=" + table +
               "\r\n1=<li>.*?</li>\r\n#字段名列表=名\r\n名=~<li>(.*?)</li>\r\n";
    }

    static std::chrono::steady_clock::time_point Deadline() {
        return std::chrono::steady_clock::now() + std::chrono::seconds(60);
    }
    // The host loop until done() holds, or until no run is active; false after 60 s.
    bool RunUntil(const std::function<bool()>& done) { return controller->RunUntil(Deadline(), done); }
    bool RunToEnd() { return controller->RunUntilIdle(Deadline()); }

    int RowInt(const std::string& column, int id) { return CTaskTable().ReadTaskInt(column, id); }
    std::string RowText(const std::string& column, int id) { return CTaskTable().ReadTaskField(column, id); }

    bool Start(int task, const std::string& keywords = {}) {
        StartRequest request;
        request.taskNumber = task;
        request.keywordList = keywords;
        return controller->StartTask(request);
    }

    HttpTestServer server;
    test::QuickFetchSettings quick{std::chrono::milliseconds(100)};
    RecordingObserver observer;
    RecordingPrompt prompt;
    std::unique_ptr<RunController> controller;
};

TEST_F(RunControllerTest, OneThreadRunsThreeTasksOneAfterAnother) {
    std::atomic<int> active{0};
    std::atomic<int> most{0};
    server.AddHandler("/list.htm", [&](const HttpRequestRecord&) {
        const int now = ++active;
        int seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        --active;
        return HttpReply{200, "<li>a</li><li>b</li>", "text/html", {}};
    });
    ASSERT_TRUE(controller->SetMaxThreadCount(1, false));
    std::vector<int> tasks;
    for (int i = 0; i < 3; ++i) {
        tasks.push_back(
            AddTask("t" + std::to_string(i), ListScript("L" + std::to_string(i), server.Url("/list.htm"))));
        ASSERT_TRUE(Start(tasks.back()));
    }
    EXPECT_EQ(controller->RunningWorkers(), 1);
    EXPECT_EQ(controller->EntryState(tasks[2]), QueueState::kWaiting);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(most.load(), 1);
    EXPECT_EQ(server.CountRequests("/list.htm"), 3);
    ASSERT_EQ(observer.ended.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(observer.ended[i], std::make_pair(tasks[i], TaskState::kEnded));
        EXPECT_EQ(RowInt("iStatus", tasks[i]), 4);
        EXPECT_EQ(RowInt("iRecordCount", tasks[i]), 2);
    }
    EXPECT_EQ(observer.panes[kPaneProgress], "就绪");
    EXPECT_EQ(observer.panes[kPaneConnection], "连接已关闭");
}

TEST_F(RunControllerTest, ASaveRequestStoresTheBufferBeforeTheBatchIsFull) {
    // Page 2 is held until the save is requested; page 3 is held until the test has looked at
    // the table, so the records stored by then are those the request saved.
    std::mutex mutex;
    std::condition_variable changed;
    bool saveAsked = false, page3Asked = false, looked = false;
    auto wait = [&](bool& flag) {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(20), [&] { return flag; });
    };
    auto page = [this](int n) {
        std::string body = "<li>p" + std::to_string(n) + "a</li><li>p" + std::to_string(n) + "b</li>";
        if (n < 3)
            body += "<a href=\"" + server.Url("/" + std::to_string(n + 1) + ".htm") + "\">next</a>";
        return HttpReply{200, body, "text/html", {}};
    };
    server.AddHandler("/1.htm", [&](const HttpRequestRecord&) { return page(1); });
    server.AddHandler("/2.htm", [&](const HttpRequestRecord&) {
        wait(saveAsked);
        return page(2);
    });
    server.AddHandler("/3.htm", [&](const HttpRequestRecord&) {
        {
            std::scoped_lock lock(mutex);
            page3Asked = true;
        }
        changed.notify_all();
        wait(looked);
        return page(3);
    });
    const int task = AddTask(
        "分页", ListScript("Saved", server.Url("/1.htm")) + "#下一页网址=<a href=\"[^\"]*\">next</a>\r\n");
    ASSERT_TRUE(Start(task));
    ASSERT_TRUE(RunUntil([&] { return server.CountRequests("/2.htm") == 1; }));
    EXPECT_EQ(controller->RequestSave(task + 1000), 0);
    EXPECT_EQ(controller->RequestSave(task), 1);
    {
        std::scoped_lock lock(mutex);
        saveAsked = true;
    }
    changed.notify_all();
    wait(page3Asked);
    // Pages 1 and 2 are stored although the batch size of 500 is far from reached.
    EXPECT_EQ(CDbAccess().SelectCount("Saved", "1=1"), 4);
    {
        std::scoped_lock lock(mutex);
        looked = true;
    }
    changed.notify_all();
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(CDbAccess().SelectCount("Saved", "1=1"), 6);
}

TEST_F(RunControllerTest, TheSixtyFifthEntryIsRefused) {
    server.AddStall("/stall.htm");
    ASSERT_TRUE(controller->SetMaxThreadCount(1, false));
    const std::string script = ListScript("S", server.Url("/stall.htm"));
    for (int i = 0; i < kMaxQueueEntries; ++i)
        ASSERT_TRUE(Start(AddTask("s", script))) << i;
    EXPECT_TRUE(prompt.messages.empty());
    const int last = AddTask("s", script);
    EXPECT_FALSE(Start(last));
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], "任务数过多，不能启动任务！");
    EXPECT_EQ(controller->Queue().size(), static_cast<size_t>(kMaxQueueEntries));
    // Shutting down pauses the running one and those still waiting.
    controller.reset();
    CDbAccess db;
    EXPECT_EQ(db.SelectCount("Task", "iStatus=2"), kMaxQueueEntries);
    EXPECT_EQ(RowInt("iStatus", last), 4);
}

TEST_F(RunControllerTest, PauseAndResumeContinueWithTheSameKeywordAndPage) {
    // Keywords k1 and k2 have pages 1 to 3 each; the first request for page 2 of k1 is held until
    // the run has been paused.
    std::atomic<int> page2Requests{0};
    std::atomic<bool> hold{true};
    server.AddHandler("/s.php", [&](const HttpRequestRecord& request) {
        if (request.target.find("q=k1&p=2") != std::string::npos && page2Requests++ == 0) {
            for (int i = 0; i < 1500 && hold.load(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return HttpReply{200, "<li>" + request.target + "</li>", "text/html", {}};
    });
    const std::string script = "#需要搜索关键字网址=" + server.Url("/s.php?q=<搜索关键字>&p=(*)") +
                               "\r\n#需要搜索关键字网址_始末值=1,3\r\n#表名=K\r\n1=<li>.*?</"
                               "li>\r\n#字段名列表=名\r\n名=~<li>(.*?)</li>\r\n";
    const int task = AddTask("kw", script);
    ASSERT_TRUE(Start(task, "k1\r\nk2\r\n"));
    ASSERT_TRUE(RunUntil([&] { return page2Requests.load() > 0; }));
    EXPECT_TRUE(controller->StopTask(task, kStopPause));
    ASSERT_TRUE(RunToEnd());
    hold = false;
    ASSERT_FALSE(observer.ended.empty());
    EXPECT_EQ(observer.ended.back(), std::make_pair(task, TaskState::kPaused));
    EXPECT_EQ(RowInt("iStatus", task), 2);
    EXPECT_EQ(RowText("cNextSite", task), server.Url("/s.php?q=k1&p=2"));
    EXPECT_EQ(LoadTaskKeywords(task), "k1\r\nk2\r\n");
    const int pagesAtPause = RowInt("iConnCount", task);
    const int recordsAtPause = RowInt("iRecordCount", task);

    // Resume in a fresh controller, as a new process would.
    controller = std::make_unique<RunController>(observer, prompt);
    ASSERT_TRUE(controller->ResumeTask(task));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(observer.ended.back(), std::make_pair(task, TaskState::kEnded));
    EXPECT_EQ(page2Requests.load(), 2);  // page 2 of k1 again, then the rest
    EXPECT_EQ(server.CountRequests("/s.php"), 7);
    EXPECT_GT(RowInt("iConnCount", task), pagesAtPause);
    EXPECT_GT(RowInt("iRecordCount", task), recordsAtPause);
    EXPECT_EQ(CDbAccess().SelectCount("K", "1=1"), 6);
}

TEST_F(RunControllerTest, AKeywordRunThatCannotSaveItsKeywordFileStillStoresAndResumes) {
    // A file where the SearchKey folder should be: the keyword file can't be written. k2's page
    // fails once, which pauses the run.
    ASSERT_TRUE(WriteWholeFile(AppPath("SearchKey"), "not a folder"));
    std::atomic<int> k2Requests{0};
    server.AddHandler("/s.php", [&](const HttpRequestRecord& request) {
        const bool k2 = request.target.find("q=k2") != std::string::npos;
        if (k2 && k2Requests++ == 0)
            return HttpReply{404, "", "text/html", {}};
        return HttpReply{200, "<li>" + request.target + "</li>", "text/html", {}};
    });
    const int task =
        AddTask("kw", "#需要搜索关键字网址=" + server.Url("/s.php?q=<搜索关键字>") +
                          "\r\n#表名=K\r\n1=<li>.*?</li>\r\n#字段名列表=名\r\n名=~<li>(.*?)</li>\r\n");
    ASSERT_TRUE(Start(task, "k1\r\nk2\r\n"));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(observer.ended.back(), std::make_pair(task, TaskState::kPaused));
    EXPECT_EQ(std::count(prompt.messages.begin(), prompt.messages.end(), "保存搜索关键字失败！"), 1);
    EXPECT_EQ(RowText("cMemo", task), "k1\r\nk2\r\n");
    EXPECT_EQ(CDbAccess().SelectCount("K", "1=1"), 1);  // k1's record is stored all the same

    // A new process resumes from the list the row keeps.
    controller = std::make_unique<RunController>(observer, prompt);
    ASSERT_TRUE(controller->ResumeTask(task));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(observer.ended.back(), std::make_pair(task, TaskState::kEnded));
    EXPECT_EQ(std::count(prompt.messages.begin(), prompt.messages.end(), "请输入搜索关键字！"), 0);
    EXPECT_EQ(CDbAccess().SelectCount("K", "名 like '%k2%'"), 1);
}

TEST_F(RunControllerTest, ARunThatEndedRestartsWithResetTotals) {
    server.AddPage("/one.htm", "<li>x</li><li>y</li>");
    const int task = AddTask("again", ListScript("A", server.Url("/one.htm")));
    ASSERT_TRUE(Start(task));
    ASSERT_TRUE(RunToEnd());
    ASSERT_TRUE(Start(task));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(RowInt("iRecordCount", task), 2);
    EXPECT_EQ(RowInt("iConnCount", task), 1);
}

// The pause names the page and its answer; a resume that skips the page does not ask for it again.
TEST_F(RunControllerTest, ARunThatLosesItsServerPausesNamingThePageAndCanSkipIt) {
    server.AddStatus("/gone.htm", 404);
    const int task = AddTask("lost", ListScript("G", server.Url("/gone.htm")));
    ASSERT_TRUE(Start(task));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(RowInt("iStatus", task), 2);
    EXPECT_EQ(observer.ended.back(), std::make_pair(task, TaskState::kPaused));
    const auto& lines = observer.progressLines;
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "网页打开失败，系统自动暂停！(HTTP 404) " + server.Url("/gone.htm")),
              lines.end());
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "可能是网络不通，无法打开网页！"), lines.end());

    ASSERT_TRUE(controller->ResumeTask(task, true));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(observer.ended.back(), std::make_pair(task, TaskState::kEnded));
    EXPECT_EQ(server.CountRequests("/gone.htm"), 1);
}

TEST_F(RunControllerTest, ATaskDeletedWhileRunningEndsWithType5) {
    server.AddStall("/stall.htm");
    const int task = AddTask("doomed", ListScript("D", server.Url("/stall.htm")));
    ASSERT_TRUE(Start(task));
    ASSERT_TRUE(RunUntil([&] { return server.CountRequests("/stall.htm") > 0; }));
    EXPECT_TRUE(controller->StopTask(task, kStopDelete));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(RowInt("iType", task), 5);
    EXPECT_EQ(RowInt("iStatus", task), 2);
    EXPECT_EQ(observer.ended.back(), std::make_pair(task, TaskState::kStoppedForDeletion));
}

TEST_F(RunControllerTest, StartChecksAndQuestions) {
    server.AddStall("/stall.htm");
    const int keywordTask =
        AddTask("k", "#需要搜索关键字网址=" + server.Url("/s.php?q=<搜索关键字>") + "\r\n");
    EXPECT_FALSE(Start(keywordTask));
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], "请输入搜索关键字！");

    const int busy = AddTask("busy", ListScript("B", server.Url("/stall.htm")));
    ASSERT_TRUE(Start(busy));
    EXPECT_FALSE(Start(busy));
    EXPECT_EQ(observer.panes[kPaneProgress], "当前任务还没完成，执行失败！");
    EXPECT_TRUE(controller->StopTask(busy, kStopPause));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(controller->EntryState(busy), QueueState::kPaused);

    // New keywords for a paused task ask first; Cancel starts nothing.
    prompt.answer = PromptAnswer::kCancel;
    EXPECT_FALSE(Start(busy, "x\r\n"));
    ASSERT_EQ(prompt.questions.size(), 1u);
    EXPECT_EQ(prompt.questions[0], "当前任务是暂停状态，选择[是]启动暂停的任务,选择[否]进行本次搜索任务？");
    EXPECT_EQ(controller->EntryState(busy), QueueState::kPaused);

    controller->SetEditorBusy(true);
    EXPECT_FALSE(controller->ResumeTask(busy));
    EXPECT_EQ(prompt.messages.back(), "请等待！");
    controller->SetEditorBusy(false);

    EXPECT_FALSE(controller->SetMaxThreadCount(64));
    EXPECT_EQ(prompt.messages.back(), "值应在1~63之间！");
    EXPECT_TRUE(controller->SetMaxThreadCount(7));
    controller = std::make_unique<RunController>(observer, prompt);
    EXPECT_EQ(giMaxThreadCount.load(), 7);
}

TEST_F(RunControllerTest, TheFrontEndCallsBackFromInsideItsCalls) {
    // As a GUI does from a message box's nested event loop: a run's end starts the next task and
    // asks for a missing one (a message box); the next task's start stops it again at once.
    server.AddPage("/one.htm", "<li>x</li>");
    server.AddStall("/stall.htm");
    const int first = AddTask("first", ListScript("F", server.Url("/one.htm")));
    const int second = AddTask("second", ListScript("S", server.Url("/stall.htm")));
    observer.checkLocks = prompt.checkLocks = true;
    observer.onRunEnded = [&](int task, TaskState) {
        if (task != first)
            return;
        EXPECT_FALSE(Start(first + 1000));
        EXPECT_TRUE(Start(second));
    };
    observer.onProgressWindow = [&] {
        if (controller->EntryState(second) != QueueState::kRunning)
            return;
        EXPECT_FALSE(Start(second));
        EXPECT_TRUE(controller->StopTask(second, kStopPause));
    };
    ASSERT_TRUE(Start(first));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(observer.EndOf(first), TaskState::kEnded);
    EXPECT_EQ(observer.EndOf(second), TaskState::kPaused);
    EXPECT_EQ(prompt.messages, std::vector<std::string>{"取脚本失败！"});
    EXPECT_EQ(observer.callsUnderLock + prompt.callsUnderLock, 0);

    // Shutting down is final.
    controller->Shutdown();
    EXPECT_FALSE(Start(first));
    EXPECT_FALSE(controller->ResumeTask(second));
}

TEST_F(RunControllerTest, SendMailRunsNeedTheRunnerTheyWereGiven) {
    const int task = AddTask("mail", "#任务类型=发送邮件\r\n");
    EXPECT_FALSE(Start(task));
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], "不能运行发送邮件任务：没有邮件发送模块！");

    std::atomic<int> sentBy{0};
    controller = std::make_unique<RunController>(observer, prompt, [&](ThreadParams& params) {
        sentBy = params.taskNumber;
        params.stats.records += 3;
    });
    ASSERT_TRUE(Start(task));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(sentBy.load(), task);
    EXPECT_EQ(observer.EndOf(task), TaskState::kEnded);
    EXPECT_EQ(RowInt("iRecordCount", task), 3);
}

TEST_F(RunControllerTest, TestRunWorksOnTheEditorsPage) {
    StartRequest request;
    request.taskNumber = 0;
    request.testScript =
        "#要搜索网址_测试=<空>\r\n1=<li>.*?</li>\r\n#字段名列表=名\r\n名=~<li>(.*?)</li>\r\n";
    request.testPage = "<li>one</li><li>two</li>";
    ASSERT_TRUE(controller->StartTask(request));
    ASSERT_TRUE(RunToEnd());
    ASSERT_EQ(observer.testOutputs.size(), 1u);
    EXPECT_NE(observer.testOutputs[0].find("two"), std::string::npos);
    EXPECT_TRUE(observer.ended.empty());
}

TEST_F(RunControllerTest, StaleRunsOfADeadProcessBecomePaused) {
    const int waiting = AddTask("w", "");
    const int running = AddTask("r", "");
    AddTask("d", "");  // ended: left alone
    CDbAccess db;
    ASSERT_TRUE(db.ExecuteSql(Format("update Task set iStatus=0 where ID=%d", waiting)));
    ASSERT_TRUE(db.ExecuteSql(
        Format("update Task set iStatus=1,cNextSite='http://h/p2.htm',iStartPage=2 where ID=%d", running)));
    EXPECT_EQ(RecoverStaleRuns(true), 2);
    EXPECT_EQ(RowInt("iStatus", waiting), 2);
    EXPECT_EQ(RowInt("iStatus", running), 2);
    EXPECT_EQ(RowText("cNextSite", running), "http://h/p2.htm");
    EXPECT_EQ(RecoverStaleRuns(true), 0);
}

TEST(RunStatisticsPanel, RatesCountBelowASecondAsOne) {
    RunStatisticsValues values;
    values.records = 7410;
    values.useSeconds = 0;
    EXPECT_EQ(RunStatisticsPanel(values)[3], "记 录 数：      7410 条  (      7410条/秒)");
}

}  // namespace
}  // namespace sorvik
