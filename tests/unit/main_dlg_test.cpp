// The hidden main window: its start, the notification icon, the menus each gesture builds, the
// balloons, the countdown drawn without leaking a GDI object, and the loop it runs in.
#include "app/main_dlg.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/countdown.h"
#include "app/message_loop.h"
#include "test_support.h"

namespace velmora::test {
namespace {

using Items = std::vector<std::wstring>;
using fakes::FakeGdi;

class MainDlgTest : public TrayTest {
 protected:
  void SetUp() override {
    SignIn();
    AppModule().AddMessageLoop(&loop);
    hwnd = dialog.Create();
    ASSERT_NE(nullptr, hwnd);
  }
  void TearDown() override {
    fake.windows.DestroyWindow(hwnd);
    AppModule().RemoveMessageLoop();
    TrayTest::TearDown();
  }

  bool Handle(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0) {
    intptr_t result = 99;
    const bool handled = dialog.ProcessWindowMessage(hwnd, message, wParam, lParam, result);
    EXPECT_EQ(0, result);
    return handled;
  }
  // The menu a gesture shows ("~" marks a grey item).
  Items MenuOf(intptr_t mouseMessage, bool control) {
    fake.shell.controlDown = control;
    const size_t before = fake.shell.shownMenus.size();
    Handle(msg::kTrayIcon, 0, mouseMessage);
    return fake.shell.shownMenus.size() == before ? Items{L"(no menu)"}
                                                  : fake.shell.shownMenus.back();
  }
  std::wstring LastBalloon() const {
    for (auto it = fake.shell.notifyCalls.rbegin(); it != fake.shell.notifyCalls.rend(); ++it) {
      if (it->data.flags == nim::kFlagInfo) return it->data.info;
    }
    return L"(none)";
  }
  const fakes::FakeShell::NotifyCall& LastIcon() const { return fake.shell.notifyCalls.back(); }

  CMessageLoop loop;
  CMainDlg dialog;
  Hwnd hwnd = nullptr;
};

TEST_F(MainDlgTest, StartsWithItsWindowStateAndTheIconAddedWithItsVersion) {
  EXPECT_EQ(hwnd, g_hMainWnd.load());
  ASSERT_EQ(2u, fake.shell.notifyCalls.size());
  EXPECT_EQ(nim::kSetVersion, fake.shell.notifyCalls[1].action);
  const NotifyIconData& data = fake.shell.notifyCalls[0].data;
  EXPECT_EQ(nim::kAdd, fake.shell.notifyCalls[0].action);
  EXPECT_EQ(hwnd, data.window);
  EXPECT_EQ(msg::kTrayIcon, data.callbackMessage);
  EXPECT_EQ(dialog.defaultIcon(), data.icon);

  // The taskbar returns: the icon is added again, and no version follows a failed add.
  fake.shell.failAdd = true;
  Handle(dialog.taskbarCreatedMessage());
  EXPECT_EQ(3u, fake.shell.notifyCalls.size());
  EXPECT_EQ(nim::kAdd, LastIcon().action);
}

TEST_F(MainDlgTest, StartAsksForTheElevationThePolicyOrTheLastSessionCallsFor) {
  const struct {
    bool admin;
    std::optional<uint32_t> atLogin;
    int64_t timerEnd;
    int32_t kind;
    std::optional<uint32_t> seconds;  // of the request sent
  } cases[] = {{true, 1, kNow + 60, KindResumed, std::nullopt},
               {false, 1, kNow + 60, KindNone, std::nullopt},  // the timed elevation still runs
               {false, 1, 0, KindAtLogin, 0},
               {false, 2, kNow + 60, KindResumed, 60},
               {false, std::nullopt, kNow + 60, KindResumed, 60},
               {false, std::nullopt, kNow, KindNone, std::nullopt}};
  for (const auto& c : cases) {
    fake.kernel.CreateFileMapping(channel::kSharedBlockName, channel::kElevationRequestSize);
    fake.accounts.groups[L"Administrators"] =
        std::vector<std::wstring>{c.admin ? L"CORP\\alice" : L"CORP\\bob"};
    fake.registry.DeleteKeyValue(kMachine, kProduct, L"ElevateAtLogin");
    if (c.atLogin) SetMachine(L"ElevateAtLogin", *c.atLogin);
    SetTimerEndAt(c.timerEnd);
    CMainDlg started;
    const Hwnd window = started.Create();
    EXPECT_EQ(c.kind, Load(g_nElevationKind)) << c.admin << c.atLogin.value_or(9);
    EXPECT_EQ(c.seconds, Request() ? std::optional<uint32_t>(Request()->seconds) : std::nullopt);
    fake.windows.DestroyWindow(window);
  }
}

TEST_F(MainDlgTest, EachGestureBuildsItsMenuFromPolicy) {
  // A plain right click never asks for the group, whose failure would show a box.
  fake.accounts.groupName.reset();
  EXPECT_EQ((Items{L"Elevate alice", L"About"}), MenuOf(msg::kRButtonUp, false));
  EXPECT_TRUE(fake.shell.boxes.empty());
  fake.accounts.groupName = L"Administrators";
  EXPECT_EQ((Items{L"Elevate alice", L"About", L"Status"}), MenuOf(msg::kLButtonUp, true));
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
  EXPECT_EQ(1u, fake.shell.LiveMenus());
  EXPECT_EQ(0, fake.shell.badMenuDestroys);
}

TEST_F(MainDlgTest, ClicksAndMenuItemsAskForTheirElevation) {
  Store(g_bReasonDlgOpen, 1);
  MenuOf(msg::kLButtonUp, false);
  EXPECT_FALSE(Request());
  Store(g_bReasonDlgOpen, 0);
  SetMachine(L"ElevateForXDays", 3);
  const struct {
    uint32_t item;
    intptr_t click;
    int32_t kind;
    uint32_t seconds;
  } items[] = {{0, msg::kLButtonUp, KindPeriod, 120},
               {ID_ELEVATE_DAYS, msg::kRButtonUp, KindDays, 259200},
               {ID_ELEVATE, msg::kRButtonUp, KindPeriod, 120},
               // Items that only open a dialog, and a dismissed menu, ask for nothing.
               {ID_REQUEST_PRIVILEGES, msg::kRButtonUp, KindPeriod, 120},
               {ID_STATUS, msg::kRButtonUp, KindPeriod, 120},
               {ID_ABOUT, msg::kRButtonUp, KindPeriod, 120},
               {0, msg::kRButtonUp, KindPeriod, 120}};
  for (const auto& item : items) {
    fake.shell.menuAnswer = item.item;
    MenuOf(item.click, false);
    EXPECT_EQ(item.seconds, Request()->seconds) << item.item;
    EXPECT_EQ(item.kind, Load(g_nElevationKind)) << item.item;
  }
  EXPECT_EQ(L"(none)", LastBalloon());

  // Settings with the service stopped tells by balloon.
  MakeAdmin();
  fake.services.states.clear();
  fake.shell.menuAnswer = ID_SETTINGS;
  MenuOf(msg::kRButtonUp, true);
  EXPECT_EQ(LocalizedText(TextId::kBalloonServiceNotRunning), LastBalloon());
}

TEST_F(MainDlgTest, SettingsChoiceIsShownAtOnceAndNoChoiceShowsNoName) {
  MakeAdmin();
  SetMachine(L"UserConfig", 1);
  fake.shell.menuAnswer = ID_SETTINGS;
  const struct {
    int radio;  // 0: none checked
    int button;
    std::wstring next;  // the elevation item of the next menu
  } choices[] = {{IDC_SETTINGS_DOMAIN_USERNAME, kIdOk, L"Elevate CORP\\alice"},
                 {IDC_SETTINGS_USERNAME, kIdCancel, L"Elevate CORP\\alice"},
                 {0, kIdOk, L"Elevate "}};
  for (const auto& c : choices) {
    fake.windows.modalScript = [&](Hwnd settings) {
      for (int radio : {IDC_SETTINGS_USERNAME, IDC_SETTINGS_FULLNAME,
                        IDC_SETTINGS_DOMAIN_USERNAME}) {
        fake.dialogs.item(settings, radio).checked = radio == c.radio;
      }
      fake.windows.Send(settings, msg::kCommand, c.button, 0);
    };
    MenuOf(msg::kRButtonUp, true);
    fake.shell.menuAnswer = 0;
    EXPECT_EQ(c.next, MenuOf(msg::kRButtonUp, false).front()) << c.radio;
    fake.shell.menuAnswer = ID_SETTINGS;
  }
}

TEST_F(MainDlgTest, BalloonTextsFollowTheKindAndTheRunningElevation) {
  SetMachine(L"AccessPeriod", 90);
  SetMachine(L"ElevateForXDays", 2);
  SetTimerEndAt(kNow + 3725);
  const std::wstring kAssigned = L"You have been assigned local administration privileges for ";
  const struct {
    int32_t elevation;
    uintptr_t kind;
    uint32_t seconds;
    std::wstring text;
  } cases[] = {
      {KindPeriod, NotifyStarted, 0, kAssigned + L"1 minutes"},
      {KindDays, NotifyStarted, 0, kAssigned + L"2 day(s)"},
      {KindResumed, NotifyStarted, 0,
       kAssigned + L"1 hour(s) 2 minute(s) 5 second(s) (resuscitated)"},
      {KindNone, NotifyStarted, 0, L""},
      {KindPeriod, NotifyExpired, 0, L"Your local administration privileges has expired"},
      {KindPeriod, NotifyForbidden, 0, LocalizedText(TextId::kBalloonForbiddenMessage)},
      {KindPeriod, NotifyAlreadyMember, 0, L"alice is already a member"},
      {KindPeriod, NotifyAlreadyMemberTimeLeft, 3725,
       L"alice is already a member. 1 hour(s) 2 minute(s) 5 second(s) left"},
      {KindPeriod, NotifyServiceNotRunning, 0, LocalizedText(TextId::kBalloonServiceNotRunning)},
      {KindPeriod, NotifyElevatedAtLogin, 0, L"alice is already a member. Elevated at login"},
      {KindPeriod, NotifyCannotElevateAD, 0,
       L"Cannot elevate. Current user does not meet Active Directory requirements"},
      {KindPeriod, 99, 0, L""}};
  for (const auto& c : cases) {
    Store(g_nElevationKind, c.elevation);
    dialog.ShowBalloon(c.kind, c.seconds);
    EXPECT_EQ(c.text, LastBalloon()) << c.kind;
  }
  EXPECT_EQ(nim::kModify, LastIcon().action);
  EXPECT_EQ(L"Velmora", LastIcon().data.infoTitle);

  // A long name is cut to the field; a shell-hook elevation silences every balloon.
  fake.accounts.userName = std::wstring(400, L'x');
  dialog.UpdateIdentityName(L"1");
  dialog.ShowBalloon(NotifyAlreadyMember, 0);
  EXPECT_EQ(255u, LastBalloon().size());
  Store(g_bShellHookElevation, 1);
  const size_t calls = fake.shell.notifyCalls.size();
  for (uintptr_t kind = NotifyStarted; kind <= NotifyCannotElevateAD; ++kind) {
    Handle(msg::kShowBalloon, kind);
  }
  EXPECT_EQ(calls, fake.shell.notifyCalls.size());
}

TEST_F(MainDlgTest, TryToElevateAnswersByBalloonWhenNothingNeedsAsking) {
  SetTimerEndAt(kNow + 125);
  Store(g_nElevationKind, KindPeriod);
  dialog.TryToElevate(0);
  EXPECT_EQ(L"alice is already a member. 2 minute(s) 5 second(s) left", LastBalloon());
  Store(g_nElevationKind, KindAtLogin);
  dialog.TryToElevate(0);
  EXPECT_EQ(L"alice is already a member. Elevated at login", LastBalloon());
  Store(g_bShellHookElevation, 1);
  const size_t calls = fake.shell.notifyCalls.size();
  dialog.TryToElevate(0);
  EXPECT_EQ(calls, fake.shell.notifyCalls.size());
  Store(g_bShellHookElevation, 0);

  SetTimerEndAt(kNow - 1);
  MakeAdmin();
  dialog.TryToElevate(0);
  EXPECT_EQ(L"alice is already a member", LastBalloon());
  EXPECT_FALSE(fake.kernel.IsSignaled(kRequestEvent));
}

TEST_F(MainDlgTest, CountdownShowsTheLast999SecondsInFontsThatShrinkWithTheDigits) {
  const std::pair<uint32_t, int> heights[] = {{1, 18},  {9, 18},   {10, 16}, {98, 16},
                                              {99, 12}, {998, 12}, {999, 10}};
  for (const auto& h : heights) EXPECT_EQ(h.second, CountdownFontHeight(h.first)) << h.first;

  SetTimerEndAt(kNow + 1000);
  Handle(msg::kTimer);  // VisibleCountDown absent
  SetMachine(L"VisibleCountDown", 1);
  Handle(msg::kTimer);  // 1000 s left
  EXPECT_EQ(0, fake.gdi.Created(FakeGdi::Kind::kIcon));
  fake.clock.now += 1;
  Handle(msg::kTimer);
  ASSERT_EQ(1u, fake.gdi.drawn.size());
  EXPECT_EQ(L"999", fake.gdi.drawn[0].text);
  EXPECT_EQ(10, fake.gdi.drawn[0].fontHeight);

  // The taskbar comes back mid-countdown: the default icon at once, the number at the next tick.
  Handle(dialog.taskbarCreatedMessage());
  EXPECT_EQ(dialog.defaultIcon(), fake.shell.notifyCalls.end()[-2].data.icon);
  fake.clock.now += 1;
  Handle(msg::kTimer);
  EXPECT_EQ(nim::kModify, fake.shell.notifyCalls.back().action);
  EXPECT_EQ(L"998", fake.gdi.drawn.back().text);
  EXPECT_NE(dialog.defaultIcon(), LastIcon().data.icon);
  for (int tick = 0; tick < 1000; ++tick) Handle(msg::kTimer);
  EXPECT_EQ(1, fake.gdi.Alive(FakeGdi::Kind::kIcon));
  EXPECT_EQ(1002, fake.gdi.Created(FakeGdi::Kind::kIcon));
  for (auto kind : {FakeGdi::Kind::kDc, FakeGdi::Kind::kBitmap, FakeGdi::Kind::kFont,
                    FakeGdi::Kind::kStockFont, FakeGdi::Kind::kStockBitmap}) {
    EXPECT_EQ(0, fake.gdi.Alive(kind));
  }
  EXPECT_EQ(0, fake.gdi.misuse);

  // The end: nothing drawn at 0 seconds; the default icon comes back and the last one goes.
  fake.clock.now = kNow + 1000;
  Handle(msg::kTimer);
  EXPECT_EQ(1002u, fake.gdi.drawn.size());
  Handle(msg::kRestoreIcon);
  EXPECT_EQ(dialog.defaultIcon(), LastIcon().data.icon);
  EXPECT_EQ(0, fake.gdi.Alive(FakeGdi::Kind::kIcon));
  EXPECT_EQ(0, fake.windows.badIconDestroys);
}

// Records what reaches it, and leaves messages of one value to the loop's filters.
struct Recorder : WindowHandler, CMessageFilter, CIdleHandler {
  bool ProcessWindowMessage(Hwnd, uint32_t message, uintptr_t, intptr_t, intptr_t&) override {
    if (message >= msg::kUser) received.push_back(message);
    return true;
  }
  bool PreTranslateMessage(Message* message) override { return message->message == claims; }
  // Posts one message from its first idle call, as work arriving while the loop is idle would.
  bool OnIdle() override {
    if (++idleCalls == 1 && postWhenIdle != 0) Windows().Post(nullptr, postWhenIdle, 0, 0);
    return false;
  }
  std::vector<uint32_t> received;
  uint32_t claims = 0;
  uint32_t postWhenIdle = 0;
  int idleCalls = 0;
};

TEST_F(MainDlgTest, LoopHandsMessagesToTheFiltersLastAddedFirstAndStopsAtQuit) {
  Recorder window, first, second;
  const Hwnd target = fake.windows.CreateModelessDialog(IDD_MAINDLG, nullptr, &window);
  first.claims = msg::kUser + 1;
  second.claims = msg::kUser + 2;
  loop.AddMessageFilter(&first);
  loop.AddMessageFilter(&second);
  fake.windows.claimed = {msg::kUser + 3};  // the main dialog's filter
  for (uint32_t message : {msg::kUser + 1, msg::kUser + 2, msg::kUser + 3, msg::kUser + 4}) {
    fake.windows.Post(target, message, 0, 0);
  }
  fake.windows.QueueFetchFailure();  // skipped without ending the loop
  fake.windows.PostQuit(42);
  fake.windows.Post(target, msg::kTimer, 0, 0);  // after WM_QUIT: never delivered
  EXPECT_EQ(42, loop.Run());
  EXPECT_EQ(std::vector<uint32_t>{msg::kUser + 4}, window.received);

  // Once the main window is gone its filter no longer claims anything.
  loop.RemoveMessageFilter(&first);
  fake.windows.DestroyWindow(hwnd);
  fake.windows.Post(target, msg::kUser + 3, 0, 0);
  fake.windows.Post(target, msg::kUser + 1, 0, 0);
  fake.windows.PostQuit(0);
  loop.Run();
  EXPECT_EQ((std::vector<uint32_t>{msg::kUser + 4, msg::kUser + 3, msg::kUser + 1}),
            window.received);
  fake.windows.DestroyWindow(target);
}

TEST(MessageLoopTest, IdleWorkWaitsForTheQueueAndFloodingMessagesDoNotReArmIt) {
  const std::pair<uint32_t, int> cases[] = {
      {msg::kMouseMove, 1}, {msg::kNcMouseMove, 1}, {msg::kPaint, 1},    {msg::kSystemTimer, 1},
      {msg::kTimer, 2},     {msg::kUser + 9, 2},    {msg::kLButtonUp, 2}};
  for (const auto& c : cases) {
    FakePlatform fake;
    CMessageLoop loop;
    Recorder idle;
    idle.postWhenIdle = c.first;
    loop.AddIdleHandler(&idle);
    EXPECT_EQ(fakes::FakeWindowSystem::kStarvedExitCode, loop.Run());
    EXPECT_EQ(c.second, idle.idleCalls) << std::hex << c.first;
  }
  FakePlatform fake;
  CMessageLoop loop;
  Recorder idle;
  loop.AddIdleHandler(&idle);
  fake.windows.Post(nullptr, msg::kUser + 1, 0, 0);
  fake.windows.PostQuit(5);
  EXPECT_EQ(5, loop.Run());
  EXPECT_EQ(0, idle.idleCalls);
  loop.RemoveIdleHandler(&idle);
}

TEST(MessageLoopTest, OnlyTheFirstLoopOfTheThreadRegistersAndOnlyItsThreadSeesIt) {
  FakePlatform fake;
  CMessageLoop first, second;
  AppModule().RemoveMessageLoop();  // none yet: nothing happens
  EXPECT_TRUE(AppModule().AddMessageLoop(&first));
  EXPECT_FALSE(AppModule().AddMessageLoop(&second));
  std::thread([] {
    EXPECT_EQ(nullptr, AppModule().GetMessageLoop());
    AppModule().RemoveMessageLoop();
  }).join();
  EXPECT_EQ(&first, AppModule().GetMessageLoop());
  AppModule().RemoveMessageLoop();
  EXPECT_EQ(nullptr, AppModule().GetMessageLoop());
}

}  // namespace
}  // namespace velmora::test
