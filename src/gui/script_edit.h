#pragma once
// The script pane's text control: a plain-text editor with line numbers, the script's colours,
// the current line marked, undo and redo, find, completion of the script language's keys, marked
// problem lines, and categories dropped from the tree.

#include <QPlainTextEdit>
#include <QStringList>
#include <vector>

class QCompleter;
class QStringListModel;

namespace sorvik::gui {

class ScriptHighlighter;

class ScriptEdit : public QPlainTextEdit {
    Q_OBJECT

  public:
    explicit ScriptEdit(QWidget* parent = nullptr);

    // The keys completion offers (with their "="), besides the keys the script holds.
    void SetCompletionKeys(const QStringList& keys);
    // Offers the completions for the word before the caret; false when there is none.
    bool Complete();
    QCompleter* Completer() const { return completer_; }

    // Finds text after the caret (wrapping to the start) and selects it; false when it is absent.
    bool FindNext(const QString& text, bool backward = false);

    // Lines (0-based) with problems, underlined; their messages show as tool tips.
    struct Problem {
        int line = 0;
        QString message;
        bool error = true;
    };
    void SetProblems(std::vector<Problem> problems);

    // The line-number margin.
    int LineNumberWidth() const;
    void PaintLineNumbers(QPaintEvent* event);

    // The MIME type of a category dragged from the tree: "<node id>\n<name>" in UTF-8.
    static QString CategoryMimeType();

  signals:
    // A category from the tree was dropped on the text.
    void CategoryDropped(int nodeId, const QString& name);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void UpdateMargin();
    void UpdateLineNumbers(const QRect& rect, int dy);
    void UpdateExtraSelections();
    void InsertCompletion(const QString& completion);
    QString WordBeforeCaret() const;

    QWidget* lineNumbers_;
    ScriptHighlighter* highlighter_;
    QCompleter* completer_;
    QStringListModel* completionModel_;
    QStringList completionKeys_;
    std::vector<Problem> problems_;
};

}  // namespace sorvik::gui
