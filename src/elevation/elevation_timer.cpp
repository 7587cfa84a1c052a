#include "elevation/elevation_timer.h"

namespace velmora {

// The elevation timer is not wired yet: no elevation is running and no thread waits.
bool IsElevationActive() { return false; }
uint32_t GetRemainingSeconds() { return 0; }
void StartServiceEventThread() {}

}  // namespace velmora
