#pragma once
// A text shared between threads, guarded by its own lock.

#include <mutex>
#include <string>

namespace sorvik {

class SharedText {
  public:
    void Set(std::string text) {
        std::scoped_lock lock(mutex_);
        text_ = std::move(text);
    }
    std::string Get() const {
        std::scoped_lock lock(mutex_);
        return text_;
    }
    void Clear() { Set(std::string()); }

  private:
    mutable std::mutex mutex_;
    std::string text_;  // guarded by mutex_
};

}  // namespace sorvik
