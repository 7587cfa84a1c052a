// The one road of every request: the checks in their order, what each refusal leaves behind,
// what reaches the shared block, the reason dialog that audited requests go through, and the
// elevation a session end cuts short, resumed at the next start.
#include "elevation/request_flow.h"

#include "dialogs/reason_dlg.h"
#include "elevation/service_events.h"
#include "elevation/session_end.h"
#include "elevation/timer_end.h"
#include "settings/managed_settings.h"
#include "test_support.h"

namespace velmora::test {
namespace {

// What the main window passes: the real reason dialog, driven through the fake window system.
const ReasonPrompt kAskWithDialog = [](std::wstring* reason) {
  return AskElevationReason(reason) == kReasonGiven;
};
constexpr char16_t kResuscitate[] =
    u"Resuscitate after tray app close (shutdown,log off or app crash occured)";
const std::wstring kAddToAdmin = channel::kAddToAdminEventName;
const std::wstring kSettled = channel::kShellHookSettledEventName;

class RequestFlowTest : public TrayTest {
 protected:
  void SetUp() override {
    SignIn();
    window = fake.windows.CreateModelessDialog(IDD_MAINDLG, nullptr, &mainWindow);
  }
  // Stands in for the main window: takes whatever is posted to it.
  struct Sink : WindowHandler {
    bool ProcessWindowMessage(Hwnd, uint32_t, uintptr_t, intptr_t, intptr_t&) override {
      return false;
    }
  } mainWindow;
  Hwnd window = nullptr;
};

enum Setup : unsigned {
  kAdmin = 1,
  kStopped = 2,
  kNoWindow = 4,
  kReasonOpen = 8,
  kNoADUser = 16,
  kNoADGroup = 32,
  kTimerRunning = 64,
  kAudited = 128,
};
struct Flow {
  const char* name;
  ElevationKind kind;
  unsigned setup;
  const char16_t* reason;  // of the request sent; null: none is sent
  bool settled;            // the shell hook's request is answered at once
  uintptr_t balloon;       // 0: none
  const wchar_t* box;
};
const Flow kFlows[] = {
    {"plain", KindPeriod, 0, u"no reason", false, 0, L""},
    {"reason dialog open", KindShellHook, kReasonOpen | kStopped | kAdmin, nullptr, false, 0, L""},
    {"administrator", KindPeriod, kAdmin | kStopped, nullptr, true, 0, L""},
    {"service stopped", KindDays, kStopped | kNoADUser, nullptr, true, NotifyServiceNotRunning,
     L""},
    {"service stopped, no window", KindAtLogin, kStopped | kNoWindow, nullptr, true, 0,
     L"Velmora Tray: Cannot elevate. Velmora Framework Service is not running (64)"},
    {"at login", KindAtLogin, kAudited | kNoADUser | kNoADGroup, u"startup", false, 0, L""},
    {"at login over a timed one", KindAtLogin, kTimerRunning, nullptr, false, 0, L""},
    {"directory user", KindPeriod, kNoADUser, nullptr, true, NotifyCannotElevateAD, L""},
    {"directory group", KindResumed, kNoADGroup, nullptr, true, NotifyCannotElevateAD, L""},
    {"resumed", KindResumed, kAudited | kTimerRunning, kResuscitate, false, 0, L""},
    {"shell hook", KindShellHook, kAudited, kResuscitate, false, 0, L""}};

class RequestOrderTest : public RequestFlowTest, public testing::WithParamInterface<Flow> {};

TEST_P(RequestOrderTest, ChecksRunInTheirOrderAndEachRefusalLeavesOnlyItsTrace) {
  const Flow& f = GetParam();
  SCOPED_TRACE(f.name);
  if (f.setup & kAdmin) MakeAdmin();
  if (f.setup & kStopped) fake.services.states.clear();
  if (f.setup & kTimerRunning) SetTimerEndAt(kNow + 60);
  if (f.setup & kAudited) SetMachine(L"Audit", 1);
  if (f.setup & kAudited) SetMachine(L"AuditRFE", 1);
  Store(g_bReasonDlgOpen, f.setup & kReasonOpen ? 1 : 0);
  Store(g_bADUserValid, f.setup & kNoADUser ? 0 : 1);
  Store(g_bADUserGroupValid, f.setup & kNoADGroup ? 0 : 1);
  fake.windows.modalScript = [](Hwnd) { ADD_FAILURE() << "a reason was asked for"; };
  AddUserToAdmin(f.setup & kNoWindow ? nullptr : window, f.kind, 77, kAskWithDialog);

  const auto request = Request();
  ASSERT_EQ(f.reason != nullptr, request.has_value());
  EXPECT_EQ(f.reason != nullptr, Signaled(kAddToAdmin));
  EXPECT_EQ(f.settled, Signaled(kSettled));
  EXPECT_EQ(f.balloon == 0 ? Posts() : Posts({{msg::kShowBalloon, f.balloon}}), Posted());
  EXPECT_EQ(f.box, Boxes(fake));
  if (!request) return;
  EXPECT_EQ(f.reason, request->reason);
  EXPECT_EQ(u"CORP\\alice", request->user);
  EXPECT_EQ(f.kind == KindAtLogin, request->atLogin);
  EXPECT_EQ(77u, request->seconds);
  EXPECT_EQ(f.kind, Load(g_nElevationKind));
}
INSTANTIATE_TEST_SUITE_P(Flows, RequestOrderTest, testing::ValuesIn(kFlows));

TEST_F(RequestFlowTest, OnlyAnAuditedRequestAsksForAReasonAndACancelledOneIsDropped) {
  const struct {
    std::optional<uint32_t> audit, rfe;
    std::vector<std::wstring> typed;       // each confirmed with OK; cancelled unless one fits
    std::optional<std::u16string> reason;  // nothing: no request
  } cases[] = {{1, 1, {}, std::nullopt},
               {1, 1, {L"ab"}, std::nullopt},    // two characters keep the dialog open
               {1, 1, {L"ab", L"  x"}, u"  x"},  // three do, blanks counted
               {1, 0, {}, u"no reason"},
               {0, 1, {}, u"no reason"},
               {std::nullopt, 1, {}, u"no reason"},
               {1, std::nullopt, {}, u"no reason"},
               {2, 1, {}, u"no reason"}};
  for (const auto& c : cases) {
    fake.kernel.Put(kBlock, fakes::FakeKernel::Type::kMapping, 1208);
    for (const wchar_t* name : {L"Audit", L"AuditRFE"}) {
      fake.registry.DeleteKeyValue(kMachine, kProduct, name);
    }
    if (c.audit) SetMachine(L"Audit", *c.audit);
    if (c.rfe) SetMachine(L"AuditRFE", *c.rfe);
    bool asked = false;
    fake.windows.modalScript = [&](Hwnd dialog) {
      asked = true;
      for (const std::wstring& text : c.typed) {
        fake.windows.item(dialog, IDC_REASON_EDIT).text = text;
        fake.windows.Send(dialog, msg::kCommand, kIdOk, 0);
      }
      fake.windows.Send(dialog, msg::kCommand, 99, 0);  // not a button of the dialog
      if (!c.reason) fake.windows.Send(dialog, msg::kCommand, kIdCancel, 0);
    };
    AddUserToAdmin(window, KindDays, 259200, kAskWithDialog);
    EXPECT_EQ(c.audit == 1u && c.rfe == 1u, asked);
    EXPECT_EQ(0, Load(g_bReasonDlgOpen));
    EXPECT_EQ(c.reason, Request() ? std::optional(Request()->reason) : std::nullopt);
  }
  EXPECT_FALSE(Signaled(kSettled));
}

// Resuscitate × log-off or shutdown × the end really happening or cancelled, then the
// service's answer and a new start of the tray.
TEST_F(RequestFlowTest, ElevationEndedWithTheSessionIsResumedAtTheNextStart) {
  constexpr intptr_t kLogoff = static_cast<intptr_t>(0x80000000u);
  const std::wstring kEmergency = channel::kEmergencyStartEventName;
  SetMachine(L"AccessPeriod", 600);
  for (uint32_t mode : {0u, 1u, 2u, 3u}) {
    SetMachine(L"Resuscitate", mode);
    for (bool logoff : {false, true}) {
      for (uintptr_t ending : {0u, 1u}) {
        SCOPED_TRACE(testing::Message()
                     << "mode " << mode << " logoff " << logoff << " ending " << ending);
        fake.clock.now = kNow;
        Store(g_bSessionEnding, 0);
        fake.kernel.ResetEvent(GetChannelEvent(kEmergencyStartEvent));
        fake.windows.queue.clear();
        SetTimerEnd(300);

        OnEndSessionResuscitate(ending, logoff ? kLogoff : 0);
        const bool signalled = Signaled(kEmergency);
        EXPECT_EQ(mode == 0 || (mode == 1 && !logoff) || (mode == 2 && logoff), signalled);
        if (signalled) HandleServiceEvent(1);  // the service ends it and answers EXPIRE

        const bool kept = !signalled || ending != 0;
        EXPECT_EQ(kept, IsElevationActive());
        const Posts expired = {{msg::kShowBalloon, NotifyExpired}};
        EXPECT_EQ(signalled && !kept, !Posted().empty() && Posted().back() == expired[0]);
        if (!kept) continue;
        Store(g_bSessionEnding, 0);  // a new process
        fake.clock.now += 10;
        ResumeElevation(window, kAskWithDialog);
        ASSERT_TRUE(Request().has_value());
        EXPECT_EQ(290u, Request()->seconds);
        EXPECT_EQ(KindResumed, Load(g_nElevationKind));
      }
    }
  }
}

// "timerEnd" is the user's to write: a resumed elevation never asks for more than a request
// could, and neither a negative setting nor a great many days wraps into a short one.
TEST_F(RequestFlowTest, ResumedElevationIsCappedAtTheLongestRequestPolicyAllows) {
  constexpr uint32_t kMonth = 30 * 86400, kMinus30 = static_cast<uint32_t>(-30);
  const struct {
    uint32_t accessPeriod, days, timerEnd, expected;
  } cases[] = {{120, 0, kMonth, 120},        {10, 0, kMonth, 30},
               {120, 3, kMonth, 259200},     {7200, 0, kMonth, 7200},
               {120, 0, 100, 100},           {kMinus30, 0, 20, 20},
               {120, kMinus30, kMonth, 120}, {120, 50000, 300 * 86400, 300 * 86400}};
  for (const auto& c : cases) {
    SetMachine(L"AccessPeriod", c.accessPeriod);
    SetMachine(L"ElevateForXDays", c.days);
    SetTimerEnd(c.timerEnd);
    ResumeElevation(window, kAskWithDialog);
    ASSERT_TRUE(Request().has_value());
    EXPECT_EQ(c.expected, Request()->seconds);
    EXPECT_EQ(c.expected, GetRemainingSeconds());  // what the balloon and the countdown show
  }
  // A managed document's empty period is no period: the default.
  SetManagedMode(ApplyManagedDocument(R"({"access_period_win":""})"));
  EXPECT_EQ(120u, GetAccessPeriod());
}

TEST_F(RequestFlowTest, ReasonLinkIsShownAsConfiguredAndOpensOnlyOnAClick) {
  // What is not a URL is shown and handed to the shell exactly as configured too.
  for (const std::wstring link : {L"call \"IT\" & ask", L""}) {
    SetUserString(L"RFELINK", link);
    fake.shell.opened.clear();
    fakes::FakeWindows::Item shown;
    size_t openedBeforeClick = 99;
    const int icons = fake.gdi.Alive(fakes::FakeGdi::Kind::kIcon);
    fake.windows.modalScript = [&](Hwnd dialog) {
      shown = fake.windows.item(dialog, IDC_REASON_LINK);
      NotifyHeader other{nullptr, IDC_REASON_LINK, 0xFFFFFFF0u};
      NotifyHeader click{nullptr, IDC_REASON_LINK, kNmClick};
      fake.windows.Send(dialog, msg::kNotify, IDC_REASON_LINK, reinterpret_cast<intptr_t>(&other));
      fake.windows.Send(dialog, msg::kNotify, IDC_REASON_EDIT, reinterpret_cast<intptr_t>(&click));
      openedBeforeClick = fake.shell.opened.size();
      fake.windows.Send(dialog, msg::kNotify, IDC_REASON_LINK, reinterpret_cast<intptr_t>(&click));
      fake.windows.Send(dialog, msg::kCommand, kIdCancel, 0);
    };
    std::wstring reason = L"untouched";
    EXPECT_EQ(kReasonCancelled, AskElevationReason(&reason));
    EXPECT_EQ(L"untouched", reason);
    EXPECT_EQ(link.empty() ? L"" : L"<a>" + link + L"</a>", shown.text);
    EXPECT_EQ(!link.empty(), shown.visible);
    EXPECT_EQ(0u, openedBeforeClick);
    EXPECT_EQ(link.empty() ? std::vector<std::wstring>{} : std::vector<std::wstring>{link},
              fake.shell.opened);
    EXPECT_EQ(icons, fake.gdi.Alive(fakes::FakeGdi::Kind::kIcon));  // given back
  }
  fake.windows.failCreate = true;
  std::wstring reason = L"untouched";
  EXPECT_EQ(kReasonCancelled, AskElevationReason(&reason));
  EXPECT_EQ(L"untouched", reason);
  EXPECT_EQ(0, fake.gdi.misuse);
}

}  // namespace
}  // namespace velmora::test
