#pragma once
// Script variables. A variable token is a text that starts with "<变量" and ends with the first ">"
// after it, fewer than 50 bytes from its "<" (for example "<变量_页码>"); the whole token is the
// variable's name. Its definition is the script line token + "=" (in a test run the line
// token + "_测试=" is read first). A variable's value is computed each time it is used, from the
// definition's kind, and then post-processed by the variable chain (field_rules.h).
//
// Variables that name each other, or whose value holds their own token, end: evaluation nests at
// most kMaxVariableDepth deep (and at most kMaxVariableEvaluations evaluations per outermost one),
// and a substitution runs at most kMaxSubstitutionPasses passes, replaces a token whose value holds
// the token itself only once, and stops before the text grows by more than 16 MB. Whatever tokens
// remain then stay in the text.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/page_extractor.h"

namespace sorvik {

inline constexpr int kMaxVariableDepth = 16;
inline constexpr int kMaxVariableEvaluations = 4096;
inline constexpr int kMaxSubstitutionPasses = 256;
// The most bytes between the "<" of a token and its ">": fewer than this.
inline constexpr size_t kMaxTokenBytes = 50;

// Computes the value of token into value. Kinds of definition, tested in order: empty (nothing
// happens: value stays as it was, false is returned); "<变量_对象..." (the line of the context's
// search-object text at the place of the token in "#搜索类别="); "<系统变量_字符串N>" (line N of the
// system string buffer); "<搜索关键字>" (the context's keyword); "#name" (the memory list);
// "\源码" (the page source); "[变量_...]" (the content of that script block); the token itself
// (the definition text); another single token (that variable's fully processed value); anything
// else (the definition text). The variable chain then runs on the raw value. Every lookup reads
// alternative instead of script when alternative is not empty. Returns true when value was set;
// false for an empty definition and past the nesting bounds (value unchanged).
bool EvaluateVariable(CPageExtractor& context, std::string_view token, std::string& value,
                      std::string_view script, std::string_view alternative = {});

// Replaces every variable token in text by its value, first token first, starting over at the
// beginning after each replacement. Stops at a token whose ">" is missing or 50 bytes or more from
// its "<" (later tokens stay).
void SubstituteVariables(std::string& text, std::string_view script, std::string_view alternative,
                         CPageExtractor& context);

// The same for an SQL condition: a token that stands inside a quoted literal ('...') has the single
// quotes of its value doubled, so a value taken from a page can't end the literal.
void SubstituteVariablesInSql(std::string& sql, std::string_view script, std::string_view alternative,
                              CPageExtractor& context);

// Variables in a URL outside any page (the start URL of a run): a context with an empty page,
// the task number (0: a test run) and the run's keyword and search-object text.
std::string SubstituteUrlVariables(std::string_view url, std::string_view script, int taskNumber,
                                   std::string_view searchKeyword = {},
                                   std::string_view searchObjectText = {});

// Item index + 1 of the context's system string buffer (split at LF); false and an empty out when
// there is no such item.
bool GetSystemString(const CPageExtractor& context, int index, std::string& out);

// The record-view tokens of one record: "<字段标题=" name ">" becomes the title of that field (a
// name not among fieldNames ends the title pass), "<字段名=" column ">" the value of that column of
// the record ID_ = recordId in table (read under g_csDatabase; a column that is not a field of
// the view, ID_ or iNode_ gives an empty value). Each pass runs at most 256 times.
void SubstituteFieldRefs(std::string& text, const std::vector<std::string>& fieldNames,
                         const std::vector<std::string>& fieldTitles, std::string_view table,
                         long long recordId);

// The same passes with the values given by valueOf (a column name in, the text to put in its
// place out), for a record the caller has read already; a record view passes values made safe
// for its page.
void SubstituteFieldRefs(std::string& text, const std::vector<std::string>& fieldNames,
                         const std::vector<std::string>& fieldTitles,
                         const std::function<std::string(const std::string& column)>& valueOf);

}  // namespace sorvik
