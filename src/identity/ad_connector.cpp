#include "identity/ad_connector.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>

#include "identity/ad_checks.h"
#include "log/log.h"
#include "platform/platform.h"
#include "settings/settings_store.h"
#include "state/globals.h"
#include "text/format.h"

namespace velmora {
namespace {

constexpr wchar_t kConnector[] = L"Connector";
constexpr wchar_t kMet[] = L"301";
constexpr wchar_t kNotMet[] = L"405";
constexpr int64_t kFileTimePerDay = 864000000000LL;  // 100-ns units
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr uint64_t kMsPerMinute = 60000;
// Sleep takes 32 bits and 0xFFFFFFFF means "for ever": long periods are slept a day at a time.
constexpr uint32_t kLongestSleepMs = 86400000;

// a + b for b >= 0, held at the largest time instead of wrapping.
int64_t AddCapped(int64_t a, int64_t b) { return a > kMax - b ? kMax : a + b; }

// The checkpoint as the connector writes it: a plain signed decimal. Anything else is no time.
bool ParseCheckpoint(const std::wstring& text, int64_t* value) {
  const int64_t parsed = SettingToInt64(text);
  if (FormatWide(L"%d", {static_cast<long long>(parsed)}) != text) return false;
  *value = parsed;
  return true;
}

// Records a verdict that did not need a fallback, or replaces the live verdict of a failed
// check by a recorded one while that is younger than the cache allows.
void RecordOrFallBack(std::atomic<int32_t>& flag, bool error, int64_t cacheDays,
                      const wchar_t* checkpointName, const wchar_t* settingName) {
  if (!error || cacheDays <= 0) {
    const int64_t now = Time().LocalFileTime();
    WriteUserString(checkpointName,
                    FormatWide(L"%d", {static_cast<long long>(now)}));
    WriteUserString(settingName, Load(flag) != 0 ? kMet : kNotMet);
    return;
  }
  std::wstring checkpointText;
  std::wstring setting;
  if (!ReadUserString(checkpointName, checkpointText) || checkpointText.empty() ||
      !ReadUserString(settingName, setting) || setting.empty()) {
    return;
  }
  int64_t checkpoint = 0;
  if (!ParseCheckpoint(checkpointText, &checkpoint)) return;
  const int64_t now = Time().LocalFileTime();
  // A day's grace covers a local clock put back by a daylight-saving change or a trip west;
  // a record further ahead was not made by this clock and would stay fresh for too long.
  if (checkpoint > AddCapped(now, kFileTimePerDay)) {
    LogW(L"DoADConnectorLogic. %s lies more than a day ahead of the local time. "
         L"The recorded verdict is not used",
         checkpointName);
    return;
  }
  const int64_t validity =
      cacheDays > kMax / kFileTimePerDay ? kMax : cacheDays * kFileTimePerDay;
  if (AddCapped(checkpoint, validity) >= now) Store(flag, setting == kMet);
}

uint64_t RefreshPeriodMs(const std::wstring& refreshText) {
  const int64_t minutes = std::max<int64_t>(SettingToInt64(refreshText), 1);
  const uint64_t capped =
      std::min<uint64_t>(static_cast<uint64_t>(minutes),
                         std::numeric_limits<uint64_t>::max() / kMsPerMinute);
  return capped * kMsPerMinute;
}

void SleepFor(uint64_t ms) {
  while (ms > 0) {
    const uint32_t step = static_cast<uint32_t>(std::min<uint64_t>(ms, kLongestSleepMs));
    Kern().Sleep(step);
    ms -= step;
  }
}

std::wstring ReadConnectorSetting(const wchar_t* name, bool* found = nullptr) {
  std::wstring text;
  const bool present = GetSetting(name, text, SettingKind::kString, kConnector);
  if (found != nullptr) *found = present;
  return text;
}

}  // namespace

void DoADConnectorLogic(const std::wstring& group, const std::wstring& cacheText) {
  std::wstring managedBy = L"0";
  ReadMachineString(L"ManagedBy", managedBy, kConnector);
  const bool checkManagedBy = managedBy == L"1";
  if (checkManagedBy) {
    Log("DoADConnectorLogic. Reg value ManagedBy set to 1");
  } else {
    Log("DoADConnectorLogic. Reg value ManagedBy not found. We do not check ManagedBy for the "
        "user");
  }
  // A negative number of days is no cache, as 0 is.
  const int64_t cacheDays = cacheText.empty() ? 0 : SettingToInt64(cacheText);

  bool userError = false;
  if (checkManagedBy) {
    const bool verdict = CheckADUser(&userError);
    Store(g_bADUserValid, verdict && !userError ? 1 : 0);
  } else {
    Store(g_bADUserValid, 1);
  }
  bool groupError = false;
  if (!group.empty()) {
    const bool verdict = CheckADUserGroup(group, &groupError);
    Store(g_bADUserGroupValid, verdict && !groupError ? 1 : 0);
  } else {
    Store(g_bADUserGroupValid, 1);
  }

  RecordOrFallBack(g_bADUserValid, userError, cacheDays, L"checkpoint1", L"setting1");
  RecordOrFallBack(g_bADUserGroupValid, groupError, cacheDays, L"checkpoint2", L"setting2");
}

void StartADConnector() {
  if (ReadConnectorSetting(L"ActiveDirectory") != L"1") {
    Log("ActiveDirectory key is not set");
    return;
  }
  Log("ActiveDirectory key is set");
  const std::wstring group = ReadConnectorSetting(L"ActiveDirectoryGroup");
  const std::wstring cache = ReadConnectorSetting(L"ActiveDirectoryCache");
  const std::wstring refresh = ReadConnectorSetting(L"ActiveDirectoryRefresh");
  Log("ActiveDirectoryGroup:%S", group);
  Log("ActiveDirectoryCache:%S", cache);
  Log("ActiveDirectoryRefresh:%S", refresh);

  DoADConnectorLogic(group, cache);
  // The thread starts only now, so the checks never run on two threads at once.
  if (!refresh.empty()) Kern().StartDetachedThread(&ADConnectorTh);
}

void ADConnectorTh() {
  bool found = false;
  const std::wstring group = ReadConnectorSetting(L"ActiveDirectoryGroup", &found);
  if (!found) Log("ADConnectorTh. Reg key ActiveDirectoryGroup not found");
  const std::wstring cache = ReadConnectorSetting(L"ActiveDirectoryCache", &found);
  if (!found) Log("ADConnectorTh. Reg key ActiveDirectoryCache not found");
  const std::wstring refresh = ReadConnectorSetting(L"ActiveDirectoryRefresh", &found);
  if (!found) {
    Log("ADConnectorTh. Reg key ActiveDirectoryRefresh not found");
    return;
  }
  if (refresh.empty()) return;

  const uint64_t periodMs = RefreshPeriodMs(refresh);
  if (SettingToInt64(refresh) < 1) {
    Log("ADConnectorTh. ActiveDirectoryRefresh '%S' is less than 1 minute. Checking every minute",
        refresh);
  }
  for (;;) {
    SleepFor(periodMs);
    Log("ADConnectorTh. Refresh interval for AD passed, checking...");
    DoADConnectorLogic(group, cache);
    Log("DoADConnectorLogic. g_bADUserValid:%d,g_bADUserGroupValid:%d",
        Load(g_bADUserValid) != 0 ? 1 : 0, Load(g_bADUserGroupValid) != 0 ? 1 : 0);
  }
}

}  // namespace velmora
