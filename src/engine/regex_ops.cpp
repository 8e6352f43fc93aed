#include "engine/regex_ops.h"

#include <atomic>
#include <boost/regex.hpp>
#include <cstddef>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "engine/run_globals.h"
#include "text/strings.h"

#if defined(__SANITIZE_THREAD__)
// Boost hands a search's state blocks from one thread to the next through atomics inside its
// uninstrumented library. The matcher instantiated here for SteppedIterator is instrumented, so
// ThreadSanitizer sees the blocks' reuse but not the hand-over, and reports it as a race (in the
// matcher's headers).
extern "C" const char* __tsan_default_suppressions() {
    return "race:/boost/regex/v4/perl_matcher\n";
}
#endif

namespace sorvik {

namespace {

// The largest count a repeat ("{n}", "{n,}", "{n,m}") may name. A search for a{N} walks up to N
// bytes from every start position, so a page costs (page size x N): a{1000000000} on a 1 MB page
// runs for minutes, which Boost's own complexity bound does not see. 1000 keeps one search on a
// large page within about a second.
constexpr unsigned long kMaxRepeatCount = 1000;

// Why the pattern names a repeat count over kMaxRepeatCount; empty when it does not. Escapes and
// bracket expressions are skipped, as Boost reads them.
std::string RepeatCountProblem(std::string_view pattern) {
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '\\') {
            ++i;
        } else if (c == '[') {
            size_t j = i + 1;
            if (j < pattern.size() && pattern[j] == '^')
                ++j;
            if (j < pattern.size() && pattern[j] == ']')
                ++j;
            while (j < pattern.size() && pattern[j] != ']')
                j += pattern[j] == '\\' ? 2 : 1;
            i = j;
        } else if (c == '{') {
            // Each number of the braces, cut at 10 digits (more is over the bound anyway).
            size_t j = i + 1;
            while (j < pattern.size() && ((pattern[j] >= '0' && pattern[j] <= '9') || pattern[j] == ',')) {
                unsigned long number = 0;
                size_t digits = 0;
                for (; j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9'; ++j) {
                    if (++digits <= 10)
                        number = number * 10 + static_cast<unsigned long>(pattern[j] - '0');
                }
                if (number > kMaxRepeatCount && j < pattern.size())
                    return Format("repeat count over %lu: one search could run for minutes", kMaxRepeatCount);
                if (j < pattern.size() && pattern[j] == ',')
                    ++j;
            }
        }
    }
    return {};
}

thread_local const std::atomic<bool>* t_stopFlag = nullptr;

bool StopRequested() {
    return t_stopFlag && (t_stopFlag->load(std::memory_order_relaxed) || g_bStopAll.load());
}

// One search of the calling thread: its step count and budget (see SteppedIterator).
thread_local unsigned long long t_steps = 0;
thread_local unsigned long long t_stepBudget = 0;

// While it lives, the calling thread's steps count for one text's searches (visit may search other
// texts meanwhile: each keeps its own count).
class SearchScope {
  public:
    SearchScope(unsigned long long& steps, unsigned long long budget)
        : steps_(steps), savedSteps_(t_steps), savedBudget_(t_stepBudget) {
        t_steps = steps;
        t_stepBudget = budget;
    }
    ~SearchScope() {
        steps_ = t_steps;
        t_steps = savedSteps_;
        t_stepBudget = savedBudget_;
    }
    SearchScope(const SearchScope&) = delete;
    SearchScope& operator=(const SearchScope&) = delete;

  private:
    unsigned long long& steps_;
    unsigned long long savedSteps_;
    unsigned long long savedBudget_;
};

// Why a search was cut short by SteppedIterator.
struct SearchCut {
    const char* reason;
};

// The work a search may do, in steps per byte of its text (plus a floor for short texts): as much
// as the largest repeat count allowed, so no legitimate pattern meets it. Boost's own complexity
// bound grows with the pattern's size squared and lets a large pattern run for minutes.
constexpr unsigned long long kStepsPerByte = 1000;
constexpr unsigned long long kStepFloor = 64ull * 1024 * 1024;
// Steps between two looks at the stop flag.
constexpr unsigned long long kStopCheckSteps = 1ull << 16;

// A pointer into the searched text that counts the matcher's steps (reads and moves): every
// kStopCheckSteps it looks at the stop request, and past the budget it ends the search. Boost
// gives no hook inside one search, which on a hostile pattern can run for minutes; the matcher
// unwinds from the throw as from its own complexity error.
class SteppedIterator {
  public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    SteppedIterator() = default;
    explicit SteppedIterator(const char* p) : p_(p) {}
    const char* base() const { return p_; }

    reference operator*() const {
        Step();
        return *p_;
    }
    reference operator[](difference_type n) const { return *(*this + n); }
    SteppedIterator& operator++() {
        Step();
        ++p_;
        return *this;
    }
    SteppedIterator operator++(int) {
        SteppedIterator old = *this;
        ++*this;
        return old;
    }
    SteppedIterator& operator--() {
        Step();
        --p_;
        return *this;
    }
    SteppedIterator operator--(int) {
        SteppedIterator old = *this;
        --*this;
        return old;
    }
    SteppedIterator& operator+=(difference_type n) {
        p_ += n;
        return *this;
    }
    SteppedIterator& operator-=(difference_type n) {
        p_ -= n;
        return *this;
    }
    friend SteppedIterator operator+(SteppedIterator it, difference_type n) { return it += n; }
    friend SteppedIterator operator+(difference_type n, SteppedIterator it) { return it += n; }
    friend SteppedIterator operator-(SteppedIterator it, difference_type n) { return it -= n; }
    friend difference_type operator-(SteppedIterator a, SteppedIterator b) { return a.p_ - b.p_; }
    friend bool operator==(SteppedIterator a, SteppedIterator b) { return a.p_ == b.p_; }
    friend auto operator<=>(SteppedIterator a, SteppedIterator b) { return a.p_ <=> b.p_; }

  private:
    static void Step() {
        if ((++t_steps & (kStopCheckSteps - 1)) != 0)
            return;
        if (StopRequested())
            throw SearchCut{nullptr};
        if (t_steps > t_stepBudget)
            throw SearchCut{
                "search work over 1000 steps per byte of text: the pattern backtracks without end"};
    }

    const char* p_ = nullptr;
};

// A pattern as compiled: the expression, or Boost's reason why it does not compile.
struct CompiledPattern {
    std::unique_ptr<const boost::regex> regex;
    std::string error;
};

// Compiled patterns by their text. Boost's basic_regex is immutable after construction and may
// be used by several threads at once, so entries are shared. When the cache is full it is emptied
// and refilled: scripts use a few dozen patterns, a bound only protects against patterns built
// from page data.
class PatternCache {
  public:
    std::shared_ptr<const CompiledPattern> Get(std::string_view pattern) {
        std::string key(pattern);
        {
            std::scoped_lock lock(mutex_);
            auto found = entries_.find(key);
            if (found != entries_.end())
                return found->second;
        }
        // Compiled outside the lock so that a slow compile does not hold up other workers.
        auto compiled = std::make_shared<CompiledPattern>();
        try {
            compiled->regex = std::make_unique<const boost::regex>(
                pattern.data(), pattern.data() + pattern.size(), boost::regex::perl);
        } catch (const std::exception& e) {
            compiled->error = e.what();
        } catch (...) {
            compiled->error = "unknown error";
        }
        if (compiled->regex) {
            compiled->error = RepeatCountProblem(pattern);
            if (!compiled->error.empty())
                compiled->regex.reset();
        }
        std::scoped_lock lock(mutex_);
        if (entries_.size() >= kMaxEntries)
            entries_.clear();
        entries_.emplace(std::move(key), compiled);
        return compiled;
    }

  private:
    static constexpr size_t kMaxEntries = 1024;
    std::mutex mutex_;
    std::unordered_map<std::string, std::shared_ptr<const CompiledPattern>> entries_;  // guarded by mutex_
};

PatternCache& Cache() {
    static PatternCache cache;
    return cache;
}

constexpr size_t kMaxProblems = 32;
// The calling thread's note of failed patterns (each thread has its own; no lock).
thread_local std::vector<RegexProblem> t_problems;

void NoteProblem(std::string_view pattern, std::string_view reason) {
    for (const auto& problem : t_problems) {
        if (problem.pattern == pattern)
            return;
    }
    if (t_problems.size() >= kMaxProblems)
        return;
    t_problems.push_back({std::string(pattern), std::string(reason)});
}

// The compiled pattern, or null (noted) when it does not compile.
const boost::regex* Compiled(std::string_view pattern, std::shared_ptr<const CompiledPattern>& holder) {
    holder = Cache().Get(pattern);
    if (!holder->regex) {
        NoteProblem(pattern, holder->error);
        return nullptr;
    }
    return holder->regex.get();
}

// Calls visit(match) for each whole match in order until it returns false. False when the pattern
// is bad or a search failed (what was visited before stays visited).
template <typename Visit>
bool ForEachMatch(std::string_view source, std::string_view pattern, Visit visit) {
    std::shared_ptr<const CompiledPattern> holder;
    const boost::regex* regex = Compiled(pattern, holder);
    if (!regex)
        return false;
    const SteppedIterator begin(source.data());
    const SteppedIterator end(source.data() + source.size());
    // The budget covers all searches through the text, whatever number of matches it has.
    const unsigned long long budget = kStepsPerByte * source.size() + kStepFloor;
    unsigned long long steps = 0;
    using Iterator = boost::regex_iterator<SteppedIterator>;
    try {
        std::optional<Iterator> it;
        {
            const SearchScope scope(steps, budget);
            it.emplace(begin, end, *regex);
        }
        for (const Iterator last; *it != last;) {
            if (StopRequested())
                break;  // a stop ends the matches here; the run ends its page as stopped
            const auto& whole = (**it)[0];
            if (!visit(std::string_view(whole.first.base(), static_cast<size_t>(whole.second - whole.first))))
                break;
            const SearchScope scope(steps, budget);
            ++*it;
        }
    } catch (const SearchCut& cut) {
        if (!cut.reason)
            return true;  // stopped: what was visited stands, the run ends its page as stopped
        NoteProblem(pattern, cut.reason);
        return false;
    } catch (const std::exception& e) {
        NoteProblem(pattern, e.what());
        return false;
    } catch (...) {
        NoteProblem(pattern, "unknown error");
        return false;
    }
    return true;
}

// The first whole match; false when there is none or the pattern is bad.
bool FindFirst(std::string_view source, std::string_view pattern, std::string& match) {
    bool found = false;
    ForEachMatch(source, pattern, [&](std::string_view m) {
        match.assign(m);
        found = true;
        return false;
    });
    return found;
}

// Takes a leading "~" or "$" off pattern; returns the marker (0 when none).
char TakeTildeOrDollar(std::string_view& pattern) {
    if (!pattern.empty() && (pattern.front() == '~' || pattern.front() == '$')) {
        const char marker = pattern.front();
        pattern.remove_prefix(1);
        return marker;
    }
    return 0;
}

// Length of a begin or end string with the five two-character escapes read as one character.
size_t LiteralLength(std::string_view text) {
    size_t length = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[i + 1];
            if (next == '.' || next == '*' || next == '?' || next == '(' || next == ')')
                ++i;
        }
        ++length;
    }
    return length;
}

}  // namespace

int RegexFirstMatch(std::string_view source, std::string_view pattern, std::string& out, bool markerFlag) {
    if (source.empty())
        return 1;
    const char marker = markerFlag ? TakeTildeOrDollar(pattern) : 0;
    std::string match;
    if (!FindFirst(source, pattern, match)) {
        out.clear();
        return -1;
    }
    if (marker == '~')
        StripPatternBoundaries(match, pattern);
    out = std::move(match);
    return 1;
}

int RegexNthMatch(std::string_view source, std::string_view pattern, std::string& out, int index) {
    const unsigned wanted = static_cast<unsigned>(index) % 65536u;
    std::string last;
    unsigned count = 0;
    ForEachMatch(source, pattern, [&](std::string_view m) {
        last.assign(m);
        return count++ < wanted;
    });
    out = std::move(last);
    if (count == 0)
        return -1;
    return count == wanted + 1 ? 1 : 0;
}

int RegexAllMatches(std::string_view source, std::string_view pattern, std::string& out,
                    std::string_view separator, bool markerFlag) {
    const char marker = markerFlag ? TakeTildeOrDollar(pattern) : 0;
    std::string joined;
    int count = 0;
    const bool ok = ForEachMatch(source, pattern, [&](std::string_view m) {
        if (marker == '~') {
            std::string item(m);
            StripPatternBoundaries(item, pattern);
            joined += item;
        } else {
            joined.append(m);
        }
        joined.append(separator);
        ++count;
        return true;
    });
    out = std::move(joined);
    if (!ok && count == 0)
        return -1;
    return count;
}

std::vector<std::string> RegexMatchList(std::string_view source, std::string_view pattern) {
    std::vector<std::string> matches;
    ForEachMatch(source, pattern, [&](std::string_view m) {
        matches.emplace_back(m);
        return true;
    });
    return matches;
}

bool RegexVisitMatches(std::string_view source, std::string_view pattern,
                       const std::function<bool(std::string_view match)>& visit) {
    return ForEachMatch(source, pattern, visit);
}

void RegexReplaceAll(std::string& value, std::string_view pattern, std::string_view replacement) {
    constexpr int kMaxPasses = 65536;
    constexpr size_t kMaxValueBytes = 64u * 1024 * 1024;
    std::string previous;
    for (int pass = 0; pass < kMaxPasses; ++pass) {
        std::string match;
        if (!FindFirst(value, pattern, match))
            return;
        if ((pass > 0 && match == previous) || match == replacement)
            return;
        if (!match.empty() && replacement.size() > match.size()) {
            // Every occurrence could be replaced: refuse a pass that would pass the bound.
            size_t occurrences = 0;
            for (size_t pos = value.find(match); pos != std::string::npos;
                 pos = value.find(match, pos + match.size())) {
                ++occurrences;
            }
            if (value.size() + occurrences * (replacement.size() - match.size()) > kMaxValueBytes)
                return;
        }
        ReplaceAll(value, match, replacement);
        previous = std::move(match);
    }
}

void StripPatternBoundaries(std::string& text, std::string_view pattern) {
    static constexpr std::string_view kGroup = "(.*?)";
    const size_t group = pattern.find(kGroup);
    if (group == std::string_view::npos || text.empty())
        return;
    const size_t head = LiteralLength(pattern.substr(0, group));
    const size_t tail = LiteralLength(pattern.substr(group + kGroup.size()));
    if (head + tail >= text.size()) {
        text.clear();
        return;
    }
    text = Trim(std::string_view(text).substr(head, text.size() - head - tail));
}

bool IsValidPattern(std::string_view pattern, std::string* error) {
    auto compiled = Cache().Get(pattern);
    if (compiled->regex)
        return true;
    if (error)
        *error = compiled->error;
    return false;
}

std::vector<RegexProblem> TakeRegexProblems() {
    std::vector<RegexProblem> problems;
    problems.swap(t_problems);
    return problems;
}

std::string FormatRegexProblems(const std::vector<RegexProblem>& problems) {
    std::string text;
    for (const auto& problem : problems) {
        text += "正则表达式有误：";
        text += problem.pattern;
        text += " (";
        text += problem.reason;
        text += ")\r\n";
    }
    return text;
}

RegexStopScope::RegexStopScope(const std::atomic<bool>& stopFlag) : previous_(t_stopFlag) {
    t_stopFlag = &stopFlag;
}

RegexStopScope::~RegexStopScope() {
    t_stopFlag = previous_;
}

}  // namespace sorvik
