// The life of the process against the fakes: who may start, what start-up obtains in which
// order, what a failed start leaves behind, and what the shutdown releases.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_dlg.h"
#include "app/tray_app.h"
#include "elevation/channel.h"
#include "fakes/fake_platform.h"
#include "settings/settings_store.h"
#include "state/globals.h"

namespace velmora {
namespace {

using fakes::FakePlatform;
using fakes::FakeRegistry;

constexpr wchar_t kMutexName[] = L"_MUT_48940814_7";
const std::vector<std::wstring> kEventOrder = {
    L"Global\\__START_EVENT__",         L"Global\\__EXPIRE_EVENT__",
    L"Global\\__FORBID_EVENT__",        L"Global\\__EMERGENCYSTART_EVENT__",
    L"event__123__",                    L"event__124__",
    L"event__125__"};

class TrayAppTest : public ::testing::Test {
 protected:
  // The loop ends at once with this code unless a test queues something else first.
  void QueueQuit(int code = 7) { fake.windows.PostQuit(code); }

  std::vector<std::wstring> ObtainedEventNames() const {
    std::vector<std::wstring> names;
    for (const auto& record : fake.kernel.events_obtained()) names.push_back(record.params.name);
    return names;
  }

  FakePlatform fake;
};

TEST_F(TrayAppTest, ElevateSwitchEndsAtOnceWhereverItStands) {
  for (const wchar_t* line : {L"\"C:\\x\\VelmoraTray.exe\" /elevate",
                              L"\"C:\\x\\VelmoraTray.exe\" -a /elevate=now -b",
                              L"\"C:\\dir/elevate\\VelmoraTray.exe\""}) {
    FakePlatform local;
    local.kernel.set_command_line(line);
    EXPECT_EQ(0, TrayMain()) << std::string(line, line + wcslen(line));
    EXPECT_FALSE(local.kernel.MutexHeld(kMutexName));
    EXPECT_TRUE(local.windows.created_templates().empty());
    EXPECT_TRUE(local.registry.Calls().empty());
    EXPECT_TRUE(local.shell.boxes().empty());
  }
}

TEST_F(TrayAppTest, ElevateSwitchIsCaseSensitive) {
  fake.kernel.set_command_line(L"\"C:\\x\\VelmoraTray.exe\" /ELEVATE");
  QueueQuit(7);
  EXPECT_EQ(7, TrayMain());
  EXPECT_EQ(std::vector<int>{IDD_MAINDLG}, fake.windows.created_templates());
}

TEST_F(TrayAppTest, SecondInstanceWarnsAndLeavesWithoutStarting) {
  fake.kernel.PrecreateMutex(kMutexName);
  EXPECT_EQ(0, TrayMain());
  ASSERT_EQ(1u, fake.shell.boxes().size());
  const auto box = fake.shell.boxes()[0];
  EXPECT_EQ(nullptr, box.owner);
  EXPECT_EQ(L"Velmora Tray is already running", box.text);
  EXPECT_EQ(L"Warning", box.caption);
  EXPECT_EQ(0x30u, box.type);
  EXPECT_TRUE(fake.kernel.events_obtained().empty());
  EXPECT_TRUE(fake.windows.created_templates().empty());
  EXPECT_EQ(0u, fake.kernel.OpenHandleCount());
}

TEST_F(TrayAppTest, MutexThatCannotBeCreatedCountsAsAlreadyRunning) {
  fake.kernel.FailMutexCreate(5);
  EXPECT_EQ(0, TrayMain());
  ASSERT_EQ(1u, fake.shell.boxes().size());
  EXPECT_EQ(L"Velmora Tray is already running", fake.shell.boxes()[0].text);
  EXPECT_TRUE(fake.windows.created_templates().empty());
}

TEST_F(TrayAppTest, StartupObtainsTheChannelInOrderAndShutdownReleasesEverything) {
  QueueQuit(3);
  EXPECT_EQ(3, TrayMain());

  EXPECT_EQ(kEventOrder, ObtainedEventNames());
  for (const auto& record : fake.kernel.events_obtained()) {
    const bool shellHook = record.params.name.rfind(L"event__", 0) == 0;
    EXPECT_EQ(shellHook, record.params.narrowName) << record.params.name.size();
    EXPECT_FALSE(record.params.manualReset);
    EXPECT_FALSE(record.params.initialState);
    EXPECT_TRUE(record.params.nullDacl);
  }
  EXPECT_EQ(0x4, fake.windows.common_controls());
  EXPECT_EQ(0x409u, fake.kernel.thread_locale());
  EXPECT_EQ(0x409, fake.kernel.thread_ui_language());

  // Events close in their fixed order, the instance mutex last.
  std::vector<std::wstring> expectedClosed = kEventOrder;
  expectedClosed.push_back(kMutexName);
  EXPECT_EQ(expectedClosed, fake.kernel.ClosedNames());
  EXPECT_EQ(0u, fake.kernel.OpenHandleCount());
  EXPECT_EQ(1, fake.kernel.com_inits());
  EXPECT_EQ(1, fake.kernel.com_uninits());
  EXPECT_TRUE(fake.shell.boxes().empty());
}

TEST_F(TrayAppTest, MissingServiceEventFailsStartupWithTheErrorBox) {
  for (int squatted = 0; squatted < 4; ++squatted) {
    FakePlatform local;
    local.kernel.SquatName(kEventOrder[squatted]);
    EXPECT_EQ(kExitInitFailed, TrayMain());
    ASSERT_EQ(1u, local.shell.boxes().size());
    EXPECT_EQ(L"Event objects cannot be created", local.shell.boxes()[0].text);
    EXPECT_EQ(L"Error", local.shell.boxes()[0].caption);
    EXPECT_EQ(0x10u, local.shell.boxes()[0].type);
    EXPECT_EQ(nullptr, local.shell.boxes()[0].owner);
    EXPECT_TRUE(local.windows.created_templates().empty());
    // Nothing stays open behind the failure, and the instance mutex is given back.
    EXPECT_EQ(0u, local.kernel.OpenHandleCount());
  }
}

TEST_F(TrayAppTest, MissingShellHookEventIsNotAFailure) {
  fake.kernel.SquatName(L"event__124__");
  QueueQuit(0);
  EXPECT_EQ(0, TrayMain());
  EXPECT_TRUE(fake.shell.boxes().empty());
  EXPECT_EQ(std::vector<int>{IDD_MAINDLG}, fake.windows.created_templates());
  EXPECT_EQ(nullptr, GetChannelEvent(kShellHookSettledEvent));
}

TEST_F(TrayAppTest, MainWindowThatCannotBeCreatedEndsWithZeroAndStillCleansUp) {
  fake.windows.FailDialogCreation();
  EXPECT_EQ(0, TrayMain());
  EXPECT_EQ(0u, fake.kernel.OpenHandleCount());
  EXPECT_EQ(kEventOrder.size() + 1, fake.kernel.ClosedNames().size());
}

TEST_F(TrayAppTest, ManualElevationFlagComesFromThePreApprovedSubkey) {
  struct Case {
    bool present;
    uint32_t value;
    int32_t expected;
  } cases[] = {{false, 0, 0}, {true, 1, 1}, {true, 0, 0}, {true, 2, 0}};
  for (const Case& c : cases) {
    FakePlatform local;
    if (c.present) {
      local.registry.SetDword(Hive::kLocalMachine, FakeRegistry::View::k64,
                              L"SOFTWARE\\Policies\\Ostrand\\Velmora\\PreApproved",
                              L"DisableManualElevation", c.value);
    }
    ASSERT_TRUE(InitInstance());
    EXPECT_EQ(c.expected, Load(g_bManualElevationDisabled)) << c.value;
    CleanupInstance();
  }
}

TEST_F(TrayAppTest, DirectoryVerdictsStartValid) {
  ASSERT_TRUE(InitInstance());
  EXPECT_EQ(1, Load(g_bADUserValid));
  EXPECT_EQ(1, Load(g_bADUserGroupValid));
  CleanupInstance();
}

}  // namespace
}  // namespace velmora
