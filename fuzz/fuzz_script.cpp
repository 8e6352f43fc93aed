// Task scripts (GB18030 text) from outside: each input is a script, test-run over a fixed page.

#include "fuzz/fuzz_driver.h"
#include "fuzz/fuzz_home.h"
#include "fuzz/fuzz_test_run.h"

namespace {

const std::string kPage =
    "<html><body><div class=\"g\"><h2>水果</h2><li class=\"i\"><b>苹果</b><span>3</span>"
    "<a href=\"d1.htm\">详情</a></li><li class=\"i\"><b>梨</b><span>4</span></li></div>"
    "<div class=\"g\"><h2>蔬菜</h2><li class=\"i\"><b>白菜</b><span>1</span></li></div>"
    "<div class=\"pg\"><a href=\"list_2.htm\">下一页</a></div></body></html>";

}  // namespace

int main(int argc, char** argv) {
    sorvik::fuzz::FuzzHome home;
    return sorvik::fuzz::FuzzMain(argc, argv,
                                  [](std::string_view input) { sorvik::fuzz::TestRun(input, kPage); });
}
