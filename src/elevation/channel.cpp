#include "elevation/channel.h"

#include "platform/platform.h"

namespace velmora {
namespace {

struct EventName {
  const wchar_t* name;
  bool narrow;
};

constexpr EventName kEventNames[kChannelEventCount] = {
    {L"Global\\__START_EVENT__", false},
    {L"Global\\__EXPIRE_EVENT__", false},
    {L"Global\\__FORBID_EVENT__", false},
    {L"Global\\__EMERGENCYSTART_EVENT__", false},
    {L"event__123__", true},
    {L"event__124__", true},
    {L"event__125__", true},
};

// Written once during start-up before any worker thread exists; read-only afterwards.
Handle g_channelEvents[kChannelEventCount] = {};

}  // namespace

bool CreateChannelEvents() {
  for (int i = 0; i < kChannelEventCount; ++i) {
    EventParams params;
    params.name = kEventNames[i].name;
    params.narrowName = kEventNames[i].narrow;
    g_channelEvents[i] = Kern().CreateOrOpenEvent(params);
  }
  for (int i = kStartEvent; i <= kEmergencyStartEvent; ++i) {
    if (g_channelEvents[i] == nullptr) {
      // The process ends after this; closing what was obtained keeps the failure path tidy.
      CloseChannelEvents();
      return false;
    }
  }
  return true;
}

void CloseChannelEvents() {
  for (Handle& event : g_channelEvents) {
    if (event != nullptr) Kern().CloseHandle(event);
    event = nullptr;
  }
}

Handle GetChannelEvent(ChannelEvent which) { return g_channelEvents[which]; }

}  // namespace velmora
