// The life of the process against the fakes: who may start, what a failed start leaves behind,
// what the shutdown releases, and how start-up switches logging on.
#include "app/tray_app.h"

#include "settings/managed_settings.h"
#include "test_support.h"

namespace velmora::test {
namespace {

using Type = fakes::FakeKernel::Type;

TEST(TrayAppTest, StartsOnlyWhenNothingStandsInTheWayAndLeavesNothingOpen) {
  const std::wstring kRunning = L"Warning: Velmora Tray is already running (48)";
  const std::wstring kNoEvents = L"Error: Event objects cannot be created (16)";
  const struct {
    const wchar_t* commandLine;  // null: the default
    const wchar_t* taken;        // a name another process holds, or null
    Type type;
    int exitCode;  // 7: the main loop ran
    std::wstring box;
  } cases[] = {
      {nullptr, nullptr, Type::kEvent, 7, L""},
      // The switch ends the process wherever it stands, but only in lower case.
      {L"\"C:\\x\\VelmoraTray.exe\" /elevate", nullptr, Type::kEvent, 0, L""},
      {L"\"C:\\x\\VelmoraTray.exe\" -a /elevate=now", nullptr, Type::kEvent, 0, L""},
      {L"\"C:\\dir/elevate\\VelmoraTray.exe\"", nullptr, Type::kEvent, 0, L""},
      {L"\"C:\\x\\VelmoraTray.exe\" /ELEVATE", nullptr, Type::kEvent, 7, L""},
      {nullptr, L"_MUT_48940814_7", Type::kMutex, 0, kRunning},
      {nullptr, L"_MUT_48940814_7", Type::kEvent, 0, kRunning},
      {nullptr, channel::kStartEventName, Type::kMutex, kExitInitFailed, kNoEvents},
      {nullptr, channel::kExpireEventName, Type::kMutex, kExitInitFailed, kNoEvents},
      {nullptr, channel::kForbidEventName, Type::kMutex, kExitInitFailed, kNoEvents},
      {nullptr, channel::kEmergencyStartEventName, Type::kMutex, kExitInitFailed, kNoEvents},
      {nullptr, channel::kShellHookSettledEventName, Type::kMutex, 7, L""}};
  for (const auto& c : cases) {
    FakePlatform fake;
    if (c.commandLine) fake.kernel.commandLine = c.commandLine;
    if (c.taken) fake.kernel.Put(c.taken, c.type);
    fake.windows.PostQuit(7);
    EXPECT_EQ(c.exitCode, TrayMain()) << c.box;
    EXPECT_EQ(c.exitCode == 7, g_hMainWnd.load() != nullptr) << c.exitCode;
    EXPECT_EQ(c.box, Boxes(fake));
    EXPECT_EQ(0u, fake.kernel.OpenCount()) << c.box;  // the instance mutex given back too
  }
  FakePlatform fake;
  fake.windows.failCreate = true;
  EXPECT_EQ(0, TrayMain());
  EXPECT_EQ(0u, fake.kernel.OpenCount());
}

TEST(TrayAppTest, ManualElevationAndVerboseLoggingFollowTheirValues) {
  const struct {
    std::optional<uint32_t> disable, verbose;
    int32_t disabled;
    bool logged;
  } cases[] = {
      {std::nullopt, std::nullopt, 0, true}, {1, 0, 1, false}, {0, 5, 0, true}, {2, 1, 0, true}};
  for (const auto& c : cases) {
    FakePlatform fake;
    const auto set = [&](const wchar_t* name, std::optional<uint32_t> value, std::wstring path) {
      if (value) fake.registry.SetDword(kMachine, View::k64, path, name, *value);
    };
    set(L"DisableManualElevation", c.disable, kPolicy + L"\\PreApproved");
    set(L"VerboseLogging", c.verbose, kProduct);
    ASSERT_TRUE(InitInstance());
    EXPECT_EQ(c.disabled, Load(g_bManualElevationDisabled));
    EXPECT_EQ(2, Load(g_bADUserValid) + Load(g_bADUserGroupValid));
    EXPECT_EQ(c.logged, fake.files.Contents(FakePlatform::kLogPath).find("] Tray app init\r\n") !=
                            std::string::npos);
    EXPECT_EQ(c.logged, fake.files.appendCalls > 0);
    CleanupInstance();
  }
}

class TrayAppLogTest : public TrayTest {
 protected:
  void CacheDocument(const std::string& json) {
    std::string scrambled = json;
    for (char& c : scrambled) c = static_cast<char>(c ^ 0x0E);
    SetMachine(L"Managed", 1);
    SetMachineString(L"Managed settings", fake.codePage.AnsiToWide(scrambled));
  }
};

TEST_F(TrayAppLogTest, ManagedDocumentDecidesLoggingAgainAfterItsOwnLines) {
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
  EXPECT_EQ("Retrieving setting 'VerboseLogging': 1", lines[5]);
  EXPECT_EQ("Tray app init", lines[6]);
  CleanupInstance();
}

}  // namespace
}  // namespace velmora::test
