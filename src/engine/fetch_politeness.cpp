#include "engine/fetch_politeness.h"

#include <mutex>
#include <string>

#include "script/script_keys.h"
#include "script/script_text.h"
#include "store/database.h"
#include "store/db_access.h"
#include "text/strings.h"

namespace sorvik {
namespace {

// Reads one setting's text over its default: a number within [low, high], or the default.
void ReadNumber(const std::string& text, long long low, long long high, long long& value) {
    const std::string trimmed = Trim(text);
    if (trimmed.empty() || trimmed.find_first_not_of("0123456789") != std::string::npos ||
        trimmed.size() > 12)
        return;
    const long long number = ParseLeadingInt(trimmed);
    if (number >= low && number <= high)
        value = number;
}

// The settings of texts given by a lookup of the script keys (the [Set] names are the keys without
// "#" and "=").
template <typename Lookup>
RunFetchSettings SettingsOver(const RunFetchSettings& defaults, Lookup lookup) {
    RunFetchSettings settings = defaults;
    long long connections = settings.politeness.connections;
    ReadNumber(lookup(key::kConnections), 1, kMaxConnections, connections);
    settings.politeness.connections = static_cast<int>(connections);
    long long interval = settings.politeness.interval.count();
    ReadNumber(lookup(key::kRequestInterval), 0, 3600 * 1000, interval);
    settings.politeness.interval = std::chrono::milliseconds(interval);
    const std::string agent = Trim(lookup(key::kUserAgent));
    if (!agent.empty() && agent.find_first_of("\r\n") == std::string::npos)
        settings.politeness.userAgent = agent;
    long long pages = settings.maxPages;
    ReadNumber(lookup(key::kMaxPages), 0, 1000000000, pages);
    settings.maxPages = static_cast<int>(pages);
    const std::string robots = Trim(lookup(key::kObeyRobots));
    if (robots == "1" || robots == "0")
        settings.politeness.obeyRobots = robots == "1";
    return settings;
}

// The [Set] name of a script key.
std::string SetName(std::string_view scriptKey) {
    return std::string(scriptKey.substr(1, scriptKey.size() - 2));
}

}  // namespace

RunFetchSettings StoredFetchDefaults() {
    RunFetchSettings defaults;
    defaults.politeness.connections = kDefaultConnections;
    std::scoped_lock lock(g_csDatabase);
    CDbAccess db;
    return SettingsOver(defaults,
                        [&db](std::string_view scriptKey) { return db.GetSetValue(SetName(scriptKey)); });
}

RunFetchSettings RunFetchSettingsOf(std::string_view script, const RunFetchSettings& defaults) {
    return SettingsOver(defaults,
                        [script](std::string_view scriptKey) { return ScriptValue(scriptKey, script); });
}

RunFetchSettings ReadRunFetchSettings(std::string_view script) {
    return RunFetchSettingsOf(script, StoredFetchDefaults());
}

FetchDefaultTexts StoredFetchDefaultTexts() {
    const RunFetchSettings defaults = StoredFetchDefaults();
    FetchDefaultTexts texts;
    texts.connections = std::to_string(defaults.politeness.connections);
    texts.interval = std::to_string(defaults.politeness.interval.count());
    texts.userAgent =
        defaults.politeness.userAgent == kDefaultUserAgent ? std::string() : defaults.politeness.userAgent;
    return texts;
}

bool StoreFetchDefaults(const FetchDefaultTexts& texts, std::string& message) {
    long long connections = 0;
    ReadNumber(texts.connections, 1, kMaxConnections, connections);
    if (connections == 0) {
        message = "并发连接数应在1~32之间！";
        return false;
    }
    long long interval = -1;
    ReadNumber(texts.interval, 0, 3600 * 1000, interval);
    if (interval < 0) {
        message = "访问间隔应在0~3600000毫秒之间！";
        return false;
    }
    const std::string agent = Trim(texts.userAgent);
    if (agent.find_first_of("\r\n") != std::string::npos) {
        message = "用户代理不能换行！";
        return false;
    }
    CDbAccess db;
    if (!db.SetSetValue("并发连接数", std::to_string(connections)) ||
        !db.SetSetValue("访问间隔", std::to_string(interval)) || !db.SetSetValue("用户代理", agent)) {
        message = db.m_strError;
        return false;
    }
    return true;
}

}  // namespace sorvik
