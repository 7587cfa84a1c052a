// The end time of the running elevation and how the tray follows the service's answers:
// "timerEnd" arithmetic against a moved clock, each answer's effects, and the real thread
// waiting on the fake events.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "elevation/channel.h"
#include "elevation/service_events.h"
#include "elevation/timer_end.h"
#include "fakes/fake_platform.h"
#include "log/log.h"
#include "platform/messages.h"
#include "state/globals.h"

namespace velmora {
namespace {

using fakes::FakePlatform;
using fakes::FakeRegistry;

constexpr wchar_t kProduct[] = L"Software\\Ostrand\\Velmora";
constexpr int64_t kNow = 1'800'000'000;

class ElevationTimerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.clock.SetNowSeconds(kNow);
    ASSERT_TRUE(CreateChannelEvents());
  }

  void SetTimerEndText(const std::wstring& text) {
    fake.registry.SetString(Hive::kCurrentUser, FakeRegistry::View::k64, kProduct, L"timerEnd",
                            text);
  }
  std::optional<std::wstring> TimerEnd() const {
    return fake.registry.GetString(Hive::kCurrentUser, FakeRegistry::View::k64, kProduct,
                                   L"timerEnd");
  }
  // (message, wParam) of every posted message, oldest first.
  std::vector<std::pair<uint32_t, uintptr_t>> Posted() const {
    std::vector<std::pair<uint32_t, uintptr_t>> out;
    for (const Message& m : fake.windows.queued()) out.emplace_back(m.message, m.wParam);
    return out;
  }

  FakePlatform fake;
};

using Posts = std::vector<std::pair<uint32_t, uintptr_t>>;

TEST_F(ElevationTimerTest, TimerEndArithmeticAroundNow) {
  SetTimerEnd(120);
  EXPECT_EQ(std::to_wstring(kNow + 120), TimerEnd());
  EXPECT_TRUE(IsElevationActive());
  EXPECT_EQ(120u, GetRemainingSeconds());

  // Equal to now: not active, kept.
  fake.clock.Advance(120);
  EXPECT_FALSE(IsElevationActive());
  EXPECT_EQ(0u, GetRemainingSeconds());
  EXPECT_TRUE(TimerEnd().has_value());

  // One second past: deleted by the next look.
  fake.clock.Advance(1);
  EXPECT_EQ(0u, GetRemainingSeconds());
  EXPECT_TRUE(TimerEnd().has_value());  // GetRemainingSeconds changes nothing
  EXPECT_FALSE(IsElevationActive());
  EXPECT_FALSE(TimerEnd().has_value());
  EXPECT_FALSE(IsElevationActive());
}

TEST_F(ElevationTimerTest, OddTimerEndTextsCountAsPastOrSaturate) {
  for (const wchar_t* text : {L"soon", L"-5", L""}) {
    SetTimerEndText(text);
    EXPECT_EQ(0u, GetRemainingSeconds());
    EXPECT_FALSE(IsElevationActive());
  }
  SetTimerEndText(L"  " + std::to_wstring(kNow + 30) + L"xyz");
  EXPECT_EQ(30u, GetRemainingSeconds());

  // Beyond 32 bits of seconds: stays active and never wraps into a short time.
  SetTimerEndText(std::to_wstring(kNow + (int64_t{1} << 32) + 5));
  EXPECT_TRUE(IsElevationActive());
  EXPECT_EQ(0xFFFFFFFFu, GetRemainingSeconds());
}

TEST_F(ElevationTimerTest, GrantWritesTheEndTimeByKindAndAnnouncesIt) {
  struct Case {
    ElevationKind kind;
    std::optional<int64_t> end;
    bool balloon;
    int32_t shellHook;
  } cases[] = {
      {KindPeriod, kNow + 600, true, 0},   {KindDays, kNow + 3 * 86400, true, 0},
      {KindShellHook, kNow + 30, true, 1}, {KindAtLogin, std::nullopt, false, 0},
      {KindResumed, std::nullopt, true, 0}, {KindNone, std::nullopt, true, 0},
  };
  for (const Case& c : cases) {
    FakePlatform local;
    local.clock.SetNowSeconds(kNow);
    local.registry.SetDword(Hive::kLocalMachine, FakeRegistry::View::k64, kProduct,
                            L"AccessPeriod", 600);
    local.registry.SetDword(Hive::kLocalMachine, FakeRegistry::View::k64, kProduct,
                            L"ElevateForXDays", 3);
    ASSERT_TRUE(CreateChannelEvents());
    Store(g_nElevationKind, c.kind);
    Store(g_bShellHookElevation, 1 - c.shellHook);

    HandleServiceEvent(0);

    const auto end = local.registry.GetString(Hive::kCurrentUser, FakeRegistry::View::k64,
                                              kProduct, L"timerEnd");
    if (c.end) {
      EXPECT_EQ(std::to_wstring(*c.end), end) << c.kind;
    } else {
      EXPECT_FALSE(end.has_value()) << c.kind;
    }
    EXPECT_EQ(c.shellHook, Load(g_bShellHookElevation)) << c.kind;
    EXPECT_TRUE(local.kernel.IsSignaled(L"event__124__")) << c.kind;
    Posts expected;
    if (c.balloon) expected.emplace_back(msg::kShowBalloon, NotifyStarted);
    Posts posted;
    for (const Message& m : local.windows.queued()) posted.emplace_back(m.message, m.wParam);
    EXPECT_EQ(expected, posted) << c.kind;
  }
}

TEST_F(ElevationTimerTest, ExpiryClearsTheEndRestoresTheIconAndKeepsTheShellHookFlag) {
  SetTimerEnd(100);
  Store(g_nElevationKind, KindPeriod);
  Store(g_bShellHookElevation, 1);
  HandleServiceEvent(1);
  EXPECT_FALSE(TimerEnd().has_value());
  EXPECT_EQ(KindNone, Load(g_nElevationKind));
  EXPECT_EQ(1, Load(g_bShellHookElevation));
  EXPECT_EQ((Posts{{msg::kRestoreIcon, 0}, {msg::kShowBalloon, NotifyExpired}}), Posted());
  EXPECT_FALSE(fake.kernel.IsSignaled(L"event__124__"));
}

TEST_F(ElevationTimerTest, RefusalTellsWhetherAnElevationStillRuns) {
  HandleServiceEvent(2);
  SetTimerEnd(50);
  HandleServiceEvent(2);
  EXPECT_EQ((Posts{{msg::kShowBalloon, NotifyForbidden}, {msg::kShowBalloon, NotifyAlreadyMember}}),
            Posted());
  EXPECT_TRUE(fake.kernel.IsSignaled(L"event__124__"));
}

bool WaitForPosts(const FakePlatform& fake, size_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (fake.windows.queued().size() < count) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

TEST_F(ElevationTimerTest, ThreadIgnoresOldSignalsAndTakesBurstsInStartExpireForbidOrder) {
  // Signals from before the thread started are not answers.
  fake.kernel.SignalByName(L"Global\\__FORBID_EVENT__");
  EventParams stopParams;
  stopParams.name = L"test stop";
  Handle stop = fake.kernel.CreateOrOpenEvent(stopParams);
  Store(g_nElevationKind, KindPeriod);

  std::thread thread([&] { RunServiceEvents(stop); });
  // The thread resets first; give it the moment it needs, then answer in a burst.
  while (fake.kernel.IsSignaled(L"Global\\__FORBID_EVENT__")) std::this_thread::yield();
  fake.kernel.SignalByName(L"Global\\__FORBID_EVENT__");
  fake.kernel.SignalByName(L"Global\\__EXPIRE_EVENT__");
  fake.kernel.SignalByName(L"Global\\__START_EVENT__");
  const bool arrived = WaitForPosts(fake, 4);
  fake.kernel.SignalEvent(stop);
  thread.join();
  ASSERT_TRUE(arrived);

  const Posts posted = Posted();
  ASSERT_EQ(4u, posted.size());
  // The wait may wake between the signals; whatever it saw together it took in fixed order,
  // and each event is answered exactly once.
  std::vector<uintptr_t> balloons;
  for (const auto& p : posted) {
    if (p.first == msg::kShowBalloon) balloons.push_back(p.second);
  }
  EXPECT_EQ(3u, balloons.size());
  EXPECT_EQ(1, std::count(balloons.begin(), balloons.end(), NotifyForbidden) +
                   std::count(balloons.begin(), balloons.end(), NotifyAlreadyMember));
  EXPECT_EQ(1, std::count(balloons.begin(), balloons.end(), NotifyExpired));
  EXPECT_EQ(1, std::count(balloons.begin(), balloons.end(), NotifyStarted));
  fake.kernel.CloseHandle(stop);
}

TEST_F(ElevationTimerTest, FailedWaitIsLoggedOnceAndDoesNotSpin) {
  CreateLogLock();
  ASSERT_TRUE(SetDefaultLogFilePath());
  CloseChannelEvents();  // every wait now fails outright
  EventParams stopParams;
  stopParams.name = L"test stop";
  Handle stop = fake.kernel.CreateOrOpenEvent(stopParams);
  std::thread thread([&] { RunServiceEvents(stop); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int waits = fake.kernel.wait_calls();
  fake.kernel.SignalEvent(stop);
  thread.join();
  // One failed wait and one pause, not thousands.
  EXPECT_LE(waits, 4);
  const std::string log = fake.files.Contents(FakePlatform::kLogPath);
  EXPECT_EQ(1u, std::count(log.begin(), log.end(), '\n'));
  EXPECT_NE(std::string::npos, log.find("Waiting for the service's events failed"));
  fake.kernel.CloseHandle(stop);
  DestroyLogLock();
}

}  // namespace
}  // namespace velmora
