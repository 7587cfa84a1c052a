#include "elevation/service_events.h"

#include "elevation/channel.h"
#include "elevation/request_flow.h"
#include "elevation/timer_end.h"
#include "log/log.h"
#include "platform/platform.h"
#include "state/globals.h"

namespace velmora {
namespace {

// Back-off after a wait that fails outright: the handles will not heal by retrying at once.
constexpr uint32_t kFailedWaitPauseMs = 1000;

void PostToMainWindow(uint32_t message, uintptr_t wParam) {
  Windows().Post(g_hMainWnd.load(std::memory_order_relaxed), message, wParam, 0);
}

}  // namespace

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
      if (Load(g_bSessionEnding) != 0) {
        // Ended for the log-off or shutdown: the rest is asked for again at the next start.
        PostToMainWindow(msg::kRestoreIcon, 0);
        Store(g_nElevationKind, KindNone);
        break;
      }
      DeleteTimerEnd();
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

}  // namespace velmora
