#include "fakes/fake_clock.h"

namespace velmora::fakes {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
// 100-ns units between 1601-01-01 and 1970-01-01.
constexpr int64_t kFileTimeOf1970 = 116444736000000000LL;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Proleptic Gregorian calendar, days relative to 1970-01-01 (H. Hinnant's algorithms).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int* year, int* month, int* day) {
  z += 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int>(yoe + era * 400 + (*month <= 2));
}

}  // namespace

int64_t FakeClock::NowSeconds() { return now_.load(); }

LocalTime FakeClock::LocalNow() {
  const int64_t local = now_.load();
  const int64_t days = FloorDiv(local, kSecondsPerDay);
  const int64_t secondOfDay = local - days * kSecondsPerDay;
  LocalTime t;
  CivilFromDays(days, &t.year, &t.month, &t.day);
  const int64_t weekday = (days + 4) % 7;  // 1970-01-01 was a Thursday; Sunday is 0
  t.dayOfWeek = static_cast<int>(weekday < 0 ? weekday + 7 : weekday);
  t.hour = static_cast<int>(secondOfDay / 3600);
  t.minute = static_cast<int>(secondOfDay / 60 % 60);
  t.second = static_cast<int>(secondOfDay % 60);
  t.milliseconds = 0;
  return t;
}

int64_t FakeClock::LocalFileTime() {
  return now_.load() * 10000000LL + kFileTimeOf1970;
}

void FakeClock::SetNowSeconds(int64_t seconds) { now_.store(seconds); }

void FakeClock::Advance(int64_t seconds) { now_.fetch_add(seconds); }

void FakeClock::SetLocal(int year, int month, int day, int hour, int minute, int second) {
  now_.store(DaysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600LL + minute * 60LL +
             second);
}

}  // namespace velmora::fakes
