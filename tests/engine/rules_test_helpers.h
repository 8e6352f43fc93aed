#pragma once
// Helpers of the field-rule, operation and variable tests: scripts from lines, and pages served
// to a context from a map (the rule logic); the fetcher itself is tested on a real server.

#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/page_extractor.h"

namespace sorvik::test {

// A script made of lines, each ended by CR LF.
inline std::string Script(std::initializer_list<std::string_view> lines) {
    std::string script;
    for (auto line : lines) {
        script += line;
        script += "\r\n";
    }
    return script;
}

// Serves pages by URL to a context; a URL without a page fails. Records every request.
class MapFetcher {
  public:
    std::map<std::string, std::string> pages;
    std::vector<std::pair<std::string, bool>> requests;  // URL, fromUtf8

    void Wire(CPageExtractor& context) {
        context.fetchPage = [this](const std::string& url, bool fromUtf8, std::string& page) {
            requests.emplace_back(url, fromUtf8);
            auto found = pages.find(url);
            if (found == pages.end())
                return false;
            page = found->second;
            return true;
        };
    }
};

}  // namespace sorvik::test
