// How start-up switches logging on: from the machine value, and again from the managed
// document, with exactly the lines an administrator will look for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/tray_app.h"
#include "fakes/fake_platform.h"
#include "log/log.h"

namespace velmora {
namespace {

using fakes::FakePlatform;
using fakes::FakeRegistry;

constexpr wchar_t kProduct[] = L"Software\\Ostrand\\Velmora";

std::vector<std::string> Messages(const std::string& log) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find("\r\n", start);
    if (end == std::string::npos) end = log.size();
    // Every line is stamped "[dd.mm.yyyy hh:mm:ss] ".
    lines.push_back(log.substr(start, end - start).substr(22));
    start = end + 2;
  }
  return lines;
}

std::string Scramble(const std::string& json) {
  std::string out;
  for (char c : json) out.push_back(static_cast<char>(c ^ 0x0E));
  return out;
}

class StartupLoggingTest : public ::testing::Test {
 protected:
  void SetMachineDword(const wchar_t* name, uint32_t value) {
    fake.registry.SetDword(Hive::kLocalMachine, FakeRegistry::View::k64, kProduct, name, value);
  }
  std::string LogText() const { return fake.files.Contents(FakePlatform::kLogPath); }

  FakePlatform fake;
};

TEST_F(StartupLoggingTest, VerboseLoggingIsOnUnlessItIsExactlyZero) {
  struct Case {
    bool present;
    uint32_t value;
    bool logs;
  } cases[] = {{false, 0, true}, {true, 0, false}, {true, 5, true}, {true, 1, true}};
  for (const Case& c : cases) {
    FakePlatform local;
    if (c.present) {
      local.registry.SetDword(Hive::kLocalMachine, FakeRegistry::View::k64, kProduct,
                              L"VerboseLogging", c.value);
    }
    ASSERT_TRUE(InitInstance());
    const std::string log = local.files.Contents(FakePlatform::kLogPath);
    if (c.logs) {
      ASSERT_FALSE(log.empty()) << c.value;
      EXPECT_EQ("Tray app init", Messages(log).front());
    } else {
      // Not even the first line: no file at all.
      EXPECT_FALSE(local.files.Exists(FakePlatform::kLogPath));
      EXPECT_EQ(0, local.files.AppendCalls());
    }
    CleanupInstance();
  }
}

TEST_F(StartupLoggingTest, ManagedDocumentCanSwitchLoggingOffAfterItsOwnLines) {
  SetMachineDword(L"VerboseLogging", 1);
  SetMachineDword(L"Managed", 1);
  fake.registry.SetString(Hive::kLocalMachine, FakeRegistry::View::k64, kProduct,
                          L"Managed settings", fake.codePage.AnsiToWide(
                              Scramble("{\"verbose_logging_win\":\"0\"}")));
  ASSERT_TRUE(InitInstance());
  const std::vector<std::string> expected = {
      "Tray app init",
      "Managed value is set. Reading cached settings (should be already downloaded by the "
      "service)",
      "Cached json read successfully",
      "Parsing json OK",
      "Managed=1",
      "Retrieving setting 'VerboseLogging': 0"};
  EXPECT_EQ(expected, Messages(LogText()));
  CleanupInstance();
  EXPECT_EQ(expected, Messages(LogText()));
}

TEST_F(StartupLoggingTest, ManagedModeLogsStartupTwiceWhenBothPlacesAllowIt) {
  SetMachineDword(L"Managed", 1);
  fake.registry.SetString(Hive::kLocalMachine, FakeRegistry::View::k64, kProduct,
                          L"Managed settings", fake.codePage.AnsiToWide(Scramble("{}")));
  ASSERT_TRUE(InitInstance());
  const std::vector<std::string> lines = Messages(LogText());
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ("Tray app init", lines[0]);
  EXPECT_EQ("Parsing json OK", lines[3]);
  EXPECT_EQ("Managed=0", lines[4]);
  EXPECT_EQ("Retrieving setting 'VerboseLogging': ", lines[5]);
  EXPECT_EQ("Tray app init", lines[6]);
  CleanupInstance();
}

TEST_F(StartupLoggingTest, NoLineAfterCleanupDestroyedTheLock) {
  ASSERT_TRUE(InitInstance());
  CleanupInstance();
  const std::string before = LogText();
  Log("late line from a worker");
  EXPECT_EQ(before, LogText());
}

}  // namespace
}  // namespace velmora
