// The shell-hook library's side of the tray: installing the hook, and the thread that answers
// the library's request and end events, driven through the fake kernel.
#include "elevation/shell_hook.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "elevation/event_loop.h"
#include "test_support.h"

namespace velmora::test {
namespace {

class ShellHookTest : public TrayTest {
 protected:
  void SetUp() override {
    SignIn();
    StartLog();
    // The library waits on its answer, so the signal stays visible to the test.
    EventParams settled;
    settled.name = kSettledEvent;
    fake.kernel.CreateOrOpenEvent(settled);
  }
  bool Requested() const { return Request().has_value(); }
  int Count(const std::string& line) const {
    int seen = 0;
    for (const std::string& l : LogMessages()) seen += l == line ? 1 : 0;
    return seen;
  }
};

TEST_F(ShellHookTest, SetHookLogsEachOutcomeAndKeepsOnlyAnInstalledHook) {
  const struct {
    HookInstall outcome;
    const char* line;
  } cases[] = {
      {HookInstall::kInstalled, "HOOK INSTALLED"},
      {HookInstall::kLibraryNotLoaded, "SetHook.The DLL could not be found."},
      {HookInstall::kProcedureNotFound, "SetHook. The function was not found."},
      {HookInstall::kHookFailed, "Hook install failed. GetLastError: 1428"},
  };
  for (const auto& c : cases) {
    fake.files.Delete(FakePlatform::kLogPath);
    fake.shell.hookOutcome = c.outcome;
    const bool installed = c.outcome == HookInstall::kInstalled;
    EXPECT_EQ(installed, SetHook());
    EXPECT_EQ(L"VelmoraSH64.dll", fake.shell.hookLibrary);
    EXPECT_EQ((std::vector<std::string>{"SetHook", c.line}), LogMessages());
    EXPECT_EQ(installed, IsHookInstalled());
    RemoveHook();
    EXPECT_FALSE(IsHookInstalled());
    EXPECT_EQ(nullptr, fake.shell.installedHook);
  }
}

TEST_F(ShellHookTest, OnlyZeroOrMissingLeavesTheHookOn) {
  EXPECT_FALSE(IsShellHookDisabled());
  const struct {
    uint32_t value;
    bool disabled;
  } cases[] = {{0, false}, {1, true}, {2, true}, {0xFFFFFFFF, true}};
  for (const auto& c : cases) {
    SetMachine(L"DisableShellHook", c.value, kPolicy);
    EXPECT_EQ(c.disabled, IsShellHookDisabled()) << c.value;
  }
}

TEST_F(ShellHookTest, RequestAsksForThirtySilentSecondsOrSettlesAtOnceForAnAdministrator) {
  HandleShellHookEvent(0);
  ASSERT_TRUE(Requested());
  EXPECT_EQ(30u, Request()->seconds);
  EXPECT_FALSE(Request()->atLogin);
  EXPECT_EQ(KindShellHook, Load(g_nElevationKind));
  EXPECT_FALSE(fake.kernel.IsSignaled(kSettledEvent));  // the service's answer settles it

  fake.kernel.CreateFileMapping(channel::kSharedBlockName, channel::kElevationRequestSize);
  MakeAdmin();
  HandleShellHookEvent(0);
  EXPECT_FALSE(Requested());
  EXPECT_TRUE(fake.kernel.IsSignaled(kSettledEvent));
  EXPECT_EQ("Current user is already in admin group. Skipping elevation", LogMessages().back());
}

TEST_F(ShellHookTest, RequestWhileTheReasonDialogIsOpenIsDroppedUnsettled) {
  Store(g_bReasonDlgOpen, 1);
  HandleShellHookEvent(0);
  EXPECT_FALSE(Requested());
  EXPECT_FALSE(fake.kernel.IsSignaled(kSettledEvent));
}

TEST_F(ShellHookTest, EndReachesTheServiceOnlyForTheHooksOwnElevation) {
  const struct {
    int32_t kind, fromHook;
    bool ends;
  } cases[] = {{KindNone, 0, false},    // before any elevation
               {KindPeriod, 0, false},  // a manual elevation runs
               {KindDays, 0, false},
               {KindShellHook, 1, true},
               {KindNone, 1, true}};  // the hook's elevation already expired
  for (const auto& c : cases) {
    Store(g_nElevationKind, c.kind);
    Store(g_bShellHookElevation, c.fromHook);
    fake.kernel.ResetEvent(GetChannelEvent(kEmergencyStartEvent));
    HandleShellHookEvent(1);
    EXPECT_EQ(c.ends, fake.kernel.IsSignaled(channel::kEmergencyStartEventName))
        << c.kind << "/" << c.fromHook;
  }
}

// The real thread: a signal from before its start is dropped, each later one answered once.
TEST_F(ShellHookTest, ThreadAnswersEachSignalAfterItsStart) {
  fake.kernel.SignalByName(channel::kShellHookRequestEventName);
  EventParams stopParams;
  stopParams.name = L"test stop";
  const Handle stop = fake.kernel.CreateOrOpenEvent(stopParams);
  std::thread thread([&] { RunShellHookEvents(stop); });
  const auto waitFor = [&](const std::string& line, int count) {
    for (int i = 0; i < 1000 && Count(line) < count; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return Count(line) >= count;
  };
  ASSERT_TRUE(waitFor("Waiting for shell hook events", 1));
  Store(g_bShellHookElevation, 1);
  fake.kernel.SignalByName(channel::kShellHookEndEventName);
  ASSERT_TRUE(waitFor("The elevation was initiated from Shell hook, then we de-elevate!", 1));
  fake.kernel.SignalByName(channel::kShellHookRequestEventName);
  ASSERT_TRUE(waitFor("Waiting for shell hook events", 3));
  fake.kernel.SignalEvent(stop);
  thread.join();
  EXPECT_TRUE(Requested());
  EXPECT_EQ(1, Count("Add admin event signalled (from shell hook)"));
}

TEST(EventLoopTest, LowestSignalledEventIsHandledFirstAndStopEndsTheLoop) {
  FakePlatform platform;
  std::vector<Handle> events;
  for (const wchar_t* name : {L"a", L"b", L"c", L"stop"}) {
    EventParams params;
    params.name = name;
    events.push_back(platform.kernel.CreateOrOpenEvent(params));
  }
  for (int i : {3, 2, 0}) platform.kernel.SignalEvent(events[i]);
  std::vector<size_t> order;
  FollowEvents({events[0], events[1], events[2]}, events[3], "%u",
               [&](size_t index) { order.push_back(index); });
  EXPECT_EQ((std::vector<size_t>{0, 2}), order);
}

}  // namespace
}  // namespace velmora::test
