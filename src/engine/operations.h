#pragma once
// The operations of the field rules: the lines "%s_处理1=", "%s_处理2=", ... of a field or
// variable, each an operation name and its arguments separated by ",".
//
// | operation                                   | effect                                          |
// |---------------------------------------------|-------------------------------------------------|
// | 替换字符串,mode,source[,target]              | modes 普通 (or empty), 转义, 只含, 全角数字转半角, |
// |                                             | 删除前后空格, 删除开头的, 返回ID, 正则            |
// | 取值,what[,source,which,pattern...]         | what, or with 正则 a match in the page source    |
// |                                             | (\源码), a variable (<变量_..>) or a level record |
// | 为空,...                                    | empty value: as 取值; otherwise the second       |
// |                                             | argument (unless the first is 正则), and the     |
// |                                             | list ends                                        |
// | 获取,mode                                   | a fetch mode                                      |
// | 查找,text,then,else / 比较,text,then,else   | containment / equality ("\当前页", "\\")         |
// | 转换网址 / 转换成链接                        | absolute URL / an HTML link                      |
// | 执行SQL,statement...                        | runs the rest of the line                         |
// | 取表数据,table,column[,唯一,sep,替换变量,where...] | the column's values joined                  |
// | 加入内存[,name]                              | adds the value to the memory list                |
// | 保存,table,separator                        | value paths into a category tree table           |
//
// Arguments a line does not give are empty texts; names not in the table do nothing. Database
// work ("执行SQL", "取表数据", "保存") holds g_csDatabase for each call and is not undone when the
// record is later dropped.

#include <string>
#include <string_view>

#include "engine/page_extractor.h"

namespace sorvik {

// Runs "%s_处理%d=" of name (n = 1, 2, ... up to the first empty line) on value. Keys are read from
// alternative instead of script when it is not empty. variableFlag: a variable is being evaluated,
// so "保存" does not run.
void ApplyOperations(CPageExtractor& context, std::string_view name, std::string& value,
                     std::string_view script, std::string_view alternative, bool variableFlag);

// One operation line. Returns false when the operation list must end ("为空" on a non-empty value).
bool ApplyOperation(CPageExtractor& context, std::string_view name, std::string& value, std::string_view line,
                    std::string_view script, std::string_view alternative, bool variableFlag);

}  // namespace sorvik
