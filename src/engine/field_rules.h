#pragma once
// The field rules: the chain of per-field keys that turns a record text into a field value, the
// fetch modes of "%s_获取=", and the variable chain that post-processes a variable's raw value.
//
// Every per-field key is the field's key name (the field name, or the name with its level suffix
// "F_N") followed by a rule word and "="; numbered families ("%s_替换源串%d=") are read from 1 up
// to the first empty value. A missing key is an empty key: its step is skipped. The rules keep no
// state between calls; they read and change the run's CPageExtractor (memory list, system string
// buffer, fetched-bytes counter) and, through the operations, the database.

#include <string>
#include <string_view>

#include "engine/page_extractor.h"

namespace sorvik {

// The finished value of one record field, and its two conditions.
struct FieldValue {
    std::string value;
    bool satisfiesSearch = true;  // "%s_搜索条件%d=": none set, or one of them matched
    bool meetsDelete = false;     // "%s_删除条件%d=": one of them matched
    // The record keeps the field only when it is accepted.
    bool Accepted() const { return satisfiesSearch && !meetsDelete; }
};

// The field chain for one field of one record:
//  1. the pattern, with its boundary marker ("@" link, "~" strip, "$" keep, none: strip unless
//     "#是否保留字段值前后边界=" is "1") taken off, cuts the value out of recordText: the first match,
//     or with "%s_第几个=" N the N-th (fewer matches: the last one);
//  2. a pattern that is a variable token ("<变量...>") gives that variable's value instead;
//  3. narrowing "%s_1=" .. "%s_9=" (each with its own marker) cut the value further;
//  4. the "@" marker (on the pattern or a narrowing pattern) makes the value an absolute URL;
//  5. "%s_linkadd=" (all matches) or "%s_link=" (first match) fetch the page the value names and
//     cut the value out of it; a failed fetch (or no connection) empties the value;
//  6. "%s_获取=" fetch mode; 7. "%s_替换源串%d=" / "%s_替换目标%d="; 8. the "_正则" replacements;
//  9. "%s_压缩源串%d=" / "%s_压缩目标%d="; 10. search conditions; 11. delete conditions;
// 12. accepted = satisfies and no delete condition; 13. "%s_初始值=" for an empty value;
// 14. for an accepted field, the operations "%s_处理%d=" (variable flag clear).
// pattern is the field's pattern as the engine found it (with its marker), keyName the name used
// in the per-field keys.
FieldValue ApplyFieldRules(CPageExtractor& context, std::string_view keyName, std::string_view pattern,
                           std::string_view recordText, std::string_view script);

// The URL that step 5 of the chain will fetch for this field and record, computed without
// running the chain (steps 1 to 4 read only the record, the script and the page URL); empty when
// the field fetches no linked page, or when its pattern is a variable (whose value is known only
// when the chain runs).
std::string LinkedPageUrl(CPageExtractor& context, std::string_view keyName, std::string_view pattern,
                          std::string_view recordText, std::string_view script);

// "%s_获取=" of name (read from alternative instead of script when that is not empty), applied to
// value: "文本", "纯文本", "超级链接", "Email", "网页源码" (optionally ";UTF8"); anything else does nothing.
void ApplyFetchMode(CPageExtractor& context, std::string_view name, std::string& value,
                    std::string_view script, std::string_view alternative = {});

// The same for a mode text given directly (the "获取" operation).
void ApplyFetchModeText(CPageExtractor& context, std::string_view mode, std::string& value);

// The variable chain on a variable's raw value, with the token as name: "%s_正则=" (or the family
// "%s_正则%d="), fetch mode, "_正则" replacements, "%s_格式化_日期型=", "%s_取左边字符串=",
// "%s_非空=", "%s_为空=", the tail replacement ("%s_反向查找字符串_1=" / "_2=", "%s_替换字符串=",
// "%s_重复次数="), "%s_拆分字符串=" (which also fills the context's system string buffer), and the
// operations with the variable flag set. Lookups read alternative instead of script when it is
// not empty.
void ApplyVariableChain(CPageExtractor& context, std::string_view name, std::string& value,
                        std::string_view script, std::string_view alternative = {});

// --- pieces shared with the entry lists of the download step ---

// True for a text that starts with "<变量" and ends with ">".
bool IsVariableToken(std::string_view text);

// The narrowing keys "%s_1=" .. "%s_9=" applied to value, each pattern with its own boundary
// marker; with allowVariables a key that is a variable token gives that variable's value instead.
// keepBoundaries is the "#是否保留字段值前后边界=" setting. Returns true when a pattern carried "@".
bool ApplyNarrowing(CPageExtractor& context, std::string_view keyName, std::string& value,
                    std::string_view script, std::string_view alternative, bool keepBoundaries,
                    bool allowVariables);

// "%s_替换源串%d=" / "%s_替换目标%d=": every occurrence of each source becomes its target.
void ApplyReplacements(std::string_view keyName, std::string& value, std::string_view script,
                       std::string_view alternative = {});

// "%s_替换源串_正则%d=" / "%s_替换目标_正则%d=": RegexReplaceAll with each pair.
void ApplyRegexReplacements(std::string_view keyName, std::string& value, std::string_view script,
                            std::string_view alternative = {});

// True when "#是否保留字段值前后边界=" of the script is "1".
bool KeepsFieldBoundaries(std::string_view script);

}  // namespace sorvik
