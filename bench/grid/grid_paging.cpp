// The result grid's memory over a large task: what reading one page at a time holds, against
// reading the whole result at once.
//
//   bench_grid_paging make HOME N        a home with task 1 and N records in its result table
//   bench_grid_paging page HOME [STEP]   opens task 1's grid and reads every STEP-th page (default
//                                        1: every page), then the last one
//   bench_grid_paging all HOME           reads the task's whole result in one statement
//
// Each mode prints "key=value" lines: the records, pages, milliseconds of the open and of page
// reads, and the process's resident memory (VmRSS) and its peak (VmHWM) in KiB, read from
// /proc/self/status. The modes run as separate processes, so each peak is that mode's own.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>

#include "store/database.h"
#include "store/db_access.h"
#include "store/startup.h"
#include "store/task_table.h"
#include "text/strings.h"
#include "workbench/result_grid.h"

using namespace sorvik;

namespace {

using Clock = std::chrono::steady_clock;

long MemoryKib(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::string(key).size());
    }
    return -1;
}

double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

bool Start(const std::string& home) {
    StartupOptions options;
    options.home = home;
    std::string error;
    if (!StartUp(options, error)) {
        std::fprintf(stderr, "start-up failed: %s\n", error.c_str());
        return false;
    }
    return true;
}

int Make(const std::string& home, long long records) {
    if (!Start(home))
        return 1;
    CDbAccess db;
    const bool ok =
        CTaskTable().InsertTask(
            1, "bench", TaskState::kEnded, "", 4,
            "#表名=Bench\r\n#字段名列表=标题,类别,链接,正文\r\n#字段类型=文本,文本,超链接,备注\r\n") &&
        db.ExecuteSql(
            "Create Table Bench(ID_ IDENTITY CONSTRAINT PK_Bench PRIMARY KEY,iNode_ int,标题 varchar(100),"
            "类别 varchar(20),链接 varchar(255),正文 memo)") &&
        db.ExecuteSql(
            Format("with recursive n(i) as (select 1 union all select i+1 from n where i<%lld) "
                   "insert into Bench (iNode_,标题,类别,链接,正文) select 1,'记录标题'||i,"
                   "case i%%3 when 0 then '新闻' when 1 then '体育' else '财经' end,"
                   "'http://example.com/detail_'||i||'.htm',"
                   "'这是第'||i||'条记录的正文，长度大约一百个字节，用来模拟采集到的备注型字段内容。' from n",
                   records));
    if (!ok) {
        std::fprintf(stderr, "%s\n%s\n", db.m_strError.c_str(), db.m_strProviderError.c_str());
        return 1;
    }
    std::printf("records=%lld\n", records);
    ShutDown();
    return 0;
}

int Page(const std::string& home, int step) {
    if (!Start(home))
        return 1;
    std::printf("rss_start_kib=%ld\n", MemoryKib("VmRSS:"));
    ResultGrid grid;
    std::string error;
    auto start = Clock::now();
    if (!grid.Open(1, {}, error)) {
        std::fprintf(stderr, "open failed: %s\n", error.c_str());
        return 1;
    }
    std::printf("records=%lld\npage_size=%d\npages=%d\nopen_ms=%.1f\n", grid.Paging().total,
                grid.Paging().pageSize, grid.Paging().pages, Ms(start));
    std::printf("rss_after_first_page_kib=%ld\n", MemoryKib("VmRSS:"));
    const int pages = grid.Paging().pages;
    int read = 1;
    double slowest = 0;
    start = Clock::now();
    for (int page = 1 + step; page <= pages; page += step) {
        const auto pageStart = Clock::now();
        if (!grid.GoToPage(page, error)) {
            std::fprintf(stderr, "page %d failed: %s\n", page, error.c_str());
            return 1;
        }
        slowest = std::max(slowest, Ms(pageStart));
        ++read;
    }
    const double loopMs = Ms(start);
    const auto lastStart = Clock::now();
    grid.GoToPage(pages, error);
    const double lastMs = Ms(lastStart);
    std::printf("pages_read=%d\npage_ms_mean=%.1f\npage_ms_slowest=%.1f\nlast_page_ms=%.1f\n", read,
                read > 1 ? loopMs / (read - 1) : 0.0, slowest, lastMs);
    // A super-contains filter over the whole table, as the bar would apply it.
    start = Clock::now();
    if (!grid.Open(1, {"标题", "超包含", "记录标题99* | 记录标题12345 //b", "降序", false}, error)) {
        std::fprintf(stderr, "filter failed: %s\n", error.c_str());
        return 1;
    }
    std::printf("filtered_records=%lld\nfiltered_open_ms=%.1f\n", grid.Paging().total, Ms(start));
    std::printf("rss_end_kib=%ld\npeak_kib=%ld\n", MemoryKib("VmRSS:"), MemoryKib("VmHWM:"));
    ShutDown();
    return 0;
}

int All(const std::string& home) {
    if (!Start(home))
        return 1;
    ResultQuery query;
    std::string error;
    bool refused = false;
    if (!PrepareResultQuery(1, "", query, error, refused)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const auto start = Clock::now();
    size_t rows = 0;
    {
        std::scoped_lock lock(g_csDatabase);
        auto all = CDbAccess().OpenRecordset(ResultStatement(query));
        rows = all ? all->RowCount() : 0;
        std::printf("rss_holding_all_kib=%ld\n", MemoryKib("VmRSS:"));
    }
    std::printf("records=%zu\nread_all_ms=%.1f\npeak_kib=%ld\n", rows, Ms(start), MemoryKib("VmHWM:"));
    ShutDown();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "make" && argc == 4)
        return Make(argv[2], std::atoll(argv[3]));
    if (mode == "page" && (argc == 3 || argc == 4))
        return Page(argv[2], argc == 4 ? std::max(1, std::atoi(argv[3])) : 1);
    if (mode == "all" && argc == 3)
        return All(argv[2]);
    std::fprintf(stderr, "usage: %s make HOME N | page HOME [STEP] | all HOME\n", argv[0]);
    return 2;
}
