// A clock that only moves when told: seconds since 1970 plus a fixed offset to local time.
// Readable from any thread while a test moves it.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/clock.h"

namespace velmora::fakes {

class FakeClock : public Clock {
 public:
  explicit FakeClock(int64_t nowSeconds = 0, int32_t utcOffsetSeconds = 0)
      : now_(nowSeconds), offset_(utcOffsetSeconds) {}

  int64_t NowSeconds() override;
  LocalTime LocalNow() override;
  int64_t LocalFileTime() override;

  void SetNowSeconds(int64_t seconds);
  void Advance(int64_t seconds);
  // Local time = NowSeconds() + offset; the offset stays when the clock moves.
  void SetUtcOffset(int32_t seconds);
  // Moves the clock so that LocalNow() answers this local time (month 1..12).
  void SetLocal(int year, int month, int day, int hour, int minute, int second);

 private:
  std::atomic<int64_t> now_;
  std::atomic<int32_t> offset_;
};

}  // namespace velmora::fakes
