#include "workbench/record_view.h"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "engine/download_folder.h"
#include "engine/variables.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/gb_text.h"
#include "text/strings.h"

namespace sorvik {

namespace {

constexpr std::string_view kRecordLoopStart = "<%#记录循环开始%>";
constexpr std::string_view kRecordLoopEnd = "<%#记录循环结束%>";
constexpr std::string_view kFieldLoopStart = "<%#字段循环开始%>";
constexpr std::string_view kFieldLoopEnd = "<%#字段循环结束%>";
constexpr std::string_view kFieldTitle = "<%#循环字段名%>";
constexpr std::string_view kFieldValue = "<%#循环字段值%>";
constexpr std::string_view kFieldWidth = "<%#循环字段宽度%>";
constexpr std::string_view kRowNumber = "<%#行号%>";
constexpr std::string_view kRowNumberWidth = "<%#行号宽度%>";
constexpr std::string_view kOddRow = "#奇数行='";
constexpr std::string_view kEvenRow = "#偶数行='";
constexpr std::string_view kUrlToken = "<网址>";
constexpr std::string_view kSystemToken = "<系统变量";
constexpr std::string_view kPageLinkPrefix = "sorvik-view:page=";
constexpr int kDefaultViewPageSize = 20;

std::string Escape(std::string_view text) {
    // The special characters are ASCII below 0x40, which is never the second byte of a GB18030
    // character, so a byte walk is safe.
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            case '\r':
                if (i + 1 < text.size() && text[i + 1] == '\n')
                    ++i;
                out += "<br>";
                break;
            case '\n':
                out += "<br>";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// The value with every search term marked, each piece escaped. Terms are found on character
// boundaries, ASCII letters compared without case; at one place the longest term wins.
std::string Highlighted(std::string_view value, const std::vector<std::string>& terms) {
    std::vector<std::string> lowered;
    for (const std::string& term : terms) {
        if (!term.empty())
            lowered.push_back(ToLowerAscii(term));
    }
    if (lowered.empty())
        return Escape(value);
    const std::string text = ToLowerAscii(value);
    std::string out;
    size_t plainStart = 0;
    for (size_t i = 0; i < text.size();) {
        size_t length = 0;
        for (const std::string& term : lowered) {
            if (term.size() > length && text.compare(i, term.size(), term) == 0)
                length = term.size();
        }
        if (length == 0) {
            i += GbCharLength(text, i);
            continue;
        }
        out += Escape(value.substr(plainStart, i - plainStart));
        out += "<font color=#FF0000>" + Escape(value.substr(i, length)) + "</font>";
        i += length;
        plainStart = i;
    }
    return out + Escape(value.substr(plainStart));
}

bool IsLinkUrl(std::string_view value) {
    const std::string lower = ToLowerAscii(value.substr(0, 10));
    for (std::string_view scheme : {"http://", "https://", "ftp://", "mailto:"}) {
        if (lower.rfind(scheme, 0) == 0)
            return true;
    }
    return false;
}

bool IsTypeWord(std::string_view type, std::string_view word) {
    const std::string t = ToLowerAscii(Trim(type));
    return t.rfind(word, 0) == 0;
}

// The link (relative to the folder, percent-encoded UTF-8) of the file of folder that value names,
// or empty when it names no regular file inside the folder.
std::string DownloadedFileLink(const std::string& folder, std::string_view value) {
    if (folder.empty() || value.size() > kMaxSavedPathBytes ||
        value.find_first_of("\r\n") != std::string_view::npos)
        return {};
    const std::string file = DownloadFolder::FileOfName(folder, value);
    std::error_code ec;
    if (file.empty() || !std::filesystem::is_regular_file(file, ec))
        return {};
    std::string link;
    for (const unsigned char c : DownloadFolder::LinkedFilePath(Trim(value))) {
        const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           std::string_view("-._~/").find(static_cast<char>(c)) != std::string_view::npos;
        if (plain)
            link += static_cast<char>(c);
        else
            link += Format("%%%02X", c);
    }
    return link;
}

std::string FieldValueHtml(const RecordViewContent& content, const ViewField& field,
                           const ViewRecord& record) {
    const std::string& value = record.values.at(field.column);
    if (value.empty())
        return "&nbsp;";
    static const std::vector<std::string> kNoTerms;
    const std::vector<std::string>& terms = field.highlight ? content.searchTerms : kNoTerms;
    if (!field.hyperlink || !IsLinkUrl(value)) {
        const std::string file = DownloadedFileLink(content.folder, value);
        if (!file.empty())
            return "<a target=_blank href=\"" + file + "\">" + Highlighted(value, terms) + "</a>";
    }
    return ViewValueHtml(value, field.hyperlink, terms);
}

// The loop text of the field loop for every shown field; record null outside the record loop.
std::string ExpandFieldLoop(std::string_view loop, const RecordViewContent& content,
                            const ViewRecord* record) {
    std::string out;
    for (const ViewField& field : content.fields) {
        std::string copy(loop);
        GbReplaceAll(copy, kFieldTitle, Escape(content.columns.at(field.column).title));
        GbReplaceAll(copy, kFieldWidth, std::to_string(field.widthPercent));
        GbReplaceAll(copy, kFieldValue, record ? FieldValueHtml(content, field, *record) : std::string());
        out += copy;
    }
    return out;
}

// Every field loop of text expanded.
std::string ExpandFieldLoops(std::string_view text, const RecordViewContent& content,
                             const ViewRecord* record) {
    std::string out;
    size_t from = 0;
    while (true) {
        const size_t start = GbFind(text, kFieldLoopStart, from);
        const size_t end = start == std::string_view::npos
                               ? std::string_view::npos
                               : GbFind(text, kFieldLoopEnd, start + kFieldLoopStart.size());
        if (end == std::string_view::npos)
            break;
        out += text.substr(from, start - from);
        out +=
            ExpandFieldLoop(text.substr(start + kFieldLoopStart.size(), end - start - kFieldLoopStart.size()),
                            content, record);
        from = end + kFieldLoopEnd.size();
    }
    return out + std::string(text.substr(from));
}

// The first construct of the record's parity in the text before its field loop becomes its text.
void ApplyRowStyle(std::string& text, bool odd) {
    const size_t loop = GbFind(text, kFieldLoopStart);
    const std::string_view head = std::string_view(text).substr(0, loop);
    const std::string_view marker = odd ? kOddRow : kEvenRow;
    const size_t start = GbFind(head, marker);
    if (start == std::string_view::npos)
        return;
    const size_t close = head.find('\'', start + marker.size());
    if (close == std::string_view::npos)
        return;
    const std::string style(head.substr(start + marker.size(), close - start - marker.size()));
    text.replace(start, close + 1 - start, style);
}

std::string SystemValue(const RecordViewContent& content, int number) {
    switch (number) {
        case 1:
            return std::to_string(content.total);
        case 2:
            return std::to_string(content.page);
        case 3:
            return std::to_string(content.pages);
        case 4:
            return std::to_string(content.taskId);
        case 5:
            return std::to_string(content.records.size());
        default:
            return {};
    }
}

// "<系统变量" N ">" tokens (the "<系统变量_字符串" variables of scripts are not record tokens).
void SubstituteSystemTokens(std::string& text, const RecordViewContent& content) {
    size_t from = 0;
    while ((from = GbFind(text, kSystemToken, from)) != std::string::npos) {
        size_t end = from + kSystemToken.size();
        while (end < text.size() && text[end] >= '0' && text[end] <= '9' && end - from < 20)
            ++end;
        if (end == from + kSystemToken.size() || end >= text.size() || text[end] != '>') {
            from += kSystemToken.size();
            continue;
        }
        const std::string value =
            SystemValue(content, ToInt(std::string_view(text).substr(from + kSystemToken.size())));
        text.replace(from, end + 1 - from, value);
        from += value.size();
    }
}

// The record tokens of one record (null: none, the record tokens give empty texts).
void SubstituteRecordTokens(std::string& text, const RecordViewContent& content, const ViewRecord* record) {
    SubstituteSystemTokens(text, content);
    std::string url;
    if (record) {
        for (size_t i = 0; i < content.columns.size(); ++i) {
            if (IsTypeWord(content.columns[i].type, "超链接") && !record->values.at(i).empty()) {
                url = Escape(record->values.at(i));
                break;
            }
        }
    }
    GbReplaceAll(text, kUrlToken, url);
    std::vector<std::string> names;
    std::vector<std::string> titles;
    for (const ResultColumn& column : content.columns) {
        names.push_back(column.name);
        titles.push_back(Escape(column.title));
    }
    SubstituteFieldRefs(text, names, titles, [&](const std::string& column) -> std::string {
        if (!record)
            return {};
        if (EqualsNoCase(column, "ID_"))
            return std::to_string(record->id);
        for (size_t i = 0; i < content.columns.size(); ++i) {
            if (EqualsNoCase(content.columns[i].column, column))
                return Escape(record->values.at(i));
        }
        const int index = FindResultColumn(content.columns, column);
        return index < 0 ? std::string() : Escape(record->values.at(static_cast<size_t>(index)));
    });
}

std::string PlainRecords(const RecordViewContent& content) {
    std::string out;
    for (size_t r = 0; r < content.records.size(); ++r) {
        if (r > 0)
            out += "<HR>";
        for (const ViewField& field : content.fields) {
            out += "<font color=#008000 size=2>" + Escape(content.columns.at(field.column).title) +
                   "：</font>" + "<font size=2>" + FieldValueHtml(content, field, content.records[r]) +
                   "</font><BR>";
        }
    }
    return out;
}

std::string PageLine(const RecordViewContent& content) {
    std::string line = "<p><font size=2>" +
                       Format("共 %lld 条记录 第 %d/%d 页", content.total, content.page, content.pages) +
                       "</font>";
    auto link = [&](const char* label, int page, bool enabled) {
        line += "&nbsp;&nbsp;";
        line += enabled ? "<a href=\"" + ViewPageLink(page) + "\">" + label + "</a>" : std::string(label);
    };
    if (content.pages > 1) {
        link("首页", 1, content.page > 1);
        link("上一页", content.page - 1, content.page > 1);
        link("下一页", content.page + 1, content.page < content.pages);
        link("尾页", content.pages, content.page < content.pages);
    }
    return line + "</p>";
}

// A view setting: the task's settings text first, its script second.
std::string ViewSetting(std::string_view key, std::string_view settings, std::string_view script) {
    std::string value = Trim(GetKeyValue(key, settings));
    if (value.empty())
        value = Trim(GetKeyValue(key, script));
    return value;
}

std::vector<ViewField> ShownFields(RecordViewKind kind, const std::vector<ResultColumn>& columns,
                                   std::string_view settings, std::string_view script, bool showHidden) {
    const bool detail = kind == RecordViewKind::kDetail;
    std::vector<ViewField> fields;
    std::vector<int> widths;  // weights of the shown fields; empty: percentages written
    bool widthsArePercent = false;
    if (ViewSetting(detail ? "#记录明细_设置" : "#浏览记录_设置", settings, script) == "自定义") {
        const std::vector<std::string> shown = SplitList(
            ViewSetting(detail ? "#记录明细_显示字段列表" : "#浏览记录_显示字段列表", settings, script));
        const std::vector<std::string> given =
            detail ? std::vector<std::string>()
                   : SplitList(ViewSetting("#浏览记录_显示字段列表_宽度", settings, script));
        for (size_t i = 0; i < shown.size(); ++i) {
            const int index = FindResultColumn(columns, shown[i]);
            if (index < 0)
                continue;
            fields.push_back({static_cast<size_t>(index)});
            if (i < given.size() && ToInt(given[i]) > 0)
                fields.back().widthPercent = ToInt(given[i]);
        }
        widthsArePercent = !given.empty();
    }
    const std::vector<std::string> grid = SplitList(ViewSetting("#字段宽度", settings, script));
    if (fields.empty()) {
        widthsArePercent = false;
        for (size_t i = 0; i < columns.size(); ++i) {
            const bool hidden = i < grid.size() && Trim(grid[i]) == "0";
            if (showHidden || !hidden)
                fields.push_back({i});
        }
    }
    const std::string memoOnly = ViewSetting("#只显示备注型字段", settings, script);
    if (detail && !memoOnly.empty() && memoOnly != "0") {
        std::vector<ViewField> memos;
        for (const ViewField& field : fields) {
            const std::string& type = columns[field.column].type;
            if (IsTypeWord(type, "备注") || IsTypeWord(type, "memo"))
                memos.push_back(field);
        }
        fields = memos;
    }
    if (!widthsArePercent) {
        // Shares of the grid's widths ("#字段宽度=", pixels in field order; 100 where missing).
        long long sum = 0;
        for (ViewField& field : fields) {
            const int w = field.column < grid.size() ? ToInt(grid[field.column]) : 0;
            field.widthPercent = w > 0 ? w : 100;
            sum += field.widthPercent;
        }
        for (ViewField& field : fields)
            field.widthPercent = static_cast<int>(sum > 0 ? field.widthPercent * 95 / sum : 0);
    }
    const std::vector<std::string> highlighted =
        SplitList(ViewSetting("#加亮关键字字段标题", settings, script));
    for (ViewField& field : fields) {
        field.hyperlink = IsTypeWord(columns[field.column].type, "超链接");
        for (const std::string& title : highlighted)
            field.highlight =
                field.highlight || FindResultColumn(columns, title) == static_cast<int>(field.column);
    }
    return fields;
}

}  // namespace

std::string NoRecordPage() {
    return "<html><head><meta http-equiv=Content-Type content=text/html; charset=gb2312></head><body>"
           "<FONT COLOR =RED>   没有记录或没有选择记录！ </FONT><BR></body></html>";
}

std::string ViewPageLink(int page) {
    return std::string(kPageLinkPrefix) + std::to_string(page);
}

int ViewPageOfLink(std::string_view link) {
    if (link.rfind(kPageLinkPrefix, 0) != 0)
        return 0;
    const std::string_view number = link.substr(kPageLinkPrefix.size());
    if (number.empty() || number.size() > 9 ||
        number.find_first_not_of("0123456789") != std::string_view::npos)
        return 0;
    return ToInt(number);
}

std::string ViewValueHtml(std::string_view value, bool hyperlink, const std::vector<std::string>& terms) {
    const std::string text = Highlighted(value, terms);
    if (!hyperlink || !IsLinkUrl(value))
        return text;
    return "<a target=_blank href=\"" + Escape(value) + "\">" + text + "</a>";
}

std::string ExpandRecordTemplate(std::string_view templateText, const RecordViewContent& content) {
    if (templateText.empty())
        return PlainRecords(content);
    std::string_view before;
    std::string_view loop = templateText;
    std::string_view after;
    const size_t start = GbFind(templateText, kRecordLoopStart);
    const size_t end = start == std::string_view::npos
                           ? std::string_view::npos
                           : GbFind(templateText, kRecordLoopEnd, start + kRecordLoopStart.size());
    if (end != std::string_view::npos) {
        before = templateText.substr(0, start);
        loop = templateText.substr(start + kRecordLoopStart.size(), end - start - kRecordLoopStart.size());
        after = templateText.substr(end + kRecordLoopEnd.size());
    }
    auto outside = [&](std::string_view part) {
        std::string text(part);
        GbReplaceAll(text, kRowNumberWidth, std::to_string(content.rowNumberWidth));
        SubstituteRecordTokens(text, content, nullptr);
        return ExpandFieldLoops(text, content, nullptr);
    };
    std::string out = outside(before);
    for (size_t r = 0; r < content.records.size(); ++r) {
        const ViewRecord& record = content.records[r];
        std::string text(loop);
        ApplyRowStyle(text, r % 2 == 0);
        GbReplaceAll(text, kRowNumber, std::to_string(r + 1));
        GbReplaceAll(text, kRowNumberWidth, std::to_string(content.rowNumberWidth));
        SubstituteRecordTokens(text, content, &record);
        out += ExpandFieldLoops(text, content, &record);
    }
    return out + outside(after);
}

std::string RecordViewHtml(const RecordViewContent& content, std::string_view templateText,
                           std::string_view header) {
    if (content.records.empty())
        return NoRecordPage();
    std::string head(header);
    SubstituteRecordTokens(head, content, &content.records.front());
    std::string page =
        "<html><head><meta http-equiv=Content-Type content=\"text/html; charset=gb18030\"></head><body>" +
        head + PageLine(content) + ExpandRecordTemplate(templateText, content);
    if (content.pages > 1)
        page += PageLine(content);
    return page + "</body></html>";
}

bool WriteRecordView(const RecordViewRequest& request, RecordViewResult& result, std::string& error) {
    result = RecordViewResult();
    const bool detail = request.kind == RecordViewKind::kDetail;
    ResultQuery query = request.query;
    if (request.recordIds) {
        std::vector<std::string> ids;
        for (long long id : *request.recordIds)
            ids.push_back(std::to_string(id));
        query.condition += ids.empty() ? " and 1=0" : " and ID_ in (" + Join(ids, ",") + ")";
    }
    RecordViewContent content;
    content.taskId = query.taskId;
    content.columns = query.columns;
    content.searchTerms = request.terms;
    std::string script;
    std::string settings;
    std::string templateText;
    {
        std::scoped_lock lock(g_csDatabase);
        CTaskTable tasks;
        script = tasks.ReadTaskScript(query.taskId);
        settings = tasks.ReadTaskText(query.taskId, true);
        const int templateId =
            ToInt(ViewSetting(detail ? "#记录明细模板号" : "#浏览记录模板号", settings, script));
        if (templateId > 0)
            templateText = tasks.SelectTopString("cHtml", "ShowModule", "ID=" + std::to_string(templateId));
        int pageSize =
            ToInt(ViewSetting(detail ? "#记录明细每页记录数" : "#浏览记录每页记录数", settings, script));
        if (pageSize <= 0)
            pageSize = kDefaultViewPageSize;

        CDbAccess db;
        if (query.tableExists) {
            auto count = db.OpenRecordset(ResultCountStatement(query));
            if (!count) {
                error = db.m_strError + "\r\n" + db.m_strProviderError;
                return false;
            }
            content.total = count->Int(size_t{0});
        }
        content.pages = static_cast<int>((content.total + pageSize - 1) / pageSize);
        content.page = std::clamp(request.page, 1, std::max(1, content.pages));
        if (content.total > 0) {
            auto rows = db.OpenRecordset(
                ResultPageStatement(query, static_cast<long long>(content.page - 1) * pageSize, pageSize));
            if (!rows) {
                error = db.m_strError + "\r\n" + db.m_strProviderError;
                return false;
            }
            const size_t columns = query.columns.size();
            for (; !rows->IsEof(); rows->MoveNext()) {
                ViewRecord record;
                for (size_t i = 0; i < columns; ++i)
                    record.values.push_back(rows->Text(i));
                record.id = rows->Int(columns);
                content.records.push_back(std::move(record));
            }
        }
    }
    content.fields = ShownFields(request.kind, content.columns, settings, script, request.showHidden);
    const std::string header = ScriptBlock(detail ? "[头文件_明细]" : "[头文件_浏览]", script);

    const DownloadFolder folder(query.taskId);
    content.folder = folder.Path();
    result.path = JoinPath(folder.Path(), detail ? "index.htm" : "index_brow.htm");
    result.total = content.total;
    result.page = content.page;
    result.pages = content.pages;
    if (!MakeDirectories(folder.Path()) ||
        !WriteWholeFile(result.path, RecordViewHtml(content, templateText, header))) {
        error = "写文件失败！" + Utf8ToGb(result.path);
        return false;
    }
    return true;
}

bool RecordViewShown(int taskId, RecordViewKind kind) {
    std::string value;
    {
        std::scoped_lock lock(g_csDatabase);
        value = Trim(GetKeyValue(kind == RecordViewKind::kDetail ? "#是否显示记录明细" : "#是否显示浏览记录",
                                 CTaskTable().ReadTaskText(taskId, true)));
    }
    return value.empty() || ToInt(value) != 0;
}

}  // namespace sorvik
