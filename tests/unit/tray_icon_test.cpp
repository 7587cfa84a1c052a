// What the user sees and touches: the notification icon, the menus each gesture builds, the
// balloons, and the countdown drawn into the icon without leaking a single GDI object.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/countdown.h"
#include "app/main_dlg.h"
#include "elevation/channel.h"
#include "fakes/fake_platform.h"
#include "localization/localized_texts.h"
#include "state/globals.h"

namespace velmora {
namespace {

using fakes::FakeGdi;
using fakes::FakePlatform;
using fakes::FakeRegistry;
using fakes::FakeShell;

constexpr wchar_t kProduct[] = L"Software\\Ostrand\\Velmora";
constexpr wchar_t kBlock[] = L"Global\\__SHARED_312";
constexpr int64_t kNow = 1'800'000'000;

class TrayIconTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.clock.SetNowSeconds(kNow);
    fake.files.SetEnvironment(L"USERDOMAIN", L"CORP");
    fake.accounts.SetUserName(std::wstring(L"alice"));
    fake.services.SetState(L"VelmoraFrameworkService", svc::kStateRunning);
    fake.kernel.CreateFileMapping(kBlock, 1208);
    ASSERT_TRUE(CreateChannelEvents());
    Store(g_bADUserValid, 1);
    Store(g_bADUserGroupValid, 1);
    LoadBuiltInTexts();
    hwnd = dialog.Create();
    ASSERT_NE(nullptr, hwnd);
  }
  void TearDown() override { fake.windows.DestroyWindow(hwnd); }

  void SetMachine(const wchar_t* name, uint32_t value) {
    fake.registry.SetDword(Hive::kLocalMachine, FakeRegistry::View::k64, kProduct, name, value);
  }
  void SetMachineString(const wchar_t* name, const wchar_t* value) {
    fake.registry.SetString(Hive::kLocalMachine, FakeRegistry::View::k64, kProduct, name, value);
  }
  void SetTimerEnd(int64_t end) {
    fake.registry.SetString(Hive::kCurrentUser, FakeRegistry::View::k64, kProduct, L"timerEnd",
                            std::to_wstring(end));
  }
  void MakeAdmin() { fake.accounts.SetGroupMembers(L"Administrators", {L"CORP\\alice"}); }

  // The menu a gesture shows: ids and texts of its items ("~" marks a grey one).
  std::vector<std::wstring> MenuOf(intptr_t mouseMessage, bool control) {
    fake.shell.set_control_down(control);
    const size_t before = fake.shell.tracked().size();
    dialog.OnTrayIcon(mouseMessage);
    const auto tracked = fake.shell.tracked();
    if (tracked.size() == before) return {L"(no menu)"};
    std::vector<std::wstring> items;
    for (const auto& item : tracked.back()) items.push_back((item.grayed ? L"~" : L"") + item.text);
    return items;
  }
  std::vector<FakeShell::NotifyCall> Balloons() const {
    std::vector<FakeShell::NotifyCall> balloons;
    for (const auto& call : fake.shell.notify_calls()) {
      if (call.data.flags == nim::kFlagInfo) balloons.push_back(call);
    }
    return balloons;
  }
  std::wstring LastBalloon() const {
    const auto balloons = Balloons();
    return balloons.empty() ? L"(none)" : balloons.back().data.info;
  }

  FakePlatform fake;
  CMainDlg dialog;
  Hwnd hwnd = nullptr;
};

using Items = std::vector<std::wstring>;

TEST_F(TrayIconTest, IconIsAddedWithItsVersionAndAgainWhenTheTaskbarReturns) {
  const auto calls = fake.shell.notify_calls();
  ASSERT_EQ(2u, calls.size());
  EXPECT_EQ(nim::kAdd, calls[0].action);
  EXPECT_EQ(nim::kSetVersion, calls[1].action);
  const NotifyIconData& data = calls[0].data;
  EXPECT_EQ(hwnd, data.window);
  EXPECT_EQ(0u, data.id);
  EXPECT_EQ(7u, data.flags);
  EXPECT_EQ(msg::kTrayIcon, data.callbackMessage);
  EXPECT_EQ(L"Velmora", data.tip);
  EXPECT_EQ(5u, data.timeoutOrVersion);
  EXPECT_EQ(dialog.defaultIcon(), data.icon);

  fake.shell.clear_notify_calls();
  fake.shell.set_fail_add(true);
  intptr_t result = 0;
  dialog.ProcessWindowMessage(hwnd, dialog.taskbarCreatedMessage(), 0, 0, result);
  ASSERT_EQ(1u, fake.shell.notify_calls().size());  // no version after a failed add
  EXPECT_EQ(nim::kAdd, fake.shell.notify_calls()[0].action);
}

TEST_F(TrayIconTest, EachGestureBuildsItsMenuFromPolicy) {
  EXPECT_EQ((Items{L"Elevate alice", L"About"}), MenuOf(msg::kRButtonUp, false));
  EXPECT_EQ((Items{L"Elevate alice", L"About", L"Status"}), MenuOf(msg::kLButtonUp, true));
  // Control + right click for a non-administrator: no Settings.
  EXPECT_EQ((Items{L"Elevate alice", L"About"}), MenuOf(msg::kRButtonUp, true));

  SetMachineString(L"TokenElevation", L"1");
  SetMachine(L"ElevateForXDays", 3);
  MakeAdmin();
  // UserConfig absent: Settings is shown grey.
  EXPECT_EQ((Items{L"Request Previleges", L"Elevate alice", L"Elevate for 3 days", L"About",
                   L"~Settings"}),
            MenuOf(msg::kRButtonUp, true));
  SetMachine(L"UserConfig", 1);
  EXPECT_EQ(L"Settings", MenuOf(msg::kRButtonUp, true).back());

  Store(g_bManualElevationDisabled, 1);
  EXPECT_EQ((Items{L"About"}), MenuOf(msg::kRButtonUp, false));
  EXPECT_EQ((Items{L"About", L"Settings"}), MenuOf(msg::kRButtonUp, true));
  EXPECT_EQ((Items{L"(no menu)"}), MenuOf(msg::kLButtonUp, true));
  EXPECT_EQ(0u, fake.shell.live_menus() > 1 ? 1u : 0u);  // only the last menu is alive
  EXPECT_EQ(0, fake.shell.bad_menu_destroys());
}

TEST_F(TrayIconTest, RightClickWithoutControlNeverAsksForTheGroup) {
  const int before = fake.accounts.member_queries();
  MenuOf(msg::kRButtonUp, false);
  EXPECT_EQ(before, fake.accounts.member_queries());
}

TEST_F(TrayIconTest, LeftClickElevatesAtOnceUnlessBlocked) {
  Store(g_bReasonDlgOpen, 1);
  dialog.OnTrayIcon(msg::kLButtonUp);
  EXPECT_FALSE(fake.kernel.IsSignaled(L"Global\\___ADMIN_ACCESS__312"));
  Store(g_bReasonDlgOpen, 0);

  EventParams params;
  params.name = L"Global\\___ADMIN_ACCESS__312";
  Handle service = fake.kernel.CreateOrOpenEvent(params);
  dialog.OnTrayIcon(msg::kLButtonUp);
  EXPECT_TRUE(fake.kernel.IsSignaled(L"Global\\___ADMIN_ACCESS__312"));
  EXPECT_EQ(KindPeriod, Load(g_nElevationKind));
  EXPECT_TRUE(fake.shell.tracked().empty());
  fake.kernel.CloseHandle(service);
}

TEST_F(TrayIconTest, DaysItemAsksForThatManyDays) {
  SetMachine(L"ElevateForXDays", 3);
  EventParams params;
  params.name = L"Global\\___ADMIN_ACCESS__312";
  Handle service = fake.kernel.CreateOrOpenEvent(params);
  fake.shell.set_menu_answer(ID_ELEVATE_DAYS);
  MenuOf(msg::kRButtonUp, false);
  const auto bytes = fake.kernel.MappingBytes(kBlock);
  channel::ElevationRequestFields request;
  ASSERT_EQ(channel::RecordStatus::kOk,
            channel::DecodeElevationRequest(bytes.data(), bytes.size(), &request));
  EXPECT_EQ(259200u, request.seconds);
  EXPECT_EQ(KindDays, Load(g_nElevationKind));
  fake.kernel.CloseHandle(service);
}

TEST_F(TrayIconTest, SettingsWithTheServiceStoppedTellsByBalloon) {
  MakeAdmin();
  fake.services.SetState(L"VelmoraFrameworkService", svc::kStateStopped);
  fake.shell.set_menu_answer(ID_SETTINGS);
  MenuOf(msg::kRButtonUp, true);
  EXPECT_EQ(LocalizedText(TextId::kBalloonServiceNotRunning), LastBalloon());
}

TEST_F(TrayIconTest, BalloonTextsFollowTheKindAndTheRunningElevation) {
  SetMachine(L"AccessPeriod", 90);
  SetMachine(L"ElevateForXDays", 2);
  struct Case {
    int32_t elevation;
    uintptr_t kind;
    uint32_t seconds;
    std::wstring text;
  } cases[] = {
      {KindPeriod, NotifyStarted, 0,
       L"You have been assigned local administration privileges for 1 minutes"},
      {KindDays, NotifyStarted, 0,
       L"You have been assigned local administration privileges for 2 day(s)"},
      {KindNone, NotifyStarted, 0, L""},
      {KindPeriod, NotifyExpired, 0, L"Your local administration privileges has expired"},
      {KindPeriod, NotifyAlreadyMember, 0, L"alice is already a member"},
      {KindPeriod, NotifyAlreadyMemberTimeLeft, 3725,
       L"alice is already a member. 1 hour(s) 2 minute(s) 5 second(s) left"},
      {KindPeriod, NotifyElevatedAtLogin, 0, L"alice is already a member. Elevated at login"},
      {KindPeriod, NotifyCannotElevateAD, 0,
       L"Cannot elevate. Current user does not meet Active Directory requirements"},
  };
  for (const Case& c : cases) {
    Store(g_nElevationKind, c.elevation);
    dialog.ShowBalloon(c.kind, c.seconds);
    EXPECT_EQ(c.text, LastBalloon()) << c.kind;
  }
  const NotifyIconData data = Balloons().back().data;
  EXPECT_EQ(nim::kModify, Balloons().back().action);
  EXPECT_EQ(nim::kInfoIconInfo, data.infoFlags);
  EXPECT_EQ(7000u, data.timeoutOrVersion);
  EXPECT_EQ(L"Velmora", data.infoTitle);

  SetMachine(L"AccessPeriod", 30);
  Store(g_nElevationKind, KindPeriod);
  dialog.ShowBalloon(NotifyStarted, 0);
  EXPECT_EQ(L"You have been assigned local administration privileges for 0 minutes", LastBalloon());

  SetTimerEnd(kNow + 3725);
  Store(g_nElevationKind, KindResumed);
  dialog.ShowBalloon(NotifyStarted, 0);
  EXPECT_EQ(L"You have been assigned local administration privileges for 1 hour(s) 2 minute(s) "
            L"5 second(s) (resuscitated)",
            LastBalloon());
}

TEST_F(TrayIconTest, ShellHookElevationSilencesEveryBalloon) {
  Store(g_bShellHookElevation, 1);
  const size_t before = Balloons().size();
  for (uintptr_t kind = NotifyStarted; kind <= NotifyCannotElevateAD; ++kind) {
    intptr_t result = 0;
    dialog.ProcessWindowMessage(hwnd, msg::kShowBalloon, kind, 0, result);
  }
  EXPECT_EQ(before, Balloons().size());
}

TEST_F(TrayIconTest, BalloonFieldsAreCutNeverOverrun) {
  fake.accounts.SetUserName(std::wstring(400, L'x'));
  dialog.UpdateIdentityName(L"1");
  dialog.ShowBalloon(NotifyAlreadyMember, 0);
  EXPECT_EQ(255u, LastBalloon().size());
}

TEST_F(TrayIconTest, TryToElevateAnswersByBalloonWhenNothingNeedsAsking) {
  SetTimerEnd(kNow + 125);
  Store(g_nElevationKind, KindPeriod);
  dialog.TryToElevate(0);
  EXPECT_EQ(L"alice is already a member. 2 minute(s) 5 second(s) left", LastBalloon());

  Store(g_nElevationKind, KindAtLogin);
  dialog.TryToElevate(0);
  EXPECT_EQ(L"alice is already a member. Elevated at login", LastBalloon());

  SetTimerEnd(kNow - 1);
  MakeAdmin();
  dialog.TryToElevate(0);
  EXPECT_EQ(L"alice is already a member", LastBalloon());
  EXPECT_FALSE(fake.kernel.IsSignaled(L"Global\\___ADMIN_ACCESS__312"));
}

TEST_F(TrayIconTest, CountdownFontsShrinkWithTheDigits) {
  const std::pair<uint32_t, int> heights[] = {{1, 18},   {9, 18},   {10, 16}, {98, 16},
                                              {99, 12},  {998, 12}, {999, 10}};
  for (const auto& h : heights) EXPECT_EQ(h.second, CountdownFontHeight(h.first)) << h.first;

  const OwnedIcon icon = DrawCountdownIcon(hwnd, 120);
  ASSERT_EQ(1u, fake.gdi.drawn().size());
  EXPECT_EQ(L"120", fake.gdi.drawn()[0].text);
  EXPECT_EQ(12, fake.gdi.drawn()[0].fontHeight);
  EXPECT_EQ(0x11u, fake.gdi.drawn()[0].format);
  EXPECT_EQ(0u, fake.gdi.drawn()[0].textColor);
  EXPECT_EQ(0xFFFFFFu, fake.gdi.drawn()[0].backColor);
  EXPECT_EQ(L"Arial", fake.gdi.fonts()[0].face);
  EXPECT_EQ(400, fake.gdi.fonts()[0].weight);
  EXPECT_EQ(5, fake.gdi.fonts()[0].quality);
}

TEST_F(TrayIconTest, TenThousandTicksLeaveExactlyOneCountdownIconAndNothingElse) {
  SetMachine(L"VisibleCountDown", 1);
  SetTimerEnd(kNow + 900);
  fake.shell.clear_notify_calls();
  for (int tick = 0; tick < 10000; ++tick) {
    intptr_t result = 0;
    dialog.ProcessWindowMessage(hwnd, msg::kTimer, 0, 0, result);
  }
  EXPECT_EQ(1, fake.gdi.Alive(FakeGdi::Kind::kIcon));
  EXPECT_EQ(10000, fake.gdi.Created(FakeGdi::Kind::kIcon));
  for (auto kind : {FakeGdi::Kind::kWindowDc, FakeGdi::Kind::kMemoryDc, FakeGdi::Kind::kBitmap,
                    FakeGdi::Kind::kFont}) {
    EXPECT_EQ(0, fake.gdi.Alive(kind));
  }
  EXPECT_EQ(0, fake.gdi.misuse());
  EXPECT_EQ(0, fake.windows.bad_icon_destroys());
  EXPECT_EQ(10000u, fake.shell.notify_calls().size());

  // The end of the elevation restores the default icon and lets the last countdown icon go.
  intptr_t result = 0;
  dialog.ProcessWindowMessage(hwnd, msg::kRestoreIcon, 0, 0, result);
  EXPECT_EQ(dialog.defaultIcon(), fake.shell.notify_calls().back().data.icon);
  EXPECT_EQ(0, fake.gdi.Alive(FakeGdi::Kind::kIcon));
}

TEST_F(TrayIconTest, CountdownShowsOnlyTheLast999SecondsAndOnlyWhenAsked) {
  SetTimerEnd(kNow + 1000);
  intptr_t result = 0;
  dialog.ProcessWindowMessage(hwnd, msg::kTimer, 0, 0, result);  // setting absent
  SetMachine(L"VisibleCountDown", 1);
  dialog.ProcessWindowMessage(hwnd, msg::kTimer, 0, 0, result);  // 1000 s left
  EXPECT_EQ(0, fake.gdi.Created(FakeGdi::Kind::kIcon));
  fake.clock.Advance(1);
  dialog.ProcessWindowMessage(hwnd, msg::kTimer, 0, 0, result);
  ASSERT_EQ(1u, fake.gdi.drawn().size());
  EXPECT_EQ(L"999", fake.gdi.drawn()[0].text);
  EXPECT_EQ(10, fake.gdi.drawn()[0].fontHeight);

  // The taskbar comes back mid-countdown: the default icon at once, the number at the next
  // tick, and the icon the old taskbar showed is not kept alive.
  fake.shell.clear_notify_calls();
  dialog.ProcessWindowMessage(hwnd, dialog.taskbarCreatedMessage(), 0, 0, result);
  ASSERT_FALSE(fake.shell.notify_calls().empty());
  EXPECT_EQ(nim::kAdd, fake.shell.notify_calls()[0].action);
  EXPECT_EQ(dialog.defaultIcon(), fake.shell.notify_calls()[0].data.icon);
  fake.clock.Advance(1);
  dialog.ProcessWindowMessage(hwnd, msg::kTimer, 0, 0, result);
  EXPECT_EQ(nim::kModify, fake.shell.notify_calls().back().action);
  EXPECT_EQ(L"998", fake.gdi.drawn().back().text);
  EXPECT_NE(dialog.defaultIcon(), fake.shell.notify_calls().back().data.icon);
  EXPECT_EQ(1, fake.gdi.Alive(FakeGdi::Kind::kIcon));
}

TEST_F(TrayIconTest, SessionEndGoesToTheResuscitateRule) {
  SetMachine(L"Resuscitate", 2);
  intptr_t result = 0;
  dialog.ProcessWindowMessage(hwnd, msg::kEndSession, 1, 0, result);
  EXPECT_FALSE(fake.kernel.IsSignaled(L"Global\\__EMERGENCYSTART_EVENT__"));
  dialog.ProcessWindowMessage(hwnd, msg::kEndSession, 1, static_cast<intptr_t>(0x80000000u),
                              result);
  EXPECT_TRUE(fake.kernel.IsSignaled(L"Global\\__EMERGENCYSTART_EVENT__"));
}

}  // namespace
}  // namespace velmora
