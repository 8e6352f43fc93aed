#include "engine/script_index.h"

#include <array>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "script/script_text.h"

namespace sorvik {

namespace {

// Texts larger than this are scanned: they are no scripts.
constexpr size_t kMaxIndexedBytes = 4u * 1024 * 1024;
constexpr size_t kCachedTexts = 4;

// The lines of one text by their key (the line up to and including its first "="), first line
// of each key only. Views point into text, which never moves (entries are held by pointer).
struct IndexedText {
    explicit IndexedText(std::string_view source) : text(source) {
        size_t lineStart = 0;
        while (lineStart < text.size()) {
            size_t lineFeed = text.find('\n', lineStart);
            const size_t lineEnd = lineFeed == std::string::npos ? text.size() : lineFeed;
            const std::string_view view(text);
            const size_t inLine = view.substr(lineStart, lineEnd - lineStart).find('=');
            if (inLine != std::string_view::npos) {
                const size_t equals = lineStart + inLine;
                const std::string_view key = view.substr(lineStart, equals + 1 - lineStart);
                size_t valueEnd = lineEnd;
                // The byte before the LF is the line's CR.
                if (lineFeed != std::string::npos)
                    valueEnd = lineFeed > equals + 1 ? lineFeed - 1 : equals + 1;
                lines.emplace(key, view.substr(equals + 1, valueEnd - (equals + 1)));
            }
            if (lineFeed == std::string::npos)
                break;
            lineStart = lineFeed + 1;
        }
    }
    bool Holds(std::string_view source) const {
        return source.size() == text.size() && std::memcmp(source.data(), text.data(), text.size()) == 0;
    }

    const std::string text;
    std::unordered_map<std::string_view, std::string_view> lines;
};

// The calling thread's indexed texts, most recently built first.
thread_local std::array<std::unique_ptr<IndexedText>, kCachedTexts> t_texts;

const IndexedText& IndexOf(std::string_view text) {
    for (const auto& entry : t_texts) {
        if (entry && entry->Holds(text))
            return *entry;
    }
    for (size_t i = kCachedTexts - 1; i > 0; --i)
        t_texts[i] = std::move(t_texts[i - 1]);
    t_texts[0] = std::make_unique<IndexedText>(text);
    return *t_texts[0];
}

}  // namespace

std::string IndexedScriptValue(std::string_view key, std::string_view script, std::string_view alternative) {
    const std::string_view text = alternative.empty() ? script : alternative;
    if (text.empty() || key.empty())
        return {};
    if (key.back() != '=' || key.find('=') != key.size() - 1 || text.size() > kMaxIndexedBytes) {
        return ScriptValue(key, script, alternative);
    }
    const IndexedText& index = IndexOf(text);
    const auto found = index.lines.find(key);
    return found == index.lines.end() ? std::string() : std::string(found->second);
}

}  // namespace sorvik
