// A clock that only moves when told, with local time equal to UTC. Readable from any thread
// while a test moves it.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/clock.h"

namespace velmora::fakes {

class FakeClock : public Clock {
 public:
  int64_t NowSeconds() override;
  LocalTime LocalNow() override;
  int64_t LocalFileTime() override;

  void SetNowSeconds(int64_t seconds);
  void Advance(int64_t seconds);
  // Moves the clock so that LocalNow() answers this local time (month 1..12).
  void SetLocal(int year, int month, int day, int hour, int minute, int second);

 private:
  std::atomic<int64_t> now_{0};
};

}  // namespace velmora::fakes
