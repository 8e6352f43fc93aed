#include "gui/record_view_pane.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QTabWidget>
#include <QTextBrowser>
#include <QUrl>

#include "gui/gb_qstring.h"
#include "text/file_helpers.h"

namespace sorvik::gui {

namespace {

int Index(RecordViewKind kind) {
    return kind == RecordViewKind::kDetail ? 0 : 1;
}

}  // namespace

RecordViewPane::RecordViewPane(QTabWidget* pane)
    : QObject(pane),
      pane_(pane),
      detail_(qobject_cast<QTextBrowser*>(pane->widget(0))),
      browse_(qobject_cast<QTextBrowser*>(pane->widget(1))) {
    setObjectName(QStringLiteral("recordViewPane"));
    for (RecordViewKind kind : {RecordViewKind::kDetail, RecordViewKind::kBrowse}) {
        QTextBrowser* browser = Browser(kind);
        // Every link is decided here: the page line, web pages, downloaded files.
        browser->setOpenLinks(false);
        connect(browser, &QTextBrowser::anchorClicked, this,
                [this, kind](const QUrl& url) { OnLink(kind, url); });
    }
}

QTextBrowser* RecordViewPane::Browser(RecordViewKind kind) const {
    return kind == RecordViewKind::kDetail ? detail_ : browse_;
}

const RecordViewResult& RecordViewPane::Shown(RecordViewKind kind) const {
    return shown_[Index(kind)];
}

void RecordViewPane::SetQuery(const ResultQuery& query, const std::vector<std::string>& terms,
                              const std::vector<long long>& selected) {
    query_ = query;
    terms_ = terms;
    selected_ = selected;
    if (query_.taskId > 0) {
        pane_->setTabVisible(0, RecordViewShown(query_.taskId, RecordViewKind::kDetail));
        pane_->setTabVisible(1, RecordViewShown(query_.taskId, RecordViewKind::kBrowse));
    }
    Show(RecordViewKind::kDetail, 1);
    Show(RecordViewKind::kBrowse, 1);
}

void RecordViewPane::SetSelectedRecords(const std::vector<long long>& ids) {
    selected_ = ids;
    Show(RecordViewKind::kDetail, 1);
}

void RecordViewPane::Refresh() {
    Show(RecordViewKind::kDetail, shown_[0].page);
    Show(RecordViewKind::kBrowse, shown_[1].page);
}

void RecordViewPane::SetShowHidden(bool shown) {
    showHidden_ = shown;
    Refresh();
}

void RecordViewPane::Show(RecordViewKind kind, int page) {
    QTextBrowser* browser = Browser(kind);
    RecordViewResult& shown = shown_[Index(kind)];
    if (query_.taskId <= 0) {
        shown = RecordViewResult();
        browser->clear();
        return;
    }
    RecordViewRequest request;
    request.query = query_;
    request.kind = kind;
    request.terms = terms_;
    if (kind == RecordViewKind::kDetail)
        request.recordIds = selected_;
    request.page = page;
    request.showHidden = showHidden_;
    std::string error;
    std::string html;
    if (!WriteRecordView(request, shown, error) || !ReadWholeFile(shown.path, html)) {
        browser->clear();
        emit ViewFailed(FromGb(error));
        return;
    }
    // Relative links and pictures are files of the task's download folder.
    const QString path = QString::fromStdString(shown.path);
    browser->document()->setBaseUrl(QUrl::fromLocalFile(path));
    browser->setHtml(FromGb(html));
}

void RecordViewPane::OnLink(RecordViewKind kind, const QUrl& url) {
    const int page = ViewPageOfLink(ToGb(url.toString()));
    if (page > 0) {
        Show(kind, page);
        return;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
        scheme == QLatin1String("ftp") || scheme == QLatin1String("mailto")) {
        QDesktopServices::openUrl(url);
        return;
    }
    // A relative link: a file below the task's download folder, never outside it.
    const QDir folder = QFileInfo(QString::fromStdString(Shown(kind).path)).absoluteDir();
    const QUrl resolved = QUrl::fromLocalFile(QString::fromStdString(Shown(kind).path)).resolved(url);
    const QString file = QDir::cleanPath(resolved.toLocalFile());
    if (resolved.isLocalFile() && file.startsWith(folder.absolutePath() + QLatin1Char('/')) &&
        QFileInfo::exists(file))
        QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

}  // namespace sorvik::gui
