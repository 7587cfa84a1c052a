// What this machine's policy lets a tray ask the service for, read by the tray's own rules and
// code (policy key, product key, the managed document when "Managed" is 1), so that the service
// refuses exactly what no tray on this machine could have asked for.
#pragma once

#include <cstdint>

namespace velmora::service {

struct RequestPolicy {
  bool atLoginAllowed = false;  // "ElevateAtLogin" is 1
  uint32_t accessPeriod = 0;    // seconds
  uint32_t elevateForXDays = 0;
  uint32_t longestSeconds = 0;  // the longest timed request a tray could make
};

// Reads the machine's settings afresh through the installed Platform, the managed document
// included, so that a change takes effect at the next request.
RequestPolicy ReadRequestPolicy();

}  // namespace velmora::service
