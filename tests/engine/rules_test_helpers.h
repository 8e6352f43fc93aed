#pragma once
// Helpers of the engine tests: scripts from lines, pages served to a context from a map (the rule
// logic; the fetcher itself is tested on a real server), and a window that records run messages.

#include <chrono>
#include <initializer_list>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/page_extractor.h"
#include "engine/page_fetcher.h"
#include "engine/run_messages.h"

namespace sorvik::test {

// Short fetch limits for one test, restored at its end. Curl averages the speed over a few
// seconds, so a stall right after some bytes would take long to notice at 1 byte/s; 100 bytes/s
// for 2 s ends it quickly.
class QuickFetchSettings {
  public:
    explicit QuickFetchSettings(std::chrono::milliseconds retryWait) : saved_(CurrentFetchSettings()) {
        FetchSettings settings = saved_;
        settings.lowSpeedBytes = 100;
        settings.lowSpeedSeconds = 2;
        settings.retryWait = retryWait;
        SetFetchSettings(settings);
    }
    ~QuickFetchSettings() { SetFetchSettings(saved_); }
    QuickFetchSettings(const QuickFetchSettings&) = delete;
    QuickFetchSettings& operator=(const QuickFetchSettings&) = delete;

  private:
    FetchSettings saved_;
};

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

// Records what a run sends to its window (runs may send from their own thread).
class RecordingSink : public RunMessageSink {
  public:
    void Send(RunMessage message) override {
        std::scoped_lock lock(mutex_);
        messages_.push_back(std::move(message));
    }
    std::vector<std::string> Texts(RunMessageType type) const {
        std::scoped_lock lock(mutex_);
        std::vector<std::string> texts;
        for (const RunMessage& m : messages_)
            if (m.type == type)
                texts.push_back(m.text);
        return texts;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<RunMessage> messages_;  // guarded by mutex_
};

}  // namespace sorvik::test
