// The shell-hook library's side of the tray: installing the hook, and the thread that answers
// the library's request and end events, driven through the fake kernel.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "elevation/channel.h"
#include "elevation/event_loop.h"
#include "elevation/shell_hook.h"
#include "fakes/fake_platform_settings.h"
#include "localization/localized_texts.h"
#include "state/globals.h"

namespace velmora {
namespace {

using fakes::FakeRegistry;

constexpr wchar_t kBlock[] = L"Global\\__SHARED_312";
constexpr wchar_t kRequestEvent[] = L"Global\\___ADMIN_ACCESS__312";
constexpr wchar_t kEmergency[] = L"Global\\__EMERGENCYSTART_EVENT__";
constexpr wchar_t kSettled[] = L"event__124__";

class ShellHookTest : public fakes::SettingsTestBase {
 protected:
  void SetUp() override {
    SettingsTestBase::SetUp();
    platform_.files.SetEnvironment(L"USERDOMAIN", L"CORP");
    platform_.accounts.SetUserName(std::wstring(L"alice"));
    platform_.accounts.SetGroupMembers(L"Administrators", {L"CORP\\Administrator"});
    platform_.services.SetState(L"VelmoraFrameworkService", svc::kStateRunning);
    kernel_.CreateFileMapping(kBlock, 1208);
    ASSERT_TRUE(CreateChannelEvents());
    // The service and the library hold their ends open, so signals stay visible to the test.
    for (const wchar_t* name : {kRequestEvent, kSettled}) {
      EventParams params;
      params.name = name;
      held_.push_back(kernel_.CreateOrOpenEvent(params));
    }
    Store(g_bADUserValid, 1);
    Store(g_bADUserGroupValid, 1);
    LoadBuiltInTexts();
  }
  void TearDown() override {
    CloseChannelEvents();
    for (Handle h : held_) kernel_.CloseHandle(h);
    ResetGlobals();
    SettingsTestBase::TearDown();
  }

  bool Requested() {
    const std::vector<uint8_t> bytes = kernel_.MappingBytes(kBlock);
    if (bytes == std::vector<uint8_t>(1208, 0)) return false;
    channel::ElevationRequestFields fields;
    EXPECT_EQ(channel::RecordStatus::kOk,
              channel::DecodeElevationRequest(bytes.data(), bytes.size(), &fields));
    EXPECT_EQ(30u, fields.seconds);
    EXPECT_FALSE(fields.atLogin);
    return true;
  }

  std::vector<Handle> held_;
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
    platform_.files.Delete(fakes::FakePlatform::kLogPath);
    shell_.SetHookOutcome(c.outcome);
    const bool installed = c.outcome == HookInstall::kInstalled;
    EXPECT_EQ(installed, SetHook());
    EXPECT_EQ(L"VelmoraSH64.dll", shell_.hookLibrary());
    EXPECT_EQ((std::vector<std::string>{"SetHook", c.line}), LogMessages());
    EXPECT_EQ(installed, IsHookInstalled());
    RemoveHook();
    EXPECT_FALSE(IsHookInstalled());
    EXPECT_FALSE(shell_.hookInstalled());
  }
}

TEST_F(ShellHookTest, OnlyEmptyOrZeroOrMissingLeavesTheHookOn) {
  EXPECT_FALSE(IsShellHookDisabled());
  const struct {
    uint32_t value;
    bool disabled;
  } cases[] = {{0, false}, {1, true}, {2, true}, {0xFFFFFFFF, true}};
  for (const auto& c : cases) {
    registry_.SetDword(Hive::kLocalMachine, FakeRegistry::View::k64,
                       L"SOFTWARE\\Policies\\Ostrand\\Velmora", L"DisableShellHook", c.value);
    EXPECT_EQ(c.disabled, IsShellHookDisabled()) << c.value;
  }
}

TEST_F(ShellHookTest, RequestAsksForThirtySilentSecondsOrSettlesAtOnceForAnAdministrator) {
  HandleShellHookEvent(0);
  EXPECT_TRUE(Requested());
  EXPECT_TRUE(kernel_.IsSignaled(kRequestEvent));
  EXPECT_EQ(KindShellHook, Load(g_nElevationKind));
  EXPECT_FALSE(kernel_.IsSignaled(kSettled));  // the service's answer settles it

  kernel_.CreateFileMapping(kBlock, 1208);
  kernel_.ResetEvent(held_[0]);
  platform_.accounts.SetGroupMembers(L"Administrators", {L"CORP\\alice"});
  HandleShellHookEvent(0);
  EXPECT_FALSE(kernel_.IsSignaled(kRequestEvent));
  EXPECT_TRUE(kernel_.IsSignaled(kSettled));
  const std::vector<std::string> log = LogMessages();
  EXPECT_EQ("Current user is already in admin group. Skipping elevation", log.back());
}

TEST_F(ShellHookTest, RequestWhileTheReasonDialogIsOpenIsDroppedUnsettled) {
  Store(g_bReasonDlgOpen, 1);
  HandleShellHookEvent(0);
  EXPECT_FALSE(Requested());
  EXPECT_FALSE(kernel_.IsSignaled(kSettled));
}

TEST_F(ShellHookTest, EndReachesTheServiceOnlyForTheHooksOwnElevation) {
  const struct {
    int32_t kind;
    int32_t fromHook;
    bool ends;
  } cases[] = {{KindNone, 0, false},    // before any elevation
               {KindPeriod, 0, false},  // a manual elevation runs
               {KindDays, 0, false},
               {KindShellHook, 1, true},
               {KindNone, 1, true}};  // the hook's elevation already expired
  for (const auto& c : cases) {
    Store(g_nElevationKind, c.kind);
    Store(g_bShellHookElevation, c.fromHook);
    kernel_.ResetEvent(GetChannelEvent(kEmergencyStartEvent));
    HandleShellHookEvent(1);
    EXPECT_EQ(c.ends, kernel_.IsSignaled(kEmergency)) << c.kind << "/" << c.fromHook;
  }
}

// The real thread: a signal from before its start is dropped, each later one answered once.
TEST_F(ShellHookTest, ThreadAnswersEachSignalAfterItsStart) {
  kernel_.SignalByName(L"event__123__");  // from before the tray started
  EventParams stopParams;
  stopParams.name = L"test stop";
  const Handle stop = kernel_.CreateOrOpenEvent(stopParams);
  std::thread thread([&] { RunShellHookEvents(stop); });
  const auto waitFor = [&](const std::string& line, int count) {
    for (int i = 0; i < 500; ++i) {
      int seen = 0;
      for (const std::string& l : LogMessages()) seen += l == line ? 1 : 0;
      if (seen >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  };
  ASSERT_TRUE(waitFor("Waiting for shell hook events", 1));
  EXPECT_FALSE(Requested());

  Store(g_bShellHookElevation, 1);
  kernel_.SignalByName(L"event__125__");
  ASSERT_TRUE(waitFor("The elevation was initiated from Shell hook, then we de-elevate!", 1));
  kernel_.SignalByName(L"event__123__");
  ASSERT_TRUE(waitFor("Add admin event signalled (from shell hook)", 1));
  ASSERT_TRUE(waitFor("Waiting for shell hook events", 3));
  kernel_.SignalEvent(stop);
  thread.join();
  EXPECT_TRUE(Requested());
  int requests = 0;
  for (const std::string& l : LogMessages()) requests += l.find("Add admin event") == 0 ? 1 : 0;
  EXPECT_EQ(1, requests);
  kernel_.CloseHandle(stop);
}

TEST(EventLoopTest, LowestSignalledEventIsHandledFirstAndStopEndsTheLoop) {
  fakes::FakePlatform platform;
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
  for (Handle h : events) platform.kernel.CloseHandle(h);
}

}  // namespace
}  // namespace velmora
