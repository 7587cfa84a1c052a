#include "elevation/service_events.h"

#include "elevation/channel.h"
#include "elevation/event_loop.h"
#include "elevation/request_flow.h"
#include "elevation/timer_end.h"
#include "platform/platform.h"
#include "state/globals.h"

namespace velmora {
namespace {

void PostToMainWindow(uint32_t message, uintptr_t wParam) {
  Windows().Post(g_hMainWnd.load(std::memory_order_relaxed), message, wParam, 0);
}

std::vector<Handle> ServiceEvents() {
  return {GetChannelEvent(kStartEvent), GetChannelEvent(kExpireEvent),
          GetChannelEvent(kForbidEvent)};
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
  FollowEvents(ServiceEvents(), stop,
               "ServiceEventThread. Waiting for the service's events failed. Error code: %u",
               [](size_t index) { HandleServiceEvent(static_cast<int>(index)); });
}

void StartServiceEventThread() {
  // Signals from before this start are not answers to anything this tray asked. They are
  // cleared here, before the start-up request goes out: a thread that cleared them once it ran
  // could wipe the answer to that request.
  const std::vector<Handle> events = ServiceEvents();
  for (Handle event : events) Kern().ResetEvent(event);
  Kern().StartDetachedThread([] { RunServiceEvents(nullptr); });
}

}  // namespace velmora
