#pragma once
// A test with the core started on a fresh home folder (database with its system tables).
// Header-only: the support library itself does not link the store.

#include <gtest/gtest.h>

#include <string>

#include "store/startup.h"
#include "support/temp_dir.h"

namespace sorvik::test {

class CoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StartupOptions options;
        options.home = home_.path();
        std::string error;
        ASSERT_TRUE(StartUp(options, error)) << error;
    }
    void TearDown() override { ShutDown(); }

    const std::string& home() const { return home_.path(); }

    TempDir home_;
};

}  // namespace sorvik::test
