// The one road of every request: the checks in their order, what each refusal leaves behind,
// what reaches the shared block, and the reason dialog that audited requests go through.
#include "elevation/request_flow.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/reason_dlg.h"
#include "elevation/service_events.h"
#include "elevation/session_end.h"
#include "elevation/timer_end.h"
#include "resource.h"
#include "settings/managed_settings.h"
#include "test_support.h"

namespace velmora::test {
namespace {

// What the main window passes: the real reason dialog, driven through the fake window system.
const ReasonPrompt kAskWithDialog = [](std::wstring* reason) {
  return AskElevationReason(reason) == kReasonGiven;
};

const std::u16string kResuscitate =
    u"Resuscitate after tray app close (shutdown,log off or app crash occured)";

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

  bool Signalled() const { return fake.kernel.IsSignaled(kRequestEvent); }
  bool Settled() const { return fake.kernel.IsSignaled(kSettledEvent); }
  void NoReasonDialog() {
    fake.windows.modalScript = [](Hwnd) { ADD_FAILURE() << "the reason dialog was shown"; };
  }

  Hwnd window = nullptr;
};

TEST_F(RequestFlowTest, PeriodRequestCarriesUserNoReasonAndAccessPeriod) {
  AddUserToAdmin(window, KindPeriod, GetAccessPeriod(), kAskWithDialog);
  const auto request = Request();
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(u"CORP\\alice", request->user);
  EXPECT_EQ(u"no reason", request->reason);
  EXPECT_FALSE(request->atLogin);
  EXPECT_EQ(120u, request->seconds);
  EXPECT_TRUE(Signalled());
  EXPECT_EQ(KindPeriod, Load(g_nElevationKind));
  EXPECT_FALSE(Settled());
  EXPECT_TRUE(Posted().empty());
}

TEST_F(RequestFlowTest, RefusalsBeforeTheServiceIsAskedLeaveNoTraceInTheChannel) {
  // Reason dialog open: nothing at all, not even the settled event or a service balloon.
  fake.services.states.clear();
  Store(g_bReasonDlgOpen, 1);
  AddUserToAdmin(window, KindShellHook, 30, kAskWithDialog);
  EXPECT_FALSE(Settled());
  EXPECT_TRUE(Posted().empty());
  Store(g_bReasonDlgOpen, 0);

  // Already an administrator: settled, nothing written, whatever the service does.
  MakeAdmin();
  AddUserToAdmin(window, KindPeriod, 120, kAskWithDialog);
  EXPECT_TRUE(Settled());
  EXPECT_TRUE(Posted().empty());
  EXPECT_FALSE(Request().has_value());
  EXPECT_FALSE(Signalled());
}

TEST_F(RequestFlowTest, StoppedServiceIsToldByBalloonOrBoxBeforeDirectoryVerdicts) {
  fake.services.states[L"VelmoraFrameworkService"] = svc::kStateStopped;
  Store(g_bADUserValid, 0);
  AddUserToAdmin(window, KindPeriod, 120, kAskWithDialog);
  EXPECT_TRUE(Settled());
  EXPECT_EQ((Posts{{msg::kShowBalloon, NotifyServiceNotRunning}}), Posted());
  EXPECT_TRUE(fake.shell.boxes.empty());

  // Without a window a message box stands in; an unknown service counts as not running.
  fake.services.states.clear();
  AddUserToAdmin(nullptr, KindAtLogin, 0, kAskWithDialog);
  EXPECT_EQ(L"Velmora Tray: Cannot elevate. Velmora Framework Service is not running (64)",
            Boxes(fake));
  EXPECT_EQ(1u, Posted().size());
  EXPECT_FALSE(Signalled());
}

TEST_F(RequestFlowTest, AtLoginAsksWithoutReasonOrDirectoryAndNeverOverATimedElevation) {
  SetMachine(L"Audit", 1);
  SetMachine(L"AuditRFE", 1);
  NoReasonDialog();
  Store(g_bADUserValid, 0);
  SetTimerEndAt(kNow + 60);
  AddUserToAdmin(window, KindAtLogin, 0, kAskWithDialog);
  EXPECT_FALSE(Request().has_value());
  EXPECT_FALSE(Settled());

  SetTimerEndAt(kNow);
  AddUserToAdmin(window, KindAtLogin, 0, kAskWithDialog);
  const auto request = Request();
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(u"startup", request->reason);
  EXPECT_TRUE(request->atLogin);
  EXPECT_EQ(0u, request->seconds);
  EXPECT_EQ(KindAtLogin, Load(g_nElevationKind));
}

TEST_F(RequestFlowTest, DirectoryVerdictsBlockEveryOtherKind) {
  for (auto* verdict : {&g_bADUserValid, &g_bADUserGroupValid}) {
    Store(g_bADUserValid, 1);
    Store(g_bADUserGroupValid, 1);
    Store(*verdict, 0);
    for (ElevationKind kind : {KindPeriod, KindDays, KindResumed, KindShellHook}) {
      AddUserToAdmin(window, kind, 60, kAskWithDialog);
    }
  }
  EXPECT_EQ(Posts(8, {msg::kShowBalloon, NotifyCannotElevateAD}), Posted());
  EXPECT_TRUE(Settled());
  EXPECT_FALSE(Request().has_value());
}

TEST_F(RequestFlowTest, ResumedAndShellHookRequestsCarryTheResuscitationReason) {
  SetMachine(L"Audit", 1);
  SetMachine(L"AuditRFE", 1);
  NoReasonDialog();
  for (ElevationKind kind : {KindResumed, KindShellHook}) {
    AddUserToAdmin(window, kind, 77, kAskWithDialog);
    const auto request = Request();
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(kResuscitate, request->reason);
    EXPECT_EQ(77u, request->seconds);
    EXPECT_EQ(kind, Load(g_nElevationKind));
  }
}

// Resuscitate × log-off or shutdown × the end really happening or cancelled, then the
// service's answer and a new start of the tray.
TEST_F(RequestFlowTest, ElevationEndedWithTheSessionIsResumedAtTheNextStart) {
  constexpr intptr_t kLogoff = static_cast<intptr_t>(0x80000000u);
  const Handle emergency = GetChannelEvent(kEmergencyStartEvent);
  SetMachine(L"AccessPeriod", 600);
  for (uint32_t mode : {0u, 1u, 2u, 3u}) {
    SetMachine(L"Resuscitate", mode);
    for (bool logoff : {false, true}) {
      for (uintptr_t ending : {0u, 1u}) {
        SCOPED_TRACE(testing::Message() << "mode " << mode << " logoff " << logoff << " ending "
                                        << ending);
        fake.clock.now = kNow;
        Store(g_bSessionEnding, 0);
        fake.kernel.ResetEvent(emergency);
        SetTimerEnd(300);
        const size_t posts = Posted().size();

        OnEndSessionResuscitate(ending, logoff ? kLogoff : 0);
        const bool signalled = fake.kernel.IsSignaled(channel::kEmergencyStartEventName);
        EXPECT_EQ(mode == 0 || (mode == 1 && !logoff) || (mode == 2 && logoff), signalled);
        if (signalled) HandleServiceEvent(1);  // the service ends it and answers EXPIRE

        const bool kept = !signalled || ending != 0;
        EXPECT_EQ(kept, IsElevationActive());
        const Posts after = Posted();
        const Posts::value_type expired{msg::kShowBalloon, NotifyExpired};
        EXPECT_EQ(signalled && !kept, after.size() > posts && after.back() == expired);
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

// "timerEnd" is the user's to write: a resumed elevation never asks for more than a request could.
TEST_F(RequestFlowTest, ResumedElevationIsCappedAtTheLongestRequestPolicyAllows) {
  const struct {
    uint32_t accessPeriod, days, expected;
  } cases[] = {{120, 0, 120}, {10, 0, 30}, {120, 3, 259200}, {7200, 0, 7200}};
  for (const auto& c : cases) {
    SetMachine(L"AccessPeriod", c.accessPeriod);
    SetMachine(L"ElevateForXDays", c.days);
    SetTimerEnd(30 * 86400);
    ResumeElevation(window, kAskWithDialog);
    ASSERT_TRUE(Request().has_value());
    EXPECT_EQ(c.expected, Request()->seconds);
    EXPECT_EQ(c.expected, GetRemainingSeconds());  // what the balloon and the countdown show
  }
  SetTimerEnd(100);
  ResumeElevation(window, kAskWithDialog);
  EXPECT_EQ(100u, Request()->seconds);
}

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
    fake.kernel.CreateFileMapping(channel::kSharedBlockName, channel::kElevationRequestSize);
    for (const wchar_t* name : {L"Audit", L"AuditRFE"}) {
      fake.registry.DeleteKeyValue(kMachine, kProduct, name);
    }
    if (c.audit) SetMachine(L"Audit", *c.audit);
    if (c.rfe) SetMachine(L"AuditRFE", *c.rfe);
    bool asked = false;
    fake.windows.modalScript = [&](Hwnd dialog) {
      asked = true;
      for (const std::wstring& text : c.typed) {
        fake.dialogs.SetItemText(dialog, IDC_REASON_EDIT, text);
        fake.windows.Send(dialog, msg::kCommand, kIdOk, 0);
      }
      if (!c.reason) fake.windows.Send(dialog, msg::kCommand, kIdCancel, 0);
    };
    AddUserToAdmin(window, KindDays, 259200, kAskWithDialog);
    EXPECT_EQ(c.audit == 1u && c.rfe == 1u, asked);
    EXPECT_EQ(0, Load(g_bReasonDlgOpen));
    EXPECT_EQ(c.reason,
              Request() ? std::optional<std::u16string>(Request()->reason) : std::nullopt);
  }
  EXPECT_FALSE(Settled());
}

TEST_F(RequestFlowTest, PeriodsAndDaysNeverWrap) {
  SetMachine(L"AccessPeriod", static_cast<uint32_t>(-30));
  EXPECT_EQ(0u, GetAccessPeriod());
  SetMachine(L"AccessPeriod", 90);
  EXPECT_EQ(90u, GetAccessPeriod());
  ASSERT_TRUE(ApplyManagedDocument(R"({"access_period_win":""})"));
  SetManagedMode(true);
  EXPECT_EQ(120u, GetAccessPeriod());
  EXPECT_EQ(0u, GetElevateForXDays());
  SetMachine(L"ElevateForXDays", static_cast<uint32_t>(-2));
  EXPECT_EQ(0u, GetElevateForXDays());
  EXPECT_EQ(259200u, DaysToSeconds(3));
  EXPECT_EQ(0xFFFFFFFFu, DaysToSeconds(50000));
}

TEST_F(RequestFlowTest, ReasonLinkIsShownAsConfiguredAndOpensOnlyOnAClick) {
  // What is not a URL is shown and handed to the shell exactly as configured too.
  for (const wchar_t* configured :
       {L"https://help.example/elevation", L"\\\\helpdesk\\forms\\elevation request.html",
        L"call \"IT\" on 5550100 & ask", L"%USERPROFILE%\\x", L""}) {
    SetUserString(L"RFELINK", configured);
    fake.shell.opened.clear();
    fakes::FakeDialogHost::Item link;
    size_t openedBeforeClick = 99;
    fake.windows.modalScript = [&](Hwnd dialog) {
      link = fake.dialogs.item(dialog, IDC_REASON_LINK);
      NotifyHeader other{nullptr, IDC_REASON_LINK, 0xFFFFFFF0u};
      fake.windows.Send(dialog, msg::kNotify, IDC_REASON_LINK, reinterpret_cast<intptr_t>(&other));
      fake.windows.Send(dialog, msg::kNotify, IDC_REASON_EDIT, reinterpret_cast<intptr_t>(&other));
      openedBeforeClick = fake.shell.opened.size();
      NotifyHeader click{nullptr, IDC_REASON_LINK, kNmClick};
      fake.windows.Send(dialog, msg::kNotify, IDC_REASON_LINK, reinterpret_cast<intptr_t>(&click));
      fake.windows.Send(dialog, msg::kCommand, kIdCancel, 0);
    };
    CReasonDlg dialog;
    EXPECT_EQ(kIdCancel, dialog.DoModal());
    const std::wstring text = configured;
    EXPECT_EQ(text.empty() ? L"" : L"<a>" + text + L"</a>", link.text);
    EXPECT_EQ(!text.empty(), link.visible);
    EXPECT_EQ(0u, openedBeforeClick);
    EXPECT_EQ(text.empty() ? std::vector<std::wstring>{} : std::vector<std::wstring>{text},
              fake.shell.opened);
  }
}

TEST_F(RequestFlowTest, ReasonDialogIsLocalizedFocusedAndGivesItsIconsBack) {
  std::map<int, std::wstring> texts;
  fake.windows.modalScript = [&](Hwnd dialog) {
    EXPECT_EQ(IDC_REASON_EDIT, fake.dialogs.focused[dialog]);
    for (int id : {IDC_REASON_PROMPT, kIdOk, kIdCancel}) {
      texts[id] = fake.dialogs.item(dialog, id).text;
    }
    fake.windows.Send(dialog, msg::kCommand, 99, 0);  // not a button of the dialog
    fake.windows.Send(dialog, msg::kCommand, kIdCancel, 0);
  };
  const int icons = fake.windows.liveIcons;
  std::wstring reason = L"untouched";
  EXPECT_EQ(kReasonCancelled, AskElevationReason(&reason));
  EXPECT_EQ(L"untouched", reason);
  EXPECT_EQ(LocalizedText(TextId::kElevateReasonDlgPrompt), texts[IDC_REASON_PROMPT]);
  EXPECT_EQ(LocalizedText(TextId::kElevateReasonDlgButton1), texts[kIdOk]);
  EXPECT_EQ(LocalizedText(TextId::kElevateReasonDlgButton2), texts[kIdCancel]);
  EXPECT_EQ(icons, fake.windows.liveIcons);
  EXPECT_EQ(0, fake.windows.badIconDestroys);

  fake.windows.failCreate = true;
  EXPECT_EQ(kReasonCancelled, AskElevationReason(&reason));
  EXPECT_EQ(L"untouched", reason);
}

}  // namespace
}  // namespace velmora::test
