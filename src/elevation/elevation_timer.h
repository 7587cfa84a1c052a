// The end time of the running elevation ("timerEnd", seconds since 1970 in the user's product
// key) and the thread that follows the service's answers.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace velmora {

// "timerEnd" = now + seconds.
void SetTimerEnd(uint32_t seconds);
// "timerEnd" lies strictly in the future; a past one is deleted on the way.
bool IsElevationActive();
// Seconds until "timerEnd" (capped at 32 bits), 0 when there is none or it is not in the future.
uint32_t GetRemainingSeconds();
// IsElevationActive and GetRemainingSeconds in one read, for the one-second tick: 0 when no
// elevation is active (a past end is deleted on the way), else the seconds left.
uint32_t ActiveRemainingSeconds();

// Starts ServiceEventThread as a detached thread.
void StartServiceEventThread();
// The thread body: resets the three service events, then waits for them for ever. `stop`, when
// given, is waited on after them and ends the loop (tests end their thread with it).
void RunServiceEvents(Handle stop);
// What one service event means for the tray; index 0 START, 1 EXPIRE, 2 FORBID.
void HandleServiceEvent(int index);

// WM_ENDSESSION: signals the service's emergency event when "Resuscitate" says so for this
// kind of session end (lParam's ENDSESSION_LOGOFF bit tells a log-off).
void OnEndSessionResuscitate(intptr_t lParam);

}  // namespace velmora
