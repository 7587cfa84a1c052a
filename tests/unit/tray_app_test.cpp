// The life of the process against the fakes: who may start, what a failed start leaves behind,
// what the shutdown releases, and how start-up switches logging on.
#include "app/tray_app.h"

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
      {L"\"C:\\x\\VelmoraTray.exe\" -a /elevate=now", nullptr, Type::kEvent, 0, L""},
      {L"\"C:\\dir/elevate\\VelmoraTray.exe\"", nullptr, Type::kEvent, 0, L""},
      {L"\"C:\\x\\VelmoraTray.exe\" /ELEVATE", nullptr, Type::kEvent, 7, L""},
      {nullptr, L"_MUT_48940814_7", Type::kMutex, 0, kRunning},
      {nullptr, L"_MUT_48940814_7", Type::kEvent, 0, kRunning},
      {nullptr, channel::kStartEventName, Type::kMutex, kExitInitFailed, kNoEvents},
      {nullptr, channel::kEmergencyStartEventName, Type::kMutex, kExitInitFailed, kNoEvents},
      {nullptr, channel::kShellHookSettledEventName, Type::kMutex, 7, L""},
      {nullptr, nullptr, Type::kMapping, 0, L""}};  // the window cannot be made
  for (const auto& c : cases) {
    FakePlatform fake;
    if (c.commandLine) fake.kernel.commandLine = c.commandLine;
    if (c.taken) fake.kernel.Put(c.taken, c.type);
    fake.windows.failCreate = c.type == Type::kMapping;
    fake.windows.PostQuit(7);
    EXPECT_EQ(c.exitCode, TrayMain()) << c.box;
    EXPECT_EQ(c.exitCode == 7, g_hMainWnd.load() != nullptr) << c.exitCode;
    EXPECT_EQ(c.box, Boxes(fake));
    EXPECT_EQ(0u, fake.kernel.OpenCount()) << c.box;  // the instance mutex given back too
  }
}

TEST(TrayAppTest, ManualElevationLoggingAndTheManagedDocumentFollowTheirValues) {
  const struct {
    std::optional<uint32_t> disable, verbose;
    const char* managed;  // the cached document, or null
    int32_t disabled;
    int inits;  // "Tray app init" lines: logging is decided again after the document
  } cases[] = {{std::nullopt, std::nullopt, nullptr, 0, 1},
               {1, 0, nullptr, 1, 0},
               {2, 5, nullptr, 0, 1},
               {0, 1, R"({"verbose_logging_win":"0"})", 0, 1},
               {0, 1, "{}", 0, 2}};
  for (const auto& c : cases) {
    FakePlatform fake;
    const auto set = [&](const wchar_t* name, std::optional<uint32_t> value, std::wstring path) {
      if (value) fake.registry.SetDword(kMachine, View::k64, path, name, *value);
    };
    set(L"DisableManualElevation", c.disable, kPolicy + L"\\PreApproved");
    set(L"VerboseLogging", c.verbose, kProduct);
    if (c.managed) {
      std::string scrambled = c.managed;
      for (char& ch : scrambled) ch = static_cast<char>(ch ^ 0x0E);
      set(L"Managed", 1, kProduct);
      fake.registry.SetString(kMachine, View::k64, kProduct, L"Managed settings",
                              fake.codePage.AnsiToWide(scrambled));
    }
    ASSERT_TRUE(InitInstance());
    EXPECT_EQ(c.disabled, Load(g_bManualElevationDisabled));
    EXPECT_EQ(2, Load(g_bADUserValid) + Load(g_bADUserGroupValid));
    Log("a later line");
    const std::string log = fake.files.Contents(FakePlatform::kLogPath);
    size_t inits = 0;
    for (size_t at = log.find("] Tray app init\r\n"); at != std::string::npos;
         at = log.find("] Tray app init\r\n", at + 1)) {
      ++inits;
    }
    EXPECT_EQ(c.inits, static_cast<int>(inits)) << c.inits;
    EXPECT_EQ(c.inits == 2 || (c.inits == 1 && !c.managed), log.find("a later line") != log.npos);
    CleanupInstance();
  }
}

}  // namespace
}  // namespace velmora::test
