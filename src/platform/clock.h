// Wall-clock time: seconds since 1970 for stored end times, broken-down local time for log
// stamps and local FILETIME counts for cached verdicts.
#pragma once

#include <cstdint>

namespace velmora {

struct LocalTime {
  int year = 1970;
  int month = 1;  // 1..12
  int dayOfWeek = 4;
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int milliseconds = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t NowSeconds() = 0;
  virtual LocalTime LocalNow() = 0;
  // Local time as a count of 100-nanosecond units since 1601.
  virtual int64_t LocalFileTime() = 0;
};

}  // namespace velmora
