#pragma once
// The regular-expression operations of the field rules, on Boost.Regex in its Perl syntax,
// case-sensitive, over GB18030 bytes ("." also matches CR and LF). Only whole matches are used.
//
// A pattern that does not compile is an empty match: the functions give their no-match result and
// never throw. The same holds for a pattern that Boost gives up on while matching (a search whose
// complexity or backtracking depth passes Boost's bounds, such as "(a*)*b" on a long run of "a"),
// so a hostile pattern costs at most one bounded search and never hangs a run. Each such pattern
// is noted for the calling thread (TakeRegexProblems) so that a test run can name it.
//
// A pattern whose repeat counts ("{n}", "{n,m}") pass 1000 is refused as if it did not compile: a
// search for a{N} costs the page size times N. The searches through one text may together take at
// most about 1000 steps per byte of it (Boost's own bound grows with the pattern's size squared);
// past that the search ends like one Boost gave up on. A stop request (RegexStopScope) ends even a
// single long search within a fraction of a second.
//
// Compiled patterns are kept in a process-wide cache (its own lock; bounded); a cached pattern
// gives the same results as compiling it each time. Any thread may call these functions.

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

// While it lives, the calling thread's searches stop going through the matches of a text as soon
// as the flag (or the stop of every run) is set (a stop request ends a page with millions of matches
// promptly); the matches found so far are the result. Scopes nest.
class RegexStopScope {
  public:
    explicit RegexStopScope(const std::atomic<bool>& stopFlag);
    ~RegexStopScope();
    RegexStopScope(const RegexStopScope&) = delete;
    RegexStopScope& operator=(const RegexStopScope&) = delete;

  private:
    const std::atomic<bool>* previous_;
};

// The first match of pattern in source.
//   - source empty: out is left as it was; returns 1.
//   - otherwise out is set to the whole first match (empty when there is none). With markerFlag a
//     leading "~" or "$" is taken off the pattern first, and under "~" the match is stripped of
//     its boundaries (StripPatternBoundaries).
// Returns 1 on a match, -1 when there is none or the pattern is bad.
// source and out may be the same string.
int RegexFirstMatch(std::string_view source, std::string_view pattern, std::string& out, bool markerFlag);

// Match number index + 1 (index taken modulo 65536, so -1 is 65535), each search starting at the
// end of the previous match. With fewer matches out is the last match found, or empty. No marker
// handling. Returns 1 when match index + 1 was found, 0 when out is an earlier match, -1 when
// there is no match at all (or the pattern is bad).
int RegexNthMatch(std::string_view source, std::string_view pattern, std::string& out, int index);

// All matches, each (stripped under the "~" marker when markerFlag is set) followed by separator
// when that is not empty, concatenated into out. Returns the number of matches, -1 for a bad
// pattern (out then empty).
int RegexAllMatches(std::string_view source, std::string_view pattern, std::string& out,
                    std::string_view separator, bool markerFlag);

// The whole matches of pattern in source in order, each search starting at the end of the
// previous match (an empty match moves on by one position). No marker handling. Empty for a bad
// pattern. The extraction engine cuts level records with it.
std::vector<std::string> RegexMatchList(std::string_view source, std::string_view pattern);

// The same matches, handed one by one to visit (each view lives until visit returns) until it
// returns false, without holding them all: a page with millions of matches costs one match at a
// time. False for a bad pattern or a search Boost gave up on (noted; what was visited stays).
bool RegexVisitMatches(std::string_view source, std::string_view pattern,
                       const std::function<bool(std::string_view match)>& visit);

// Repeats: find the first match in value; stop when there is none, when it equals the previous
// pass's match or the replacement; otherwise replace every literal occurrence of the matched text
// by replacement (a literal text, no group references). Also stops after 65536 passes or when the
// value would grow past 64 MB, so no pattern can make it endless.
void RegexReplaceAll(std::string& value, std::string_view pattern, std::string_view replacement);

// Only when pattern contains "(.*?)" and text is not empty: the begin string is the part of the
// pattern before the first "(.*?)", the end string the part after it, reading "\." "\*" "\?" "\("
// "\)" as one character each. As many bytes as the begin string has are cut from the start of
// text and as many as the end string has from its end (all of it when text is shorter than both);
// the rest is trimmed of white space. The pattern is passed without its boundary marker.
void StripPatternBoundaries(std::string& text, std::string_view pattern);

// True when pattern compiles; otherwise false with Boost's reason in *error (when given).
bool IsValidPattern(std::string_view pattern, std::string* error = nullptr);

// A pattern that failed on this thread: it does not compile, or a search with it passed Boost's
// bounds.
struct RegexProblem {
    std::string pattern;
    std::string reason;  // Boost's message (ASCII)
};

// The problems noted on the calling thread since the last call (each pattern once, at most 32),
// oldest first; the note is emptied.
std::vector<RegexProblem> TakeRegexProblems();

// Lines for a test trace, one per problem: "正则表达式有误：" + pattern + " (" + reason + ")" CR LF.
std::string FormatRegexProblems(const std::vector<RegexProblem>& problems);

}  // namespace sorvik
