#pragma once
// Mail templates: ShowModule rows with iType1 3, built-in (iType2 0) and the user's own
// (iType2 1); the operations behind the send-mail dialog's template list and menu. Errors are
// returned as the dialog's texts.

#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

struct MailTemplate {
    std::string title;
    std::string html;   // cHtml: the page in which the message is placed
    std::string memo1;  // cMemo1 to cMemo3: extra texts kept with the template
    std::string memo2;
    std::string memo3;
    bool builtIn = false;
};

// The template list as the dialog shows it: "空模版" (empty template) first, then the built-in
// templates, then the user's, each in the order they were made. False with the error text when
// the table can't be read.
bool LoadMailTemplates(std::vector<MailTemplate>& templates, std::string& error);

// Finds a template of the list by title ("空模版" gives the empty template). False when none.
bool FindMailTemplate(std::string_view title, MailTemplate& found, std::string& error);

// Saves a user template. A new one needs a title ("输入项不能为空！") that no template has yet
// ("该模版名称已经存在！"); an existing user template of the title is updated. A built-in title
// can't be overwritten. Failure of the statement: "保存失败！".
bool SaveMailTemplate(const MailTemplate& mailTemplate, bool isNew, std::string& error);

// Deletes a user template; built-in ones give "不能删除系统提供的模版！".
bool DeleteMailTemplate(std::string_view title, std::string& error);

// The source task's default template title ("#发送邮件_默认模板" of its settings), and setting it.
std::string DefaultMailTemplateTitle(int sourceTaskId);
bool SetDefaultMailTemplate(int sourceTaskId, std::string_view title, std::string& error);

// The preview: the template around the content (plain content made HTML first) with the sender's
// name, image markers "<%@@@path>" pointing at their files (relative paths from the program
// folder), personalisation markers "<%@name%>" shown as written ("&lt;%@name%>"), written to
// "sc_mail.html" in the program folder. Missing image files are listed in
// warnings ("文件读取错误！(%s)"). Returns the file's path, or empty with error set.
std::string WriteMailPreview(std::string_view templateHtml, std::string_view content, bool html,
                             std::string_view senderName, std::string& warnings, std::string& error);

}  // namespace sorvik
