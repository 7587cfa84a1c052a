#include "elevation/elevation_timer.h"

#include <string>

#include "app/globals.h"
#include "elevation/channel.h"
#include "elevation/request_flow.h"
#include "log/log.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

namespace velmora {
namespace {

constexpr wchar_t kTimerEnd[] = L"timerEnd";
constexpr intptr_t kEndSessionLogoff = static_cast<intptr_t>(0x80000000u);
constexpr uint32_t kShellHookSeconds = 30;
// Back-off after a wait that fails outright: the handles will not heal by retrying at once.
constexpr uint32_t kFailedWaitPauseMs = 1000;

bool ReadTimerEnd(int64_t* end) {
  std::wstring text;
  if (!ReadUserString(kTimerEnd, text) || text.empty()) return false;
  *end = SettingToInt64(text);
  return true;
}

void PostToMainWindow(uint32_t message, uintptr_t wParam) {
  Windows().Post(g_hMainWnd.load(std::memory_order_relaxed), message, wParam, 0);
}

}  // namespace

void SetTimerEnd(uint32_t seconds) {
  const int64_t end = Time().NowSeconds() + static_cast<int64_t>(seconds);
  WriteUserString(kTimerEnd, std::to_wstring(end));
}

bool IsElevationActive() {
  int64_t end = 0;
  if (!ReadTimerEnd(&end)) return false;
  const int64_t now = Time().NowSeconds();
  if (end > now) return true;
  if (end < now) DeleteUserValue(kTimerEnd);
  return false;
}

namespace {

// An end beyond 32 bits of seconds from now must not wrap into a few seconds.
uint32_t SecondsUntil(int64_t end, int64_t now) {
  if (end < now) return 0;
  const uint64_t left = static_cast<uint64_t>(end - now);
  return left > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(left);
}

}  // namespace

uint32_t GetRemainingSeconds() {
  int64_t end = 0;
  if (!ReadTimerEnd(&end)) return 0;
  return SecondsUntil(end, Time().NowSeconds());
}

uint32_t ActiveRemainingSeconds() {
  int64_t end = 0;
  if (!ReadTimerEnd(&end)) return 0;
  const int64_t now = Time().NowSeconds();
  if (end < now) DeleteUserValue(kTimerEnd);
  return end > now ? SecondsUntil(end, now) : 0;
}

void HandleServiceEvent(int index) {
  switch (index) {
    case 0: {  // granted
      SignalShellHookSettled();
      const int32_t kind = Load(g_nElevationKind);
      Store(g_bShellHookElevation, kind == KindShellHook ? 1 : 0);
      uint32_t seconds = GetAccessPeriod();
      if (kind == KindDays) seconds = DaysToSeconds(GetElevateForXDays());
      if (kind == KindShellHook) {
        SetTimerEnd(kShellHookSeconds);
      } else if (kind == KindPeriod || kind == KindDays) {
        SetTimerEnd(seconds);
      }
      if (kind != KindAtLogin) PostToMainWindow(msg::kShowBalloon, NotifyStarted);
      break;
    }
    case 1:  // ended
      DeleteUserValue(kTimerEnd);
      PostToMainWindow(msg::kRestoreIcon, 0);
      Store(g_nElevationKind, KindNone);
      PostToMainWindow(msg::kShowBalloon, NotifyExpired);
      break;
    case 2:  // refused
      SignalShellHookSettled();
      PostToMainWindow(msg::kShowBalloon,
                       IsElevationActive() ? NotifyAlreadyMember : NotifyForbidden);
      break;
    default:
      break;
  }
}

void RunServiceEvents(Handle stop) {
  Handle handles[4] = {GetChannelEvent(kStartEvent), GetChannelEvent(kExpireEvent),
                       GetChannelEvent(kForbidEvent), stop};
  const size_t count = stop != nullptr ? 4 : 3;
  // Signals from before this start are not answers to anything this tray asked.
  for (int i = 0; i < 3; ++i) Kern().ResetEvent(handles[i]);

  bool failureLogged = false;
  for (;;) {
    const uint32_t result = Kern().WaitForAny(handles, count, win::kInfinite);
    if (result == win::kWaitFailed) {
      if (!failureLogged) {
        Log("ServiceEventThread. Waiting for the service's events failed. Error code: %u",
            Kern().LastError());
        failureLogged = true;
      }
      if (stop == nullptr) {
        Kern().Sleep(kFailedWaitPauseMs);
      } else if (Kern().WaitForAny(&stop, 1, kFailedWaitPauseMs) == win::kWaitObject0) {
        return;
      }
      continue;
    }
    const uint32_t index = result - win::kWaitObject0;
    if (index == 3) return;
    if (index < 3) HandleServiceEvent(static_cast<int>(index));
  }
}

void StartServiceEventThread() {
  Kern().StartDetachedThread([] { RunServiceEvents(nullptr); });
}

void OnEndSessionResuscitate(intptr_t lParam) {
  std::wstring mode;
  if (!ReadMachineDword(L"Resuscitate", mode) || mode.empty()) mode = L"0";
  const bool logoff = (lParam & kEndSessionLogoff) != 0;
  bool signal = false;
  if (mode == L"0") {
    signal = true;
  } else if (mode == L"1") {
    signal = !logoff;
  } else if (mode == L"2") {
    signal = logoff;
  }
  if (signal) Kern().SignalEvent(GetChannelEvent(kEmergencyStartEvent));
}

}  // namespace velmora
