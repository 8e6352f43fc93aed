#pragma once
// A fresh temporary folder for one test, removed with everything in it at the end.

#include <string>

namespace sorvik::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string& name) const;

  private:
    std::string path_;
};

}  // namespace sorvik::test
