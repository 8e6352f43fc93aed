#include "engine/robots_rules.h"

#include "text/strings.h"

namespace sorvik {
namespace {

// Does pattern (with "*" and a final "$") match the start of text?
bool MatchesPrefix(std::string_view pattern, std::string_view text) {
    if (pattern.empty())
        return true;
    if (pattern == "$")
        return text.empty();
    if (pattern.front() == '*') {
        for (size_t skip = 0; skip <= text.size(); ++skip) {
            if (MatchesPrefix(pattern.substr(1), text.substr(skip)))
                return true;
        }
        return false;
    }
    return !text.empty() && pattern.front() == text.front() &&
           MatchesPrefix(pattern.substr(1), text.substr(1));
}

}  // namespace

RobotsRules RobotsRules::Parse(std::string_view text, std::string_view userAgent) {
    const std::string agent = ToLowerAscii(userAgent);
    // Each group: its agent names and its rules. Consecutive User-agent lines open one group.
    struct Group {
        std::vector<std::string> agents;
        std::vector<Rule> rules;
    };
    std::vector<Group> groups;
    bool lastWasAgent = false;
    for (std::string_view line : SplitAll(text, "\n")) {
        line = line.substr(0, line.find('#'));
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string name = ToLowerAscii(Trim(line.substr(0, colon)));
        const std::string value = Trim(line.substr(colon + 1));
        if (name == "user-agent") {
            if (!lastWasAgent || groups.empty())
                groups.emplace_back();
            groups.back().agents.push_back(ToLowerAscii(value));
            lastWasAgent = true;
            continue;
        }
        lastWasAgent = false;
        if (groups.empty() || (name != "allow" && name != "disallow"))
            continue;
        // An empty Disallow allows everything: it is the same as no rule.
        if (value.empty())
            continue;
        groups.back().rules.push_back(Rule{value, name == "allow"});
    }
    const Group* chosen = nullptr;
    size_t chosenLength = 0;
    const Group* any = nullptr;
    for (const Group& group : groups) {
        for (const std::string& name : group.agents) {
            if (name == "*") {
                if (!any)
                    any = &group;
            } else if (!name.empty() && agent.find(name) != std::string::npos && name.size() > chosenLength) {
                chosen = &group;
                chosenLength = name.size();
            }
        }
    }
    RobotsRules rules;
    if (!chosen)
        chosen = any;
    if (chosen)
        rules.rules_ = chosen->rules;
    return rules;
}

bool RobotsRules::Allows(std::string_view object) const {
    size_t best = 0;
    bool allowed = true;
    for (const Rule& rule : rules_) {
        if (!MatchesPrefix(rule.path, object))
            continue;
        if (rule.path.size() > best || (rule.path.size() == best && rule.allow)) {
            best = rule.path.size();
            allowed = rule.allow;
        }
    }
    return allowed;
}

}  // namespace sorvik
