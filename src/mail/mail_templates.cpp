#include "mail/mail_templates.h"

#include "mail/mail_body.h"
#include "script/script_text.h"
#include "store/app_home.h"
#include "store/db_access.h"
#include "store/task_table.h"
#include "text/code_page.h"
#include "text/file_helpers.h"
#include "text/gb_text.h"
#include "text/strings.h"

namespace sorvik {

namespace {

const char kEmptyTemplate[] = "空模版";

}  // namespace

bool LoadMailTemplates(std::vector<MailTemplate>& templates, std::string& error) {
    templates.clear();
    MailTemplate empty;
    empty.title = kEmptyTemplate;
    empty.builtIn = true;
    templates.push_back(empty);
    CDbAccess db;
    auto rows = db.OpenRecordset(
        "select cTitle,cHtml,cMemo1,cMemo2,cMemo3,iType2 from ShowModule where iType1=3 and (iType2=0 or "
        "iType2=1) "
        "order by iType2,ID");
    if (!rows) {
        error = db.m_strError;
        return false;
    }
    while (!rows->IsEof()) {
        MailTemplate t;
        t.title = rows->Text(size_t{0});
        t.html = rows->Text(1);
        t.memo1 = rows->Text(2);
        t.memo2 = rows->Text(3);
        t.memo3 = rows->Text(4);
        t.builtIn = rows->Int(5) == 0;
        templates.push_back(std::move(t));
        rows->MoveNext();
    }
    return true;
}

bool FindMailTemplate(std::string_view title, MailTemplate& found, std::string& error) {
    std::vector<MailTemplate> all;
    if (!LoadMailTemplates(all, error)) {
        return false;
    }
    for (auto& t : all) {
        if (t.title == title) {
            found = t;
            return true;
        }
    }
    return false;
}

bool SaveMailTemplate(const MailTemplate& mailTemplate, bool isNew, std::string& error) {
    std::string title = Trim(mailTemplate.title);
    if (title.empty()) {
        error = "输入项不能为空！";
        return false;
    }
    CDbAccess db;
    const std::string quoted = SqlQuote(title);
    bool builtIn =
        title == kEmptyTemplate ||
        db.RecordExists("ShowModule", Format("iType1=3 and iType2=0 and cTitle='%s'", quoted.c_str()));
    bool userExists =
        db.RecordExists("ShowModule", Format("iType1=3 and iType2=1 and cTitle='%s'", quoted.c_str()));
    if ((isNew && (builtIn || userExists)) || (!isNew && builtIn)) {
        error = "该模版名称已经存在！";
        return false;
    }
    bool ok;
    if (userExists) {
        ok = db.ExecuteSql(
            Format("update ShowModule set cHtml='%s',cMemo1='%s',cMemo2='%s',cMemo3='%s' where %s",
                   SqlQuote(mailTemplate.html).c_str(), SqlQuote(mailTemplate.memo1).c_str(),
                   SqlQuote(mailTemplate.memo2).c_str(), SqlQuote(mailTemplate.memo3).c_str(),
                   Format("iType1=3 and cTitle='%s' and iType2=1", quoted.c_str()).c_str()));
    } else {
        ok = db.ExecuteSql(
            Format("insert into ShowModule(cTitle,cHtml,iType1,iType2,cMemo1,cMemo2,cMemo3) "
                   "values('%s','%s',3,1,'%s','%s','%s')",
                   quoted.c_str(), SqlQuote(mailTemplate.html).c_str(), SqlQuote(mailTemplate.memo1).c_str(),
                   SqlQuote(mailTemplate.memo2).c_str(), SqlQuote(mailTemplate.memo3).c_str()));
    }
    if (!ok) {
        error = "保存失败！";
    }
    return ok;
}

bool DeleteMailTemplate(std::string_view title, std::string& error) {
    CDbAccess db;
    const std::string quoted = SqlQuote(title);
    if (title == kEmptyTemplate ||
        db.RecordExists("ShowModule", Format("iType1=3 and iType2=0 and cTitle='%s'", quoted.c_str()))) {
        error = "不能删除系统提供的模版！";
        return false;
    }
    if (!db.DeleteRecords("ShowModule",
                          Format(" where iType1=3 and iType2=1 and cTitle='%s'", quoted.c_str()))) {
        error = db.m_strError;
        return false;
    }
    return true;
}

std::string DefaultMailTemplateTitle(int sourceTaskId) {
    CTaskTable tasks;
    return GetKeyValue("#发送邮件_默认模板", tasks.ReadTaskText(sourceTaskId, true));
}

bool SetDefaultMailTemplate(int sourceTaskId, std::string_view title, std::string& error) {
    CTaskTable tasks;
    if (tasks.SetTaskScriptValue(sourceTaskId, "#发送邮件_默认模板", title, true) != 1) {
        error = g_strDbError.Get();
        return false;
    }
    return true;
}

std::string WriteMailPreview(std::string_view templateHtml, std::string_view content, bool html,
                             std::string_view senderName, std::string& warnings, std::string& error) {
    std::string body =
        ApplyMailTemplate(templateHtml, html ? std::string(content) : PlainTextToHtml(content), senderName);
    // Image markers point at their files, so that a browser shows them.
    std::string out = ReplaceInlineImageMarkers(body, AppDir(), [&](const std::string& file) {
        const std::string path = Utf8ToGb(file);  // the page's text
        if (!FileExists(file)) {
            warnings += Format("文件读取错误！(%s)", path.c_str());
            warnings += "\r\n";
        }
        return path;
    });
    // A personalisation marker is filled per recipient when sending; the preview shows it as
    // written instead of letting the page take it for a tag.
    GbReplaceAll(out, "<%@", "&lt;%@");
    std::string file = AppPath("sc_mail.html");
    if (!WriteWholeFile(file, out)) {
        error = "cannot write " + file;
        return {};
    }
    return file;
}

}  // namespace sorvik
