#include "elevation/event_loop.h"

#include "log/log.h"
#include "platform/platform.h"

namespace velmora {
namespace {

// The handles will not heal by retrying at once.
constexpr uint32_t kFailedWaitPauseMs = 1000;

}  // namespace

void FollowEvents(const std::vector<Handle>& events, Handle stop, const char* failureFormat,
                  const std::function<void(size_t)>& onEvent,
                  const std::function<void()>& beforeWait) {
  std::vector<Handle> handles = events;
  if (stop != nullptr) handles.push_back(stop);
  bool failureLogged = false;
  for (;;) {
    if (beforeWait) beforeWait();
    const uint32_t result = Kern().WaitForAny(handles.data(), handles.size(), win::kInfinite);
    if (result == win::kWaitFailed) {
      if (!failureLogged) {
        Log(failureFormat, Kern().LastError());
        failureLogged = true;
      }
      if (stop == nullptr) {
        Kern().Sleep(kFailedWaitPauseMs);
      } else if (Kern().WaitForAny(&stop, 1, kFailedWaitPauseMs) == win::kWaitObject0) {
        return;
      }
      continue;
    }
    const size_t index = result - win::kWaitObject0;
    if (index < events.size()) {
      onEvent(index);
    } else if (stop != nullptr && index == events.size()) {
      return;
    }
  }
}

}  // namespace velmora
