#include "script/script_text.h"

#include <algorithm>

#include "text/gb_text.h"

namespace sorvik {

bool GetScriptValue(std::string_view key, std::string_view script, std::string& value,
                    std::string_view alternative) {
    value.clear();
    const std::string_view text = alternative.empty() ? script : alternative;
    if (text.empty() || key.empty())
        return true;

    size_t valueStart;
    if (text.substr(0, key.size()) == key) {
        valueStart = key.size();
    } else {
        std::string needle;
        needle.reserve(key.size() + 1);
        needle += '\n';
        needle.append(key);
        const size_t found = text.find(needle);
        if (found == std::string_view::npos)
            return true;
        valueStart = found + needle.size();
    }
    const size_t lineFeed = text.find('\n', valueStart);
    if (lineFeed == std::string_view::npos) {
        value.assign(text.substr(valueStart));
    } else if (lineFeed > valueStart) {
        // The byte before the LF is the line's CR.
        value.assign(text.substr(valueStart, lineFeed - 1 - valueStart));
    }
    return true;
}

std::string ScriptValue(std::string_view key, std::string_view script, std::string_view alternative) {
    std::string value;
    GetScriptValue(key, script, value, alternative);
    return value;
}

bool GetScriptBlock(std::string_view tag, std::string& content, std::string_view script) {
    content.clear();
    if (tag.empty())
        return false;
    std::string opening(tag);
    opening += "{\r\n";
    const size_t open = script.find(opening);
    if (open == std::string_view::npos)
        return false;
    std::string closing = "\r\n}";
    closing.append(tag);
    const size_t close = script.find(closing);
    if (close == std::string_view::npos)
        return false;
    const size_t start = open + opening.size();
    if (close > start)
        content.assign(script.substr(start, close - start));
    return true;
}

std::string ScriptBlock(std::string_view tag, std::string_view script) {
    std::string content;
    GetScriptBlock(tag, content, script);
    return content;
}

size_t SetScriptValue(std::string_view key, std::string& script, std::string_view value) {
    if (key.empty())
        return std::string::npos;
    size_t lineStart = std::string::npos;
    if (std::string_view(script).substr(0, key.size()) == key) {
        lineStart = 0;
    } else {
        std::string needle = "\n";
        needle.append(key);
        const size_t found = script.find(needle);
        if (found != std::string::npos)
            lineStart = found + 1;
    }

    if (lineStart == std::string::npos) {
        if (value.empty())
            return std::string::npos;
        script += "\r\n";
        script.append(key);
        const size_t offset = script.size();
        script.append(value);
        return offset;
    }

    const size_t valueStart = lineStart + key.size();
    const size_t lineFeed = script.find('\n', valueStart);
    if (value.empty()) {
        const size_t end = lineFeed == std::string::npos ? script.size() : lineFeed + 1;
        // The last line has no line end of its own: take the one before it instead.
        size_t begin = lineStart;
        if (lineFeed == std::string::npos && begin > 0) {
            begin = (begin >= 2 && script[begin - 2] == '\r') ? begin - 2 : begin - 1;
        }
        script.erase(begin, end - begin);
        return std::string::npos;
    }
    size_t valueEnd = script.size();
    if (lineFeed != std::string::npos) {
        valueEnd = (lineFeed > valueStart && script[lineFeed - 1] == '\r') ? lineFeed - 1 : lineFeed;
    }
    script.replace(valueStart, valueEnd - valueStart, value);
    return valueStart;
}

namespace {

// Length in bytes of the character at pos: a CR LF pair counts as one character, and so does a
// well-formed GB18030 character; a byte that starts none stands alone.
size_t CharacterLength(std::string_view text, size_t pos) {
    if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n')
        return 2;
    return std::max<size_t>(1, GbValidCharLength(text, pos));
}

}  // namespace

size_t ByteOffsetToCharIndex(std::string_view text, size_t offset) {
    size_t count = 0;
    size_t pos = 0;
    const size_t limit = std::min(offset, text.size());
    while (pos < limit) {
        ++count;
        pos += CharacterLength(text, pos);
    }
    return count;
}

std::string GetKeyValue(std::string_view keyWithoutEquals, std::string_view text) {
    std::string key(keyWithoutEquals);
    key += '=';
    return ScriptValue(key, text);
}

std::string GetFieldKeyValue(std::string_view field, std::string_view rule, std::string_view text) {
    std::string key(field);
    key += '_';
    key.append(rule);
    key += '=';
    std::string value = ScriptValue(key, text);
    for (int level = 1; value.empty() && level <= 9; ++level) {
        key.assign(field);
        key += '_';
        key += static_cast<char>('0' + level);
        key += '_';
        key.append(rule);
        key += '=';
        value = ScriptValue(key, text);
    }
    return value;
}

}  // namespace sorvik
