// The end time of the running elevation and how the tray follows the service's answers:
// "timerEnd" arithmetic against a moved clock, each answer's effects, and the real thread
// waiting on the fake events.
#include "elevation/service_events.h"
#include "elevation/session_end.h"
#include "elevation/timer_end.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace velmora::test {
namespace {

class ElevationTimerTest : public TrayTest {
 protected:
  void SetUp() override {
    fake.clock.now = kNow;
    ASSERT_TRUE(CreateChannelEvents());
  }
  Handle StopEvent() {
    EventParams params;
    params.name = L"test stop";
    return fake.kernel.CreateOrOpenEvent(params);
  }
};

TEST_F(ElevationTimerTest, TimerEndCountsOnlyWhileInTheFutureAndAPastOneIsDeleted) {
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
               {L"-5", false, 0, true},
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
  velmora::SetTimerEnd(120);
  EXPECT_EQ(std::to_wstring(kNow + 120), UserString(L"timerEnd"));
}

TEST_F(ElevationTimerTest, GrantWritesTheEndTimeByKindAndAnnouncesIt) {
  const struct {
    ElevationKind kind;
    std::optional<int64_t> end;
    bool balloon;
    int32_t shellHook;
  } cases[] = {{KindPeriod, kNow + 600, true, 0},    {KindDays, kNow + 3 * 86400, true, 0},
               {KindShellHook, kNow + 30, true, 1},  {KindAtLogin, std::nullopt, false, 0},
               {KindResumed, std::nullopt, true, 0}, {KindNone, std::nullopt, true, 0}};
  for (const auto& c : cases) {
    FakePlatform local;
    local.clock.now = kNow;
    local.registry.SetDword(kMachine, View::k64, kProduct, L"AccessPeriod", 600);
    local.registry.SetDword(kMachine, View::k64, kProduct, L"ElevateForXDays", 3);
    ASSERT_TRUE(CreateChannelEvents());
    Store(g_nElevationKind, c.kind);
    Store(g_bShellHookElevation, 1 - c.shellHook);
    HandleServiceEvent(0);

    const auto end = local.registry.Get(kUser, View::k64, kProduct, L"timerEnd");
    EXPECT_EQ(c.end ? ToUtf16LeBytes(std::to_wstring(*c.end), true) : std::vector<uint8_t>(),
              end ? end->bytes : std::vector<uint8_t>())
        << c.kind;
    EXPECT_EQ(c.shellHook, Load(g_bShellHookElevation)) << c.kind;
    EXPECT_TRUE(local.kernel.IsSignaled(kSettledEvent)) << c.kind;
    EXPECT_EQ(c.balloon ? 1u : 0u, local.windows.Queued().size()) << c.kind;
  }
}

TEST_F(ElevationTimerTest, ExpiryAndRefusalTellTheMainWindow) {
  velmora::SetTimerEnd(100);
  Store(g_nElevationKind, KindPeriod);
  Store(g_bShellHookElevation, 1);
  HandleServiceEvent(1);
  EXPECT_FALSE(UserString(L"timerEnd").has_value());
  EXPECT_EQ(KindNone, Load(g_nElevationKind));
  EXPECT_EQ(1, Load(g_bShellHookElevation));
  EXPECT_FALSE(fake.kernel.IsSignaled(kSettledEvent));

  HandleServiceEvent(2);
  velmora::SetTimerEnd(50);
  HandleServiceEvent(2);
  HandleServiceEvent(3);
  EXPECT_EQ((Posts{{msg::kRestoreIcon, 0},
                   {msg::kShowBalloon, NotifyExpired},
                   {msg::kShowBalloon, NotifyForbidden},
                   {msg::kShowBalloon, NotifyAlreadyMember}}),
            Posted());
  EXPECT_TRUE(fake.kernel.IsSignaled(kSettledEvent));
}

bool WaitForPosts(const FakePlatform& fake, size_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (fake.windows.Queued().size() < count) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

TEST_F(ElevationTimerTest, ThreadIgnoresOldSignalsAndAnswersEachEventOnce) {
  // Signals from before the thread started are not answers.
  for (const wchar_t* name :
       {channel::kStartEventName, channel::kExpireEventName, channel::kForbidEventName}) {
    fake.kernel.SignalByName(name);
  }
  const Handle stop = StopEvent();
  Store(g_nElevationKind, KindPeriod);
  std::thread thread([&] { RunServiceEvents(stop); });
  // The thread resets first; give it the moment it needs, then answer in a burst.
  while (fake.kernel.IsSignaled(channel::kForbidEventName)) std::this_thread::yield();
  fake.kernel.SignalByName(channel::kForbidEventName);
  fake.kernel.SignalByName(channel::kExpireEventName);
  fake.kernel.SignalByName(channel::kStartEventName);
  const bool arrived = WaitForPosts(fake, 4);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // room for a wrong fifth
  fake.kernel.SignalEvent(stop);
  thread.join();
  ASSERT_TRUE(arrived);

  // The wait may wake between the signals; each event is answered exactly once.
  std::vector<uintptr_t> balloons;
  for (const auto& p : Posted()) {
    if (p.first == msg::kShowBalloon) balloons.push_back(p.second);
  }
  ASSERT_EQ(4u, Posted().size());
  EXPECT_EQ(1, std::count(balloons.begin(), balloons.end(), NotifyForbidden) +
                   std::count(balloons.begin(), balloons.end(), NotifyAlreadyMember));
  EXPECT_EQ(1, std::count(balloons.begin(), balloons.end(), NotifyExpired));
  EXPECT_EQ(1, std::count(balloons.begin(), balloons.end(), NotifyStarted));
}

TEST_F(ElevationTimerTest, FailedWaitIsLoggedOnceAndDoesNotSpin) {
  StartLog();
  CloseChannelEvents();  // every wait now fails outright
  const Handle stop = StopEvent();
  std::thread thread([&] { RunServiceEvents(stop); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int waits = fake.kernel.waitCalls;
  fake.kernel.SignalEvent(stop);
  thread.join();
  // One failed wait and one pause, not thousands.
  EXPECT_LE(waits, 4);
  EXPECT_EQ(LogMessages(), std::vector<std::string>{"ServiceEventThread. Waiting for the "
                                                    "service's events failed. Error code: 6"});
}

}  // namespace
}  // namespace velmora::test
