#include "platform/win32/win32_clock.h"

#include <windows.h>

#include <time.h>

namespace velmora {

// _time64 rather than time(): a 32-bit time_t build would end in 2038.
int64_t Win32Clock::NowSeconds() { return static_cast<int64_t>(::_time64(nullptr)); }

LocalTime Win32Clock::LocalNow() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  LocalTime out;
  out.year = now.wYear;
  out.month = now.wMonth;
  out.dayOfWeek = now.wDayOfWeek;
  out.day = now.wDay;
  out.hour = now.wHour;
  out.minute = now.wMinute;
  out.second = now.wSecond;
  out.milliseconds = now.wMilliseconds;
  return out;
}

int64_t Win32Clock::LocalFileTime() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  FILETIME fileTime;
  if (!::SystemTimeToFileTime(&now, &fileTime)) return 0;
  ULARGE_INTEGER count;
  count.LowPart = fileTime.dwLowDateTime;
  count.HighPart = fileTime.dwHighDateTime;
  return static_cast<int64_t>(count.QuadPart);
}

}  // namespace velmora
