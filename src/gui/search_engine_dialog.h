#pragma once
// The dialog "选择搜索引擎": the task's search engines ("#搜索引擎列表=") as a check list; OK stores
// the ticked ones as the task's choice, refusing none with "至少要选择一个搜索引擎！".

#include <QDialog>

class QListWidget;

namespace sorvik::gui {

class Prompter;

class SearchEngineDialog : public QDialog {
    Q_OBJECT

  public:
    // taskId: the task whose script names the engines.
    SearchEngineDialog(int taskId, Prompter& prompter, QWidget* parent = nullptr);
    QListWidget* Engines() const { return engines_; }

  public slots:
    void accept() override;

  private:
    int taskId_;
    Prompter& prompter_;
    QListWidget* engines_;
};

}  // namespace sorvik::gui
