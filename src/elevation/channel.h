// The channel between the tray, the privileged service and the shell-hook library: the
// long-lived named events obtained at start-up.
#pragma once

#include "platform/types.h"

namespace velmora {

enum ChannelEvent {
  kStartEvent = 0,         // service: the last request was granted
  kExpireEvent,            // service: the elevation has ended
  kForbidEvent,            // service: the request was refused
  kEmergencyStartEvent,    // tray: end the running elevation now
  kShellHookRequestEvent,  // "event__123__": the shell asks for a short elevation
  kShellHookSettledEvent,  // "event__124__": the last request has been settled
  kShellHookEndEvent,      // "event__125__": the shell asks to end its elevation
  kChannelEventCount
};

// Obtains the seven events (create-or-open, auto-reset, NULL DACL) in their fixed order.
// False when one of the four service events could not be obtained; the shell-hook ones are not
// checked and stay null when they fail.
bool CreateChannelEvents();
// Closes the handles in the order start, expire, forbid, emergency start, then the shell-hook
// three.
void CloseChannelEvents();
Handle GetChannelEvent(ChannelEvent which);

}  // namespace velmora
