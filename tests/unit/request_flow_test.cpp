// The one road of every request: the checks in their order, what each refusal leaves behind,
// what reaches the shared block, and the reason dialog that audited requests go through.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dialogs/reason_dlg.h"
#include "elevation/channel.h"
#include "elevation/request_flow.h"
#include "elevation/service_events.h"
#include "elevation/session_end.h"
#include "elevation/timer_end.h"
#include "fakes/fake_platform.h"
#include "localization/localized_texts.h"
#include "resource.h"
#include "state/globals.h"

namespace velmora {
namespace {

// What the main window passes: the real reason dialog, driven through the fake window system.
const ReasonPrompt kAskWithDialog = [](std::wstring* reason) {
  return AskElevationReason(reason) == kReasonGiven;
};

using fakes::FakePlatform;
using fakes::FakeRegistry;

constexpr wchar_t kProduct[] = L"Software\\Ostrand\\Velmora";
constexpr wchar_t kBlock[] = L"Global\\__SHARED_312";
constexpr wchar_t kRequestEvent[] = L"Global\\___ADMIN_ACCESS__312";
constexpr wchar_t kResuscitate[] =
    L"Resuscitate after tray app close (shutdown,log off or app crash occured)";
constexpr int64_t kNow = 1'800'000'000;

class RequestFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.clock.SetNowSeconds(kNow);
    fake.files.SetEnvironment(L"USERDOMAIN", L"CORP");
    fake.accounts.SetUserName(std::wstring(L"alice"));
    fake.accounts.SetGroupMembers(L"Administrators", {L"CORP\\Administrator"});
    fake.services.SetState(L"VelmoraFrameworkService", svc::kStateRunning);
    fake.kernel.CreateFileMapping(kBlock, 1208);
    ASSERT_TRUE(CreateChannelEvents());
    // The service holds the request event open, so a signal stays visible to the test.
    EventParams params;
    params.name = kRequestEvent;
    serviceSide = fake.kernel.CreateOrOpenEvent(params);
    Store(g_bADUserValid, 1);
    Store(g_bADUserGroupValid, 1);
    LoadBuiltInTexts();
    window = fake.windows.CreateModelessDialog(129, nullptr, &mainWindow);
  }

  // Stands in for the main window: takes whatever is posted to it.
  struct Sink : WindowHandler {
    bool ProcessWindowMessage(Hwnd, uint32_t, uintptr_t, intptr_t, intptr_t&) override {
      return false;
    }
  } mainWindow;

  void SetMachine(const wchar_t* name, uint32_t value) {
    fake.registry.SetDword(Hive::kLocalMachine, FakeRegistry::View::k64, kProduct, name, value);
  }

  // The request the service would read, or nothing when the block was never written.
  std::optional<channel::ElevationRequestFields> Request() {
    const std::vector<uint8_t> bytes = fake.kernel.MappingBytes(kBlock);
    if (bytes == std::vector<uint8_t>(1208, 0)) return std::nullopt;
    channel::ElevationRequestFields fields;
    EXPECT_EQ(channel::RecordStatus::kOk,
              channel::DecodeElevationRequest(bytes.data(), bytes.size(), &fields));
    return fields;
  }
  bool Signalled() { return fake.kernel.IsSignaled(kRequestEvent); }
  bool Settled() { return fake.kernel.IsSignaled(L"event__124__"); }
  std::vector<uintptr_t> Balloons() const {
    std::vector<uintptr_t> kinds;
    for (const Message& m : fake.windows.queued()) {
      if (m.message == msg::kShowBalloon) kinds.push_back(m.wParam);
    }
    return kinds;
  }

  FakePlatform fake;
  Handle serviceSide = nullptr;
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
  EXPECT_TRUE(Balloons().empty());
}

TEST_F(RequestFlowTest, EarlyRefusalsLeaveNoTraceInTheChannel) {
  // Already an administrator: settled, logged, nothing written.
  fake.accounts.SetGroupMembers(L"Administrators", {L"CORP\\alice"});
  AddUserToAdmin(window, KindPeriod, 120, kAskWithDialog);
  EXPECT_TRUE(Settled());
  EXPECT_FALSE(Request().has_value());
  EXPECT_FALSE(Signalled());

  // Reason dialog open: nothing at all, not even the settled event.
  FakePlatform local;
  local.services.SetState(L"VelmoraFrameworkService", svc::kStateRunning);
  ASSERT_TRUE(CreateChannelEvents());
  Store(g_bReasonDlgOpen, 1);
  AddUserToAdmin(window, KindShellHook, 30, kAskWithDialog);
  EXPECT_FALSE(local.kernel.IsSignaled(L"event__124__"));
  EXPECT_TRUE(local.windows.queued().empty());
  EXPECT_EQ(0, local.services.queries());
}

TEST_F(RequestFlowTest, StoppedServiceIsToldByBalloonOrBoxBeforeDirectoryVerdicts) {
  fake.services.SetState(L"VelmoraFrameworkService", svc::kStateStopped);
  Store(g_bADUserValid, 0);
  AddUserToAdmin(window, KindPeriod, 120, kAskWithDialog);
  EXPECT_TRUE(Settled());
  EXPECT_EQ(std::vector<uintptr_t>{NotifyServiceNotRunning}, Balloons());
  EXPECT_FALSE(Signalled());
  EXPECT_TRUE(fake.shell.boxes().empty());

  // Without a window a message box stands in; an unknown service counts as not running.
  fake.services.SetState(L"VelmoraFrameworkService", svc::kStateUnknown);
  AddUserToAdmin(nullptr, KindPeriod, 120, kAskWithDialog);
  ASSERT_EQ(1u, fake.shell.boxes().size());
  EXPECT_EQ(L"Cannot elevate. Velmora Framework Service is not running",
            fake.shell.boxes()[0].text);
  EXPECT_EQ(L"Velmora Tray", fake.shell.boxes()[0].caption);
  EXPECT_EQ(0x40u, fake.shell.boxes()[0].type);
  EXPECT_EQ(1u, Balloons().size());
}

TEST_F(RequestFlowTest, AtLoginAsksWithoutReasonOrDirectoryAndNeverOverATimedElevation) {
  Store(g_bADUserValid, 0);
  AddUserToAdmin(window, KindAtLogin, 0, kAskWithDialog);
  auto request = Request();
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(u"startup", request->reason);
  EXPECT_TRUE(request->atLogin);
  EXPECT_EQ(0u, request->seconds);
  EXPECT_EQ(KindAtLogin, Load(g_nElevationKind));

  FakePlatform local;
  local.clock.SetNowSeconds(kNow);
  local.services.SetState(L"VelmoraFrameworkService", svc::kStateRunning);
  local.kernel.CreateFileMapping(kBlock, 1208);
  local.registry.SetString(Hive::kCurrentUser, FakeRegistry::View::k64, kProduct, L"timerEnd",
                           std::to_wstring(kNow + 60));
  ASSERT_TRUE(CreateChannelEvents());
  AddUserToAdmin(window, KindAtLogin, 0, kAskWithDialog);
  EXPECT_EQ(std::vector<uint8_t>(1208, 0), local.kernel.MappingBytes(kBlock));
  EXPECT_FALSE(local.kernel.IsSignaled(L"event__124__"));
}

TEST_F(RequestFlowTest, DirectoryVerdictsBlockEveryOtherKind) {
  Store(g_bADUserGroupValid, 0);
  for (ElevationKind kind : {KindPeriod, KindDays, KindResumed, KindShellHook}) {
    AddUserToAdmin(window, kind, 60, kAskWithDialog);
  }
  EXPECT_EQ(std::vector<uintptr_t>(4, NotifyCannotElevateAD), Balloons());
  EXPECT_TRUE(Settled());
  EXPECT_FALSE(Request().has_value());
}

TEST_F(RequestFlowTest, ResumedAndShellHookRequestsCarryTheResuscitationReason) {
  SetMachine(L"Audit", 1);
  SetMachine(L"AuditRFE", 1);  // never a dialog for these kinds
  for (ElevationKind kind : {KindResumed, KindShellHook}) {
    AddUserToAdmin(window, kind, 77, kAskWithDialog);
    const auto request = Request();
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(std::u16string(kResuscitate, kResuscitate + wcslen(kResuscitate)),
              request->reason);
    EXPECT_EQ(77u, request->seconds);
  }
  EXPECT_EQ(0, fake.windows.modal_runs());
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
        fake.clock.SetNowSeconds(kNow);
        Store(g_bSessionEnding, 0);
        fake.kernel.ResetEvent(emergency);
        SetTimerEnd(300);
        const size_t balloons = Balloons().size();

        OnEndSessionResuscitate(ending, logoff ? kLogoff : 0);
        const bool signalled = fake.kernel.IsSignaled(L"Global\\__EMERGENCYSTART_EVENT__");
        EXPECT_EQ(mode == 0 || (mode == 1 && !logoff) || (mode == 2 && logoff), signalled);
        if (signalled) HandleServiceEvent(1);  // the service ends it and answers EXPIRE

        const bool kept = !signalled || ending != 0;
        EXPECT_EQ(kept, IsElevationActive());
        EXPECT_EQ(signalled && !kept, Balloons().size() > balloons &&
                                          Balloons().back() == NotifyExpired);
        if (!kept) continue;

        Store(g_bSessionEnding, 0);  // a new process
        fake.clock.Advance(10);
        ResumeElevation(window, kAskWithDialog);
        const auto request = Request();
        ASSERT_TRUE(request.has_value());
        EXPECT_EQ(290u, request->seconds);
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

TEST_F(RequestFlowTest, AuditedRequestTakesTheTypedReasonOrNothingWhenCancelled) {
  SetMachine(L"Audit", 1);
  SetMachine(L"AuditRFE", 1);

  // Cancel: no request, no settled event, no balloon.
  fake.windows.set_modal_script(
      [&](Hwnd dialog) { fake.windows.Send(dialog, msg::kCommand, kIdCancel, 0); });
  AddUserToAdmin(window, KindDays, 259200, kAskWithDialog);
  EXPECT_FALSE(Request().has_value());
  EXPECT_FALSE(Signalled());
  EXPECT_FALSE(Settled());
  EXPECT_EQ(0, Load(g_bReasonDlgOpen));

  // Two characters keep the dialog open; three (blanks count) confirm.
  fake.windows.set_modal_script([&](Hwnd dialog) {
    const size_t ends = fake.dialogs.ends().size();
    fake.dialogs.SetItemText(dialog, IDC_REASON_EDIT, L"ab");
    fake.windows.Send(dialog, msg::kCommand, kIdOk, 0);
    EXPECT_EQ(ends, fake.dialogs.ends().size());
    EXPECT_EQ(1, Load(g_bReasonDlgOpen));
    fake.dialogs.SetItemText(dialog, IDC_REASON_EDIT, L"  x");
    fake.windows.Send(dialog, msg::kCommand, kIdOk, 0);
  });
  AddUserToAdmin(window, KindDays, 259200, kAskWithDialog);
  const auto request = Request();
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(u"  x", request->reason);
  EXPECT_EQ(259200u, request->seconds);
  EXPECT_EQ(0, Load(g_bReasonDlgOpen));
}

TEST_F(RequestFlowTest, OnlyBothAuditSettingsExactlyOneAskForAReason) {
  SetMachine(L"Audit", 1);
  SetMachine(L"AuditRFE", 0);
  AddUserToAdmin(window, KindPeriod, 120, kAskWithDialog);
  EXPECT_EQ(0, fake.windows.modal_runs());
  EXPECT_EQ(u"no reason", Request()->reason);
}

TEST_F(RequestFlowTest, PeriodsAndDaysNeverWrap) {
  SetMachine(L"AccessPeriod", static_cast<uint32_t>(-30));
  EXPECT_EQ(0u, GetAccessPeriod());
  SetMachine(L"AccessPeriod", 90);
  EXPECT_EQ(90u, GetAccessPeriod());
  EXPECT_EQ(259200u, DaysToSeconds(3));
  EXPECT_EQ(0xFFFFFFFFu, DaysToSeconds(50000));
  SetMachine(L"ElevateForXDays", static_cast<uint32_t>(-2));
  EXPECT_EQ(0u, GetElevateForXDays());
}

class ReasonDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { LoadBuiltInTexts(); }
  FakePlatform fake;
};

TEST_F(ReasonDialogTest, LinkIsShownOnlyWhenConfiguredAndOpensOnlyOnAClick) {
  // What is not a URL is shown and handed to the shell exactly as configured too: nothing is
  // added, cut or unquoted on the way.
  for (const wchar_t* configured :
       {L"https://help.example/elevation", L"\\\\helpdesk\\forms\\elevation request.html",
        L"call \"IT\" on 5550100 & ask", L"%USERPROFILE%\\x"}) {
    SCOPED_TRACE(testing::Message() << std::string(configured, configured + wcslen(configured)));
    fake.registry.SetString(Hive::kCurrentUser, FakeRegistry::View::k64, kProduct, L"RFELINK",
                            configured);
    fake.shell.clear_opened();
    std::wstring linkText;
    bool linkVisible = false;
    size_t openedBeforeClick = 99;
    fake.windows.set_modal_script([&](Hwnd dialog) {
      auto& link = fake.dialogs.item(dialog, IDC_REASON_LINK);
      linkText = link.text;
      linkVisible = link.visible;
      NotifyHeader other{nullptr, IDC_REASON_LINK, 0xFFFFFFF0u};
      fake.windows.Send(dialog, msg::kNotify, IDC_REASON_LINK, reinterpret_cast<intptr_t>(&other));
      openedBeforeClick = fake.shell.opened().size();
      NotifyHeader click{nullptr, IDC_REASON_LINK, kNmClick};
      fake.windows.Send(dialog, msg::kNotify, IDC_REASON_LINK, reinterpret_cast<intptr_t>(&click));
      fake.windows.Send(dialog, msg::kCommand, kIdCancel, 0);
    });
    CReasonDlg dialog;
    EXPECT_EQ(kIdCancel, dialog.DoModal());
    EXPECT_EQ(std::wstring(L"<a>") + configured + L"</a>", linkText);
    EXPECT_TRUE(linkVisible);
    EXPECT_EQ(0u, openedBeforeClick);
    EXPECT_EQ(std::vector<std::wstring>{configured}, fake.shell.opened());
  }
}

TEST_F(ReasonDialogTest, WithoutLinkNothingIsOpenedAndTheTextsAreLocalized) {
  int focused = 0;
  std::wstring prompt, confirm, cancel;
  fake.windows.set_modal_script([&](Hwnd dialog) {
    fake.dialogs.item(dialog, IDC_REASON_LINK).visible = false;  // as the template has it
    NotifyHeader click{nullptr, IDC_REASON_LINK, kNmClick};
    fake.windows.Send(dialog, msg::kNotify, IDC_REASON_LINK, reinterpret_cast<intptr_t>(&click));
    focused = fake.dialogs.focused(dialog);
    prompt = fake.dialogs.item(dialog, IDC_REASON_PROMPT).text;
    confirm = fake.dialogs.item(dialog, kIdOk).text;
    cancel = fake.dialogs.item(dialog, kIdCancel).text;
    fake.windows.Send(dialog, msg::kCommand, kIdCancel, 0);
  });
  const int liveIcons = fake.windows.live_icons();
  CReasonDlg dialog;
  dialog.DoModal();
  EXPECT_TRUE(fake.shell.opened().empty());
  EXPECT_EQ(IDC_REASON_EDIT, focused);
  EXPECT_EQ(LocalizedText(TextId::kElevateReasonDlgPrompt), prompt);
  EXPECT_EQ(LocalizedText(TextId::kElevateReasonDlgButton1), confirm);
  EXPECT_EQ(LocalizedText(TextId::kElevateReasonDlgButton2), cancel);
  EXPECT_EQ(liveIcons, fake.windows.live_icons());
}

TEST_F(ReasonDialogTest, DialogThatCannotBeCreatedCountsAsCancelled) {
  fake.windows.FailDialogCreation();
  std::wstring reason = L"untouched";
  EXPECT_EQ(kReasonCancelled, AskElevationReason(&reason));
  EXPECT_EQ(L"untouched", reason);
}

}  // namespace
}  // namespace velmora
