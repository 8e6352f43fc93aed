// The two in-process limits of the harvest benchmark, measured on the pages of the benchmark
// site held in memory:
//
//   bench_limits extract TASK FOLDER N        the task's record pattern ("1="), its field
//                                             patterns and its next-page rule with Boost.Regex
//   bench_limits store TASK FOLDER N DBFILE   the same records stored in SQLite as text-composed
//                                             INSERT statements, in transactions of 500
//
// TASK is the harvest's task script (UTF-8 or GB18030 file). Each mode prints one line
// "pages=P records=R seconds=S". Extraction repeats its passes over the pages until two seconds
// have passed, so that a small site still gives a stable figure.

#include <iconv.h>
#include <sqlite3.h>

#include <boost/regex.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kTransactionRecords = 500;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Converts between encodings with iconv; returns the input unchanged when it does not convert.
std::string Convert(const std::string& text, const char* from, const char* to) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return text;
    std::string out(text.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1))
        return text;
    out.resize(out.size() - outLeft);
    return out;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> items;
    std::string item;
    std::istringstream in(text);
    while (std::getline(in, item, separator)) {
        while (!item.empty() && (item.back() == '\r' || item.back() == ' '))
            item.pop_back();
        while (!item.empty() && item.front() == ' ')
            item.erase(0, 1);
        items.push_back(item);
    }
    return items;
}

// The parts of the task script that the harvest runs per page (GB18030 text).
struct Field {
    std::string name;
    char marker = 0;  // '~', '$', '@' or 0
    std::string pattern;
    boost::regex regex;
    size_t beginLength = 0;  // bytes cut from a match's start and end (the pattern's boundaries)
    size_t endLength = 0;
};

struct Task {
    std::string table;
    std::vector<std::string> columns;
    boost::regex level;
    boost::regex nextRegion;
    std::vector<Field> fields;
};

std::string Value(const std::vector<std::string>& lines, const std::string& key) {
    for (const std::string& line : lines) {
        if (line.compare(0, key.size(), key) == 0)
            return line.substr(key.size());
    }
    return {};
}

size_t LiteralLength(const std::string& text) {
    size_t length = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size())
            ++i;
        ++length;
    }
    return length;
}

bool LoadTask(const std::string& path, Task& task) {
    std::string script = ReadFile(path);
    const std::string gb = Convert(script, "UTF-8", "GB18030");
    const std::vector<std::string> lines = Split(gb, '\n');
    task.table = Value(lines, "#表名=");
    std::string columns = Value(lines, "#字段别名列表=");
    if (columns.empty())
        columns = Value(lines, "#字段名列表=");
    task.columns = Split(columns, ',');
    task.level = boost::regex(Value(lines, "1="), boost::regex::perl);
    task.nextRegion = boost::regex(Value(lines, "#下一页网址="), boost::regex::perl);
    for (const std::string& name : Split(Value(lines, "#字段名列表="), ',')) {
        Field field;
        field.name = name;
        field.pattern = Value(lines, name + "_1=");
        if (!field.pattern.empty() &&
            (field.pattern[0] == '~' || field.pattern[0] == '$' || field.pattern[0] == '@')) {
            field.marker = field.pattern[0];
            field.pattern.erase(0, 1);
        }
        const size_t lazy = field.pattern.find("(.*?)");
        if (lazy != std::string::npos) {
            field.beginLength = LiteralLength(field.pattern.substr(0, lazy));
            field.endLength = LiteralLength(field.pattern.substr(lazy + 5));
        }
        field.regex = boost::regex(field.pattern, boost::regex::perl);
        task.fields.push_back(std::move(field));
    }
    return !task.table.empty() && !task.fields.empty() && task.columns.size() == task.fields.size();
}

// Cuts one page into records (each a list of field values) and finds its next-page link.
template <typename OnRecord>
std::string ExtractPage(const Task& task, const std::string& page, const std::string& pageUrl,
                        OnRecord onRecord) {
    std::vector<std::string> values(task.fields.size());
    boost::cregex_iterator it(page.data(), page.data() + page.size(), task.level);
    for (const boost::cregex_iterator last; it != last; ++it) {
        const char* recordBegin = (*it)[0].first;
        const char* recordEnd = (*it)[0].second;
        for (size_t f = 0; f < task.fields.size(); ++f) {
            const Field& field = task.fields[f];
            boost::cmatch match;
            std::string& value = values[f];
            value.clear();
            if (!boost::regex_search(recordBegin, recordEnd, match, field.regex))
                continue;
            value.assign(match[0].first, match[0].second);
            if (field.marker != '$' && value.size() >= field.beginLength + field.endLength)
                value = value.substr(field.beginLength, value.size() - field.beginLength - field.endLength);
            if (field.marker == '@' && value.find("://") == std::string::npos)
                value = pageUrl.substr(0, pageUrl.rfind('/') + 1) + value;
        }
        onRecord(values);
    }
    boost::cmatch region;
    if (!boost::regex_search(page.data(), page.data() + page.size(), region, task.nextRegion))
        return {};
    static const boost::regex href("href=\"(.*?)\"", boost::regex::perl);
    boost::cmatch link;
    if (!boost::regex_search(region[0].first, region[0].second, link, href))
        return {};
    return std::string(link[1].first, link[1].second);
}

std::vector<std::string> LoadPages(const std::string& folder, int pages) {
    std::vector<std::string> texts;
    for (int i = 1; i <= pages; ++i)
        texts.push_back(ReadFile(folder + "/list_" + std::to_string(i) + ".htm"));
    return texts;
}

std::string PageUrl(int index) {
    return "http://127.0.0.1/list_" + std::to_string(index + 1) + ".htm";
}

int Extract(const Task& task, const std::vector<std::string>& pages) {
    long long passPages = 0, records = 0, bytes = 0;
    const auto start = Clock::now();
    double seconds = 0;
    do {
        for (size_t i = 0; i < pages.size(); ++i) {
            const std::string next = ExtractPage(task, pages[i], PageUrl(static_cast<int>(i)),
                                                 [&](const std::vector<std::string>& values) {
                                                     ++records;
                                                     for (const std::string& v : values)
                                                         bytes += static_cast<long long>(v.size());
                                                 });
            bytes += static_cast<long long>(next.size());
            ++passPages;
        }
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
    } while (seconds < 2.0);
    std::printf("pages=%lld records=%lld seconds=%.6f bytes=%lld\n", passPages, records, seconds, bytes);
    return 0;
}

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    return quoted + "'";
}

int Store(const Task& task, const std::vector<std::string>& pages, const std::string& dbFile) {
    // The records as the database receives them: UTF-8 values, composed into statements while
    // the clock runs.
    std::vector<std::vector<std::string>> records;
    for (size_t i = 0; i < pages.size(); ++i) {
        ExtractPage(task, pages[i], PageUrl(static_cast<int>(i)),
                    [&](const std::vector<std::string>& values) {
                        std::vector<std::string> utf8;
                        for (const std::string& v : values)
                            utf8.push_back(Convert(v, "GB18030", "UTF-8"));
                        records.push_back(std::move(utf8));
                    });
    }
    const std::string table = Convert(task.table, "GB18030", "UTF-8");
    std::string columns;
    std::string create = "CREATE TABLE " + table + " (ID_ INTEGER PRIMARY KEY AUTOINCREMENT, iNode_ int";
    for (const std::string& column : task.columns) {
        const std::string name = Convert(column, "GB18030", "UTF-8");
        columns += "," + name;
        create += ", " + name + " TEXT";
    }
    create += ")";
    const std::string head = "insert into " + table + " (iNode_" + columns + ") values (1";

    std::remove(dbFile.c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open(dbFile.c_str(), &db) != SQLITE_OK) {
        std::fprintf(stderr, "cannot open %s\n", dbFile.c_str());
        return 1;
    }
    // The pragmas of the system's own connection.
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    char* error = nullptr;
    if (sqlite3_exec(db, create.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", error ? error : "create failed");
        sqlite3_free(error);
        sqlite3_close(db);
        return 1;
    }
    const auto start = Clock::now();
    for (size_t first = 0; first < records.size(); first += kTransactionRecords) {
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        const size_t end = std::min(records.size(), first + kTransactionRecords);
        for (size_t r = first; r < end; ++r) {
            std::string sql = head;
            for (const std::string& v : records[r])
                sql += "," + Quoted(v);
            sql += ")";
            if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
                std::fprintf(stderr, "%s\n", error ? error : "insert failed");
                sqlite3_free(error);
                sqlite3_close(db);
                return 1;
            }
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    sqlite3_close(db);
    std::printf("pages=%zu records=%zu seconds=%.6f\n", pages.size(), records.size(), seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (!((mode == "extract" && argc == 5) || (mode == "store" && argc == 6))) {
        std::fprintf(stderr, "usage: %s extract TASK FOLDER N | store TASK FOLDER N DBFILE\n", argv[0]);
        return 2;
    }
    Task task;
    try {
        if (!LoadTask(argv[2], task)) {
            std::fprintf(stderr, "the task script lacks a table, fields or field patterns\n");
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bad pattern in the task script: %s\n", e.what());
        return 1;
    }
    const int count = std::atoi(argv[4]);
    if (count < 1) {
        std::fprintf(stderr, "N must be a positive number\n");
        return 2;
    }
    const std::vector<std::string> pages = LoadPages(argv[3], count);
    return mode == "extract" ? Extract(task, pages) : Store(task, pages, argv[5]);
}
