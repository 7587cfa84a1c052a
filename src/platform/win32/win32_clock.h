// Wall-clock time from the C runtime's 64-bit time and the system's local time.
#pragma once

#include "platform/clock.h"

namespace velmora {

class Win32Clock final : public Clock {
 public:
  int64_t NowSeconds() override;
  LocalTime LocalNow() override;
  int64_t LocalFileTime() override;
};

}  // namespace velmora
