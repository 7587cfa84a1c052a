#include "elevation/request_flow.h"

#include <string>

#include "dialogs/reason_dlg.h"
#include "elevation/channel.h"
#include "elevation/elevation_timer.h"
#include "identity/identity.h"
#include "identity/local_groups.h"
#include "log/log.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

namespace velmora {
namespace {

constexpr uint32_t kDefaultAccessPeriod = 120;
constexpr wchar_t kServiceName[] = L"VelmoraFrameworkService";
constexpr wchar_t kResuscitateReason[] =
    L"Resuscitate after tray app close (shutdown,log off or app crash occured)";
constexpr uint32_t kMbIconInformation = 0x40;

void SignalShellHookSettled() {
  if (Handle settled = GetChannelEvent(kShellHookSettledEvent)) Kern().SignalEvent(settled);
}

bool IsExactlyOne(const wchar_t* name) {
  std::wstring text;
  return GetSetting(name, text, kSettingNumber) && text == L"1";
}

}  // namespace

bool IsServiceRunning() { return Services().ServiceState(kServiceName) == svc::kStateRunning; }

uint32_t GetAccessPeriod() {
  std::wstring text;
  if (!GetSetting(L"AccessPeriod", text, kSettingNumber) || text.empty()) {
    return kDefaultAccessPeriod;
  }
  // A negative period must not wrap into a century-long request: it asks for nothing.
  const long seconds = SettingToLong(text);
  return seconds < 0 ? 0 : static_cast<uint32_t>(seconds);
}

uint32_t GetElevateForXDays() {
  std::wstring text;
  if (!ReadMachineDword(L"ElevateForXDays", text) || text.empty()) return 0;
  const long days = SettingToLong(text);
  return days < 0 ? 0 : static_cast<uint32_t>(days);
}

uint32_t DaysToSeconds(uint32_t days) {
  const uint64_t seconds = static_cast<uint64_t>(days) * 86400u;
  return seconds > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(seconds);
}

void AddUserToAdmin(Hwnd window, ElevationKind kind, uint32_t seconds) {
  if (Load(g_bReasonDlgOpen) != 0) return;

  if (IsCurrentUserAdmin()) {
    SignalShellHookSettled();
    Log("AddUserToAdmin. Current user is already in admin group. Skipping further logic");
    return;
  }

  std::wstring reason = L"no reason";
  if (!IsServiceRunning()) {
    SignalShellHookSettled();
    if (window != nullptr) {
      Windows().Post(window, msg::kShowBalloon, NotifyServiceNotRunning, 0);
    } else {
      Ui().ShowMessageBox(nullptr, L"Cannot elevate. Velmora Framework Service is not running",
                          L"Velmora Tray", kMbIconInformation);
    }
    return;
  }

  if (kind == KindAtLogin) {
    // No at-login request while a timed elevation still runs.
    if (IsElevationActive()) return;
    reason = L"startup";
  } else {
    if (Load(g_bADUserValid) == 0 || Load(g_bADUserGroupValid) == 0) {
      SignalShellHookSettled();
      Windows().Post(window, msg::kShowBalloon, NotifyCannotElevateAD, 0);
      return;
    }
    if (kind == KindResumed || kind == KindShellHook) {
      reason = kResuscitateReason;
    } else if (IsExactlyOne(L"Audit") && IsExactlyOne(L"AuditRFE")) {
      std::wstring typed;
      if (AskElevationReason(&typed) == kReasonCancelled) return;
      reason = typed;
    }
  }

  WriteElevationRequest(GetQualifiedUserName(), reason, kind == KindAtLogin, seconds);
  SignalAddToAdmin(kind);
}

}  // namespace velmora
