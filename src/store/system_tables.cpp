#include "store/system_tables.h"

#include <vector>

#include "store/database.h"
#include "text/strings.h"

namespace sorvik {

namespace {

struct TableSchema {
    const char* name;
    const char* createSql;  // SQLite dialect: these tables are the store's own
};

// Yes/no columns are integers 0/1, dates are "%Y-%m-%d %H:%M:%S" texts, memo columns TEXT.
const TableSchema kTables[] = {
    {"Task",
     "CREATE TABLE Task (ID INTEGER PRIMARY KEY, cTask TEXT, iStatus INTEGER DEFAULT 0, cWeb TEXT, cMemo "
     "TEXT, "
     "iType INTEGER DEFAULT 3, cSearchScript TEXT, cSetInfo TEXT, dStartTime DATETIME, dEndTime DATETIME, "
     "iUseTime DATETIME, iRecordCount INTEGER DEFAULT 0, iRecordSize INTEGER DEFAULT 0, "
     "iConnCount INTEGER DEFAULT 0, iWebBytes INTEGER DEFAULT 0, iSearchKeyIndexPre INTEGER DEFAULT 0, "
     "iSearchKeyIndex INTEGER DEFAULT 0, iStartPage INTEGER DEFAULT 0, cNextSite TEXT, cGerm TEXT, "
     "iMod INTEGER DEFAULT 0, iMemo INTEGER DEFAULT 0, iRangeValue INTEGER DEFAULT 0, iPageRecord INTEGER "
     "DEFAULT 0)"},
    {"Task_ID", "CREATE TABLE Task_ID (ID INTEGER PRIMARY KEY AUTOINCREMENT, i INTEGER)"},
    {"TreeItems_ID", "CREATE TABLE TreeItems_ID (ID INTEGER PRIMARY KEY AUTOINCREMENT, i INTEGER)"},
    {"TreeItems",
     "CREATE TABLE TreeItems (ID INTEGER PRIMARY KEY, Name TEXT, ParentItemID INTEGER DEFAULT 0, "
     "iOrder INTEGER DEFAULT 0, iImage INTEGER DEFAULT 2, bExpand INTEGER DEFAULT 0, iType INTEGER DEFAULT "
     "0, "
     "iTask INTEGER DEFAULT 0, cGerm TEXT, iVer INTEGER DEFAULT 0)"},
    {"PlanTask", "CREATE TABLE PlanTask (iTaskID INTEGER, dPlanDateTime TEXT)"},
    {"ShowModule",
     "CREATE TABLE ShowModule (ID INTEGER PRIMARY KEY AUTOINCREMENT, cTitle TEXT, cHtml TEXT, iType1 "
     "INTEGER, "
     "iType2 INTEGER, cMemo1 TEXT, cMemo2 TEXT, cMemo3 TEXT)"},
    {"TaskMod",
     "CREATE TABLE TaskMod (ID INTEGER PRIMARY KEY AUTOINCREMENT, cTask TEXT, cWeb TEXT, cSearchScript TEXT, "
     "cSource TEXT, iMod INTEGER DEFAULT 0)"},
    {"Set", "CREATE TABLE [Set] (cKey TEXT, cValue TEXT)"},
    {"sc_tm_SearchKey", "CREATE TABLE sc_tm_SearchKey (cSearchKey TEXT, iTask INTEGER)"},
    {"sc_ReceiveBox",
     "CREATE TABLE sc_ReceiveBox (ID_ INTEGER CONSTRAINT PK_sc_ReceiveBox PRIMARY KEY AUTOINCREMENT, "
     "iNode_ INTEGER, cSendUser TEXT, cTitle TEXT, cSendMail TEXT, bFile INTEGER DEFAULT 0, "
     "bbRead INTEGER DEFAULT 0, Send INTEGER DEFAULT 0, cReceiveMail TEXT, dDate DATETIME, cContent TEXT, "
     "cMemo TEXT, iType INTEGER DEFAULT 0, bHtml INTEGER DEFAULT 0, cFiles TEXT)"},
};

// The category tree a new installation starts with.
struct DefaultNode {
    int id;
    const char* name;
    int parent;
    int order;
    int image;
    int expand;
    int kind;
};

const DefaultNode kDefaultNodes[] = {
    {kNodeTaskManager, "任务管理", 0, 1, 0, 1, 1},
    {kNodeActiveTasks, "正在执行", kNodeTaskManager, 1, 0, 0, 3},
    {kNodeFinishedTasks, "已完成", kNodeTaskManager, 2, 1, 0, 4},
    {kNodeDeletedTasks, "已删除", kNodeTaskManager, 3, 4, 0, 5},
    {kNodeScriptEditor, "新建任务", 0, 2, 5, 0, 6},
    {kNodeResults, "搜索结果", 0, 3, 2, 1, 2},
    {kNodeDefaultResults, "默认类别", kNodeResults, 1, 2, 0, 0},
};

// Built-in script templates. Their URLs are examples that the user replaces.
struct DefaultTemplate {
    const char* name;
    const char* script;
};

const DefaultTemplate kScriptTemplates[] = {
    {"列表页和下一页(&L)",
     "//Sorvik脚本\r\n"
     "#脚本名称=列表页和下一页(&L)\r\n"
     "#任务名称=列表页采集\r\n"
     "#类别号=43\r\n"
     "#表名=T_列表采集\r\n"
     "#字段名列表=标题,链接,日期\r\n"
     "#字段别名列表=标题,链接,日期\r\n"
     "#字段类型=文本(200),超链接,文本(50)\r\n"
     "#唯一字段=链接\r\n"
     "#要搜索网址=http://www.example.com/list_1.htm\r\n"
     "//下一页链接所在的区域，链接取其中的href\r\n"
     "#下一页网址=<a href=\"[^\"]*\">下一页</a>\r\n"
     "//每条记录\r\n"
     "1=<li class=\"item\">(.*?)</li>\r\n"
     "//标题：截取整个链接，再转成文本\r\n"
     "标题_1=<a [^>]*>.*?</a>\r\n"
     "标题_1_获取=文本\r\n"
     "链接_1=@href=\"(.*?)\"\r\n"
     "日期_1=~<span class=\"date\">(.*?)</span>\r\n"},
    {"关键字搜索(&K)",
     "//Sorvik脚本\r\n"
     "#脚本名称=关键字搜索(&K)\r\n"
     "#任务名称=关键字搜索\r\n"
     "#类别号=43\r\n"
     "#表名=T_关键字搜索\r\n"
     "#字段名列表=关键字,标题,链接\r\n"
     "#字段别名列表=关键字,标题,链接\r\n"
     "#字段类型=文本(100),文本(200),超链接\r\n"
     "#搜索关键字标题=关键字\r\n"
     "#需要搜索关键字网址=http://www.example.com/search?q=<搜索关键字>\r\n"
     "<搜索关键字>=Sorvik\r\n"
     "#下一页网址=<a href=\"[^\"]*\">下一页</a>\r\n"
     "1=<div class=\"result\">(.*?)</div>\r\n"
     "关键字_1=<变量_关键字>\r\n"
     "<变量_关键字>=<搜索关键字>\r\n"
     "//标题：截取整个链接，再转成文本\r\n"
     "标题_1=<a [^>]*>.*?</a>\r\n"
     "标题_1_获取=文本\r\n"
     "链接_1=@href=\"(.*?)\"\r\n"},
    {"列表页和明细页(&D)",
     "//Sorvik脚本\r\n"
     "#脚本名称=列表页和明细页(&D)\r\n"
     "#任务名称=列表和明细采集\r\n"
     "#类别号=43\r\n"
     "#表名=T_明细采集\r\n"
     "#字段名列表=标题,链接,正文\r\n"
     "#字段别名列表=标题,链接,正文\r\n"
     "#字段类型=文本(200),超链接,备注\r\n"
     "#要搜索网址=http://www.example.com/list_1.htm\r\n"
     "#下一页网址=<a href=\"[^\"]*\">下一页</a>\r\n"
     "1=<li class=\"item\">(.*?)</li>\r\n"
     "//标题：截取整个链接，再转成文本\r\n"
     "标题_1=<a [^>]*>.*?</a>\r\n"
     "标题_1_获取=文本\r\n"
     "链接_1=@href=\"(.*?)\"\r\n"
     "//正文来自链接指向的明细页\r\n"
     "正文_1=@href=\"(.*?)\"\r\n"
     "正文_1_link=~<div class=\"content\">(.*?)</div>\r\n"
     "正文_1_获取=文本\r\n"},
};

struct DefaultShowModule {
    const char* title;
    const char* html;
    int type1;
    int type2;
    const char* memo1;
};

const DefaultShowModule kShowModules[] = {
    {"记录明细",
     "<%#记录循环开始%><table width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"3\" "
     "#奇数行='style=\"background:#FFFFFF\"' #偶数行='style=\"background:#F4F4F4\"'>"
     "<tr><td colspan=\"2\"><b>第<%#行号%>条</b></td></tr>"
     "<%#字段循环开始%><tr><td "
     "width=\"20%\"><%#循环字段名%></td><td><%#循环字段值%></td></tr><%#字段循环结束%>"
     "</table><br><%#记录循环结束%>",
     kTemplateDetailView, 0, ""},
    {"浏览记录",
     "<table width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"2\">"
     "<tr style=\"background:#DDE6F4\"><th width=\"<%#行号宽度%>%\">行号</th>"
     "<%#字段循环开始%><th width=\"<%#循环字段宽度%>%\"><%#循环字段名%></th><%#字段循环结束%></tr>"
     "<%#记录循环开始%>"
     "<tr #奇数行='style=\"background:#FFFFFF\"' #偶数行='style=\"background:#EEF4FF\"'>"
     "<td width=\"<%#行号宽度%>%\"><%#行号%></td>"
     "<%#字段循环开始%><td width=\"<%#循环字段宽度%>%\"><%#循环字段值%></td><%#字段循环结束%>"
     "</tr><%#记录循环结束%></table>",
     kTemplateBrowseView, 0, ""},
    {"简洁模版",
     "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\"></head>"
     "<body><%@@邮件内容%><br><br><%@@发送者%></body></html>",
     kTemplateMail, 0, ""},
    {"信笺模版",
     "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\"></head>"
     "<body style=\"background:#FFFFF0\"><table width=\"600\" align=\"center\" cellpadding=\"12\" "
     "style=\"border:1px solid #C0C0A0\"><tr><td><%@@邮件内容%></td></tr>"
     "<tr><td align=\"right\"><%@@发送者%></td></tr></table></body></html>",
     kTemplateMail, 0, ""},
};

bool TableExists(Database& db, const char* name, bool& exists, std::string& error) {
    Recordset rows;
    if (!db.ExecuteNative(
            Format("select name from sqlite_master where type='table' and lower(name)=lower('%s')", name),
            error, &rows)) {
        return false;
    }
    exists = !rows.IsEof();
    return true;
}

bool InsertDefaultRows(Database& db, const std::string& table, std::string& error) {
    std::vector<std::string> statements;
    if (table == "TreeItems") {
        for (const DefaultNode& node : kDefaultNodes) {
            statements.push_back(
                Format("insert into TreeItems(ID,Name,ParentItemID,iOrder,iImage,bExpand,iType,iTask,iVer) "
                       "values(%d,'%s',%d,%d,%d,%d,%d,0,0)",
                       node.id, SqlQuote(node.name).c_str(), node.parent, node.order, node.image, node.expand,
                       node.kind));
        }
    } else if (table == "TreeItems_ID") {
        // New categories are numbered above the default tree.
        statements.push_back("insert into TreeItems_ID(ID,i) values(100,0)");
        statements.push_back("delete from TreeItems_ID");
    } else if (table == "Task") {
        // The script editor's test task; status 6 keeps it out of every task list.
        statements.push_back(
            "insert into Task(ID,cTask,iStatus,cWeb,cMemo,iType,cSearchScript,iMod) "
            "values(0,'(测试任务)',6,'','',3,'',0)");
    } else if (table == "TaskMod") {
        for (const DefaultTemplate& t : kScriptTemplates) {
            statements.push_back(
                Format("insert into TaskMod(cTask,cWeb,cSearchScript,cSource,iMod) values('%s','','%s','',1)",
                       SqlQuote(t.name).c_str(), SqlQuote(t.script).c_str()));
        }
    } else if (table == "ShowModule") {
        for (const DefaultShowModule& m : kShowModules) {
            statements.push_back(
                Format("insert into ShowModule(cTitle,cHtml,iType1,iType2,cMemo1,cMemo2,cMemo3) "
                       "values('%s','%s',%d,%d,'%s','','')",
                       SqlQuote(m.title).c_str(), SqlQuote(m.html).c_str(), m.type1, m.type2,
                       SqlQuote(m.memo1).c_str()));
        }
    }
    for (const std::string& sql : statements) {
        if (!db.ExecuteNative(sql, error))
            return false;
    }
    return true;
}

// Columns later versions added to a table, for databases made before them.
struct AddedColumn {
    const char* table;
    const char* column;
    const char* definition;
};
const AddedColumn kAddedColumns[] = {
    {"Task", "iRangeValue", "iRangeValue INTEGER DEFAULT 0"},
    {"Task", "iPageRecord", "iPageRecord INTEGER DEFAULT 0"},
};

bool AddMissingColumns(Database& db, const char* table, std::string& error) {
    for (const AddedColumn& added : kAddedColumns) {
        if (std::string_view(added.table) != table)
            continue;
        Recordset rows;
        if (!db.ExecuteNative(
                Format("select count(*) from pragma_table_info('%s') where name='%s'", table, added.column),
                error, &rows)) {
            return false;
        }
        if (rows.Text(size_t{0}) == "0" &&
            !db.ExecuteNative(Format("ALTER TABLE %s ADD COLUMN %s", table, added.definition), error)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool EnsureSystemTables(std::string& error) {
    Database& db = TheDatabase();
    std::scoped_lock lock(g_csDatabase);
    if (!db.Begin(error))
        return false;
    for (const TableSchema& table : kTables) {
        bool exists = false;
        if (!TableExists(db, table.name, exists, error))
            break;
        if (exists) {
            if (!AddMissingColumns(db, table.name, error))
                break;
            continue;
        }
        if (!db.ExecuteNative(table.createSql, error) || !InsertDefaultRows(db, table.name, error))
            break;
    }
    if (!error.empty()) {
        std::string ignored;
        db.Rollback(ignored);
        return false;
    }
    return db.Commit(error);
}

bool IsDefaultNode(long long id) {
    for (const DefaultNode& node : kDefaultNodes) {
        if (node.id == id)
            return true;
    }
    return false;
}

}  // namespace sorvik
