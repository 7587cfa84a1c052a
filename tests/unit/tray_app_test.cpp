// The life of the process against the fakes: who may start, what a failed start leaves behind,
// what the shutdown releases, and how start-up switches logging on.
#include "app/tray_app.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/managed_settings.h"
#include "test_support.h"

namespace velmora::test {
namespace {

class TrayAppTest : public TrayTest {
 protected:
  void CacheDocument(const std::string& json) {
    std::string scrambled = json;
    for (char& c : scrambled) c = static_cast<char>(c ^ 0x0E);
    SetMachine(L"Managed", 1);
    SetMachineString(L"Managed settings", fake.codePage.AnsiToWide(scrambled));
  }
};

TEST_F(TrayAppTest, StartsOnlyWhenNothingStandsInTheWayAndLeavesNothingOpen) {
  const auto commandLine = [](const wchar_t* line) {
    return [line](FakePlatform& f) { f.kernel.commandLine = line; };
  };
  const auto squat = [](const wchar_t* name) {
    return [name](FakePlatform& f) { f.kernel.SquatName(name); };
  };
  const std::wstring kRunning = L"Warning: Velmora Tray is already running (48)";
  const std::wstring kNoEvents = L"Error: Event objects cannot be created (16)";
  const struct {
    std::function<void(FakePlatform&)> setUp;
    int exitCode;  // 7: the main loop ran
    std::wstring box;
  } cases[] = {{[](FakePlatform&) {}, 7, L""},
               // The switch ends the process wherever it stands, but only in lower case.
               {commandLine(L"\"C:\\x\\VelmoraTray.exe\" /elevate"), 0, L""},
               {commandLine(L"\"C:\\x\\VelmoraTray.exe\" -a /elevate=now -b"), 0, L""},
               {commandLine(L"\"C:\\dir/elevate\\VelmoraTray.exe\""), 0, L""},
               {commandLine(L"\"C:\\x\\VelmoraTray.exe\" /ELEVATE"), 7, L""},
               {[](FakePlatform& f) { f.kernel.PrecreateMutex(L"_MUT_48940814_7"); }, 0, kRunning},
               {[](FakePlatform& f) { f.kernel.mutexCreateError = 5; }, 0, kRunning},
               {[](FakePlatform& f) { f.windows.failCreate = true; }, 0, L""},
               {squat(channel::kStartEventName), kExitInitFailed, kNoEvents},
               {squat(channel::kExpireEventName), kExitInitFailed, kNoEvents},
               {squat(channel::kForbidEventName), kExitInitFailed, kNoEvents},
               {squat(channel::kEmergencyStartEventName), kExitInitFailed, kNoEvents},
               {squat(channel::kShellHookSettledEventName), 7, L""}};
  for (const auto& c : cases) {
    FakePlatform local;
    c.setUp(local);
    local.windows.PostQuit(7);
    EXPECT_EQ(c.exitCode, TrayMain()) << c.box;
    EXPECT_EQ(c.exitCode == 7, g_hMainWnd.load() != nullptr) << c.exitCode;
    EXPECT_EQ(c.box, Boxes(local));
    EXPECT_EQ(0u, local.kernel.OpenCount()) << c.box;  // the instance mutex given back too
  }
}

TEST_F(TrayAppTest, ManualElevationFlagComesFromThePreApprovedSubkey) {
  const std::pair<std::optional<uint32_t>, int32_t> cases[] = {
      {std::nullopt, 0}, {1, 1}, {0, 0}, {2, 0}};
  for (const auto& c : cases) {
    if (c.first) SetMachine(L"DisableManualElevation", *c.first, kPolicy + L"\\PreApproved");
    ASSERT_TRUE(InitInstance());
    EXPECT_EQ(c.second, Load(g_bManualElevationDisabled)) << c.second;
    EXPECT_EQ(1, Load(g_bADUserValid));
    EXPECT_EQ(1, Load(g_bADUserGroupValid));
    CleanupInstance();
  }
}

TEST_F(TrayAppTest, VerboseLoggingIsOnUnlessItIsExactlyZero) {
  const std::pair<std::optional<uint32_t>, bool> cases[] = {
      {std::nullopt, true}, {0, false}, {5, true}, {1, true}};
  for (const auto& c : cases) {
    FakePlatform local;
    if (c.first)
      local.registry.SetDword(kMachine, View::k64, kProduct, L"VerboseLogging", *c.first);
    ASSERT_TRUE(InitInstance());
    const std::string log = local.files.Contents(FakePlatform::kLogPath);
    EXPECT_EQ(c.second, log.find("] Tray app init\r\n") != std::string::npos);
    EXPECT_EQ(c.second, local.files.appendCalls > 0);
    CleanupInstance();
  }
}

TEST_F(TrayAppTest, ManagedDocumentDecidesLoggingAgainAfterItsOwnLines) {
  SetMachine(L"VerboseLogging", 1);
  CacheDocument("{\"verbose_logging_win\":\"0\"}");
  ASSERT_TRUE(InitInstance());
  const std::vector<std::string> expected = {
      "Tray app init",
      "Managed value is set. Reading cached settings (should be already downloaded by the "
      "service)",
      "Cached json read successfully",
      "Parsing json OK",
      "Managed=1",
      "Retrieving setting 'VerboseLogging': 0"};
  EXPECT_EQ(expected, LogMessages());
  CleanupInstance();
  Log("late line from a worker");
  EXPECT_EQ(expected, LogMessages());

  // A document without the member leaves logging on: start-up is logged twice.
  ResetManagedSettings();
  CacheDocument("{}");
  fake.files.SetFile(FakePlatform::kLogPath, "");
  ASSERT_TRUE(InitInstance());
  const std::vector<std::string> lines = LogMessages();
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ("Managed=0", lines[4]);
  EXPECT_EQ("Retrieving setting 'VerboseLogging': 1", lines[5]);
  EXPECT_EQ("Tray app init", lines[6]);
  CleanupInstance();
}

}  // namespace
}  // namespace velmora::test
