// Pages from outside through the extraction engine: each input is a page, test-run with a script
// that uses two levels, narrowing rules, a splitting operation, variables and a next-page rule.

#include "fuzz/fuzz_driver.h"
#include "fuzz/fuzz_home.h"
#include "fuzz/fuzz_test_run.h"

namespace {

const std::string kScript =
    "#字段名列表_测试=分类,名称,价格,链接,全部\r\n"
    "1=<div class=\"g\">.*?</div>\r\n"
    "2=<li.*?</li>\r\n"
    "分类_1=~<h2>(.*?)</h2>\r\n"
    "名称=~<b>(.*?)</b>\r\n"
    "名称_1=$[^<]+\r\n"
    "价格=~<span>(.*?)</span>\r\n"
    "价格_处理1=替换,元,\r\n"
    "链接=~href=\"(.*?)\"\r\n"
    "全部=<变量名称>\r\n"
    "#下一页网址=<div class=\"pg\">.*?</div>\r\n";

}  // namespace

int main(int argc, char** argv) {
    sorvik::fuzz::FuzzHome home;
    return sorvik::fuzz::FuzzMain(argc, argv,
                                  [](std::string_view input) { sorvik::fuzz::TestRun(kScript, input); });
}
