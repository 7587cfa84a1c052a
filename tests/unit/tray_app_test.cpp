// The life of the process against the fakes: who may start, what a failed start leaves behind,
// what the shutdown releases, and how start-up switches logging on.
#include "app/tray_app.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "settings/managed_settings.h"
#include "test_support.h"

namespace velmora::test {
namespace {

const std::wstring kMutexName = L"_MUT_48940814_7";
const wchar_t* const kServiceEvents[] = {channel::kStartEventName, channel::kExpireEventName,
                                         channel::kForbidEventName,
                                         channel::kEmergencyStartEventName};

class TrayAppTest : public TrayTest {
 protected:
  void CacheDocument(const std::string& json) {
    std::string scrambled = json;
    for (char& c : scrambled) c = static_cast<char>(c ^ 0x0E);
    SetMachine(L"Managed", 1);
    SetMachineString(L"Managed settings", fake.codePage.AnsiToWide(scrambled));
  }
};

TEST_F(TrayAppTest, ElevateSwitchEndsAtOnceWhereverItStandsButOnlyInLowerCase) {
  const std::pair<const wchar_t*, int> lines[] = {
      {L"\"C:\\x\\VelmoraTray.exe\" /elevate", 0},
      {L"\"C:\\x\\VelmoraTray.exe\" -a /elevate=now -b", 0},
      {L"\"C:\\dir/elevate\\VelmoraTray.exe\"", 0},
      {L"\"C:\\x\\VelmoraTray.exe\" /ELEVATE", 7}};
  for (const auto& line : lines) {
    FakePlatform local;
    local.kernel.commandLine = line.first;
    local.windows.PostQuit(7);
    EXPECT_EQ(line.second, TrayMain()) << line.second;
    EXPECT_EQ(line.second != 0, g_hMainWnd.load() != nullptr);
    EXPECT_TRUE(local.shell.boxes.empty());
    EXPECT_EQ(0u, local.kernel.OpenCount());
  }
}

TEST_F(TrayAppTest, SecondInstanceWarnsAndLeavesWithoutStarting) {
  for (bool precreated : {true, false}) {
    FakePlatform local;
    if (precreated) {
      local.kernel.PrecreateMutex(kMutexName);
    } else {
      local.kernel.mutexCreateError = 5;  // counts as already running
    }
    EXPECT_EQ(0, TrayMain());
    ASSERT_EQ(1u, local.shell.boxes.size());
    EXPECT_EQ(L"Velmora Tray is already running", local.shell.boxes[0].text);
    EXPECT_EQ(L"Warning", local.shell.boxes[0].caption);
    EXPECT_EQ(0x30u, local.shell.boxes[0].type);
    EXPECT_EQ(nullptr, g_hMainWnd.load());
    EXPECT_FALSE(local.kernel.IsSignaled(channel::kStartEventName));
    EXPECT_EQ(0u, local.kernel.OpenCount());
  }
}

TEST_F(TrayAppTest, RunEndsWithTheQuitCodeAndShutdownReleasesEverything) {
  fake.windows.PostQuit(3);
  EXPECT_EQ(3, TrayMain());
  EXPECT_NE(nullptr, g_hMainWnd.load());
  EXPECT_EQ(0u, fake.kernel.OpenCount());
  EXPECT_TRUE(fake.shell.boxes.empty());
  EXPECT_EQ(1, fake.windows.liveIcons);  // the notification icon's, kept for the process

  // A main window that cannot be created ends with 0 and still cleans up.
  FakePlatform local;
  local.windows.failCreate = true;
  EXPECT_EQ(0, TrayMain());
  EXPECT_EQ(0u, local.kernel.OpenCount());
}

TEST_F(TrayAppTest, MissingServiceEventFailsStartupAndOnlyThoseDo) {
  for (const wchar_t* name : kServiceEvents) {
    FakePlatform local;
    local.kernel.SquatName(name);
    EXPECT_EQ(kExitInitFailed, TrayMain());
    ASSERT_EQ(1u, local.shell.boxes.size());
    EXPECT_EQ(L"Event objects cannot be created", local.shell.boxes[0].text);
    EXPECT_EQ(L"Error", local.shell.boxes[0].caption);
    EXPECT_EQ(0x10u, local.shell.boxes[0].type);
    EXPECT_EQ(nullptr, g_hMainWnd.load());
    // Nothing stays open behind the failure, and the instance mutex is given back.
    EXPECT_EQ(0u, local.kernel.OpenCount());
  }
  fake.kernel.SquatName(kSettledEvent);
  fake.windows.PostQuit(0);
  EXPECT_EQ(0, TrayMain());
  EXPECT_TRUE(fake.shell.boxes.empty());
  EXPECT_NE(nullptr, g_hMainWnd.load());
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
