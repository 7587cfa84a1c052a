// The end time of the running elevation: "timerEnd", seconds since 1970 as decimal text in the
// user's product key. It outlives the process, so a later start can resume the elevation.
#pragma once

#include <cstdint>

namespace velmora {

// "timerEnd" = now + seconds.
void SetTimerEnd(uint32_t seconds);
void DeleteTimerEnd();
// "timerEnd" lies strictly in the future; a past one is deleted on the way.
bool IsElevationActive();
// Seconds until "timerEnd" (capped at 32 bits), 0 when there is none or it is not in the future.
uint32_t GetRemainingSeconds();
// IsElevationActive and GetRemainingSeconds in one read, for the one-second tick: 0 when no
// elevation is active (a past end is deleted on the way), else the seconds left.
uint32_t ActiveRemainingSeconds();

}  // namespace velmora
