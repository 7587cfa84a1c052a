#include "elevation/timer_end.h"

#include <string>

#include "platform/platform.h"
#include "settings/settings_store.h"

namespace velmora {
namespace {

constexpr wchar_t kTimerEnd[] = L"timerEnd";

bool ReadTimerEnd(int64_t* end) {
  std::wstring text;
  if (!ReadUserString(kTimerEnd, text) || text.empty()) return false;
  *end = SettingToInt64(text);
  return true;
}

// An end beyond 32 bits of seconds from now must not wrap into a few seconds.
uint32_t SecondsUntil(int64_t end, int64_t now) {
  if (end < now) return 0;
  const uint64_t left = static_cast<uint64_t>(end - now);
  return left > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(left);
}

}  // namespace

void SetTimerEnd(uint32_t seconds) {
  const int64_t end = Time().NowSeconds() + static_cast<int64_t>(seconds);
  WriteUserString(kTimerEnd, std::to_wstring(end));
}

void DeleteTimerEnd() { DeleteUserValue(kTimerEnd); }

bool IsElevationActive() {
  int64_t end = 0;
  if (!ReadTimerEnd(&end)) return false;
  const int64_t now = Time().NowSeconds();
  if (end > now) return true;
  if (end < now) DeleteTimerEnd();
  return false;
}

uint32_t GetRemainingSeconds() {
  int64_t end = 0;
  if (!ReadTimerEnd(&end)) return 0;
  return SecondsUntil(end, Time().NowSeconds());
}

uint32_t ActiveRemainingSeconds() {
  int64_t end = 0;
  if (!ReadTimerEnd(&end)) return 0;
  const int64_t now = Time().NowSeconds();
  if (end < now) DeleteTimerEnd();
  return end > now ? SecondsUntil(end, now) : 0;
}

}  // namespace velmora
