#pragma once
// The dialog "设置参数取值方法" (F6): a parameter list ("<光标所在位置>" and one "field_level" per
// field and loop level), the begin and end strings, "包含边界：" and the hint line; "应用(&A)"
// writes the value "$"/"~" begin "(.*?)" end under the parameter, or at the caret.

#include <QDialog>
#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace sorvik::gui {

class Prompter;

class ValueMethodDialog : public QDialog {
    Q_OBJECT

  public:
    struct Editor {
        std::function<std::string()> script;  // the script pane's text
        // Writes key (with "=") = value into the script pane.
        std::function<void(const std::string& key, const std::string& value)> writeKey;
        // Replaces the script pane's selection by value.
        std::function<void(const std::string& value)> insertAtCaret;
    };
    ValueMethodDialog(Editor editor, Prompter& prompter, QWidget* parent = nullptr);

    QListWidget* Parameters() const { return parameters_; }
    QLineEdit* BeginBox() const { return begin_; }
    QLineEdit* EndBox() const { return end_; }
    QCheckBox* IncludeBox() const { return include_; }
    QLabel* Hint() const { return hint_; }
    QPushButton* ApplyButton() const { return apply_; }

    // "应用(&A)": false when a message was shown (the focus is then in the empty box).
    bool Apply();

  public slots:
    void accept() override;

  private:
    void OnParameterChanged();

    Editor editor_;
    Prompter& prompter_;
    QListWidget* parameters_;
    QLineEdit* begin_;
    QLineEdit* end_;
    QCheckBox* include_;
    QLabel* hint_;
    QPushButton* apply_;
};

}  // namespace sorvik::gui
