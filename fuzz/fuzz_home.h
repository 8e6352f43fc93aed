#pragma once
// A fresh home folder (database with its system tables) for the targets that need one, made once
// per process and removed at its end.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "store/startup.h"

namespace sorvik::fuzz {

class FuzzHome {
  public:
    FuzzHome() {
        char pattern[] = "/tmp/sorvik-fuzz-XXXXXX";
        if (!::mkdtemp(pattern))
            std::abort();
        path_ = pattern;
        StartupOptions options;
        options.home = path_;
        std::string error;
        if (!StartUp(options, error)) {
            std::fprintf(stderr, "start-up failed: %s\n", error.c_str());
            std::abort();
        }
    }
    ~FuzzHome() {
        ShutDown();
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    FuzzHome(const FuzzHome&) = delete;
    FuzzHome& operator=(const FuzzHome&) = delete;

  private:
    std::string path_;
};

}  // namespace sorvik::fuzz
