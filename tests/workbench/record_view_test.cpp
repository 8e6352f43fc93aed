// The record views: template expansion, and the page files written from a real home.

#include "workbench/record_view.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "store/db_access.h"
#include "store/task_table.h"
#include "support/core_fixture.h"
#include "text/code_page.h"
#include "text/file_helpers.h"

using namespace sorvik;

namespace {

TEST(RecordViewTemplate, EveryMarkerRowStyleTokenAndValueForm) {
    RecordViewContent content;
    content.taskId = 9;
    content.columns = {
        {"n", "名称", "", "名称"}, {"u", "链接", "超链接", "链接"}, {"b", "备注", "memo", "备注"}};
    content.fields = {{0, 30, false, true}, {1, 65, true, false}};
    content.searchTerms = {"tv", "彩电"};
    content.records = {{4, {"<b>TV 彩电</b>", "http://h/a?x=1&y=\"2\"", "行1\r\n行2"}},
                       {7, {"", "javascript:alert(1)", ""}}};
    content.total = 12;
    content.page = 2;
    content.pages = 3;
    const std::string templateText =
        "<table><tr><td "
        "width=<%#行号宽度%>%>#</td><%#字段循环开始%><th><%#循环字段名%></th><%#字段循环结束%></tr>"
        "<%#记录循环开始%><tr #奇数行='class=o' #偶数行='class=e'><td><%#行号%></td>"
        "<%#字段循环开始%><td width=<%#循环字段宽度%>%><%#循环字段值%></td><%#字段循环结束%>"
        "<td><字段标题=b>=<字段名=备注>|<字段名=ID_>|<网址>|<系统变量1>/<系统变量3>/<系统变量9>"
        "|<系统变量_字符串1></td></tr><%#记录循环结束%></table>";
    EXPECT_EQ(
        ExpandRecordTemplate(templateText, content),
        "<table><tr><td width=5%>#</td><th>名称</th><th>链接</th></tr>"
        "<tr class=o #偶数行='class=e'><td>1</td>"
        "<td width=30%>&lt;b&gt;<font color=#FF0000>TV</font> <font color=#FF0000>彩电</font>&lt;/b&gt;</td>"
        "<td width=65%><a target=_blank href=\"http://h/a?x=1&amp;y=&quot;2&quot;\">"
        "http://h/a?x=1&amp;y=&quot;2&quot;</a></td>"
        "<td>备注=行1<br>行2|4|http://h/a?x=1&amp;y=&quot;2&quot;|12/3/|<系统变量_字符串1></td></tr>"
        "<tr #奇数行='class=o' class=e><td>2</td>"
        "<td width=30%>&nbsp;</td><td width=65%>javascript:alert(1)</td>"
        "<td>备注=|7|javascript:alert(1)|12/3/|<系统变量_字符串1></td></tr></table>");
    // Without a template: title and value per field, records divided.
    const std::string plain = ExpandRecordTemplate("", content);
    EXPECT_EQ(plain.rfind("<font color=#008000 size=2>名称：</font><font size=2>&lt;b&gt;<font ", 0), 0u);
    EXPECT_NE(
        plain.find("</font><BR><HR><font color=#008000 size=2>名称：</font><font size=2>&nbsp;</font><BR>"),
        std::string::npos);
    EXPECT_EQ(ViewPageOfLink(ViewPageLink(3)), 3);
    EXPECT_EQ(ViewPageOfLink("http://h/sorvik-view:page=3"), 0);
    EXPECT_EQ(ViewPageOfLink("sorvik-view:page=3x"), 0);
}

class RecordViewTest : public sorvik::test::CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        ASSERT_TRUE(
            db.ExecuteSql("Create Table Goods(ID_ IDENTITY CONSTRAINT PK_Goods PRIMARY KEY,iNode_ int,名称 "
                          "varchar(50),价格 int)"));
        for (const char* values : {"(5,'甲',1)", "(5,'乙',2)", "(6,'丙',3)", "(5,'丁',4)", "(5,'戊',5)"})
            ASSERT_TRUE(db.ExecuteSql(std::string("insert into Goods(iNode_,名称,价格) values") + values));
        ASSERT_TRUE(
            CTaskTable().InsertTask(5, "t", TaskState::kEnded, "", 4,
                                    "#表名=Goods\r\n#字段名列表=名称,价格\r\n"
                                    "[头文件_浏览]{\r\n<h1>第<系统变量2>页</h1>\r\n}[头文件_浏览]\r\n"));
    }
    std::string Write(RecordViewRequest request, RecordViewResult& result, const std::string& filter = "") {
        std::string error;
        bool refused = false;
        EXPECT_TRUE(PrepareResultQuery(5, filter, request.query, error, refused)) << error;
        EXPECT_TRUE(WriteRecordView(request, result, error)) << error;
        std::string html;
        EXPECT_TRUE(ReadWholeFile(result.path, html));
        return html;
    }
    CDbAccess db;
};

TEST_F(RecordViewTest, PagesTemplatesFieldListsAndTheNoRecordPage) {
    ASSERT_TRUE(db.ExecuteSql(
        "insert into ShowModule(cTitle,cHtml,iType1,iType2) values('t','<%#记录循环开始%>[<%#字段循环开始%>"
        "<%#循环字段值%>/<%#循环字段宽度%><%#字段循环结束%>]<%#记录循环结束%>',2,1)"));
    const std::string templateId = db.SelectTopString("max(ID)", "ShowModule", "1=1");
    CTaskTable().SetTaskScriptValue(5, "#浏览记录每页记录数", "3", true);
    CTaskTable().SetTaskScriptValue(5, "#浏览记录模板号", templateId, true);
    CTaskTable().SetTaskScriptValue(5, "#浏览记录_设置", "自定义", true);
    CTaskTable().SetTaskScriptValue(5, "#浏览记录_显示字段列表", "价格", true);
    CTaskTable().SetTaskScriptValue(5, "#浏览记录_显示字段列表_宽度", "40", true);

    RecordViewResult result;
    RecordViewRequest request;
    request.kind = RecordViewKind::kBrowse;
    request.page = 9;  // past the end: the last page
    std::string html = Write(request, result);
    EXPECT_EQ(result.path, home() + "/download/5/index_brow.htm");
    const std::string pageLine =
        "<p><font size=2>共 4 条记录 第 2/2 页</font>&nbsp;&nbsp;<a href=\"sorvik-view:page=1\">首页</a>"
        "&nbsp;&nbsp;<a href=\"sorvik-view:page=1\">上一页</a>&nbsp;&nbsp;下一页&nbsp;&nbsp;尾页</p>";
    EXPECT_EQ(html,
              "<html><head><meta http-equiv=Content-Type content=\"text/html; charset=gb18030\"></head>"
              "<body><h1>第2页</h1>" +
                  pageLine + "[5/40]" + pageLine + "</body></html>");

    // The detail view of a selection, filtered; the default page size and all fields.
    request.kind = RecordViewKind::kDetail;
    request.page = 1;
    request.recordIds = std::vector<long long>{1, 2, 4};
    html = Write(request, result, "价格 > 1");
    EXPECT_EQ(result.path, home() + "/download/5/index.htm");
    EXPECT_NE(html.find("共 2 条记录 第 1/1 页"), std::string::npos);
    EXPECT_NE(html.find("<font size=2>乙</font>"), std::string::npos);
    EXPECT_EQ(html.find("甲"), std::string::npos);

    request.recordIds = std::vector<long long>{};
    EXPECT_EQ(Write(request, result, "价格 > 1"), NoRecordPage());
    EXPECT_EQ(NoRecordPage(),
              "<html><head><meta http-equiv=Content-Type content=text/html; charset=gb2312></head><body>"
              "<FONT COLOR =RED>   没有记录或没有选择记录！ </FONT><BR></body></html>");
}

TEST_F(RecordViewTest, HiddenFieldsStayHiddenAndValuesNamingDownloadedFilesLink) {
    // 价格 is hidden in the grid: the view leaves it out until hidden fields are shown.
    CTaskTable().SetTaskScriptValue(5, "#字段宽度", "80,0", true);
    RecordViewResult result;
    RecordViewRequest request;
    request.recordIds = std::vector<long long>{1, 2, 4};
    std::string html = Write(request, result);
    EXPECT_NE(html.find("名称："), std::string::npos);
    EXPECT_EQ(html.find("价格："), std::string::npos);
    request.showHidden = true;
    EXPECT_NE(Write(request, result).find("价格："), std::string::npos);

    // A file of the download folder links; names leading out of it (by "..", by a symbolic
    // link) or to nothing do not.
    const std::string folder = home() + "/download/5";
    ASSERT_TRUE(MakeDirectories(folder + "/files"));
    ASSERT_TRUE(WriteWholeFile(folder + GbToUtf8("/files/说明 1.txt"), "x"));
    ASSERT_TRUE(WriteWholeFile(home() + "/secret.txt", "x"));
    std::filesystem::create_symlink(home() + "/secret.txt", folder + "/out.txt");
    ASSERT_TRUE(db.ExecuteSql("update Goods set 名称='files/说明 1.txt' where ID_=1"));
    ASSERT_TRUE(db.ExecuteSql("update Goods set 名称='out.txt' where ID_=2"));
    ASSERT_TRUE(db.ExecuteSql("update Goods set 名称='../../secret.txt' where ID_=4"));
    html = Write(request, result);
    const std::string link =
        "<a target=_blank href=\"files/%E8%AF%B4%E6%98%8E%201.txt\">files/说明 1.txt</a>";
    EXPECT_NE(html.find(link), std::string::npos) << GbToUtf8(html);
    EXPECT_EQ(html.find("<a "), html.rfind("<a "));
}

}  // namespace
