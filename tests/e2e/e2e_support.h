#pragma once
// What the end-to-end tests share: the demo site of examples/site on a loopback HTTP server, the
// example scripts pointed at it, harvests through the library (the run controller and its
// workers, as a front end drives them) and result tables read back as TSV text.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/run_controller.h"
#include "engine/url_list.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "support/core_fixture.h"
#include "support/http_test_server.h"
#include "support/recording_front_end.h"
#include "support/run_process.h"
#include "support/serve_folder.h"
#include "support/temp_dir.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/strings.h"

namespace sorvik::e2e {

using test::U8;

// The address the example scripts name for the demo site.
inline constexpr const char* kExampleSite = "http://127.0.0.1:8080/";

// The text of examples/scripts/<name> (UTF-8, LF) with the demo site's address replaced by
// siteUrl ("http://127.0.0.1:<port>/").
inline std::string ExampleScript(const std::string& name, const std::string& siteUrl) {
    std::string text;
    EXPECT_TRUE(ReadWholeFile(std::string(SORVIK_SOURCE_DIR) + "/examples/scripts/" + name, text)) << name;
    ReplaceAll(text, kExampleSite, siteUrl);
    return text;
}

// A UTF-8 text with LF line ends as the system holds a script: GB18030 with CR LF.
inline std::string AsScript(const std::string& utf8) {
    std::string text = Utf8ToGb(utf8);
    ReplaceAll(text, "\r\n", "\n");
    ReplaceAll(text, "\n", "\r\n");
    return text;
}

// The fruits of list_1.htm .. list_3.htm in order; fruit i has detail_i.htm, files/info_i.txt,
// the date 2024-01-i and the price 2i+0.50.
inline const char8_t* const kFruits[] = {u8"苹果", u8"香蕉", u8"橙子", u8"葡萄", u8"西瓜",
                                         u8"草莓", u8"樱桃", u8"芒果", u8"菠萝", u8"柠檬",
                                         u8"荔枝", u8"桃子", u8"梨子", u8"石榴", u8"椰子"};
inline constexpr int kFruitCount = 15;

inline std::string Fruit(int i) {
    return U8(kFruits[i - 1]);
}
inline std::string Date(int i) {
    return Format("2024-01-%02d", i);
}
inline std::string Price(int i) {
    return Format("%d.50", 2 * i);
}
inline std::string Content(int i) {
    const char8_t* const places[] = {u8"海南", u8"广西", u8"山东"};
    return Fruit(i) + Format(U8(u8"是第%d种水果。产地："), i) + U8(places[(i - 1) % 3]);
}

// A header line and one line per fruit 1..count.
inline std::string Rows(const std::string& header, int count, const std::function<std::string(int)>& row) {
    std::string text = header + "\n";
    for (int i = 1; i <= count; ++i)
        text += row(i) + "\n";
    return text;
}

// A core started on a fresh home, with the demo site served on loopback.
class SiteTest : public test::CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        ASSERT_TRUE(server.ok()) << server.error();
        ASSERT_GT(test::ServeFolder(server, std::string(SORVIK_SOURCE_DIR) + "/examples/site"), 20);
    }

    std::string SiteUrl() const { return server.Url("/"); }
    // "{site}" in expected text stands for the server without the trailing "/".
    std::string WithSite(std::string text) const {
        ReplaceAll(text, "{site}", server.Url(""));
        return text;
    }

    // Adds a task as `sorvik-cli add` does; returns its ID.
    int AddTask(const std::string& script) {
        CTaskTable table;
        std::scoped_lock lock(g_csDatabase);
        const int id = table.AllocateTaskId();
        EXPECT_GT(id, 0);
        EXPECT_TRUE(table.InsertTask(id, Trim(ScriptValue("#任务名称=", script)), TaskState::kEnded,
                                     Trim(ScriptValue("#要搜索网址=", script)), 3, script));
        return id;
    }

    // Runs the task with the run controller to its end (keywords typed as UTF-8, "" for none);
    // returns the TaskState number the run ended in (4 ended, 2 paused), or -1 when it did not
    // end within two minutes.
    int Harvest(int task, const std::string& keywords = {}) {
        test::RecordingObserver observer;
        test::RecordingPrompt prompt;
        prompt.answer = PromptAnswer::kNo;
        RunController controller(observer, prompt);
        StartRequest request;
        request.taskNumber = task;
        if (!keywords.empty())
            request.keywordList =
                BuildKeywordList(Utf8ToGb(keywords), CTaskTable().ReadTaskScript(task), task);
        EXPECT_TRUE(controller.StartTask(request));
        controller.RunUntilIdle(std::chrono::steady_clock::now() + std::chrono::minutes(2));
        for (const std::string& message : prompt.messages)
            ADD_FAILURE() << "message box: " << GbToUtf8(message);
        const std::optional<TaskState> state = observer.EndOf(task);
        return state ? static_cast<int>(*state) : -1;
    }

    // The task's records in the table (filed under node) as UTF-8 TSV: the column names, then one
    // line per record in the order stored; ID_ and iNode_ are left out.
    std::string TableTsv(const std::string& table, int node, const std::string& order = "ID_") {
        CDbAccess db;
        auto rows = db.ExecuteQuery("select * from " + Utf8ToGb(table) +
                                    " where iNode_=" + std::to_string(node) + " order by " + order);
        EXPECT_TRUE(rows.has_value()) << table << ": " << GbToUtf8(db.m_strProviderError);
        if (!rows)
            return {};
        std::vector<size_t> columns;
        std::vector<std::string> names;
        for (size_t i = 0; i < rows->ColumnCount(); ++i) {
            const std::string name = ToLowerAscii(rows->ColumnName(i));
            if (name != "id_" && name != "inode_") {
                columns.push_back(i);
                names.push_back(GbToUtf8(rows->ColumnName(i)));
            }
        }
        std::string tsv = Join(names, "\t") + "\n";
        for (; !rows->IsEof(); rows->MoveNext()) {
            std::vector<std::string> values;
            for (size_t column : columns)
                values.push_back(GbToUtf8(rows->Text(column)));
            tsv += Join(values, "\t") + "\n";
        }
        return tsv;
    }

    test::HttpTestServer server;
};

// The parts of sorvik-cli an end-to-end test uses, on a home of its own.
class Cli {
  public:
    Cli() { EXPECT_EQ(test::RunCli(home.path(), {"init"}).exitCode, 0); }

    // Adds the UTF-8 script as a task (written to a file as an editor saves it); returns its ID.
    std::string Add(const std::string& script) {
        const std::string path = folder.file("task" + std::to_string(++files_) + ".txt");
        EXPECT_TRUE(WriteWholeFile(path, script));
        test::ProcessResult added = test::RunCli(home.path(), {"add", path});
        EXPECT_EQ(added.exitCode, 0) << added.err;
        return Trim(added.out);
    }
    test::ProcessResult Run(const std::string& id, const std::string& keywords = {}) {
        std::vector<std::string> args = {"run", id};
        if (!keywords.empty()) {
            args.push_back("--keywords");
            args.push_back(keywords);
        }
        return test::RunCli(home.path(), args);
    }
    std::string Results(const std::string& id) {
        test::ProcessResult results = test::RunCli(home.path(), {"results", id, "--format", "tsv"});
        EXPECT_EQ(results.exitCode, 0) << results.err;
        return results.out;
    }
    // The trace of a test run of the UTF-8 script, with the options.
    std::string Test(const std::string& script, const std::vector<std::string>& options = {}) {
        const std::string path = folder.file("test" + std::to_string(++files_) + ".txt");
        EXPECT_TRUE(WriteWholeFile(path, script));
        std::vector<std::string> args = {"test", path};
        args.insert(args.end(), options.begin(), options.end());
        test::ProcessResult result = test::RunCli(home.path(), args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result.out;
    }

    test::TempDir home;
    test::TempDir folder;

  private:
    int files_ = 0;
};

}  // namespace sorvik::e2e
