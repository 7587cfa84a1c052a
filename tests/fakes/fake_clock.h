// A clock that only moves when told. Local time is set on its own, for log stamps; the local
// file time follows `now` in a zone at UTC.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/clock.h"

namespace velmora::fakes {

class FakeClock : public Clock {
 public:
  int64_t NowSeconds() override { return now.load(); }
  LocalTime LocalNow() override { return local; }
  int64_t LocalFileTime() override { return (now.load() + 11644473600) * 10000000; }

  std::atomic<int64_t> now{0};
  LocalTime local;
};

}  // namespace velmora::fakes
