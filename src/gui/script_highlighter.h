#pragma once
// Colours a script by the parts the core finds in each line (ScriptLineSpans).

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

namespace sorvik::gui {

class ScriptHighlighter : public QSyntaxHighlighter {
    Q_OBJECT

  public:
    explicit ScriptHighlighter(QTextDocument* document);

  protected:
    void highlightBlock(const QString& text) override;

  private:
    QTextCharFormat formats_[9];
};

}  // namespace sorvik::gui
