#include "elevation/request_flow.h"

#include <algorithm>
#include <string>

#include "elevation/channel.h"
#include "elevation/timer_end.h"
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

// A count of seconds or days from its setting: the default when missing or empty. A negative
// value must not wrap into a century-long request: it asks for nothing.
uint32_t CountFromSetting(bool found, const std::wstring& text, uint32_t fallback) {
  if (!found || text.empty()) return fallback;
  const long value = SettingToLong(text);
  return value < 0 ? 0 : static_cast<uint32_t>(value);
}

bool IsExactlyOne(const wchar_t* name) {
  std::wstring text;
  return GetSetting(name, text, SettingKind::kNumber) && text == L"1";
}

}  // namespace

bool IsServiceRunning() { return Services().ServiceState(kServiceName) == svc::kStateRunning; }

uint32_t GetAccessPeriod() {
  std::wstring text;
  const bool found = GetSetting(L"AccessPeriod", text, SettingKind::kNumber);
  return CountFromSetting(found, text, kDefaultAccessPeriod);
}

uint32_t GetElevateForXDays() {
  std::wstring text;
  const bool found = ReadMachineNumberText(L"ElevateForXDays", text);
  return CountFromSetting(found, text, 0);
}

uint32_t DaysToSeconds(uint32_t days) {
  const uint64_t seconds = static_cast<uint64_t>(days) * 86400u;
  return seconds > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(seconds);
}

uint32_t LongestRequestSeconds() {
  return std::max({GetAccessPeriod(), DaysToSeconds(GetElevateForXDays()), kShellHookSeconds});
}

void ResumeElevation(Hwnd window, const ReasonPrompt& askReason) {
  uint32_t seconds = GetRemainingSeconds();
  const uint32_t longest = LongestRequestSeconds();
  if (seconds > longest) {
    Log("ResumeElevation. timerEnd is %u seconds away, more than the %u seconds allowed. "
        "Resuming %u seconds",
        seconds, longest, longest);
    SetTimerEnd(longest);
    seconds = longest;
  }
  AddUserToAdmin(window, KindResumed, seconds, askReason);
}

void AddUserToAdmin(Hwnd window, ElevationKind kind, uint32_t seconds,
                    const ReasonPrompt& askReason) {
  if (Load(g_bReasonDlgOpen) != 0) {
    // The shell's caller waits for an answer; the one already being asked for is the answer.
    SignalShellHookSettled();
    return;
  }

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
      ShellUi().ShowMessageBox(nullptr, L"Cannot elevate. Velmora Framework Service is not running",
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
      if (!askReason || !askReason(&typed)) return;
      reason = typed;
    }
  }

  const bool written =
      WriteElevationRequest(GetQualifiedUserName(), reason, kind == KindAtLogin, seconds);
  if (!written) Log("AddUserToAdmin. The request could not be written; the service is not asked");
  if (!written || !SignalAddToAdmin(kind)) SignalShellHookSettled();
}

}  // namespace velmora
