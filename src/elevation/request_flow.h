// Deciding whether an elevation request may be made and sending it to the service.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/types.h"
#include "state/globals.h"

namespace velmora {

// Asks the user why they want the elevation; false when they cancelled. The caller owns the
// dialog: the flow only decides whether one is needed.
using ReasonPrompt = std::function<bool(std::wstring* reason)>;

// Every request ends here: the checks in their fixed order, then the record and the signal.
// Balloons go to `window` as posted messages; without a window a message box stands in.
// `askReason` is called when policy wants a reason; without one the request is not sent.
void AddUserToAdmin(Hwnd window, ElevationKind kind, uint32_t seconds,
                    const ReasonPrompt& askReason);

// The privileged service is in the running state; any failure to ask counts as not running.
bool IsServiceRunning();

// "AccessPeriod" in seconds, 120 when missing or empty; a negative value asks for 0.
uint32_t GetAccessPeriod();
// "ElevateForXDays", 0 when missing, empty or negative.
uint32_t GetElevateForXDays();
// days × 86400, saturated: a product beyond 32 bits must not wrap into a short elevation.
uint32_t DaysToSeconds(uint32_t days);

// Length of an elevation the shell hook asks for.
constexpr uint32_t kShellHookSeconds = 30;
// The longest timed elevation this machine's policy lets the tray ask for: the access period,
// the days of "ElevateForXDays" or the shell hook's 30 seconds, whichever is longest.
uint32_t LongestRequestSeconds();

// The start-up request for an elevation cut short by a log-off, shutdown or crash: the seconds
// left until "timerEnd", but never more than LongestRequestSeconds. "timerEnd" is the user's
// own value; a longer one is brought back to that limit first, so that what is shown matches
// what is asked for.
void ResumeElevation(Hwnd window, const ReasonPrompt& askReason);

}  // namespace velmora
