// The two worker threads and what they keep: "timerEnd" against a moved clock, the service's
// answers, the shell-hook library's requests and ends, and the wait loop both run, driven
// through the fake kernel one wait at a time.
#include <algorithm>

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
  // Runs a thread's loop: `first` is the test's move at the first wait that would block, and
  // the loop is stopped at a later one once it has waited `waits` times.
  void RunUntilQuiet(void (*run)(Handle), const std::function<void()>& first, int waits = 0) {
    const Handle stop = fake.kernel.CreateOrOpenEvent(EventParams{L"test stop"});
    int blocked = 0;
    fake.kernel.onBlock = [&] {
      if (++blocked == 1 && first) first();
      if (blocked > 1 && fake.kernel.waits >= waits) fake.kernel.SignalEvent(stop);
    };
    run(stop);
  }
};

TEST_F(WorkerThreadsTest, TimerEndCountsOnlyWhileInTheFutureAndAPastOneIsDeleted) {
  // "timerEnd"; active, the seconds left, and whether the check deletes it.
  const std::tuple<std::wstring, bool, uint32_t, bool> cases[] = {
      {std::to_wstring(kNow + 120), true, 120, false},
      {std::to_wstring(kNow), false, 0, false},
      {std::to_wstring(kNow - 1), false, 0, true},
      {L"soon", false, 0, true},
      {L"", false, 0, false},
      // Beyond 32 bits of seconds: stays active and never wraps into a short time.
      {std::to_wstring(kNow + (int64_t{1} << 32) + 5), true, 0xFFFFFFFFu, false}};
  for (const auto& [end, active, remaining, deleted] : cases) {
    SCOPED_TRACE(testing::Message() << end.size() << " " << remaining);
    SetUserString(L"timerEnd", end);
    EXPECT_EQ(remaining, GetRemainingSeconds());
    EXPECT_EQ(remaining, ActiveRemainingSeconds());
    EXPECT_EQ(deleted, !UserString(L"timerEnd"));
    SetUserString(L"timerEnd", end);
    EXPECT_EQ(active, IsElevationActive());
    EXPECT_EQ(deleted, !UserString(L"timerEnd"));
  }
}

TEST_F(WorkerThreadsTest, EachServiceAnswerKeepsTheEndTimeItCallsForAndTellsTheMainWindow) {
  SetMachine(L"AccessPeriod", 600);
  SetMachine(L"ElevateForXDays", 3);
  // The event and the kind asked for; an elevation runs, the session ends with it; "timerEnd"
  // after (0: none), the balloons and whether the default icon is back.
  const std::tuple<int, ElevationKind, bool, bool, int64_t, std::vector<uintptr_t>, bool> cases[] =
      {{0, KindPeriod, false, false, kNow + 600, {NotifyStarted}, false},
       {0, KindDays, false, false, kNow + 3 * 86400, {NotifyStarted}, false},
       {0, KindShellHook, false, false, kNow + 30, {NotifyStarted}, false},
       {0, KindAtLogin, true, false, kNow + 5, {}, false},
       {1, KindPeriod, true, false, 0, {NotifyExpired}, true},
       {1, KindPeriod, true, true, kNow + 5, {}, true},  // resumed at the next start
       {2, KindPeriod, true, false, kNow + 5, {NotifyAlreadyMember}, false},
       {3, KindPeriod, true, false, kNow + 5, {}, false}};
  for (const auto& [event, kind, running, ending, end, balloons, restored] : cases) {
    SCOPED_TRACE(testing::Message() << event << " " << kind);
    fake.registry.DeleteKeyValue(kUser, kProduct, L"timerEnd");
    if (running) SetTimerEnd(5);
    fake.windows.queue.clear();
    fake.kernel.ResetEvent(GetChannelEvent(kShellHookSettledEvent));
    Store(g_nElevationKind, kind);
    Store(g_bShellHookElevation, 1);
    Store(g_bSessionEnding, ending);
    HandleServiceEvent(event);
    EXPECT_EQ(end ? std::optional(std::to_wstring(end)) : std::nullopt, UserString(L"timerEnd"));
    Posts posts = restored ? Posts{{msg::kRestoreIcon, 0}} : Posts();
    for (uintptr_t balloon : balloons) posts.emplace_back(msg::kShowBalloon, balloon);
    EXPECT_EQ(posts, Posted());
    EXPECT_EQ(event == 0 || event == 2, fake.kernel.Signaled(kSettled));  // the library's answer
    EXPECT_EQ(event != 0 || kind == KindShellHook, Load(g_bShellHookElevation) == 1);
    EXPECT_EQ(event == 1 ? KindNone : kind, Load(g_nElevationKind));
  }
}

TEST_F(WorkerThreadsTest, ServiceThreadAnswersOnlySignalsFromAfterItsStart) {
  fake.kernel.Signal(channel::kExpireEventName);  // stale; in the middle, so no end goes unreset
  StartServiceEventThread();
  fake.kernel.Signal(channel::kStartEventName);  // the start-up request's, before the thread runs
  RunUntilQuiet(RunServiceEvents, [&] { fake.kernel.Signal(channel::kForbidEventName); });
  EXPECT_EQ((Posts{{msg::kShowBalloon, NotifyStarted}, {msg::kShowBalloon, NotifyForbidden}}),
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

TEST_F(WorkerThreadsTest, HookIsInstalledOnlyWhenAllowedAndEveryFailureIsLogged) {
  const std::pair<HookInstall, const char*> cases[] = {
      {HookInstall::kInstalled, "HOOK INSTALLED"},
      {HookInstall::kLibraryNotLoaded, "SetHook.The DLL could not be found."},
      {HookInstall::kProcedureNotFound, "SetHook. The function was not found."},
      {HookInstall::kHookFailed, "Hook install failed. GetLastError: 1428"}};
  for (const auto& [outcome, line] : cases) {
    fake.shell.hookOutcome = outcome;
    EXPECT_EQ(outcome == HookInstall::kInstalled, SetHook());
    EXPECT_EQ(outcome == HookInstall::kInstalled, IsHookInstalled());
    EXPECT_EQ(line, LogMessages().back());
    RemoveHook();
    EXPECT_EQ(nullptr, fake.shell.installedHook);
  }
  EXPECT_FALSE(IsShellHookDisabled());
  for (uint32_t value : {0u, 1u, 0xFFFFFFFFu}) {
    SetMachine(L"DisableShellHook", value, kPolicy);
    EXPECT_EQ(value != 0, IsShellHookDisabled()) << value;
  }
}

TEST_F(WorkerThreadsTest, ShellRequestOfAnAdministratorIsSettledAndAnEndSparesAManualElevation) {
  MakeAdmin();
  HandleShellHookEvent(0);
  EXPECT_FALSE(Request());
  EXPECT_TRUE(fake.kernel.Signaled(kSettled));
  HandleShellHookEvent(1);  // a manual elevation runs
  Store(g_bShellHookElevation, 1);
  HandleShellHookEvent(2);  // no such event
  EXPECT_FALSE(fake.kernel.Signaled(kEmergency));
}

TEST_F(WorkerThreadsTest, ShellThreadAnswersEachSignalAfterItsStartRequestFirst) {
  fake.kernel.Signal(channel::kShellHookRequestEventName);  // before the start: not for this tray
  fake.kernel.Signal(channel::kShellHookEndEventName);
  Store(g_bShellHookElevation, 1);
  std::vector<std::string> seen;  // what the thread had logged when the end reached the service
  fake.kernel.afterSignal = [&] {
    if (seen.empty() && fake.kernel.Signaled(kEmergency)) seen = LogMessages();
  };
  RunUntilQuiet(RunShellHookEvents, [&] {
    fake.kernel.Signal(channel::kShellHookEndEventName);
    fake.kernel.Signal(channel::kShellHookRequestEventName);
  });
  const std::string added = "Add admin event signalled (from shell hook)";
  EXPECT_EQ(1, std::count(seen.begin(), seen.end(), added));
  const std::vector<std::string> all = LogMessages();
  EXPECT_EQ(1, std::count(all.begin(), all.end(), added));
  // The end reached the service, as seen says, and the request is the hook's: 30 seconds, silent.
  ASSERT_TRUE(Request());
  EXPECT_EQ(30u, Request()->seconds);
  EXPECT_EQ(KindShellHook, Load(g_nElevationKind));
  EXPECT_TRUE(Posted().empty());
}

}  // namespace
}  // namespace velmora::test
