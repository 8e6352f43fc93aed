#pragma once
// Task script lookup. A script is GB18030 text of CR LF lines "key=value"; a key is a literal
// line prefix that callers pass with its "=". The first matching line wins, and a key is only
// found at the very start of the text or right after an LF.

#include <string>
#include <string_view>

namespace sorvik {

// Sets value to the rest of the key's line (up to, not including, the byte before the next LF).
// When alternative is non-empty it is searched instead of the script. Always returns true; a
// missing key and an empty value both leave value empty.
bool GetScriptValue(std::string_view key, std::string_view script, std::string& value,
                    std::string_view alternative = {});

// Value-returning form of GetScriptValue.
std::string ScriptValue(std::string_view key, std::string_view script, std::string_view alternative = {});

// Content of the block "tag{" CR LF ... CR LF "}tag"; empty when either line is missing.
bool GetScriptBlock(std::string_view tag, std::string& content, std::string_view script);
std::string ScriptBlock(std::string_view tag, std::string_view script);

// Writes (value non-empty) or removes (value empty) the first line of the key; appends CR LF,
// key and value when the key is missing. Returns the byte offset at which the value now starts,
// or std::string::npos when nothing was written (a removal, or an empty value for a missing key).
size_t SetScriptValue(std::string_view key, std::string& script, std::string_view value);

// Number of characters in the first offset bytes, a GB18030 character (two bytes, or four) or a
// CR LF pair counting one. The GBK second byte may be below 0x80 (丄 is 81 41), so a character is
// recognised by its first byte, not by two high bits. An offset inside a character counts that
// character; an offset past the end counts the whole text.
size_t ByteOffsetToCharIndex(std::string_view text, size_t offset);

// Workbench forms: the key is given without its "=".
std::string GetKeyValue(std::string_view keyWithoutEquals, std::string_view text);

// A field's per-field key: first field + "_" + rule + "=", then the level forms
// field + "_" + N + "_" + rule + "=" for N = 1..9; the first non-empty value wins.
std::string GetFieldKeyValue(std::string_view field, std::string_view rule, std::string_view text);

}  // namespace sorvik
