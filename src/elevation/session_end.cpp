#include "elevation/session_end.h"

#include <string>

#include "elevation/channel.h"
#include "platform/platform.h"
#include "settings/settings_store.h"
#include "state/globals.h"

namespace velmora {
namespace {

constexpr intptr_t kEndSessionLogoff = static_cast<intptr_t>(0x80000000u);

}  // namespace

void OnEndSessionResuscitate(uintptr_t wParam, intptr_t lParam) {
  std::wstring mode;
  if (!ReadMachineNumberText(L"Resuscitate", mode) || mode.empty()) mode = L"0";
  const bool logoff = (lParam & kEndSessionLogoff) != 0;
  bool signal = false;
  if (mode == L"0") {
    signal = true;
  } else if (mode == L"1") {
    signal = !logoff;
  } else if (mode == L"2") {
    signal = logoff;
  }
  if (!signal) return;
  // Set before the signal: the answer may reach the event thread before SignalEvent returns.
  Store(g_bSessionEnding, wParam != 0 ? 1 : 0);
  Kern().SignalEvent(GetChannelEvent(kEmergencyStartEvent));
}

}  // namespace velmora
