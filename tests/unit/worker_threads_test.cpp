// The two worker threads and what they keep: "timerEnd" against a moved clock, the service's
// answers, the shell-hook library's requests and ends, and the wait loop both run, driven
// through the fake kernel one wait at a time.
#include <algorithm>

#include "elevation/request_flow.h"
#include "elevation/service_events.h"
#include "elevation/shell_hook.h"
#include "elevation/timer_end.h"
#include "test_support.h"

namespace velmora::test {
namespace {

const std::wstring kSettled = channel::kShellHookSettledEventName;
const std::wstring kEmergency = channel::kEmergencyStartEventName;

class WorkerThreadsTest : public TrayTest {
 protected:
  void SetUp() override {
    SignIn();
    StartLog();
  }
  Handle StopEvent() {
    EventParams params;
    params.name = L"test stop";
    return fake.kernel.CreateOrOpenEvent(params);
  }
  // Lets the loop wait `waits` times, then stops it; `first` is the test's move at the first wait
  // that would block.
  void RunUntilQuiet(void (*run)(Handle), const std::function<void()>& first, int waits = 0) {
    const Handle stop = StopEvent();
    int blocked = 0;
    fake.kernel.onBlock = [&] {
      if (++blocked == 1 && first) first();
      if (blocked > 1 && fake.kernel.waits >= waits) fake.kernel.SignalEvent(stop);
    };
    run(stop);
  }
  void Reset(ChannelEvent event) { fake.kernel.ResetEvent(GetChannelEvent(event)); }
};

TEST_F(WorkerThreadsTest, TimerEndCountsOnlyWhileInTheFutureAndAPastOneIsDeleted) {
  const struct {
    std::wstring end;
    bool active;
    uint32_t remaining;
    bool deletedByCheck;
  } cases[] = {{std::to_wstring(kNow + 120), true, 120, false},
               {std::to_wstring(kNow), false, 0, false},
               {std::to_wstring(kNow - 1), false, 0, true},
               {L"  " + std::to_wstring(kNow + 30) + L"xyz", true, 30, false},
               {L"soon", false, 0, true},
               {L"", false, 0, false},
               // Beyond 32 bits of seconds: stays active and never wraps into a short time.
               {std::to_wstring(kNow + (int64_t{1} << 32) + 5), true, 0xFFFFFFFFu, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.end.size() << " " << c.remaining);
    SetUserString(L"timerEnd", c.end);
    EXPECT_EQ(c.remaining, GetRemainingSeconds());
    EXPECT_EQ(c.remaining, ActiveRemainingSeconds());
    EXPECT_EQ(c.deletedByCheck, !UserString(L"timerEnd").has_value());
    SetUserString(L"timerEnd", c.end);
    EXPECT_EQ(c.active, IsElevationActive());
    EXPECT_EQ(c.deletedByCheck, !UserString(L"timerEnd").has_value());
  }
  SetTimerEnd(120);
  EXPECT_EQ(std::to_wstring(kNow + 120), UserString(L"timerEnd"));
}

TEST_F(WorkerThreadsTest, GrantWritesTheEndTimeByKindAndAnnouncesIt) {
  SetMachine(L"AccessPeriod", 600);
  SetMachine(L"ElevateForXDays", 3);
  const struct {
    ElevationKind kind;
    std::optional<int64_t> end;
    bool balloon;
  } cases[] = {{KindPeriod, kNow + 600, true},    {KindDays, kNow + 3 * 86400, true},
               {KindShellHook, kNow + 30, true},  {KindAtLogin, std::nullopt, false},
               {KindResumed, std::nullopt, true}, {KindNone, std::nullopt, true}};
  for (const auto& c : cases) {
    fake.registry.DeleteKeyValue(kUser, kProduct, L"timerEnd");
    fake.windows.queue.clear();
    Reset(kShellHookSettledEvent);
    Store(g_nElevationKind, c.kind);
    Store(g_bShellHookElevation, c.kind == KindShellHook ? 0 : 1);
    HandleServiceEvent(0);
    EXPECT_EQ(c.end ? std::optional(std::to_wstring(*c.end)) : std::nullopt,
              UserString(L"timerEnd"))
        << c.kind;
    EXPECT_EQ(c.kind == KindShellHook, Load(g_bShellHookElevation) == 1) << c.kind;
    EXPECT_TRUE(Signaled(kSettled)) << c.kind;
    EXPECT_EQ(c.balloon ? Posts({{msg::kShowBalloon, NotifyStarted}}) : Posts(), Posted());
  }
}

TEST_F(WorkerThreadsTest, ExpiryAndRefusalTellTheMainWindow) {
  SetTimerEnd(100);
  Store(g_nElevationKind, KindPeriod);
  Store(g_bShellHookElevation, 1);
  HandleServiceEvent(1);
  EXPECT_FALSE(UserString(L"timerEnd").has_value());
  EXPECT_EQ(KindNone, Load(g_nElevationKind));
  EXPECT_EQ(1, Load(g_bShellHookElevation));
  EXPECT_FALSE(Signaled(kSettled));

  HandleServiceEvent(2);
  SetTimerEnd(50);
  HandleServiceEvent(2);
  HandleServiceEvent(3);
  EXPECT_EQ((Posts{{msg::kRestoreIcon, 0},
                   {msg::kShowBalloon, NotifyExpired},
                   {msg::kShowBalloon, NotifyForbidden},
                   {msg::kShowBalloon, NotifyAlreadyMember}}),
            Posted());
  EXPECT_TRUE(Signaled(kSettled));
}

TEST_F(WorkerThreadsTest, ServiceThreadIgnoresOldSignalsAndAnswersEachEventOnceInOrder) {
  const std::wstring names[] = {channel::kStartEventName, channel::kExpireEventName,
                                channel::kForbidEventName};
  for (const std::wstring& name : names) fake.kernel.Signal(name);
  Store(g_nElevationKind, KindPeriod);
  RunUntilQuiet(RunServiceEvents, [&] {
    for (const std::wstring& name : names) fake.kernel.Signal(name);
  });
  EXPECT_EQ((Posts{{msg::kShowBalloon, NotifyStarted},
                   {msg::kRestoreIcon, 0},
                   {msg::kShowBalloon, NotifyExpired},
                   {msg::kShowBalloon, NotifyForbidden}}),
            Posted());
}

TEST_F(WorkerThreadsTest, FailedWaitIsLoggedOnceAndPausesBeforeTheNextTry) {
  CloseChannelEvents();  // every wait now fails outright
  RunUntilQuiet(RunServiceEvents, nullptr, 6);
  // Three failed waits, each followed by a pause that would have seen the stop.
  EXPECT_EQ(6, fake.kernel.waits);
  EXPECT_EQ(LogMessages(), std::vector<std::string>{"ServiceEventThread. Waiting for the "
                                                    "service's events failed. Error code: 6"});
}

TEST_F(WorkerThreadsTest, SetHookLogsEachOutcomeAndKeepsOnlyAnInstalledHook) {
  const std::pair<HookInstall, const char*> cases[] = {
      {HookInstall::kInstalled, "HOOK INSTALLED"},
      {HookInstall::kLibraryNotLoaded, "SetHook.The DLL could not be found."},
      {HookInstall::kProcedureNotFound, "SetHook. The function was not found."},
      {HookInstall::kHookFailed, "Hook install failed. GetLastError: 1428"}};
  for (const auto& [outcome, line] : cases) {
    fake.shell.hookOutcome = outcome;
    EXPECT_EQ(outcome == HookInstall::kInstalled, SetHook());
    EXPECT_EQ(line, LogMessages().back());
    EXPECT_EQ(outcome == HookInstall::kInstalled, IsHookInstalled());
    RemoveHook();
    EXPECT_FALSE(IsHookInstalled());
    EXPECT_EQ(nullptr, fake.shell.installedHook);
  }
}

TEST_F(WorkerThreadsTest, OnlyZeroOrMissingLeavesTheHookOn) {
  EXPECT_FALSE(IsShellHookDisabled());
  for (uint32_t value : {0u, 1u, 2u, 0xFFFFFFFFu}) {
    SetMachine(L"DisableShellHook", value, kPolicy);
    EXPECT_EQ(value != 0, IsShellHookDisabled()) << value;
  }
}

TEST_F(WorkerThreadsTest, ShellRequestAsksForThirtySilentSecondsUnlessNothingIsToAsk) {
  const struct {
    bool admin, reasonOpen;
    bool requested, settled;
  } cases[] = {{false, false, true, false},  // the service's answer settles it
               {true, false, false, true},
               {false, true, false, false}};
  for (const auto& c : cases) {
    fake.kernel.Put(kBlock, fakes::FakeKernel::Type::kMapping, 1208);
    Reset(kShellHookSettledEvent);
    fake.accounts.groups[L"Administrators"] =
        std::vector<std::wstring>{c.admin ? L"CORP\\alice" : L"CORP\\bob"};
    Store(g_bReasonDlgOpen, c.reasonOpen ? 1 : 0);
    HandleShellHookEvent(0);
    EXPECT_EQ(c.requested, Request().has_value()) << c.admin << c.reasonOpen;
    EXPECT_EQ(c.settled, Signaled(kSettled)) << c.admin << c.reasonOpen;
    if (!c.requested) continue;
    EXPECT_EQ(30u, Request()->seconds);
    EXPECT_FALSE(Request()->atLogin);
    EXPECT_EQ(KindShellHook, Load(g_nElevationKind));
    EXPECT_TRUE(Posted().empty());
  }
}

TEST_F(WorkerThreadsTest, ShellEndReachesTheServiceOnlyForTheHooksOwnElevation) {
  const struct {
    int32_t kind, fromHook;
    bool ends;
  } cases[] = {{KindNone, 0, false},    // before any elevation
               {KindPeriod, 0, false},  // a manual elevation runs
               {KindShellHook, 1, true},
               {KindNone, 1, true}};  // the hook's elevation already expired
  for (const auto& c : cases) {
    Store(g_nElevationKind, c.kind);
    Store(g_bShellHookElevation, c.fromHook);
    Reset(kEmergencyStartEvent);
    HandleShellHookEvent(1);
    EXPECT_EQ(c.ends, Signaled(kEmergency)) << c.kind << "/" << c.fromHook;
  }
}

TEST_F(WorkerThreadsTest, ShellThreadAnswersEachSignalAfterItsStartRequestFirst) {
  fake.kernel.Signal(channel::kShellHookRequestEventName);  // before the start: not for us
  fake.kernel.Signal(channel::kShellHookEndEventName);
  Store(g_bShellHookElevation, 1);
  RunUntilQuiet(RunShellHookEvents, [&] {
    fake.kernel.Signal(channel::kShellHookEndEventName);
    fake.kernel.Signal(channel::kShellHookRequestEventName);
  });
  const std::vector<std::string> lines = LogMessages();
  const auto at = [&](const std::string& line) {
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), line)) << line;
    return std::find(lines.begin(), lines.end(), line) - lines.begin();
  };
  EXPECT_LT(at("Add admin event signalled (from shell hook)"),
            at("Admin de-elevate event signalled (from shell hook)"));
  EXPECT_TRUE(Request().has_value());
  EXPECT_TRUE(Signaled(kEmergency));
}

}  // namespace
}  // namespace velmora::test
