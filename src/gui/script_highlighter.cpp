#include "gui/script_highlighter.h"

#include "gui/gb_qstring.h"
#include "workbench/script_syntax.h"

namespace sorvik::gui {

namespace {

QTextCharFormat Colour(const char* colour, bool bold = false, bool italic = false) {
    QTextCharFormat format;
    format.setForeground(QColor(QString::fromLatin1(colour)));
    if (bold)
        format.setFontWeight(QFont::Bold);
    format.setFontItalic(italic);
    return format;
}

}  // namespace

ScriptHighlighter::ScriptHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
    formats_[static_cast<int>(ScriptSpanKind::kComment)] = Colour("#6a8759", false, true);
    formats_[static_cast<int>(ScriptSpanKind::kBlockTag)] = Colour("#8e44ad", true);
    formats_[static_cast<int>(ScriptSpanKind::kTaskKey)] = Colour("#1f4fb4", true);
    formats_[static_cast<int>(ScriptSpanKind::kLevelKey)] = Colour("#c0392b", true);
    formats_[static_cast<int>(ScriptSpanKind::kFieldKey)] = Colour("#00796b", true);
    formats_[static_cast<int>(ScriptSpanKind::kRuleWord)] = Colour("#b35c00", true);
    formats_[static_cast<int>(ScriptSpanKind::kVariable)] = Colour("#9c27b0");
    formats_[static_cast<int>(ScriptSpanKind::kMarker)] = Colour("#d81b60", true);
    formats_[static_cast<int>(ScriptSpanKind::kCapture)] = Colour("#d81b60", true);
}

void ScriptHighlighter::highlightBlock(const QString& text) {
    const std::string line = ToGb(text);
    // Byte offsets of the line become character positions of the block.
    auto position = [&](size_t byte) {
        return static_cast<int>(FromGb(std::string_view(line).substr(0, byte)).size());
    };
    for (const ScriptSpan& span : ScriptLineSpans(line)) {
        const int start = position(span.start);
        setFormat(start, position(span.start + span.length) - start, formats_[static_cast<int>(span.kind)]);
    }
}

}  // namespace sorvik::gui
