#pragma once
// The options dialog: the worker-thread limit (1 to 63) and the fetch defaults of every run
// (connections per host, interval between requests, User-Agent), which a script may override.

#include <QDialog>
#include <functional>

class QLineEdit;
class QPushButton;

namespace sorvik::gui {

class Prompter;

class OptionsDialog : public QDialog {
    Q_OBJECT

  public:
    // apply stores an accepted limit (and dispatches waiting runs).
    OptionsDialog(int threadLimit, Prompter& prompter, std::function<void(int)> apply,
                  QWidget* parent = nullptr);

    QLineEdit* ThreadLimitEdit() const { return threadLimit_; }
    QLineEdit* ConnectionsEdit() const { return connections_; }
    QPushButton* OkButton() const { return ok_; }

    // OK: a limit outside 1..63 (or not a number) shows "值应在1~63之间！" and the dialog stays; so
    // does a fetch default the core refuses (with its message). Otherwise both are stored.
    void accept() override;

  private:
    Prompter& prompter_;
    std::function<void(int)> apply_;
    QLineEdit* threadLimit_;
    QLineEdit* connections_;
    QLineEdit* interval_;
    QLineEdit* userAgent_;
    QPushButton* ok_;
};

}  // namespace sorvik::gui
