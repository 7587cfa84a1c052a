// The life of the process against the fakes: who may start, what a failed start leaves behind,
// what the shutdown releases, and how start-up switches logging on.
#include "app/tray_app.h"

#include "test_support.h"

namespace velmora::test {
namespace {

using Type = fakes::FakeKernel::Type;
const wchar_t kRunning[] = L"Warning: Velmora Tray is already running (48)";
const wchar_t kNoEvents[] = L"Error: Event objects cannot be created (16)";
const wchar_t kQuiet[] = LR"({"verbose_logging_win":"0"})";

TEST(TrayAppTest, StartsOnlyWhenNothingStandsInTheWayAndLogsAsTheSettingsSay) {
  const struct {
    const wchar_t* commandLine;  // null: the default
    const wchar_t* taken;        // a name another process holds, or null
    Type type;
    std::optional<uint32_t> verbose, disable;
    const wchar_t* managed;  // the cached document, or null
    int exitCode;            // 7: the main loop ran
    const wchar_t* box;
    int inits;  // "Tray app init" lines: logging is decided again after the document
  } cases[] = {
      {nullptr, nullptr, Type::kEvent, {}, {}, nullptr, 7, L"", 1},
      // The switch ends the process wherever it stands, but only in lower case.
      {L"\"C:\\x\\Tray.exe\" -a /elevate=now", nullptr, Type::kEvent, {}, {}, nullptr, 0, L"", 0},
      {L"\"C:\\dir/elevate\\Tray.exe\"", nullptr, Type::kEvent, {}, {}, nullptr, 0, L"", 0},
      {L"\"C:\\x\\Tray.exe\" /ELEVATE", nullptr, Type::kEvent, 0, 1, nullptr, 7, L"", 0},
      {nullptr, L"_MUT_48940814_7", Type::kMutex, {}, {}, nullptr, 0, kRunning, 0},
      {nullptr, L"_MUT_48940814_7", Type::kEvent, {}, {}, nullptr, 0, kRunning, 0},
      {nullptr, channel::kStartEventName, Type::kMutex, 5, 2, nullptr, 1, kNoEvents, 1},
      {nullptr, channel::kEmergencyStartEventName, Type::kMutex, {}, {}, nullptr, 1, kNoEvents, 1},
      {nullptr, channel::kShellHookSettledEventName, Type::kMutex, 1, 0, kQuiet, 7, L"", 1},
      {nullptr, nullptr, Type::kMapping, 1, {}, L"{}", 0, L"", 2}};  // no window
  for (const auto& c : cases) {
    FakePlatform fake;
    const auto set = [&](const wchar_t* name, std::optional<uint32_t> value, std::wstring path) {
      if (value) fake.registry.SetDword(kMachine, View::k64, path, name, *value);
    };
    set(L"DisableManualElevation", c.disable, kPolicy + L"\\PreApproved");
    set(L"VerboseLogging", c.verbose, kProduct);
    set(L"Managed", c.managed ? std::optional(1u) : std::nullopt, kProduct);
    std::wstring scrambled = c.managed ? c.managed : L"";
    for (wchar_t& ch : scrambled) ch ^= 0x0E;
    fake.registry.SetString(kMachine, View::k64, kProduct, L"Managed settings", scrambled);
    if (c.commandLine) fake.kernel.commandLine = c.commandLine;
    if (c.taken) fake.kernel.Put(c.taken, c.type);
    fake.windows.failCreate = c.type == Type::kMapping;
    fake.windows.PostQuit(7);
    EXPECT_EQ(c.exitCode, TrayMain()) << c.box;
    EXPECT_EQ(c.exitCode == 7, g_hMainWnd.load() != nullptr) << c.exitCode;
    EXPECT_EQ(c.box, Boxes(fake));
    EXPECT_EQ(0u, fake.kernel.OpenCount()) << c.box;  // the instance mutex given back too
    EXPECT_EQ(c.disable == 1u, Load(g_bManualElevationDisabled) == 1);
    const std::string log = fake.files.Contents(FakePlatform::kLogPath);
    int inits = 0;
    for (size_t at = 0; (at = log.find("] Tray app init\r\n", at)) != log.npos; ++at) ++inits;
    EXPECT_EQ(c.inits, inits) << c.box;
  }
}

}  // namespace
}  // namespace velmora::test
