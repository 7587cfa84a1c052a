// The life of the process against the fakes: who may start, what a failed start leaves behind,
// what the shutdown releases, and how start-up switches logging on.
#include "app/tray_app.h"

#include <algorithm>

#include "test_support.h"

namespace velmora::test {
namespace {

using Type = fakes::FakeKernel::Type;
const wchar_t kRunning[] = L"Warning: Velmora Tray is already running (48)";
const wchar_t kNoEvents[] = L"Error: Event objects cannot be created (16)";
const char kQuiet[] = R"({"verbose_logging_win":"0"})";

struct Start {
  const wchar_t* commandLine;  // null: the default
  const wchar_t* taken;        // a name another process holds, or null
  Type type;
  std::optional<uint32_t> verbose, disable;
  const char* managed;  // the cached document, or null
  int exitCode;         // 7: the main loop ran
  const wchar_t* box;
  int inits;  // "Tray app init" lines: logging is decided again after the document
};
const Start kStarts[] = {
    // The switch ends the process wherever it stands, but only in lower case.
    {L"\"C:\\dir/elevate\\Tray.exe\"", nullptr, Type::kEvent, {}, {}, nullptr, 0, L"", 0},
    {L"\"C:\\x\\Tray.exe\" /ELEVATE", nullptr, Type::kEvent, 0, 1, nullptr, 7, L"", 0},
    {nullptr, L"_MUT_48940814_7", Type::kMutex, {}, {}, nullptr, 0, kRunning, 0},
    {nullptr, L"_MUT_48940814_7", Type::kEvent, {}, {}, nullptr, 0, kRunning, 0},
    {nullptr, channel::kStartEventName, Type::kMutex, {}, 2, nullptr, 1, kNoEvents, 1},
    {nullptr, channel::kShellHookSettledEventName, Type::kMutex, 1, 0, kQuiet, 7, L"", 1},
    {nullptr, nullptr, Type::kMapping, 1, {}, "{}", 0, L"", 2}};  // no window

class TrayAppTest : public TrayTest, public testing::WithParamInterface<Start> {};

TEST_P(TrayAppTest, StartsOnlyWhenNothingStandsInTheWayAndLogsAsTheSettingsSay) {
  const Start& s = GetParam();
  if (s.disable) SetMachine(L"DisableManualElevation", *s.disable, kPolicy + L"\\PreApproved");
  if (s.verbose) SetMachine(L"VerboseLogging", *s.verbose);
  if (s.managed) SetMachine(L"Managed", 1);
  if (s.managed) CacheDocument(s.managed);
  if (s.commandLine) fake.kernel.commandLine = s.commandLine;
  if (s.taken) fake.kernel.Put(s.taken, s.type);
  fake.windows.failCreate = s.type == Type::kMapping;
  fake.windows.PostQuit(7);
  EXPECT_EQ(s.exitCode, TrayMain());
  EXPECT_EQ(s.exitCode == 7, g_hMainWnd.load() != nullptr);
  EXPECT_EQ(s.box, fake.shell.boxes);
  EXPECT_EQ(0u, fake.kernel.OpenCount());  // the instance mutex given back too
  EXPECT_EQ(s.disable == 1u, Load(g_bManualElevationDisabled) == 1);
  const std::vector<std::string> lines = LogMessages();
  EXPECT_EQ(s.inits, std::count(lines.begin(), lines.end(), "Tray app init"));
}
INSTANTIATE_TEST_SUITE_P(Starts, TrayAppTest, testing::ValuesIn(kStarts));

}  // namespace
}  // namespace velmora::test
