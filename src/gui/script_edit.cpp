#include "gui/script_edit.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStringListModel>
#include <QTextBlock>
#include <QToolTip>
#include <set>

#include "gui/gb_qstring.h"
#include "gui/script_highlighter.h"
#include "workbench/script_syntax.h"

namespace sorvik::gui {

namespace {

class LineNumberArea : public QWidget {
  public:
    explicit LineNumberArea(ScriptEdit* edit) : QWidget(edit), edit_(edit) {}
    QSize sizeHint() const override { return QSize(edit_->LineNumberWidth(), 0); }

  protected:
    void paintEvent(QPaintEvent* event) override { edit_->PaintLineNumbers(event); }

  private:
    ScriptEdit* edit_;
};

// A key or field name is made of anything but blanks, "=" and line ends.
bool IsWordChar(QChar c) {
    return !c.isSpace() && c != QLatin1Char('=');
}

}  // namespace

ScriptEdit::ScriptEdit(QWidget* parent)
    : QPlainTextEdit(parent),
      lineNumbers_(new LineNumberArea(this)),
      highlighter_(new ScriptHighlighter(document())),
      completer_(new QCompleter(this)),
      completionModel_(new QStringListModel(this)) {
    setObjectName(QStringLiteral("scriptPane"));
    setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont font(QStringLiteral("Monospace"));
    font.setStyleHint(QFont::TypeWriter);
    setFont(font);
    setTabStopDistance(fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 4);
    setAcceptDrops(true);

    completer_->setModel(completionModel_);
    completer_->setWidget(this);
    completer_->setCompletionMode(QCompleter::PopupCompletion);
    completer_->setCaseSensitivity(Qt::CaseSensitive);
    completer_->setFilterMode(Qt::MatchStartsWith);
    connect(completer_, qOverload<const QString&>(&QCompleter::activated), this,
            &ScriptEdit::InsertCompletion);

    connect(this, &QPlainTextEdit::blockCountChanged, this, &ScriptEdit::UpdateMargin);
    connect(this, &QPlainTextEdit::updateRequest, this, &ScriptEdit::UpdateLineNumbers);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &ScriptEdit::UpdateExtraSelections);
    UpdateMargin();
    UpdateExtraSelections();
}

QString ScriptEdit::CategoryMimeType() {
    return QStringLiteral("application/x-sorvik-category");
}

int ScriptEdit::LineNumberWidth() const {
    int digits = 1;
    for (int max = qMax(1, blockCount()); max >= 10; max /= 10)
        ++digits;
    return 8 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * qMax(digits, 3);
}

void ScriptEdit::UpdateMargin() {
    setViewportMargins(LineNumberWidth(), 0, 0, 0);
}

void ScriptEdit::UpdateLineNumbers(const QRect& rect, int dy) {
    if (dy != 0)
        lineNumbers_->scroll(0, dy);
    else
        lineNumbers_->update(0, rect.y(), lineNumbers_->width(), rect.height());
    if (rect.contains(viewport()->rect()))
        UpdateMargin();
}

void ScriptEdit::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    const QRect area = contentsRect();
    lineNumbers_->setGeometry(QRect(area.left(), area.top(), LineNumberWidth(), area.height()));
}

void ScriptEdit::PaintLineNumbers(QPaintEvent* event) {
    QPainter painter(lineNumbers_);
    painter.fillRect(event->rect(), QColor(0xf0, 0xf0, 0xf0));
    std::set<int> errorLines;
    for (const Problem& problem : problems_)
        errorLines.insert(problem.line);
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    const int current = textCursor().blockNumber();
    while (block.isValid() && top <= event->rect().bottom()) {
        const int bottom = top + qRound(blockBoundingRect(block).height());
        if (block.isVisible() && bottom >= event->rect().top()) {
            const int line = block.blockNumber();
            painter.setPen(errorLines.count(line) ? QColor(0xc0, 0x20, 0x20)
                           : line == current      ? QColor(0x30, 0x30, 0x30)
                                                  : QColor(0x99, 0x99, 0x99));
            painter.drawText(0, top, lineNumbers_->width() - 4, fontMetrics().height(), Qt::AlignRight,
                             QString::number(line + 1));
        }
        block = block.next();
        top = bottom;
    }
}

void ScriptEdit::UpdateExtraSelections() {
    QList<QTextEdit::ExtraSelection> selections;
    QTextEdit::ExtraSelection current;
    current.format.setBackground(QColor(0xfd, 0xf6, 0xd8));
    current.format.setProperty(QTextFormat::FullWidthSelection, true);
    current.cursor = textCursor();
    current.cursor.clearSelection();
    selections.append(current);
    for (const Problem& problem : problems_) {
        const QTextBlock block = document()->findBlockByNumber(problem.line);
        if (!block.isValid())
            continue;
        QTextEdit::ExtraSelection mark;
        mark.format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
        mark.format.setUnderlineColor(problem.error ? QColor(0xd0, 0x20, 0x20) : QColor(0xe0, 0x90, 0x00));
        mark.format.setBackground(problem.error ? QColor(0xff, 0xe8, 0xe8) : QColor(0xff, 0xf3, 0xd6));
        mark.cursor = QTextCursor(block);
        mark.cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        selections.append(mark);
    }
    setExtraSelections(selections);
    lineNumbers_->update();
}

void ScriptEdit::SetProblems(std::vector<Problem> problems) {
    problems_ = std::move(problems);
    UpdateExtraSelections();
}

bool ScriptEdit::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int line = cursorForPosition(viewport()->mapFromParent(help->pos())).blockNumber();
        QStringList messages;
        for (const Problem& problem : problems_) {
            if (problem.line == line)
                messages << problem.message;
        }
        if (messages.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), messages.join(QLatin1Char('\n')), this);
        return true;
    }
    return QPlainTextEdit::event(event);
}

void ScriptEdit::SetCompletionKeys(const QStringList& keys) {
    completionKeys_ = keys;
}

QString ScriptEdit::WordBeforeCaret() const {
    const QTextCursor cursor = textCursor();
    const QString text = cursor.block().text().left(cursor.positionInBlock());
    int start = text.size();
    while (start > 0 && IsWordChar(text[start - 1]))
        --start;
    return text.mid(start);
}

bool ScriptEdit::Complete() {
    const QString prefix = WordBeforeCaret();
    // The language's keys and the keys this script already has, once each, in order.
    QStringList words = completionKeys_;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        const QString key = FromGb(ScriptLineKey(ToGb(block.text())));
        if (!key.isEmpty() && !words.contains(key))
            words << key;
    }
    words.sort();
    QStringList matches;
    for (const QString& word : words) {
        if (word.startsWith(prefix) && word != prefix)
            matches << word;
    }
    if (matches.isEmpty()) {
        completer_->popup()->hide();
        return false;
    }
    completionModel_->setStringList(matches);
    completer_->setCompletionPrefix(QString());
    QRect rect = cursorRect();
    rect.setWidth(completer_->popup()->sizeHintForColumn(0) +
                  completer_->popup()->verticalScrollBar()->sizeHint().width());
    completer_->complete(rect);
    completer_->popup()->setCurrentIndex(completer_->completionModel()->index(0, 0));
    return true;
}

void ScriptEdit::InsertCompletion(const QString& completion) {
    QTextCursor cursor = textCursor();
    cursor.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, WordBeforeCaret().size());
    cursor.insertText(completion);
    setTextCursor(cursor);
}

void ScriptEdit::keyPressEvent(QKeyEvent* event) {
    if (completer_->popup()->isVisible()) {
        switch (event->key()) {
            case Qt::Key_Enter:
            case Qt::Key_Return:
            case Qt::Key_Escape:
            case Qt::Key_Tab:
            case Qt::Key_Backtab:
                event->ignore();  // the completer's popup takes them
                return;
            default:
                break;
        }
    }
    if (event->key() == Qt::Key_Space && event->modifiers().testFlag(Qt::ControlModifier)) {
        Complete();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
    // Typing a key at the start of a line offers the keys that begin so.
    const QString typed = event->text();
    if (!typed.isEmpty() && IsWordChar(typed.back()) && !event->modifiers().testFlag(Qt::ControlModifier)) {
        const QString word = WordBeforeCaret();
        const QString before = textCursor().block().text().left(textCursor().positionInBlock() - word.size());
        if (word.size() >= 2 && before.trimmed().isEmpty() && !word.startsWith(QStringLiteral("//")))
            Complete();
        else
            completer_->popup()->hide();
    } else if (completer_->popup()->isVisible()) {
        Complete();
    }
}

bool ScriptEdit::FindNext(const QString& text, bool backward) {
    if (text.isEmpty())
        return false;
    const QTextDocument::FindFlags flags =
        backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    if (find(text, flags))
        return true;
    // Wrap around once.
    QTextCursor cursor = textCursor();
    cursor.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
    const QTextCursor found = document()->find(text, cursor, flags);
    if (found.isNull())
        return false;
    setTextCursor(found);
    return true;
}

void ScriptEdit::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasFormat(CategoryMimeType()))
        event->acceptProposedAction();
    else
        QPlainTextEdit::dragEnterEvent(event);
}

void ScriptEdit::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasFormat(CategoryMimeType()))
        event->acceptProposedAction();
    else
        QPlainTextEdit::dragMoveEvent(event);
}

void ScriptEdit::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasFormat(CategoryMimeType())) {
        QPlainTextEdit::dropEvent(event);
        return;
    }
    const QString data = QString::fromUtf8(event->mimeData()->data(CategoryMimeType()));
    const int newline = data.indexOf(QLatin1Char('\n'));
    bool ok = false;
    const int nodeId = data.left(newline).toInt(&ok);
    if (newline > 0 && ok) {
        event->acceptProposedAction();
        emit CategoryDropped(nodeId, data.mid(newline + 1));
    }
}

}  // namespace sorvik::gui
