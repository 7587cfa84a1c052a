// Fixture for the settings tests: the fake platform with logging switched on, the log read
// back line by line, and no registry key left open or closed twice at the end of a test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fake_platform.h"
#include "log/log.h"

namespace velmora::fakes {

class SettingsTestBase : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateLogLock();
    ASSERT_TRUE(SetDefaultLogFilePath());
  }
  void TearDown() override {
    EXPECT_EQ(registry_.OpenKeyCount(), 0u);
    EXPECT_EQ(registry_.BadCloseCount(), 0u);
    DestroyLogLock();
  }

  // The log's messages without their time stamps.
  std::vector<std::string> LogMessages() const {
    const std::string text = platform_.files.Contents(FakePlatform::kLogPath);
    const size_t stampLength = std::string("[05.12.2026 07:03:09] ").size();
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
      const size_t end = text.find("\r\n", at);
      if (end == std::string::npos || end - at < stampLength) break;
      lines.push_back(text.substr(at + stampLength, end - at - stampLength));
      at = end + 2;
    }
    return lines;
  }

  FakePlatform platform_;
  FakeRegistry& registry_ = platform_.registry;
  FakeShell& shell_ = platform_.shell;
  FakeKernel& kernel_ = platform_.kernel;
};

}  // namespace velmora::fakes
