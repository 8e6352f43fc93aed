#pragma once
// The record views of a task's results: the detail view ("记录明细") and the browse view ("浏览记录"),
// written as HTML files into the task's download folder ("index.htm" and "index_brow.htm") from
// the ShowModule templates the task's settings name, for the front ends to show.
//
// A template is expanded with these markers:
//   <%#记录循环开始%> ... <%#记录循环结束%>   repeated once per record of the page (a template
//                                            without them is repeated whole)
//   <%#字段循环开始%> ... <%#字段循环结束%>   repeated once per shown field, inside or outside
//                                            the record loop (outside it values are empty)
//   <%#循环字段名%>, <%#循环字段值%>,         the field's title, its value ("&nbsp;" when empty),
//   <%#循环字段宽度%>                         its width in percent
//   <%#行号%>, <%#行号宽度%>                  the record's place on its page (from 1), the width
//                                            of the row-number column in percent
//   #奇数行='text' / #偶数行='text'           in a record's text before its field loop, the first
//                                            construct of the record's parity becomes text; the
//                                            other parity's construct stays as it is
// and the record tokens: "<字段标题=" name ">" (the field's title), "<字段名=" column ">" (that
// column's value in the record), "<网址>" (the record's URL: its first hyperlink field) and
// "<系统变量" N ">" with N = 1 the view's record count, 2 the page, 3 the page count, 4 the task
// ID and 5 the records on the page (other numbers: empty).
//
// Values are harvested text and never become markup: they are HTML-escaped (line ends become
// "<br>"); hyperlink fields (type "超链接") with an http, https, ftp or mailto URL become
// "<a target=_blank href="URL">URL</a>"; search terms are marked "<font color=#FF0000>" ... "</font>"
// in the fields "#加亮关键字字段标题" names (ASCII letters compared without case). A value that names
// a file of the task's download folder (a downloaded file's link or relative path; see
// DownloadFolder::FileOfName) links to that file, by its path relative to the view's file, unless
// the field's web link is shown. The template and
// the script's header blocks "[头文件_明细]" / "[头文件_浏览]" are the task author's HTML and are
// used as they are.
//
// The page shows "共 %d 条记录 第 %d/%d 页", and when there are several pages the links to the first,
// previous, next and last page; their targets are ViewPageLink(n), which ViewPageOfLink reads back.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/result_columns.h"
#include "workbench/result_query.h"

namespace sorvik {

enum class RecordViewKind { kDetail, kBrowse };

// One shown field.
struct ViewField {
    size_t column = 0;  // index into RecordViewContent::columns
    int widthPercent = 0;
    bool hyperlink = false;
    bool highlight = false;
};

struct ViewRecord {
    long long id = 0;                 // ID_
    std::vector<std::string> values;  // one per RecordViewContent::columns (NULL: empty)
};

// What one page of a view shows; built by WriteRecordView, or by hand in tests.
struct RecordViewContent {
    int taskId = 0;
    std::vector<ResultColumn> columns;  // the columns of the records
    std::vector<ViewField> fields;      // the shown fields, in order
    std::vector<ViewRecord> records;    // the records of the page
    std::vector<std::string> searchTerms;
    int rowNumberWidth = 5;  // percent
    long long total = 0;     // records of the view on every page
    int page = 1;
    int pages = 0;
    // The task's download folder, where the view is written: values naming its files link to
    // them. Empty: no value is taken for a file.
    std::string folder;
};

// The page shown when there is no record or none is selected.
std::string NoRecordPage();

// The link target of page n of a view, and back: the page a link names, 0 when it names none.
std::string ViewPageLink(int page);
int ViewPageOfLink(std::string_view link);

// A harvested value as the view shows it (escaped, linked, highlighted; see above).
std::string ViewValueHtml(std::string_view value, bool hyperlink, const std::vector<std::string>& terms);

// The records of the page expanded with the template (see above); an empty template writes each
// field as "<font color=#008000 size=2>" title "：</font><font size=2>" value "</font><BR>", and
// the records one after another divided by "<HR>".
std::string ExpandRecordTemplate(std::string_view templateText, const RecordViewContent& content);

// The whole page: head, the header block (record tokens of the first record expanded), the
// page line with its links, the records, and the page line again when there are several pages.
// No record: NoRecordPage().
std::string RecordViewHtml(const RecordViewContent& content, std::string_view templateText,
                           std::string_view header);

struct RecordViewRequest {
    // The records' query: the grid's (its task, rows, filter and order), or PrepareResultQuery's.
    ResultQuery query;
    RecordViewKind kind = RecordViewKind::kDetail;
    std::vector<std::string> terms;  // the filter's search terms, highlighted
    // The records: none given means every record of the query; a list (the grid's selection)
    // means those of them, an empty list none.
    std::optional<std::vector<long long>> recordIds;
    int page = 1;  // clamped to the pages there are
    // The grid's "显示隐藏字段": without it, fields of width 0 in "#字段宽度=" are left out (as
    // the grid hides them) unless a custom field list names them.
    bool showHidden = false;
};

struct RecordViewResult {
    std::string path;  // the file written (a file-system path)
    long long total = 0;
    int page = 1;
    int pages = 0;
};

// Reads the page of records and the task's view settings ("#记录明细每页记录数=" /
// "#浏览记录每页记录数=" (20, also for 0), "#记录明细模板号=" / "#浏览记录模板号=",
// "#记录明细_设置" / "#浏览记录_设置" = "自定义" with "#记录明细_显示字段列表" / "#浏览记录_显示字段列表"
// and "#浏览记录_显示字段列表_宽度", "#只显示备注型字段", "#字段宽度=", "#加亮关键字字段标题"; each from
// the task's settings text, else its script) and writes the view's file anew in the task's
// download folder (of the query's task), which is created when missing. False with the error:
// the database's, or "写文件失败！" with the path.
bool WriteRecordView(const RecordViewRequest& request, RecordViewResult& result, std::string& error);

// Whether the task's settings show the view ("#是否显示记录明细=" / "#是否显示浏览记录="; empty or a
// non-zero number: shown).
bool RecordViewShown(int taskId, RecordViewKind kind);

}  // namespace sorvik
