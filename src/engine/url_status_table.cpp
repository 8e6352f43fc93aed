#include "engine/url_status_table.h"

#include "text/strings.h"

namespace sorvik {

std::string LinkStatusText(int code) {
    switch (code) {
        case 200:
            return "ok";
        case 301:
            return "redirected to a new URL";
        case 302:
            return "resides under a different URL";
        case 400:
            return "Unintelligble request";
        case 401:
            return "auth required";
        case 402:
            return "payment required";
        case 403:
            return "forbidden";
        case 404:
            return "not found";
        case 405:
            return "requested method not supported";
        case 500:
            return "Unknown server error";
        case 501:
            return "Not implemented on Server";
        case 502:
            return "Server temporarily overloaded,busy";
        case 503:
            return "Server capacity reached, busy";
        case 12002:
            return "Connection timed out";
        case 12005:
            return "URL is invalid";
        case 12007:
        case 12029:
            return "Could not resolve host name. Check it, and try again";
        case 12012:
            return "Win32 internet functions have been shut down";
        case 12030:
            return "Connection was aborted prematurely";
        default:
            return "no connection";
    }
}

std::optional<LinkCheckResult> UrlStatusTable::Find(std::string_view url) const {
    std::scoped_lock lock(mutex_);
    for (const LinkCheckResult& entry : entries_)
        if (EqualsNoCase(entry.url, url))
            return entry;
    return std::nullopt;
}

bool UrlStatusTable::Add(const LinkCheckResult& result) {
    std::scoped_lock lock(mutex_);
    for (const LinkCheckResult& entry : entries_)
        if (entry.url == result.url)
            return false;
    entries_.push_back(result);
    return true;
}

void UrlStatusTable::Clear() {
    std::scoped_lock lock(mutex_);
    entries_.clear();
}

UrlStatusTable& TheUrlStatusTable() {
    static UrlStatusTable table;
    return table;
}

}  // namespace sorvik
