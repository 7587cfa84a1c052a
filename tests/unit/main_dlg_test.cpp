// The hidden main window: its start, the notification icon, the menus each gesture builds, the
// balloons, the countdown drawn without leaking a GDI object, and the loop it runs in.
#include "app/main_dlg.h"

#include <thread>

#include "app/countdown.h"
#include "app/message_loop.h"
#include "test_support.h"

namespace velmora::test {
namespace {

using Items = std::vector<std::wstring>;
using Kind = fakes::FakeGdi::Kind;

class MainDlgTest : public TrayTest {
 protected:
  void SetUp() override {
    SignIn();
    AppModule().AddMessageLoop(&loop);
    hwnd = dialog.Create();
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
    return fake.shell.shownMenus.size() == before ? Items{} : fake.shell.shownMenus.back();
  }
  std::wstring LastBalloon() const {
    for (auto it = fake.shell.notified.rbegin(); it != fake.shell.notified.rend(); ++it) {
      if (it->second.flags == nim::kFlagInfo) return it->second.info;
    }
    return L"(none)";
  }
  const NotifyIconData& LastIcon() const { return fake.shell.notified.back().second; }

  CMessageLoop loop;
  CMainDlg dialog;
  Hwnd hwnd = nullptr;
};

TEST_F(MainDlgTest, StartsWithTheIconAddedWithItsVersionAndAddsItAgainForANewTaskbar) {
  EXPECT_EQ(hwnd, g_hMainWnd.load());
  ASSERT_EQ(2u, fake.shell.notified.size());
  EXPECT_EQ(nim::kAdd, fake.shell.notified[0].first);
  EXPECT_EQ(nim::kSetVersion, fake.shell.notified[1].first);
  EXPECT_EQ(msg::kTrayIcon, LastIcon().callbackMessage);
  EXPECT_EQ(dialog.defaultIcon(), LastIcon().icon);
  // No version follows a failed add.
  fake.shell.failAdd = true;
  EXPECT_TRUE(Handle(dialog.taskbarCreatedMessage()));
  EXPECT_EQ(3u, fake.shell.notified.size());
  EXPECT_EQ(nim::kAdd, fake.shell.notified[2].first);
  EXPECT_TRUE(Handle(msg::kIgnored));
  EXPECT_FALSE(Handle(msg::kCommand));
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
               {false, std::nullopt, kNow, KindNone, std::nullopt}};
  for (const auto& c : cases) {
    fake.kernel.Put(kBlock, fakes::FakeKernel::Type::kMapping, 1208);
    fake.accounts.groups[L"Administrators"] =
        std::vector<std::wstring>{c.admin ? L"CORP\\alice" : L"CORP\\bob"};
    fake.registry.DeleteKeyValue(kMachine, kProduct, L"ElevateAtLogin");
    if (c.atLogin) SetMachine(L"ElevateAtLogin", *c.atLogin);
    SetTimerEndAt(c.timerEnd);
    CMainDlg started;
    const Hwnd window = started.Create();
    EXPECT_EQ(c.kind, Load(g_nElevationKind)) << c.admin << c.atLogin.value_or(9);
    EXPECT_EQ(c.seconds, Request() ? std::optional(Request()->seconds) : std::nullopt);
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
  EXPECT_EQ(Items{}, MenuOf(msg::kLButtonUp, true));
  EXPECT_EQ(Items{}, MenuOf(msg::kLButtonDown, false));
  EXPECT_EQ(1u, fake.shell.menus.size());  // each new menu replaces the last
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
    uint32_t seconds;  // of the last request; 259200 stays after the days item
  } items[] = {{0, msg::kLButtonUp, 120},
               {ID_ELEVATE_DAYS, msg::kRButtonUp, 259200},
               // Items that only open a dialog, and a dismissed menu, ask for nothing.
               {ID_STATUS, msg::kRButtonUp, 259200},
               {ID_ABOUT, msg::kRButtonUp, 259200},
               {0, msg::kRButtonUp, 259200},
               {ID_ELEVATE, msg::kRButtonUp, 120}};
  for (const auto& item : items) {
    fake.shell.menuAnswer = item.item;
    MenuOf(item.click, false);
    EXPECT_EQ(item.seconds, Request()->seconds) << item.item;
    EXPECT_EQ(item.seconds == 120 ? KindPeriod : KindDays, Load(g_nElevationKind)) << item.item;
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
  const std::pair<int, std::wstring> choices[] = {
      {IDC_SETTINGS_DOMAIN_USERNAME, L"CORP\\alice"}, {kIdCancel, L"CORP\\alice"}, {0, L""}};
  for (const auto& [radio, name] : choices) {
    fake.windows.modalScript = [&, radio = radio](Hwnd settings) {
      for (int id : {IDC_SETTINGS_USERNAME, IDC_SETTINGS_FULLNAME, IDC_SETTINGS_DOMAIN_USERNAME}) {
        fake.windows.item(settings, id).checked = id == radio;
      }
      fake.windows.Send(settings, msg::kCommand, radio == kIdCancel ? kIdCancel : kIdOk, 0);
    };
    fake.shell.menuAnswer = ID_SETTINGS;
    MenuOf(msg::kRButtonUp, true);
    fake.shell.menuAnswer = 0;
    EXPECT_EQ(L"Elevate " + name, MenuOf(msg::kRButtonUp, false).front()) << radio;
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
    std::wstring text;
  } cases[] = {
      {KindPeriod, NotifyStarted, kAssigned + L"1 minutes"},
      {KindDays, NotifyStarted, kAssigned + L"2 day(s)"},
      {KindResumed, NotifyStarted, kAssigned + L"1 hour(s) 2 minute(s) 5 second(s) (resuscitated)"},
      {KindNone, NotifyStarted, L""},
      {KindPeriod, NotifyExpired, L"Your local administration privileges has expired"},
      {KindPeriod, NotifyForbidden, LocalizedText(TextId::kBalloonForbiddenMessage)},
      {KindPeriod, NotifyAlreadyMember, L"alice is already a member"},
      {KindPeriod, NotifyAlreadyMemberTimeLeft,
       L"alice is already a member. 1 hour(s) 2 minute(s) 5 second(s) left"},
      {KindPeriod, NotifyElevatedAtLogin, L"alice is already a member. Elevated at login"},
      {KindPeriod, NotifyCannotElevateAD,
       L"Cannot elevate. Current user does not meet Active Directory requirements"},
      {KindPeriod, 99, L""}};
  for (const auto& c : cases) {
    Store(g_nElevationKind, c.elevation);
    dialog.ShowBalloon(c.kind, 3725);
    EXPECT_EQ(c.text, LastBalloon()) << c.kind;
  }
  EXPECT_EQ(L"Velmora", LastIcon().infoTitle);
  // A long name is cut to the field; a shell-hook elevation silences every balloon.
  fake.accounts.userName = std::wstring(400, L'x');
  dialog.UpdateIdentityName(L"1");
  EXPECT_TRUE(Handle(msg::kShowBalloon, NotifyAlreadyMember));
  EXPECT_EQ(255u, LastBalloon().size());
  Store(g_bShellHookElevation, 1);
  const size_t calls = fake.shell.notified.size();
  dialog.ShowBalloon(NotifyStarted, 0);
  EXPECT_EQ(calls, fake.shell.notified.size());
}

TEST_F(MainDlgTest, TryToElevateAnswersByBalloonWhenNothingNeedsAsking) {
  SetTimerEndAt(kNow + 125);
  const struct {
    int32_t kind, fromHook;
    std::wstring balloon;
  } cases[] = {{KindPeriod, 0, L"alice is already a member. 2 minute(s) 5 second(s) left"},
               {KindAtLogin, 0, L"alice is already a member. Elevated at login"},
               {KindAtLogin, 1, L"(none)"}};
  for (const auto& c : cases) {
    fake.shell.notified.clear();
    Store(g_nElevationKind, c.kind);
    Store(g_bShellHookElevation, c.fromHook);
    dialog.TryToElevate(0);
    EXPECT_EQ(c.balloon, LastBalloon());
  }
  Store(g_bShellHookElevation, 0);
  SetTimerEndAt(kNow - 1);
  MakeAdmin();
  dialog.TryToElevate(0);
  EXPECT_EQ(L"alice is already a member", LastBalloon());
  EXPECT_FALSE(Signaled(channel::kAddToAdminEventName));
}

TEST_F(MainDlgTest, CountdownShowsTheLast999SecondsInFontsThatShrinkWithTheDigits) {
  for (const auto& [seconds, height] : std::initializer_list<std::pair<uint32_t, int>>{
           {9, 18}, {10, 16}, {98, 16}, {99, 12}, {998, 12}, {999, 10}}) {
    EXPECT_EQ(height, CountdownFontHeight(seconds)) << seconds;
  }
  SetTimerEndAt(kNow + 1000);
  EXPECT_TRUE(Handle(msg::kTimer));  // VisibleCountDown absent
  SetMachine(L"VisibleCountDown", 1);
  Handle(msg::kTimer);  // 1000 s left
  EXPECT_TRUE(fake.gdi.drawn.empty());
  const int icons = fake.gdi.Alive(Kind::kIcon);
  for (int tick = 1; tick <= 1000; ++tick) {
    fake.clock.now = kNow + tick;
    Handle(msg::kTimer);
    // The taskbar comes back: the default icon at once, the number at the next tick.
    if (tick != 5) continue;
    Handle(dialog.taskbarCreatedMessage());
    EXPECT_EQ(dialog.defaultIcon(), LastIcon().icon);
  }
  ASSERT_EQ(999u, fake.gdi.drawn.size());  // nothing at 0 seconds
  EXPECT_EQ((std::pair<std::wstring, int>(L"999", 10)), fake.gdi.drawn.front());
  EXPECT_EQ((std::pair<std::wstring, int>(L"1", 18)), fake.gdi.drawn.back());
  EXPECT_NE(dialog.defaultIcon(), LastIcon().icon);
  EXPECT_EQ(icons + 1, fake.gdi.Alive(Kind::kIcon));  // the last tick's only
  for (Kind kind : {Kind::kDc, Kind::kBitmap, Kind::kFont, Kind::kStock}) {
    EXPECT_EQ(0, fake.gdi.Alive(kind));
  }
  EXPECT_TRUE(Handle(msg::kRestoreIcon));
  EXPECT_EQ(dialog.defaultIcon(), LastIcon().icon);
  EXPECT_EQ(icons, fake.gdi.Alive(Kind::kIcon));
  EXPECT_EQ(0, fake.gdi.misuse);
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
  for (uint32_t message : {msg::kUser + 1, msg::kUser + 2, msg::kUser + 3, msg::kUser + 4,
                           fakes::FakeWindows::kFetchFails, msg::kQuit, msg::kTimer}) {
    fake.windows.Post(message == msg::kQuit ? nullptr : target, message, 42, 0);
  }
  EXPECT_EQ(42, loop.Run());  // a failed fetch is skipped; nothing after WM_QUIT is delivered
  EXPECT_EQ(std::vector<uint32_t>{msg::kUser + 4}, window.received);
  // Once the main window is gone its filter no longer claims anything.
  loop.RemoveMessageFilter(&first);
  fake.windows.DestroyWindow(hwnd);
  fake.windows.queue.clear();
  fake.windows.Post(target, msg::kUser + 3, 0, 0);
  fake.windows.Post(target, msg::kUser + 1, 0, 0);
  loop.Run();
  EXPECT_EQ((std::vector<uint32_t>{msg::kUser + 4, msg::kUser + 3, msg::kUser + 1}),
            window.received);
  fake.windows.DestroyWindow(target);
}

TEST(MessageLoopTest, IdleWorkWaitsForTheQueueAndFloodingMessagesDoNotReArmIt) {
  const std::pair<uint32_t, int> cases[] = {
      {msg::kMouseMove, 1}, {msg::kNcMouseMove, 1}, {msg::kPaint, 1},    {msg::kSystemTimer, 1},
      {msg::kTimer, 2},     {msg::kUser + 9, 2},    {msg::kLButtonUp, 2}};
  for (const auto& [message, idleCalls] : cases) {
    FakePlatform fake;
    CMessageLoop loop;
    Recorder idle;
    idle.postWhenIdle = message;
    loop.AddIdleHandler(&idle);
    EXPECT_EQ(fakes::FakeWindows::kStarvedExitCode, loop.Run());
    EXPECT_EQ(idleCalls, idle.idleCalls) << std::hex << message;
    loop.RemoveIdleHandler(&idle);
    fake.windows.Post(nullptr, msg::kUser, 0, 0);
    loop.Run();
    EXPECT_EQ(idleCalls, idle.idleCalls);
  }
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
