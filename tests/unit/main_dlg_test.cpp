// The hidden main window: its start, the menus each gesture builds and what their items ask
// for, the balloons, the countdown drawn without leaking a GDI object, what a session end asks
// of the service, and the loop it runs in.
#include "app/main_dlg.h"

#include <thread>

#include "app/message_loop.h"
#include "test_support.h"

namespace velmora::test {
namespace {

using Kind = fakes::FakeGdi::Kind;

class MainDlgTest : public TrayTest {
 protected:
  void SetUp() override {
    SignIn();
    AppModule().AddMessageLoop(&loop);
    hwnd = dialog.Create();
  }
  bool Handle(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0) {
    intptr_t result = 99;
    return dialog.ProcessWindowMessage(hwnd, message, wParam, lParam, result) && result == 0;
  }
  // The items of the last menu shown, "|" between them and "~" before a grey one.
  std::wstring Menu() const { return fake.shell.shownMenus.back(); }
  // The last call to the notification area; its text is that of a balloon, empty for an icon.
  const NotifyIconData& LastIcon() const { return fake.shell.notified.back().second; }

  CMessageLoop loop;
  CMainDlg dialog;
  Hwnd hwnd = nullptr;
};

TEST_F(MainDlgTest, StartsWithTheIconAddedWithItsVersionAndAddsItAgainForANewTaskbar) {
  EXPECT_EQ(nim::kSetVersion, fake.shell.notified.at(1).first);
  EXPECT_EQ(msg::kTrayIcon, LastIcon().callbackMessage);
  fake.shell.failAdd = true;  // no version follows a failed add
  EXPECT_TRUE(Handle(dialog.taskbarCreatedMessage()));
  EXPECT_EQ(3u, fake.shell.notified.size());
  EXPECT_TRUE(Handle(msg::kIgnored));
  EXPECT_FALSE(Handle(msg::kCommand));
}

TEST_F(MainDlgTest, SessionEndAsksTheServiceToEndTheElevationAsResuscitateSays) {
  constexpr intptr_t kLogoff = static_cast<intptr_t>(0x80000000u);
  // Resuscitate (9: absent, which counts as 0), a log-off (else a shutdown), the end really
  // happening; the service is asked.
  const std::tuple<uint32_t, bool, bool, bool> cases[] = {
      {9, true, true, true},  {0, false, false, true}, {1, true, true, false},
      {1, false, true, true}, {2, true, false, true},  {2, false, true, false},
      {3, true, true, false}, {3, false, true, false}};
  for (const auto& [mode, logoff, ending, asked] : cases) {
    if (mode != 9) SetMachine(L"Resuscitate", mode);
    Store(g_bSessionEnding, 0);
    fake.kernel.ResetEvent(GetChannelEvent(kEmergencyStartEvent));
    EXPECT_TRUE(Handle(msg::kEndSession, ending, logoff ? kLogoff : 0));
    EXPECT_EQ(asked, fake.kernel.Signaled(channel::kEmergencyStartEventName)) << mode << logoff;
    // The service's answer then keeps "timerEnd" for the next start.
    EXPECT_EQ(asked && ending, Load(g_bSessionEnding) == 1) << mode << logoff;
  }
}

TEST_F(MainDlgTest, StartAsksForTheElevationThePolicyOrTheLastSessionCallsFor) {
  // Administrator, ElevateAtLogin, timerEnd; the kind and the request's seconds (99: none).
  // Rows that send come last: the block is not cleared between rows.
  const std::tuple<bool, std::optional<uint32_t>, int64_t, int32_t, uint32_t> cases[] = {
      {true, 1, kNow + 60, KindResumed, 99},
      {false, 1, kNow + 60, KindNone, 99},  // the timed elevation still runs
      {false, 1, 0, KindAtLogin, 0},
      {false, 2, kNow + 60, KindResumed, 60}};
  for (const auto& [admin, atLogin, timerEnd, kind, seconds] : cases) {
    fake.accounts.groups[L"Administrators"] = {{admin ? L"CORP\\alice" : L"CORP\\bob"}};
    if (atLogin) SetMachine(L"ElevateAtLogin", *atLogin);
    SetTimerEndAt(timerEnd);
    CMainDlg started;
    fake.windows.DestroyWindow(started.Create());
    EXPECT_EQ(kind, Load(g_nElevationKind)) << admin << atLogin.value_or(9);
    EXPECT_EQ(seconds, Request() ? Request()->seconds : 99);
  }
}

constexpr unsigned kAdmin = 1, kToken = 2, kDays = 4, kUserConfig = 8, kManualOff = 16,
                   kReasonOpen = 32, kRunning = 64, kAtLogin = 128, kFromHook = 256, kStopped = 512,
                   kNoGroupName = 1024;
constexpr intptr_t kLeft = msg::kLButtonUp, kRight = msg::kRButtonUp;  // clicks
struct Gesture {
  unsigned setup;
  intptr_t mouse;
  bool control;
  uint32_t choice;         // the item chosen; 0 dismisses the menu
  const wchar_t* menu;     // the items shown; empty: no menu
  uint32_t seconds;        // of the request sent; 0: none
  const wchar_t* balloon;  // empty: none
};
const wchar_t kPlain[] = L"Elevate alice|About";
const Gesture kGestures[] = {
    {0, kLeft, true, 0, L"Elevate alice|About|Status", 0, L""},
    {0, kRight, true, 0, kPlain, 0, L""},
    // UserConfig absent: Settings is shown grey.
    {kAdmin | kToken | kDays, kRight, true, 0,
     L"Request Previleges|Elevate alice|Elevate for 3 days|About|~Settings", 0, L""},
    {kManualOff | kToken, kRight, false, 0, L"About", 0, L""},
    {kManualOff, kLeft, true, 0, L"", 0, L""},
    {kReasonOpen, kLeft, false, 0, L"", 0, L""},
    {0, msg::kLButtonDown, false, 0, L"", 0, L""},
    {kDays, kRight, false, ID_ELEVATE_DAYS, L"Elevate alice|Elevate for 3 days|About", 259200, L""},
    {kDays, kRight, false, ID_ELEVATE, L"Elevate alice|Elevate for 3 days|About", 120, L""},
    // Items that only open a dialog ask for nothing; a plain right click never asks for the
    // group, whose failure would show a box.
    {0, kRight, false, ID_STATUS, kPlain, 0, L""},
    {kNoGroupName, kRight, false, ID_ABOUT, kPlain, 0, L""},
    // Settings with the service stopped tells by balloon.
    {kAdmin | kStopped | kUserConfig, kRight, true, ID_SETTINGS, L"Elevate alice|About|Settings", 0,
     L"Velmora Framework Service is not running, please contact your system Administrator"},
    // Nothing to ask: the answer comes by balloon, but never during a shell-hook elevation.
    {kRunning, kLeft, false, 0, L"", 0, L"alice is already a member. 2 minute(s) 5 second(s) left"},
    {kRunning | kAtLogin, kLeft, false, 0, L"", 0, L"alice is already a member. Elevated at login"},
    {kRunning | kAtLogin | kFromHook, kLeft, false, 0, L"", 0, L""},
    {kAdmin, kRight, false, ID_ELEVATE, kPlain, 0, L"alice is already a member"}};

// The name CTest shows for a row.
void PrintTo(const Gesture& g, std::ostream* os) {
  *os << "setup " << g.setup << " mouse " << g.mouse << " choice " << g.choice;
}

class GestureTest : public MainDlgTest, public testing::WithParamInterface<Gesture> {};

TEST_P(GestureTest, BuildsItsMenuFromPolicyAndAsksOnlyWhenSomethingNeedsAsking) {
  const Gesture& g = GetParam();
  if (g.setup & kAdmin) MakeAdmin();
  if (g.setup & kToken) SetMachineString(L"TokenElevation", L"1");
  if (g.setup & kDays) SetMachine(L"ElevateForXDays", 3);
  if (g.setup & kUserConfig) SetMachine(L"UserConfig", 1);
  if (g.setup & kRunning) SetTimerEndAt(kNow + 125);
  if (g.setup & kStopped) fake.services.states.clear();
  if (g.setup & kNoGroupName) fake.accounts.groupName.reset();
  Store(g_bManualElevationDisabled, g.setup & kManualOff ? 1 : 0);
  Store(g_bReasonDlgOpen, g.setup & kReasonOpen ? 1 : 0);
  Store(g_nElevationKind, g.setup & kAtLogin ? KindAtLogin : KindPeriod);
  Store(g_bShellHookElevation, g.setup & kFromHook ? 1 : 0);
  fake.shell.controlDown = g.control;
  fake.shell.menuAnswer = g.choice;
  EXPECT_TRUE(Handle(msg::kTrayIcon, 0, g.mouse));
  EXPECT_EQ(g.menu, fake.shell.shownMenus.empty() ? L"" : Menu());
  EXPECT_EQ(g.seconds, Request() ? Request()->seconds : 0);
  EXPECT_EQ(g.balloon, LastIcon().info);
  EXPECT_EQ(L"", fake.shell.boxes);
}
INSTANTIATE_TEST_SUITE_P(Gestures, GestureTest, testing::ValuesIn(kGestures));

TEST_F(MainDlgTest, SettingsChoiceIsShownAtOnceAndNoChoiceShowsNoName) {
  MakeAdmin();
  SetMachine(L"UserConfig", 1);
  fake.shell.controlDown = true;
  for (const auto& [radio, name] : {std::pair{IDC_SETTINGS_DOMAIN_USERNAME, L"CORP\\alice"},
                                    {kIdCancel, L"CORP\\alice"},
                                    {0, L""}}) {
    WhenShown({radio == kIdCancel ? kIdCancel : kIdOk}, [&, radio = radio] {
      Control(IDC_SETTINGS_USERNAME).checked = false;
      Control(radio).checked = true;
    });
    for (uint32_t choice : {ID_SETTINGS, 0u}) {
      fake.shell.menuAnswer = choice;
      dialog.OnTrayIcon(msg::kRButtonUp);
    }
    EXPECT_EQ(std::wstring(L"Elevate ") + name + L"|About|Settings", Menu()) << radio;
  }
  EXPECT_EQ(1u, fake.shell.menus.size());  // each menu goes when the next is built
}

TEST_F(MainDlgTest, BalloonTextsFollowTheKindAndTheRunningElevation) {
  SetMachine(L"AccessPeriod", 90);
  SetMachine(L"ElevateForXDays", 2);
  SetTimerEndAt(kNow + 3725);
  const std::wstring kAssigned = L"You have been assigned local administration privileges for ";
  const std::tuple<int32_t, uintptr_t, std::wstring> cases[] = {
      {KindPeriod, NotifyStarted, kAssigned + L"1 minutes"},
      {KindDays, NotifyStarted, kAssigned + L"2 day(s)"},
      {KindResumed, NotifyStarted, kAssigned + L"1 hour(s) 2 minute(s) 5 second(s) (resuscitated)"},
      {KindNone, NotifyStarted, L""},
      {KindPeriod, NotifyExpired, LocalizedText(TextId::kBalloonExpireMessage)},
      {KindPeriod, NotifyForbidden, LocalizedText(TextId::kBalloonForbiddenMessage)},
      {KindPeriod, NotifyCannotElevateAD, LocalizedText(TextId::kBalloonCannotElevateAD)},
      {KindPeriod, 99, L""}};
  for (const auto& [elevation, kind, text] : cases) {
    Store(g_nElevationKind, elevation);
    dialog.ShowBalloon(kind, 3725);
    EXPECT_EQ(text, LastIcon().info) << kind;
  }
  SetMachine(L"AccessPeriod", 30);  // under a minute is not "0 minutes"
  dialog.ShowBalloon(NotifyStarted, 0);
  EXPECT_EQ(kAssigned + L"1 minutes", LastIcon().info);
  EXPECT_EQ(L"Velmora", LastIcon().infoTitle);
  fake.accounts.userName = std::wstring(400, L'x');  // a long name is cut to the field
  dialog.UpdateIdentityName(L"1");
  EXPECT_TRUE(Handle(msg::kShowBalloon, NotifyAlreadyMember));
  EXPECT_EQ(255u, LastIcon().info.size());
}

TEST_F(MainDlgTest, CountdownShowsTheLast999SecondsInFontsThatShrinkWithTheDigits) {
  SetTimerEndAt(kNow + 999);
  EXPECT_TRUE(Handle(msg::kTimer));  // VisibleCountDown absent
  SetMachine(L"VisibleCountDown", 1);
  const int icons = fake.gdi.Alive(Kind::kIcon);
  for (int tick = -1; tick <= 999; ++tick) {
    fake.clock.now = kNow + tick;
    Handle(msg::kTimer);
  }
  ASSERT_EQ(999u, fake.gdi.drawn.size());  // nothing at 1000 seconds or none
  for (const auto& [seconds, height] :
       {std::pair{999, 10}, {998, 12}, {99, 12}, {98, 16}, {10, 16}, {9, 18}, {1, 18}}) {
    EXPECT_EQ(std::pair(std::to_wstring(seconds), height), fake.gdi.drawn[999 - seconds]);
  }
  EXPECT_NE(dialog.defaultIcon(), LastIcon().icon);
  EXPECT_EQ(icons + 1, fake.gdi.Alive(Kind::kIcon));  // the last tick's only
  for (Kind kind : {Kind::kDc, Kind::kBitmap, Kind::kFont}) EXPECT_EQ(0, fake.gdi.Alive(kind));
  EXPECT_TRUE(Handle(msg::kRestoreIcon));
  EXPECT_EQ(dialog.defaultIcon(), LastIcon().icon);
  EXPECT_EQ(icons, fake.gdi.Alive(Kind::kIcon));
  EXPECT_EQ(0, fake.gdi.misuse);
}

// Records what reaches it, claims WM_USER + 1 as a filter, and from its first idle call posts
// the messages that arrive constantly, as the mouse and painting would.
struct Recorder : WindowHandler, CMessageFilter, CIdleHandler {
  bool ProcessWindowMessage(Hwnd, uint32_t message, uintptr_t, intptr_t, intptr_t&) override {
    if (message >= msg::kUser) received.push_back(message);
    return true;
  }
  bool PreTranslateMessage(Message* message) override { return message->message == msg::kUser + 1; }
  bool OnIdle() override {
    if (idleCalls++ > 0) return false;
    for (uint32_t message : {msg::kMouseMove, msg::kNcMouseMove, msg::kPaint, msg::kSystemTimer}) {
      Windows().Post(nullptr, message, 0, 0);
    }
    return false;
  }
  std::vector<uint32_t> received;
  int idleCalls = 0;
};

TEST_F(MainDlgTest, LoopLeavesWhatAFilterClaimsUndeliveredAndStopsAtQuit) {
  Recorder window;
  const Hwnd target = fake.windows.CreateModelessDialog(IDD_MAINDLG, nullptr, &window);
  loop.AddMessageFilter(&window);
  fake.windows.claimed = {msg::kUser + 3};  // the main dialog's filter
  for (uint32_t message : {msg::kUser + 1, msg::kUser + 3, msg::kUser + 4,
                           fakes::FakeWindows::kFetchFails, msg::kQuit, msg::kTimer}) {
    fake.windows.Post(message == msg::kQuit ? nullptr : target, message, 42, 0);
  }
  EXPECT_EQ(42, loop.Run());  // a failed fetch is skipped; nothing after WM_QUIT is delivered
  EXPECT_EQ(std::vector<uint32_t>{msg::kUser + 4}, window.received);
  // Once the main window is gone its filter no longer claims anything.
  fake.windows.DestroyWindow(hwnd);
  // Idle work runs once the queue is empty, but not again after messages that arrive constantly.
  loop.AddIdleHandler(&window);
  fake.windows.queue = {{target, msg::kUser + 3}};
  loop.Run();
  EXPECT_EQ((std::vector<uint32_t>{msg::kUser + 4, msg::kUser + 3}), window.received);
  EXPECT_EQ(1, window.idleCalls);
  // Only the first loop of the thread registers, and only its thread sees it.
  EXPECT_FALSE(AppModule().AddMessageLoop(&loop));
  std::thread([] {
    EXPECT_EQ(nullptr, AppModule().GetMessageLoop());
    AppModule().RemoveMessageLoop();
  }).join();
  EXPECT_EQ(&loop, AppModule().GetMessageLoop());
}

}  // namespace
}  // namespace velmora::test
