// The end time of the running elevation ("timerEnd") and the service-event thread.
#pragma once

#include <cstdint>

namespace velmora {

bool IsElevationActive();
uint32_t GetRemainingSeconds();
void StartServiceEventThread();

}  // namespace velmora
