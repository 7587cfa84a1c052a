// The wait loop of the tray's worker threads.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "platform/types.h"

namespace velmora {

// Waits for any of `events` (the first signalled one wins, lowest index first) and hands its
// index to `onEvent`, again and again: for ever, or until `stop` (when given; tests end their
// threads with it) is signalled. `beforeWait` runs before every wait. A wait that fails
// outright (a null or closed handle) is logged once with `failureFormat` (one %u: the system
// error code) and retried after a pause: it never spins.
void FollowEvents(const std::vector<Handle>& events, Handle stop, const char* failureFormat,
                  const std::function<void(size_t)>& onEvent,
                  const std::function<void()>& beforeWait = nullptr);

}  // namespace velmora
