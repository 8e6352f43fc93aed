#pragma once
// The rules of a host's robots.txt for one User-Agent: which paths a polite harvest leaves alone.
//
// The group whose User-agent line is a case-insensitive part of the harvest's User-Agent (the
// longest such name) holds; without one, the "*" group; without that, everything is allowed.
// Within the group the longest matching Allow or Disallow path wins, Allow on a tie; "*" in a
// path matches any bytes and a final "$" anchors it at the end. An empty Disallow allows all.

#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

class RobotsRules {
  public:
    // Reads the text of robots.txt for userAgent. An empty text allows everything.
    static RobotsRules Parse(std::string_view text, std::string_view userAgent);

    // True when object (path and query, "/" at least) may be fetched.
    bool Allows(std::string_view object) const;

  private:
    struct Rule {
        std::string path;
        bool allow = false;
    };
    std::vector<Rule> rules_;
};

}  // namespace sorvik
