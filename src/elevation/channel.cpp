#include "elevation/channel.h"

#include <cstring>

#include "platform/owned.h"
#include "text/format.h"
#include "text/utf16.h"

namespace velmora {
namespace {

struct EventName {
  const wchar_t* name;
  bool narrow;
};

constexpr EventName kEventNames[kChannelEventCount] = {
    {channel::kStartEventName, false},
    {channel::kExpireEventName, false},
    {channel::kForbidEventName, false},
    {channel::kEmergencyStartEventName, false},
    {channel::kShellHookRequestEventName, true},
    {channel::kShellHookSettledEventName, true},
    {channel::kShellHookEndEventName, true},
};

// Written once during start-up before any worker thread exists; read-only afterwards. Owned by
// Create/CloseChannelEvents alone: plain handles, so that no destructor runs at process exit
// after the platform is gone.
Handle g_channelEvents[kChannelEventCount] = {};

// The boxes of a failed write have no owner, an empty caption and only an OK button.
void ShowWriteError(const wchar_t* format, uint32_t error) {
  ShellUi().ShowMessageBox(nullptr, FormatWide(format, {error}), std::wstring(), win::kMbOk);
}

bool WriteRecord(const uint8_t* bytes, size_t length) {
  Kernel& kernel = Kern();
  const OwnedHandle mapping(
      kernel.OpenNamedFileMapping(channel::kSharedBlockName, kern::kFileMapAllAccess));
  if (!mapping) {
    ShowWriteError(L"Cannot create mapping. Error code: %d", kernel.LastError());
    return false;
  }
  const OwnedView view(kernel.MapView(mapping.get(), kern::kFileMapWrite, length));
  if (!view) {
    ShowWriteError(L"Cannot create view. Error code: %d", kernel.LastError());
    return false;
  }
  // One copy of a record built complete beforehand: the service never sees a half-built one
  // from this writer.
  std::memcpy(view.get(), bytes, length);
  kernel.FlushView(view.get(), length);
  return true;
}

// Obtains a request event, runs `beforeSignal`, sets the event and closes it. The service keeps
// its own handle, so the object (and the signal) outlive ours.
template <typename BeforeSignal>
bool SignalRequestEvent(const wchar_t* name, const wchar_t* errorFormat,
                        BeforeSignal beforeSignal) {
  Kernel& kernel = Kern();
  EventParams params;
  params.name = name;
  const OwnedHandle event(kernel.CreateOrOpenEvent(params));
  if (!event) {
    const uint32_t error = kernel.LastError();
    ShellUi().ShowMessageBox(nullptr, FormatWide(errorFormat, {error}), L"Error",
                        win::kMbOk | win::kMbIconError);
    return false;
  }
  beforeSignal();
  kernel.SignalEvent(event.get());
  return true;
}

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

void SignalShellHookSettled() {
  if (Handle settled = g_channelEvents[kShellHookSettledEvent]) Kern().SignalEvent(settled);
}

bool WriteElevationRequest(const std::wstring& user, const std::wstring& reason, bool atLogin,
                           uint32_t seconds) {
  const ElevationRequest record =
      channel::EncodeElevationRequest(ToUtf16(user), ToUtf16(reason), atLogin, seconds);
  return WriteRecord(record.data(), record.size());
}

bool WriteSettingsRecord(const SettingsRecord& record) {
  return WriteRecord(record.data(), record.size());
}

bool SignalAddToAdmin(ElevationKind kind) {
  return SignalRequestEvent(channel::kAddToAdminEventName,
                     L"Error creating AddToAdmin event. Error code: %d",
                     [kind] { Store(g_nElevationKind, kind); });
}

void SignalSaveSettings() {
  SignalRequestEvent(channel::kSaveSettingsEventName,
                     L"Error creating SaveSettingsEvent event. Error code: %d", [] {});
}

SettingsRecord BuildSettingsRecord(const std::wstring& accessPeriod, const std::wstring& identity,
                                   const std::wstring& resuscitate, bool elevateAtLogin) {
  // A control's text never holds a NUL; should one arrive, the text ends there as it would in
  // the control.
  const std::wstring period = accessPeriod.substr(0, accessPeriod.find(L'\0'));
  char identityChar = '\0';
  if (identity == L"1" || identity == L"2" || identity == L"3") {
    identityChar = static_cast<char>(identity[0]);
  }
  const std::u16string units = ToUtf16(resuscitate);
  // A character beyond one byte has no byte of its own: its low byte would turn letters such as
  // U+0131 into the digit '1' and store a mode nobody chose. '?' is a mode the service refuses.
  char resuscitateChar = '0';
  if (!units.empty()) {
    resuscitateChar = units[0] > 0xFF ? '?' : static_cast<char>(static_cast<uint8_t>(units[0]));
  }
  return channel::EncodeSettingsRecord(AnsiCodePage().WideToAnsi(period), identityChar, resuscitateChar,
                                       elevateAtLogin);
}

}  // namespace velmora
