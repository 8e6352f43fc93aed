#pragma once
// The detail pane's two record views over the core's view files: "记录明细" shows the grid's
// selected records, "浏览记录" every record of the grid's task and filter, each with its own pages.
// A view is written by WriteRecordView and read back into its QTextBrowser. Links of the page line
// go to another page of the same view; links to web pages open in the default browser, links to
// files of the task's download folder in their default program.

#include <QObject>
#include <string>
#include <vector>

#include "workbench/record_view.h"

class QTabWidget;
class QTextBrowser;
class QUrl;

namespace sorvik::gui {

class RecordViewPane : public QObject {
    Q_OBJECT

  public:
    // pane: the window's detail pane, whose tabs 0 and 1 are the detail and browse browsers.
    explicit RecordViewPane(QTabWidget* pane);

    // The grid's query (its task 0: none) and the filter's search terms: both views start over at
    // page 1, the detail view with the records selected.
    void SetQuery(const ResultQuery& query, const std::vector<std::string>& terms,
                  const std::vector<long long>& selected);
    // The grid's selected records (ID_): the detail view shows them from page 1.
    void SetSelectedRecords(const std::vector<long long>& ids);
    // Writes both views again (records were added, changed or deleted).
    void Refresh();
    // The grid's "显示隐藏字段": both views are written again with or without the hidden fields.
    void SetShowHidden(bool shown);

    int TaskId() const { return query_.taskId; }
    const ResultQuery& Query() const { return query_; }
    QTextBrowser* Browser(RecordViewKind kind) const;
    // The page the view shows, and its record count.
    const RecordViewResult& Shown(RecordViewKind kind) const;

  signals:
    // A view could not be written (the message in GB18030 converted).
    void ViewFailed(const QString& message);

  private:
    void Show(RecordViewKind kind, int page);
    void OnLink(RecordViewKind kind, const QUrl& url);

    QTabWidget* pane_;
    QTextBrowser* detail_;
    QTextBrowser* browse_;
    ResultQuery query_;
    std::vector<std::string> terms_;
    std::vector<long long> selected_;
    bool showHidden_ = false;
    RecordViewResult shown_[2];
};

}  // namespace sorvik::gui
