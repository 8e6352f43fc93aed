#include "engine/extraction.h"

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/download_folder.h"
#include "engine/entry_list.h"
#include "engine/extraction_settings.h"
#include "engine/field_rules.h"
#include "engine/keyword_cursor.h"
#include "engine/link_helpers.h"
#include "engine/operations.h"
#include "engine/page_extractor.h"
#include "engine/page_fetcher.h"
#include "engine/record_buffer.h"
#include "engine/record_writer.h"
#include "engine/regex_ops.h"
#include "engine/result_columns.h"
#include "engine/result_table.h"
#include "engine/run_fetch.h"
#include "engine/run_queue.h"
#include "engine/script_index.h"
#include "engine/url_list.h"
#include "engine/variables.h"
#include "script/script_keys.h"
#include "script/script_text.h"
#include "store/app_home.h"
#include "store/database.h"
#include "store/db_access.h"
#include "text/gb_text.h"
#include "text/strings.h"

namespace sorvik {

namespace {

// Bytes of the display copy of the current keyword.
constexpr size_t kKeywordDisplayBytes = 31;

// The next-page link inside the region the rule found.
constexpr std::string_view kHrefDoubleQuoted = "href=\"(.*?)\"";
constexpr std::string_view kHrefSingleQuoted = "href='(.*?)'";

class ExtractionRun {
  public:
    explicit ExtractionRun(ThreadParams& params) : params_(params), test_(params.taskNumber == 0) {}
    ExtractionRun(const ExtractionRun&) = delete;
    ExtractionRun& operator=(const ExtractionRun&) = delete;

    bool Run();

  private:
    // --- setup ---
    bool Setup();
    bool PrepareTables();
    bool CheckPatterns();
    void ConnectContext();
    void Fail(const std::string& text);

    // --- loops ---
    void RunKeywords();
    // Pages of one URL template: its range values, each with its next pages. The first page is
    // already fetched. False when the run must end (stop or failed fetch).
    bool RunTemplate(const std::string& urlTemplate, const std::string& rangeText, std::string url,
                     std::string page);
    // One page and the next pages it leads to. False when the run must end.
    // following: the URL the run goes to when this chain ends (the next range value), for the plan.
    bool FollowPages(std::string url, std::string page, const std::string& following = {});
    // Names the pages this page's records and the next page will need, so that the fetcher asks
    // for them on its free connections while the records are built.
    void PlanPage(const std::string& url, const std::string& nextUrl);
    bool PlanLevel(int level, std::string_view text, std::vector<std::string>& enclosing, long long& leaf,
                   long long skip, std::vector<std::string>& urls);
    void PlanRecord(std::string_view match, const std::vector<std::string>& enclosing,
                    std::vector<std::string>& urls);
    bool PageCapReached();
    // Cuts one page into records. False when a stop interrupted it.
    bool ProcessPage();
    bool ProcessLevel(int level, std::string_view text);
    void MakeRecord(std::string_view match);
    bool BuildFields(std::string_view match);
    void RunDownloads();
    void ReadWriteBack();
    void WriteBackKeyword();
    std::string FindNextUrl(const std::string& url) const;
    bool FetchPage(const std::string& url, std::string& page, SideFetchFailure failure);

    // --- batches and the resume point ---
    void SetResumePoint(const std::string& url, int page);
    void SaveIfDue(bool force);
    void SaveWithinPage();
    void MarkCheckpoint();
    void DiscardInterruptedPage();
    void ReportRegexProblems();

    // A test run's page or record limit ends it like a stop (a test stores nothing to discard).
    bool Stopped() const { return params_.StopRequested() || limitReached_; }
    void Trace(std::string_view text) {
        if (test_)
            params_.testOutput.append(text);
    }

    ThreadParams& params_;
    const bool test_;
    std::string script_;
    CPageExtractor context_;
    LoopLevels levels_;
    std::vector<std::string> fieldNames_;
    std::vector<FieldBinding> fields_;
    NextPageRule nextRule_;
    std::unordered_map<std::string, std::string> patternKeys_;  // the script's patterns and their keys
    int batchSize_ = 500;
    std::shared_ptr<const RecordTarget> target_;
    RecordBuffer buffer_;
    std::unique_ptr<DownloadFolder> downloads_;
    DownloadSite site_;
    std::string optionName_;  // "#下载选项_默认值=" of the run, empty when none
    // Where a real run with a download option writes the option's items back for each record's
    // keyword: the table, its keyword column and each item with its column (read once).
    std::string writeBackTable_;
    std::string writeBackKeyColumn_;
    std::vector<std::pair<std::string, std::string>> writeBackItems_;
    bool buildFields_ = true;
    bool sourceBeforeFields_ = false;
    bool sourceBeforeFiles_ = false;
    bool keywordRun_ = false;
    // Which entry lists the script has (the script does not change during the run).
    bool hasTakeValue_ = false;
    bool hasSourceCopies_ = false;
    bool hasFiles_ = false;
    bool hasHeadCopies_ = false;
    bool hasExitCondition_ = false;
    int recordNumber_ = 0;
    int pagesDone_ = 0;
    bool limitReached_ = false;
    int pageNumber_ = 1;
    // Matches of the deepest level met on the current page, and how many of them a resumed run
    // skips (stored before it was paused: the resume point's page record).
    long long leafOrdinal_ = 0;
    long long skipLeaves_ = 0;
    long long resumeSkip_ = 0;  // the resume point's page record, for the run's first page
    // The buffer and statistics at the page's start or its last save within the page: a stop
    // inside the page takes back what came after.
    size_t committedAtCheckpoint_ = 0;
    long long recordsAtCheckpoint_ = 0;
    long long recordBytesAtCheckpoint_ = 0;
    int pagesVisited_ = 0;  // pages the run moved to ("#最大页数=")
    bool pageCapShown_ = false;
};

// A level keeps at most this many of its latest records of a page (the current one is the last):
// a page with millions of matches must not hold them all.
constexpr size_t kLevelRecordsKept = 1024;

// Records of a page whose linked pages are fetched ahead.
constexpr long long kPlannedRecords = 1024;

// --- setup -------------------------------------------------------------------------------------

void ExtractionRun::Fail(const std::string& text) {
    params_.testOutput += text;
    params_.failure = text;
    params_.Send(RunMessageType::kProgressLine, text);
}

bool ExtractionRun::PrepareTables() {
    const std::string table = Trim(ScriptValue(key::kTable, script_));
    std::string message;
    if (test_) {
        // A test run prepares the tables of the script as the real run will find them, unless it
        // tests a field list of its own. A script without a table has nothing to prepare.
        if (!Trim(ScriptValue(key::kTestFieldList, script_)).empty() || table.empty())
            return true;
        for (const ResultTableLayout& layout : ReadResultTableLayouts(script_)) {
            if (!EnsureResultTable(script_, layout.tableNumber, message)) {
                Fail(message);
                return false;
            }
        }
        return true;
    }
    // The writer's view of the table checks every column type before the table is touched.
    const ResultTableLayout layout = ReadResultTableLayout(script_, 0);
    if (layout.table.empty()) {
        Fail("搜索脚本中没有指定表名！(#表名=)");
        return false;
    }
    target_ = MakeRecordTarget(layout, message);
    if (!target_) {
        Fail(Format("字段类型的设置不对！(%s)", message.c_str()));
        return false;
    }
    if (!EnsureResultTable(script_, 0, message)) {
        target_.reset();
        Fail(message);
        return false;
    }
    // A record holds one value per field; columns named differently would shift every value.
    if (target_->columns.size() != fieldNames_.size()) {
        Fail(Format("字段类型的设置不对！(%s)", "字段名列表和字段别名列表的个数不相等！"));
        return false;
    }
    return true;
}

// A pattern that does not compile would find nothing on every page: the run would end as if the
// site had no records. Say which key holds it instead, before any page is processed.
bool ExtractionRun::CheckPatterns() {
    auto check = [&](const std::string& what, std::string_view pattern) {
        if (!pattern.empty() && (pattern[0] == '~' || pattern[0] == '$' || pattern[0] == '@'))
            pattern.remove_prefix(1);
        std::string reason;
        if (!pattern.empty())
            patternKeys_.emplace(std::string(pattern), what);
        if (pattern.empty() || IsValidPattern(pattern, &reason))
            return true;
        Fail(Format("正则表达式有误：%s%s (%s)", what.c_str(), std::string(pattern).c_str(), reason.c_str()));
        return false;
    };
    for (int level = 1; level <= levels_.count; ++level) {
        const bool testKey = test_ && !ScriptValue(Format("%d_测试=", level), script_).empty();
        if (!check(Format(testKey ? "%d_测试=" : "%d=", level), levels_.patterns[level - 1]))
            return false;
    }
    for (const FieldBinding& field : fields_) {
        // A variable token stands for a value, not a pattern.
        const bool variable = field.pattern.starts_with("<变量") && field.pattern.ends_with(">");
        const std::string where = Format("字段“%s”的", field.name.c_str());
        if (field.hasPattern && !variable && !check(where + field.keyName + "=", field.pattern))
            return false;
        for (int n = 1; n <= 9; ++n) {
            const std::string key = Format("%s_%d=", field.keyName.c_str(), n);
            const std::string narrowing = ScriptValue(key, script_);
            if (narrowing.empty())
                break;
            if (!check(where + key, narrowing))
                return false;
        }
    }
    return check(nextRule_.level > 0 ? NumberedKey(key::kNextPageStem, nextRule_.level, "=")
                                     : std::string(key::kNextPage),
                 nextRule_.pattern);
}

void ExtractionRun::ConnectContext() {
    context_.taskNumber = params_.taskNumber;
    context_.script = script_;
    context_.optionText = params_.optionText;
    context_.searchObjectText = params_.searchObjectText;
    context_.pageBytes = &params_.stats.pageBytes;
    context_.statusText = [this](const std::string& text) {
        params_.Send(RunMessageType::kStatusText, text, 0);
    };
    if (params_.fetcher) {
        context_.fetchPage = [this](const std::string& url, bool fromUtf8, std::string& page) {
            return FetchRunPage(params_, *params_.fetcher, url, fromUtf8, page, SideFetchFailure::kQuiet);
        };
        site_.fetchFile = [this](const std::string& url, const std::string& path) {
            return FetchRunFile(params_, *params_.fetcher, url, path);
        };
    }
    downloads_ = std::make_unique<DownloadFolder>(params_.taskNumber);
    site_.folder = downloads_.get();
    site_.stopRequested = [this] { return params_.StopRequested(); };
}

bool ExtractionRun::Setup() {
    script_ = params_.script;

    // Keyword block: its keys hold only for a run with keywords, where they come before the
    // script's own lines (the first line of a key wins).
    std::string block = CutKeywordBlock(script_);
    // A test run without a start URL takes its keywords from "<搜索关键字>=" first, so that the
    // block holds for it as for the real run with those keywords.
    if (test_ && params_.keywordList.empty() && Trim(ScriptValue(key::kStartUrl, script_)).empty())
        params_.keywordList = Trim(ScriptValue(key::kTestKeyword, script_));
    if (!params_.keywordList.empty() && !block.empty()) {
        if (!block.ends_with("\r\n"))
            block += "\r\n";
        script_ = block + script_;
    }
    // Every keyword of a list ends with CR LF, the last one too: otherwise the cursor could never
    // reach it.
    if (!params_.keywordList.empty() && !params_.keywordList.ends_with("\r\n"))
        params_.keywordList += "\r\n";
    const bool emptyAllowed = EmptyKeywordAllowed(script_);
    keywordRun_ = !params_.keywordList.empty() ||
                  (emptyAllowed && !Trim(ScriptValue(key::kKeywordUrl, script_)).empty());

    const std::string testFields = Trim(ScriptValue(key::kTestFieldList, script_));
    fieldNames_ =
        SplitList(test_ && !testFields.empty() ? testFields : ScriptValue(key::kFieldList, script_));
    params_.updateMode = ReadUpdateMode(script_);
    if (!PrepareTables())
        return false;

    batchSize_ = ReadBatchSize(script_);
    params_.batchSize = batchSize_;
    if (params_.queueEntry) {
        std::scoped_lock lock(g_csDatabase);
        params_.queueEntry->fieldCount = static_cast<int>(fieldNames_.size());
        params_.queueEntry->tableName = Trim(ScriptValue(key::kTable, script_));
        params_.queueEntry->batchSize = batchSize_;
        params_.queueEntry->updateMode = params_.updateMode;
    }
    levels_ = ReadLoopLevels(script_, test_);
    for (const std::string& name : fieldNames_)
        fields_.push_back(BindField(script_, name, levels_.count));
    nextRule_ = ReadNextPageRule(script_);
    if (!CheckPatterns())
        return false;

    optionName_ = Trim(ScriptValue(key::kDownloadOption, script_, params_.optionText));
    buildFields_ = DownloadOptionTakesText(script_, params_.optionText);
    sourceBeforeFields_ = ScriptValue(key::kSourceBeforeFields, script_) == "1";
    sourceBeforeFiles_ = ScriptValue(key::kSourceBeforeFiles, script_) == "1";

    hasTakeValue_ = !EntryNames(kTakeValueList.listKey, script_).empty();
    hasSourceCopies_ = !EntryNames(kSourceCopyList.listKey, script_).empty();
    hasFiles_ = !EntryNames(kFileList.listKey, script_).empty();
    hasHeadCopies_ = !EntryNames(kHeadCopyList.listKey, script_).empty();
    hasExitCondition_ = !EntryNames(kNextPageExitList.listKey, script_).empty();
    ReadWriteBack();

    ConnectContext();
    pageNumber_ = params_.startPage > 0 ? params_.startPage : 1;
    resumeSkip_ = params_.pageRecord > 0 ? params_.pageRecord : 0;
    return true;
}

// --- the run -----------------------------------------------------------------------------------

bool ExtractionRun::Run() {
    const RegexStopScope stopScope(params_.stopFlag);
    TakeRegexProblems();  // problems of an earlier run on this thread are not this run's
    params_.recordBuffer = &buffer_;
    const bool ready = Setup();
    if (ready) {
        if (keywordRun_) {
            RunKeywords();
        } else {
            // A test run whose "#要搜索网址_测试=" is "<空>" has no start URL: it works on its page.
            std::string urlTemplate = Trim(ScriptValue(key::kStartUrl, script_));
            if (test_ && Trim(ScriptValue(key::kTestStartUrl, script_)) == "<空>")
                urlTemplate.clear();
            const std::string range =
                urlTemplate.empty() ? std::string() : ScriptValue(key::kStartUrlRange, script_);
            std::string page = std::move(params_.pageText);
            params_.stats.pageBytes += static_cast<long long>(page.size());
            if (RunTemplate(urlTemplate, range, params_.url, std::move(page)))
                SetResumePoint({}, 0);
        }
        SaveIfDue(true);
    }
    params_.recordBuffer = nullptr;
    if (ready)
        params_.pageText = std::move(context_.pageSource);

    if (test_ && ready) {
        if (params_.testOutput.empty()) {
            // Nothing was traced: list what the deepest level found instead.
            const int deepest = levels_.count;
            params_.testOutput += Format("第%d层循环:\r\n", deepest);
            int n = 0;
            for (const std::string& record : context_.levelRecords[deepest])
                params_.testOutput += Format("第%d条记录：", ++n) + record + "\r\n";
            params_.testOutput += "\r\n";
        }
        params_.testOutput += FormatRegexProblems(TakeRegexProblems());
    }
    TakeRegexProblems();
    // A run that could not start its work is paused, not finished: it can be resumed once the
    // script is mended.
    if (!ready && !test_)
        params_.RequestStop(kStopPause);
    return ready;
}

void ExtractionRun::RunKeywords() {
    std::string& list = params_.keywordList;
    const bool emptyAllowed = EmptyKeywordAllowed(script_);
    const std::string range = Trim(ScriptValue(key::kKeywordUrlRange, script_));
    const std::string urlTemplate = Trim(ScriptValue(key::kKeywordUrl, script_));
    bool first = true;
    while (!Stopped()) {
        KeywordPosition position = LocateKeyword(list, params_.searchKeyIndexPre, params_.searchKeyIndex);
        std::string keyword = Trim(position.keyword);
        while (keyword.empty() && position.end != std::string::npos) {
            params_.searchKeyIndexPre = static_cast<int>(position.end);
            params_.searchKeyIndex = static_cast<int>(position.end + 2);
            position = LocateKeyword(list, params_.searchKeyIndexPre, params_.searchKeyIndex);
            keyword = Trim(position.keyword);
        }
        if (keyword.empty() && !(emptyAllowed && !urlTemplate.empty()))
            break;

        // Cut on character boundaries, as the start URL of the run was built.
        keyword = std::string(GbPrefix(keyword, kMaxKeywordBytes));
        params_.currentKeyword = std::string(GbPrefix(keyword, kKeywordDisplayBytes));
        if (params_.queueEntry) {
            std::scoped_lock lock(g_csDatabase);
            params_.queueEntry->displayKeyword = params_.currentKeyword;
        }
        context_.searchKeyword = keyword;
        // Every keyword goes into the template as the first one did.
        const std::string url =
            FillKeywordTemplate(urlTemplate, keyword, script_, params_.taskNumber, params_.searchObjectText);

        std::string page;
        std::string pageUrl;
        if (first) {
            // The worker fetched this keyword's page (or the page a paused run stopped at).
            pageUrl = params_.url;
            page = std::move(params_.pageText);
            params_.stats.pageBytes += static_cast<long long>(page.size());
        } else {
            // The per-keyword state of the previous keyword goes.
            params_.nextUrl.clear();
            params_.startPage = 0;
            params_.rangeValue = 0;
            pageNumber_ = 1;
            context_.memory.Clear();
            for (auto& records : context_.levelRecords)
                records.clear();
            UrlRange values;
            pageUrl = ParseUrlRange(range, values) ? ApplyRangeValue(url, values.start) : url;
            SetResumePoint(pageUrl, 1);
            if (!FetchPage(pageUrl, page, SideFetchFailure::kPause))
                return;
        }
        if (!RunTemplate(url, range, pageUrl, std::move(page)))
            return;

        // Past the keyword: the next one starts after the CR LF that ends it.
        if (position.end == std::string::npos)
            break;
        params_.searchKeyIndexPre = static_cast<int>(position.end);
        params_.searchKeyIndex = static_cast<int>(position.end + 2);
        SetResumePoint({}, 0);
        SaveIfDue(false);
        if (list.find("\r\n", static_cast<size_t>(params_.searchKeyIndex)) == std::string::npos)
            break;
        first = false;
    }
}

bool ExtractionRun::RunTemplate(const std::string& urlTemplate, const std::string& rangeText, std::string url,
                                std::string page) {
    UrlRange range;
    const bool ranged = urlTemplate.find("(*)") != std::string::npos && ParseUrlRange(rangeText, range);
    long long value = range.start;
    // A resumed run starts at the range value of its URL, or, when it stopped on a next page of a
    // range value, at the range position its resume point kept.
    bool knownValue =
        !ranged || url.empty() || FindRangeValue(urlTemplate, url, value) || params_.startPage <= 1;
    if (ranged && !knownValue && params_.rangeValue > 0 &&
        params_.rangeValue - 1 <= range.end - range.start) {
        value = range.start + params_.rangeValue - 1;
        knownValue = true;
    }
    if (ranged && knownValue)
        params_.rangeValue = value - range.start + 1;
    const std::string following =
        ranged && knownValue && value < range.end ? ApplyRangeValue(urlTemplate, value + 1) : std::string();
    if (params_.skipFirstPage) {
        // Resumed past this page: it is neither fetched nor cut; its next-page chain ends with it.
        params_.skipFirstPage = false;
    } else if (!FollowPages(std::move(url), std::move(page), following)) {
        return false;
    }
    if (!ranged || !knownValue)
        return true;
    long long next = value;
    while (next < range.end) {
        ++next;
        const std::string nextUrl = ApplyRangeValue(urlTemplate, next);
        ++pageNumber_;
        SetResumePoint(nextUrl, pageNumber_);
        params_.rangeValue = next - range.start + 1;
        if (Stopped())
            return false;
        DebugLog(Format("range:%lld,url:%s", next, nextUrl.c_str()), params_.taskName + "_无记录后");
        SaveIfDue(false);
        std::string nextPage;
        if (!FetchPage(nextUrl, nextPage, SideFetchFailure::kPause))
            return !Stopped();
        const std::string afterChain =
            next < range.end ? ApplyRangeValue(urlTemplate, next + 1) : std::string();
        if (!FollowPages(nextUrl, std::move(nextPage), afterChain))
            return false;
    }
    return true;
}

bool ExtractionRun::PageCapReached() {
    if (params_.maxPages <= 0 || pagesVisited_ < params_.maxPages)
        return false;
    if (!pageCapShown_) {
        pageCapShown_ = true;
        params_.Send(RunMessageType::kProgressLine, Format("已达到最大页数(%d)，任务结束", params_.maxPages));
    }
    return true;
}

bool ExtractionRun::FetchPage(const std::string& url, std::string& page, SideFetchFailure failure) {
    page.clear();
    if (!params_.fetcher || url.empty() || PageCapReached())
        return false;
    params_.referrerUrl = params_.url;
    if (!FetchRunPage(params_, *params_.fetcher, url, false, page, failure))
        return false;
    params_.stats.pageBytes += static_cast<long long>(page.size());
    return true;
}

bool ExtractionRun::FollowPages(std::string url, std::string page, const std::string& following) {
    std::unordered_set<std::string> visited;
    std::string previousUrl;
    int loop = 0;
    while (true) {
        params_.url = url;
        context_.pageUrl = url;
        context_.pageSource = std::move(page);
        context_.currentPage = pageNumber_;
        SetResumePoint(url, pageNumber_);
        ++pagesVisited_;
        if (!url.empty())
            visited.insert(url);
        if (nextRule_.level == 0) {
            // The next link of a page-level rule is known before the records are cut.
            std::string next = FindNextUrl(url);
            PlanPage(url, !next.empty() && visited.count(next) == 0 ? next : following);
        } else {
            PlanPage(url, {});
        }
        const bool processed = ProcessPage();
        ReportRegexProblems();
        if (!processed) {
            DiscardInterruptedPage();
            return false;
        }
        if (test_ && params_.testPageLimit > 0 && ++pagesDone_ >= params_.testPageLimit)
            limitReached_ = true;

        // The page's records are buffered: the run now resumes at the next page. A link back to
        // a page of this chain would make it endless and ends it instead.
        std::string nextUrl = FindNextUrl(url);
        const bool hasNext = !nextUrl.empty() && visited.count(nextUrl) == 0;
        if (hasNext)
            SetResumePoint(nextUrl, pageNumber_ + 1);
        // Stopped with no next page: the caller sets the resume point past this chain.
        if (Stopped())
            return !hasNext;
        if (!hasNext)
            break;
        SaveIfDue(false);
        std::string nextPage;
        if (!FetchPage(nextUrl, nextPage, SideFetchFailure::kPause)) {
            DebugLog(Format("loop:%d,strNextSite:%s,strNextSitePre:%s strSoureNextPage_50:%s", loop,
                            nextUrl.c_str(), url.c_str(), context_.pageSource.substr(0, 50).c_str()),
                     params_.taskName + "_退出下一页后");
            return !Stopped();
        }
        ++loop;
        ++pageNumber_;
        Trace(Format("\r\n第%d页 下一页网址：", pageNumber_) + nextUrl + "\r\n");
        if (nextPage.empty()) {
            url = std::move(nextUrl);
            break;
        }
        std::string exitValue;
        context_.currentLevel = levels_.count;
        if (hasExitCondition_)
            RunEntryList(context_, kNextPageExitList, nextPage, site_, exitValue);
        if (exitValue == "1") {
            url = std::move(nextUrl);
            break;
        }
        previousUrl = std::move(url);
        url = std::move(nextUrl);
        page = std::move(nextPage);
    }
    DebugLog(Format("loop:%d,strNextSite:%s,strNextSitePre:%s strSoureNextPage_50:%s", loop, url.c_str(),
                    previousUrl.c_str(), context_.pageSource.substr(0, 50).c_str()),
             params_.taskName + "_退出下一页后");
    return true;
}

std::string ExtractionRun::FindNextUrl(const std::string& url) const {
    if (nextRule_.pattern.empty())
        return {};
    std::string_view text = context_.pageSource;
    if (nextRule_.level > 0) {
        if (nextRule_.level > levels_.count)
            return {};
        text = context_.CurrentRecord(nextRule_.level);
    }
    std::string region;
    RegexFirstMatch(text, nextRule_.pattern, region, true);
    if (region.empty())
        return {};
    std::string link;
    std::string_view hrefPattern = kHrefDoubleQuoted;
    RegexFirstMatch(region, hrefPattern, link, false);
    if (link.empty()) {
        hrefPattern = kHrefSingleQuoted;
        RegexFirstMatch(region, hrefPattern, link, false);
    }
    if (link.empty())
        return {};
    StripPatternBoundaries(link, hrefPattern);
    if (link.empty())
        return {};
    return ResolveUrl(url, link);
}

// --- fetching ahead ----------------------------------------------------------------------------

void ExtractionRun::PlanPage(const std::string& url, const std::string& nextUrl) {
    PageFetcher* fetcher = params_.fetcher;
    if (!fetcher || fetcher->Politeness().connections <= 1 || Stopped())
        return;
    std::vector<std::string> urls;
    // The next page first: it is ready when the records are done.
    if (!nextUrl.empty() && !(params_.maxPages > 0 && pagesVisited_ >= params_.maxPages))
        urls.push_back(nextUrl);
    std::vector<std::string> enclosing(kMaxLevels + 1);
    context_.pageUrl = url;
    // The records a resumed run skips (stored before it paused) fetch nothing.
    long long leaf = 0;
    PlanLevel(1, context_.pageSource, enclosing, leaf, resumeSkip_, urls);
    fetcher->PlanAhead(params_, urls);
}

// The same level pass as ProcessLevel, naming for each record the pages its rules will fetch (in
// the order they fetch them) instead of building it. The first kPlannedRecords records of a page
// are planned: a denser page fetches the rest as it goes, so the plan stays small.
bool ExtractionRun::PlanLevel(int level, std::string_view text, std::vector<std::string>& enclosing,
                              long long& leaf, long long skip, std::vector<std::string>& urls) {
    if (text.empty())
        return true;
    bool more = true;
    const auto visit = [&](std::string_view match) {
        if (Stopped() || leaf >= skip + kPlannedRecords) {
            more = false;
            return false;
        }
        if (level < levels_.count) {
            enclosing[level] = std::string(match);
            more = PlanLevel(level + 1, enclosing[level], enclosing, leaf, skip, urls);
            return more;
        }
        if (++leaf <= skip)
            return true;
        PlanRecord(match, enclosing, urls);
        return true;
    };
    const std::string& pattern = levels_.patterns[level - 1];
    if (pattern.empty()) {
        visit(text);
    } else {
        RegexVisitMatches(text, pattern, visit);
    }
    return more;
}

void ExtractionRun::PlanRecord(std::string_view match, const std::vector<std::string>& enclosing,
                               std::vector<std::string>& urls) {
    auto addEntries = [&](bool present, const EntryListCall& call) {
        if (!present)
            return;
        for (std::string& entryUrl : EntryPageUrls(context_, call))
            urls.push_back(std::move(entryUrl));
    };
    auto addDownloads = [&] {
        addEntries(sourceBeforeFiles_ && hasSourceCopies_, kSourceCopyList);
        addEntries(hasFiles_, kFileList);
        addEntries(!sourceBeforeFiles_ && hasSourceCopies_, kSourceCopyList);
    };
    addEntries(hasTakeValue_, kTakeValueList);
    if (sourceBeforeFields_)
        addDownloads();
    if (buildFields_) {
        for (const FieldBinding& field : fields_) {
            if (!field.hasPattern)
                continue;
            const std::string_view recordText =
                field.level >= levels_.count ? match : std::string_view(enclosing[field.level]);
            std::string link = LinkedPageUrl(context_, field.keyName, field.pattern, recordText, script_);
            if (!link.empty())
                urls.push_back(std::move(link));
        }
    }
    if (!sourceBeforeFields_)
        addDownloads();
    addEntries(hasHeadCopies_, kHeadCopyList);
}

// --- records -----------------------------------------------------------------------------------

bool ExtractionRun::ProcessPage() {
    for (auto& records : context_.levelRecords)
        records.clear();
    leafOrdinal_ = 0;
    skipLeaves_ = std::exchange(resumeSkip_, 0);
    params_.pageRecord = skipLeaves_;
    MarkCheckpoint();
    if (!ProcessLevel(1, context_.pageSource))
        return false;
    // The whole page is buffered: a save from here on resumes past all of its matches.
    params_.pageRecord = leafOrdinal_;
    return true;
}

bool ExtractionRun::ProcessLevel(int level, std::string_view text) {
    if (text.empty())
        return true;
    const std::string& pattern = levels_.patterns[level - 1];
    std::vector<std::string>& list = context_.levelRecords[level];
    bool completed = true;
    // Matches are taken one at a time: the level's earlier records are done with when the next
    // one comes.
    const auto visit = [&](std::string_view match) {
        if (Stopped()) {
            completed = false;
            return false;
        }
        if (list.size() >= kLevelRecordsKept)
            list.clear();
        list.emplace_back(match);
        context_.currentLevel = level;
        if (level < levels_.count) {
            completed = ProcessLevel(level + 1, list.back());
            return completed;
        }
        if (++leafOrdinal_ <= skipLeaves_)
            return true;  // stored before the run was paused
        MakeRecord(list.back());
        SaveWithinPage();
        return true;
    };
    // A level without a pattern takes the whole text it searches as its one record.
    if (pattern.empty()) {
        visit(text);
    } else {
        RegexVisitMatches(text, pattern, visit);
    }
    // A stop may also end the search itself, before the level's last match.
    return completed && !Stopped();
}

void ExtractionRun::RunDownloads() {
    std::string unused;
    if (sourceBeforeFiles_ && hasSourceCopies_)
        RunEntryList(context_, kSourceCopyList, {}, site_, unused);
    if (hasFiles_)
        RunEntryList(context_, kFileList, {}, site_, unused);
    if (!sourceBeforeFiles_ && hasSourceCopies_)
        RunEntryList(context_, kSourceCopyList, {}, site_, unused);
}

void ExtractionRun::MakeRecord(std::string_view match) {
    ++recordNumber_;
    context_.currentLevel = levels_.count;
    std::string taken;
    if (hasTakeValue_)
        RunEntryList(context_, kTakeValueList, {}, site_, taken);
    if (sourceBeforeFields_)
        RunDownloads();

    if (buildFields_ && !fields_.empty()) {
        Trace(Format("第%d条记录(层号:%d)：\r\n", recordNumber_, levels_.count));
        if (BuildFields(match)) {
            params_.stats.records += 1;
            if (test_ && params_.testRecordLimit > 0 && params_.stats.records >= params_.testRecordLimit)
                limitReached_ = true;
            if (!test_ && target_)
                buffer_.CommitRecord();
            Trace("\r\n");
        }
    }
    // A rejected record loses only itself: the material of its page is saved all the same.
    if (!sourceBeforeFields_)
        RunDownloads();
    if (hasHeadCopies_)
        RunEntryList(context_, kHeadCopyList, match, site_, taken);
    if (!writeBackItems_.empty())
        WriteBackKeyword();
}

bool ExtractionRun::BuildFields(std::string_view match) {
    const bool buffering = !test_ && target_;
    if (buffering)
        buffer_.BeginRecord(target_);
    for (const FieldBinding& field : fields_) {
        FieldValue result;
        if (field.hasPattern) {
            const std::string_view text =
                field.level >= levels_.count ? match : context_.CurrentRecord(field.level);
            result = ApplyFieldRules(context_, field.keyName, field.pattern, text, script_);
        }
        if (test_) {
            std::string line = field.name + ":" + result.value;
            if (result.meetsDelete)
                line += "<符合删除条件>";
            if (!result.satisfiesSearch)
                line += "<不符合搜索条件>";
            Trace(line + "\r\n");
        }
        if (!result.Accepted()) {
            if (buffering)
                params_.stats.recordBytes -= static_cast<long long>(buffer_.DropRecord());
            return false;
        }
        if (buffering) {
            if (!buffer_.AppendValue(result.value)) {
                params_.Send(RunMessageType::kStatusText, "系统变量的值已被改变！", 0);
                continue;
            }
        }
        params_.stats.recordBytes += static_cast<long long>(result.value.size());
    }
    return true;
}

void ExtractionRun::ReadWriteBack() {
    // Only a real run changes the table that supplied the keywords.
    if (test_ || optionName_.empty())
        return;
    writeBackTable_ = Trim(ScriptValue(key::kTable, script_));
    const std::vector<ResultColumn> columns = ReadResultColumns(script_);
    // A title or field name means its column; any other word is taken as a column name.
    auto columnOf = [&columns](const std::string& word) {
        const int i = FindResultColumn(columns, word);
        return i >= 0 ? columns[i].column : word;
    };
    writeBackKeyColumn_ = columnOf(Trim(ScriptValue(key::kKeywordTitle, script_)));
    if (writeBackKeyColumn_.empty() || writeBackTable_.empty())
        return;
    for (std::string& item :
         SplitList(ScriptValue(optionName_ + "_处理字段=", script_, params_.optionText))) {
        // The item names a column, or does so once cut at "_".
        std::string column =
            FindResultColumn(columns, item) >= 0 ? columnOf(item) : columnOf(item.substr(0, item.find('_')));
        writeBackItems_.emplace_back(std::move(item), std::move(column));
    }
}

void ExtractionRun::WriteBackKeyword() {
    if (context_.searchKeyword.empty())
        return;
    for (const auto& [item, column] : writeBackItems_) {
        std::string value = IndexedScriptValue(item + "=", script_);
        if (value.empty())
            continue;
        SubstituteVariables(value, script_, {}, context_);
        // The names go into the statement as they are: only plain ones.
        if (!IsPlainName(writeBackTable_) || !IsPlainName(column) || !IsPlainName(writeBackKeyColumn_)) {
            params_.Send(RunMessageType::kStatusText, "更新表数据失败！", 0);
            continue;
        }
        const std::string sql = Format("update %s set %s='%s' where %s='%s'", writeBackTable_.c_str(),
                                       column.c_str(), SqlQuote(value).c_str(), writeBackKeyColumn_.c_str(),
                                       SqlQuote(context_.searchKeyword).c_str());
        std::scoped_lock lock(g_csDatabase);
        CDbAccess db;
        if (!db.ExecuteSql(sql))
            params_.Send(RunMessageType::kStatusText, "更新表数据失败！", 0);
    }
}

// --- batches -----------------------------------------------------------------------------------

void ExtractionRun::SetResumePoint(const std::string& url, int page) {
    params_.nextUrl = url;
    params_.startPage = page;
    params_.pageRecord = 0;
    if (url.empty())
        params_.rangeValue = 0;
}

void ExtractionRun::SaveIfDue(bool force) {
    if (test_ || !target_)
        return;
    const bool requested = params_.saveRequested.exchange(false);
    if (!force && !requested && !Stopped() && PendingRecordCount() <= batchSize_)
        return;
    if (buffer_.BufferedCount() == 0)
        return;
    SaveOptions options;
    options.resume = ResumePointOf(params_);
    options.afterTableSaved = [this](const RecordTarget&, const std::string& operationsName) {
        std::string value;
        ApplyOperations(context_, operationsName, value, script_, {}, false);
    };
    const SaveResult result = SaveRecords(params_, buffer_, options);
    if (!result.committed)
        params_.Send(RunMessageType::kStatusText, result.error, 0);
    params_.Send(RunMessageType::kRecordBatchWritten, {}, params_.taskNumber);
}

// A page with more matches than a batch stores them while it is cut, so that it holds at most a
// batch in memory. The batch goes with the page's resume point and the number of its matches dealt
// with: a resumed run fetches the page again and skips those (a page that changed meanwhile is
// taken as it now is). A stop is not saved here: the record it interrupted may be incomplete.
void ExtractionRun::SaveWithinPage() {
    if (test_ || !target_ || Stopped() || buffer_.BufferedCount() == 0)
        return;
    // A save request waits for the page's end, as a page's records normally do.
    if (PendingRecordCount() <= batchSize_)
        return;
    params_.pageRecord = leafOrdinal_;
    SaveIfDue(false);
    MarkCheckpoint();
}

void ExtractionRun::MarkCheckpoint() {
    committedAtCheckpoint_ = buffer_.BufferedCount();
    recordsAtCheckpoint_ = params_.stats.records.load();
    recordBytesAtCheckpoint_ = params_.stats.recordBytes.load();
}

// The records after the last checkpoint go: the resume point (the page and its page record) makes
// the resumed run build them again.
// A pattern whose search passed a bound found nothing on this page: a real run says which, by its
// key where the pattern is the script's own (a test run lists them in its trace).
void ExtractionRun::ReportRegexProblems() {
    if (test_)
        return;
    for (const RegexProblem& problem : TakeRegexProblems()) {
        const auto key = patternKeys_.find(problem.pattern);
        const std::string where = key == patternKeys_.end() ? std::string() : key->second;
        params_.Send(RunMessageType::kStatusText,
                     Format("正则表达式有误：%s%s (%s)", where.c_str(), problem.pattern.c_str(),
                            problem.reason.c_str()),
                     0);
    }
}

void ExtractionRun::DiscardInterruptedPage() {
    if (test_)
        return;
    std::vector<BufferedRecord> records = buffer_.TakeRecords();
    if (records.size() > committedAtCheckpoint_) {
        RecordBuffer::ReleasePending(static_cast<long long>(records.size() - committedAtCheckpoint_));
        records.resize(committedAtCheckpoint_);
    }
    buffer_.RestoreRecords(std::move(records));
    buffer_.DropRecord();
    params_.stats.records = recordsAtCheckpoint_;
    params_.stats.recordBytes = recordBytesAtCheckpoint_;
}

}  // namespace

bool RunExtraction(ThreadParams& params) {
    ExtractionRun run(params);
    return run.Run();
}

}  // namespace sorvik
