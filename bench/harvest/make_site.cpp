// Writes the benchmark site: list_1.htm .. list_N.htm in GB18030, 20 records a page, each page
// 20 to 40 KB (style sheet, navigation, records with a long description, footer), every page but
// the last linking to the next one with "下一页".
//
// usage: bench_make_site FOLDER N

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

constexpr int kRecordsPerPage = 20;

// A small deterministic generator, so that every run of the benchmark sees the same site.
class Lcg {
  public:
    explicit Lcg(unsigned seed) : state_(seed * 2654435761u + 1u) {}
    unsigned Next(unsigned bound) {
        state_ = state_ * 1664525u + 1013904223u;
        return (state_ >> 8) % bound;
    }

  private:
    unsigned state_;
};

const char* const kWords[] = {"新鲜", "水果", "产地", "直供", "优质", "果园", "采摘", "当季", "香甜", "多汁",
                              "冷链", "配送", "包邮", "礼盒", "精选", "有机", "绿色", "特级", "进口", "国产"};
const char* const kNames[] = {"苹果", "香蕉", "橙子",   "葡萄",   "西瓜", "草莓", "芒果",
                              "菠萝", "樱桃", "荔枝",   "桃子",   "梨子", "石榴", "椰子",
                              "柚子", "柠檬", "火龙果", "猕猴桃", "蓝莓", "山竹"};

std::string Words(Lcg& rng, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += kWords[rng.Next(20)];
        if (rng.Next(7) == 0)
            text += "，";
    }
    return text;
}

std::string Head(int page) {
    std::string head =
        "<!DOCTYPE html>\n<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=gb2312\">\n"
        "<title>水果行情 第" +
        std::to_string(page) + "页</title>\n<style type=\"text/css\">\n";
    // A style sheet of the usual size of a shop page.
    for (int i = 0; i < 40; ++i) {
        head += ".c" + std::to_string(i) +
                " { margin: 0 4px 2px 0; padding: 2px 6px; font: 12px/1.6 \"Microsoft YaHei\", sans-serif; "
                "color: #333; border-bottom: 1px solid #e5e5e5; }\n";
    }
    head += "</style>\n</head><body>\n<div class=\"top\"><ul class=\"nav\">\n";
    for (int i = 0; i < 12; ++i)
        head +=
            "<li><a href=\"/channel_" + std::to_string(i) + ".htm\">频道" + std::to_string(i) + "</a></li>\n";
    head += "</ul></div>\n<div class=\"main\"><ul class=\"list\">\n";
    return head;
}

std::string Record(Lcg& rng, int page, int index) {
    const int id = (page - 1) * kRecordsPerPage + index + 1;
    std::string record = "<li class=\"item\">\n<h3 class=\"title\">";
    record += kNames[rng.Next(20)];
    record += " 第" + std::to_string(id) + "号</h3>\n";
    record += "<a class=\"more\" href=\"detail_" + std::to_string(id) + ".htm\">详情</a>\n";
    char date[32];
    std::snprintf(date, sizeof date, "2024-%02u-%02u", 1 + rng.Next(12), 1 + rng.Next(28));
    record += "<span class=\"date\">" + std::string(date) + "</span> ";
    char price[32];
    std::snprintf(price, sizeof price, "%u.%02u", 1 + rng.Next(500), rng.Next(100));
    record += "<span class=\"price\">" + std::string(price) + "</span>\n";
    record += "<p class=\"desc\">" + Words(rng, 120 + static_cast<int>(rng.Next(320))) + "</p>\n</li>\n";
    return record;
}

std::string Foot(int page, int pages) {
    std::string foot = "</ul></div>\n<div class=\"pager\">";
    if (page > 1)
        foot += "<a href=\"list_" + std::to_string(page - 1) + ".htm\">上一页</a> ";
    if (page < pages)
        foot += "<a href=\"list_" + std::to_string(page + 1) + ".htm\">下一页</a>";
    foot +=
        "</div>\n<div class=\"foot\"><p>版权所有 水果行情网 联系我们 关于我们 广告服务 网站地图</p></div>\n"
        "<script type=\"text/javascript\">var _stat = _stat || []; _stat.push(['page', " +
        std::to_string(page) + "]);</script>\n</body></html>\n";
    return foot;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FOLDER N\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const int pages = std::atoi(argv[2]);
    if (pages < 1) {
        std::fprintf(stderr, "N must be a positive number\n");
        return 2;
    }
    size_t total = 0;
    for (int page = 1; page <= pages; ++page) {
        Lcg rng(static_cast<unsigned>(page));
        std::string text = Head(page);
        for (int i = 0; i < kRecordsPerPage; ++i)
            text += Record(rng, page, i);
        text += Foot(page, pages);
        const std::string path = folder + "/list_" + std::to_string(page) + ".htm";
        std::ofstream out(path, std::ios::binary);
        out << text;
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        total += text.size();
    }
    std::printf("%d pages, %zu bytes, %.1f KB a page\n", pages, total, total / 1024.0 / pages);
    return 0;
}
