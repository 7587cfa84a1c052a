// The one road of every request: the checks in their order, what each refusal leaves behind,
// what reaches the shared block, the reason dialog that audited requests go through, and the
// elevation resumed at the next start.
#include "elevation/request_flow.h"

#include "dialogs/reason_dlg.h"
#include "elevation/timer_end.h"
#include "settings/managed_settings.h"
#include "test_support.h"

namespace velmora::test {
namespace {


class RequestFlowTest : public TrayTest {
 protected:
  void SetUp() override {
    SignIn();
    window = fake.windows.CreateModelessDialog(IDD_MAINDLG, nullptr, nullptr);
  }
  Hwnd window = nullptr;  // stands in for the main window: takes whatever is posted to it
};

constexpr unsigned kAdmin = 1, kStopped = 2, kNoWindow = 4, kReasonOpen = 8, kNoADUser = 16,
                   kNoADGroup = 32, kAudit = 64, kRfe = 128, kAudit2 = 256, kSmallBlock = 512;
struct Flow {
  ElevationKind kind;
  unsigned setup;
  const wchar_t* typed;  // the reason typed and confirmed; null: no dialog may show
  // Of the request sent; null: none is sent, and the shell hook's request is answered at once
  // unless a reason was asked for.
  const char16_t* reason;
  uintptr_t balloon;  // 0: none
  const wchar_t* box;
};
const Flow kFlows[] = {
    {KindShellHook, kReasonOpen | kStopped | kAdmin, nullptr, nullptr, 0, L""},
    {KindPeriod, kAdmin | kStopped, nullptr, nullptr, 0, L""},
    {KindDays, kStopped | kNoADUser, nullptr, nullptr, NotifyServiceNotRunning, L""},
    {KindAtLogin, kStopped | kNoWindow, nullptr, nullptr, 0,
     L"Velmora Tray: Cannot elevate. Velmora Framework Service is not running (64)"},
    {KindAtLogin, kAudit | kRfe | kNoADUser | kNoADGroup, nullptr, u"startup", 0, L""},
    {KindPeriod, kNoADUser, nullptr, nullptr, NotifyCannotElevateAD, L""},
    {KindResumed, kNoADGroup, nullptr, nullptr, NotifyCannotElevateAD, L""},
    {KindShellHook, kAudit | kRfe, nullptr,
     u"Resuscitate after tray app close (shutdown,log off or app crash occured)", 0, L""},
    // Not written, so not signalled: the service would read what an earlier writer left.
    {KindShellHook, kSmallBlock, nullptr, nullptr, 0, L": Cannot create view. Error code: 5 (0)"},
    // Only an audited request asks; three characters, blanks counted, make a reason.
    {KindDays, kAudit | kRfe, L"  x", u"  x", 0, L""},
    {KindDays, kAudit | kRfe, L"ab", nullptr, 0, L""},  // cancelled at last
    {KindDays, kAudit, nullptr, u"no reason", 0, L""},
    {KindDays, kAudit2 | kRfe, nullptr, u"no reason", 0, L""}};

// The name CTest shows for a row.
void PrintTo(const Flow& f, std::ostream* os) { *os << "kind " << f.kind << " setup " << f.setup; }

class RequestOrderTest : public RequestFlowTest, public testing::WithParamInterface<Flow> {};

TEST_P(RequestOrderTest, ChecksRunInTheirOrderAndEachRefusalLeavesOnlyItsTrace) {
  const Flow& f = GetParam();
  if (f.setup & kAdmin) MakeAdmin();
  if (f.setup & kStopped) fake.services.states.clear();
  if (f.setup & (kAudit | kAudit2)) SetMachine(L"Audit", f.setup & kAudit ? 1 : 2);
  if (f.setup & kRfe) SetMachine(L"AuditRFE", 1);
  if (f.setup & kSmallBlock) fake.kernel.Put(kBlock, fakes::FakeKernel::Type::kMapping, 100);
  Store(g_bReasonDlgOpen, f.setup & kReasonOpen ? 1 : 0);
  Store(g_bADUserValid, f.setup & kNoADUser ? 0 : 1);
  Store(g_bADUserGroupValid, f.setup & kNoADGroup ? 0 : 1);
  WhenShown({kIdOk, kIdCancel}, [&] {
    if (f.typed == nullptr) ADD_FAILURE() << "a reason was asked for";
    Control(IDC_REASON_EDIT).text = f.typed;
  });
  // What the main window passes: the real reason dialog, driven through the fake window system.
  AddUserToAdmin(f.setup & kNoWindow ? nullptr : window, f.kind, 77,
                 [](std::wstring* reason) { return AskElevationReason(reason) == kReasonGiven; });
  const auto request = Request();
  ASSERT_EQ(f.reason != nullptr, request.has_value());
  EXPECT_EQ(f.reason != nullptr, fake.kernel.Signaled(channel::kAddToAdminEventName));
  EXPECT_EQ(!f.reason && !f.typed, fake.kernel.Signaled(channel::kShellHookSettledEventName));
  EXPECT_EQ(f.balloon == 0 ? Posts() : Posts({{msg::kShowBalloon, f.balloon}}), Posted());
  EXPECT_EQ(f.box, fake.shell.boxes);
  EXPECT_EQ(f.setup & kReasonOpen ? 1 : 0, Load(g_bReasonDlgOpen));
  if (!request) return;
  EXPECT_EQ(f.reason, request->reason);
  EXPECT_EQ(u"CORP\\alice", request->user);
  EXPECT_EQ(f.kind == KindAtLogin, request->atLogin);
  EXPECT_EQ(77u, request->seconds);
  EXPECT_EQ(f.kind, Load(g_nElevationKind));
}
INSTANTIATE_TEST_SUITE_P(Flows, RequestOrderTest, testing::ValuesIn(kFlows));

// "timerEnd" is the user's to write: a resumed elevation never asks for more than a request
// could, and neither a negative setting nor a great many days wraps into a short one.
TEST_F(RequestFlowTest, ResumedElevationIsCappedAtTheLongestRequestPolicyAllows) {
  constexpr uint32_t kMonth = 30 * 86400, kMinus30 = static_cast<uint32_t>(-30);
  const std::tuple<uint32_t, uint32_t, uint32_t, uint32_t> cases[] = {
      {120, 0, kMonth, 120}, {kMinus30, 0, kMonth, 30},    {120, 3, kMonth, 259200},
      {120, 0, 100, 100},    {120, kMinus30, kMonth, 120}, {120, 50000, 300 * 86400, 300 * 86400}};
  for (const auto& [period, days, timerEnd, expected] : cases) {
    SetMachine(L"AccessPeriod", period);
    SetMachine(L"ElevateForXDays", days);
    SetTimerEnd(timerEnd);
    ResumeElevation(window, nullptr);  // a resumed elevation never asks for a reason
    EXPECT_EQ(expected, Request()->seconds);
    EXPECT_EQ(expected, GetRemainingSeconds());  // what the balloon and the countdown show
  }
  // A managed document's empty period is no period: the default.
  SetManagedMode(ApplyManagedDocument(R"({"access_period_win":""})"));
  EXPECT_EQ(120u, GetAccessPeriod());
}

TEST_F(RequestFlowTest, ReasonLinkIsShownAsConfiguredAndOpensOnlyOnAClick) {
  std::wstring reason;
  for (const std::wstring link : {L"", L"call \"IT\" & ask"}) {  // not a URL: as configured
    SetUserString(L"RFELINK", link);
    WhenShown({99, kIdCancel}, [&] {
      Notify(IDC_REASON_LINK, 0xFFFFFFF0u);
      Notify(IDC_REASON_EDIT, kNmClick);
      Notify(IDC_REASON_LINK, kNmClick);
    });
    EXPECT_EQ(kReasonCancelled, AskElevationReason(&reason));
    EXPECT_EQ(link.empty() ? L"" : L"<a>" + link + L"</a>", Control(IDC_REASON_LINK).text);
    EXPECT_EQ(!link.empty(), Control(IDC_REASON_LINK).visible);
    EXPECT_EQ(std::vector<std::wstring>(link.empty() ? 0 : 1, link), fake.shell.opened);
  }
  fake.windows.failCreate = true;  // a dialog that cannot show gives no reason
  EXPECT_EQ(kReasonCancelled, AskElevationReason(&reason));
}

}  // namespace
}  // namespace velmora::test
