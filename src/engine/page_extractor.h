#pragma once
// CPageExtractor: the per-run extraction context handed to every field rule, operation and
// variable. The extraction engine makes one per run (a test run is task 0), fills it as it works
// through the pages, and passes it by reference; it belongs to the run's worker thread and is used
// by no other thread, so it has no lock. A context with no fetch callback has no connection:
// linked pages then fail (an empty value) and the "网页源码" fetch mode does nothing.
//
// It depends on nothing of the fetcher or the run controller: the engine wires fetchPage to the
// worker's fetcher, pageBytes to the run's page-bytes counter and statusText to the run's window.

#include <array>
#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sorvik {

// Fetches url into page (GB18030; fromUtf8: the page is decoded as UTF-8 whatever it declares).
// Returns false when the page could not be fetched.
using PageFetchCallback = std::function<bool(const std::string& url, bool fromUtf8, std::string& page)>;

// Receives a text for the status bar (for example "插入表数据失败！(%s)" of the "保存" operation).
using StatusTextSink = std::function<void(const std::string& text)>;

// The most loop levels of a script ("1=" to "9=").
inline constexpr int kMaxLevels = 9;

// The memory list: named values filled by the "加入内存" operation and the entry lists, read by
// variables whose definition starts with "#". Adding a name that is already there replaces its
// value, so a variable always reads the latest value and the list stays as small as the number of
// names the script uses (the list lives as long as the run).
class MemoryList {
  public:
    void Add(std::string_view name, std::string_view value) {
        for (size_t i = 0; i < names_.size(); ++i) {
            if (names_[i] == name) {
                values_[i].assign(value);
                return;
            }
        }
        names_.emplace_back(name);
        values_.emplace_back(value);
    }
    // The value of name (exact comparison), or null.
    const std::string* Find(std::string_view name) const {
        for (size_t i = 0; i < names_.size(); ++i) {
            if (names_[i] == name)
                return &values_[i];
        }
        return nullptr;
    }
    void Clear() {
        names_.clear();
        values_.clear();
    }
    size_t size() const { return names_.size(); }
    const std::vector<std::string>& names() const { return names_; }
    const std::vector<std::string>& values() const { return values_; }

  private:
    std::vector<std::string> names_;
    std::vector<std::string> values_;
};

class CPageExtractor {
  public:
    CPageExtractor() = default;
    CPageExtractor(const CPageExtractor&) = delete;
    CPageExtractor& operator=(const CPageExtractor&) = delete;

    // --- the run ---
    int taskNumber = 0;            // 0: a test run (reads the "_测试" variants of keys first)
    std::string script;            // the task script
    std::string optionText;        // the run's download-option text (the alternative text), may be empty
    std::string searchKeyword;     // the current search keyword, empty when the run has none
    std::string searchObjectText;  // the task list's search-object text, one line per search category

    // --- the page ---
    std::string pageUrl;     // base for link resolution
    int currentPage = 1;     // page number within the current keyword (shown by "\当前页")
    std::string pageSource;  // the page being processed
    // Records of loop levels 1..9 (index 0 unused); the last entry is the level's current record.
    std::array<std::vector<std::string>, kMaxLevels + 1> levelRecords;
    int currentLevel = 0;  // the level being searched; 0 before the first level pass

    // --- state the rules change ---
    MemoryList memory;
    // The system string buffer of the current request: the items of the latest "%s_拆分字符串="
    // split, one per line (LF).
    std::string systemStrings;

    // --- connections to the run ---
    PageFetchCallback fetchPage;                  // null: no connection
    std::atomic<long long>* pageBytes = nullptr;  // the run's page-bytes counter; null: localPageBytes
    long long localPageBytes = 0;                 // fetched bytes when pageBytes is null
    StatusTextSink statusText;                    // null: status texts are dropped

    // Nesting depth of variable evaluation and evaluations since the outermost one began (both
    // bounded so that variables naming each other end).
    int variableDepth = 0;
    int variableEvaluations = 0;

    bool IsTestRun() const { return taskNumber == 0; }
    bool HasConnection() const { return static_cast<bool>(fetchPage); }

    // The current record of level (1..9): the last entry of its list; empty when it has none.
    std::string_view CurrentRecord(int level) const {
        if (level < 1 || level > kMaxLevels || levelRecords[level].empty())
            return {};
        return levelRecords[level].back();
    }

    // Fetches url through the connection; on success adds the page's length to the byte counter.
    // False without a connection, for an empty URL or a failed fetch (page is then empty).
    bool Fetch(const std::string& url, bool fromUtf8, std::string& page) {
        page.clear();
        if (!fetchPage || url.empty())
            return false;
        if (!fetchPage(url, fromUtf8, page)) {
            page.clear();
            return false;
        }
        AddPageBytes(static_cast<long long>(page.size()));
        return true;
    }

    void AddPageBytes(long long bytes) {
        if (pageBytes) {
            pageBytes->fetch_add(bytes);
        } else {
            localPageBytes += bytes;
        }
    }

    void ShowStatus(const std::string& text) const {
        if (statusText)
            statusText(text);
    }
};

}  // namespace sorvik
