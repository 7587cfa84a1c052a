// The channel between the tray, the privileged service and the shell-hook library: the
// long-lived named events obtained at start-up, and the writes and signals of one request or
// settings save. The byte layout lives in elevation/channel_records.h.
#pragma once

#include <cstdint>
#include <string>

#include "elevation/channel_records.h"
#include "platform/types.h"
#include "state/globals.h"

namespace velmora {

enum ChannelEvent {
  kStartEvent = 0,         // service: the last request was granted
  kExpireEvent,            // service: the elevation has ended
  kForbidEvent,            // service: the request was refused
  kEmergencyStartEvent,    // tray: end the running elevation now
  kShellHookRequestEvent,  // "event__123__": the shell asks for a short elevation
  kShellHookSettledEvent,  // "event__124__": the last request has been settled
  kShellHookEndEvent,      // "event__125__": the shell asks to end its elevation
  kChannelEventCount
};

// Obtains the seven events (create-or-open, auto-reset, NULL DACL) in their fixed order.
// False when one of the four service events could not be obtained; the shell-hook ones are not
// checked and stay null when they fail.
bool CreateChannelEvents();
// Closes the handles in the order start, expire, forbid, emergency start, then the shell-hook
// three.
void CloseChannelEvents();
Handle GetChannelEvent(ChannelEvent which);
// Tells the shell-hook library that its last request is settled ("event__124__"), when that
// event could be obtained.
void SignalShellHookSettled();

using channel::ElevationRequest;
using channel::SettingsRecord;

// Writes one record into the service's shared block; false when the block could not be opened
// or mapped, after its error box. The caller then must not signal: the service would act on
// whatever an earlier writer left in the block.
// Texts are stored as UTF-16LE up to their first NUL and cut to 299 units (298 when the cut
// would split a surrogate pair).
bool WriteElevationRequest(const std::wstring& user, const std::wstring& reason, bool atLogin,
                           uint32_t seconds);
bool WriteSettingsRecord(const SettingsRecord& record);

// Tells the service that the block holds an ElevationRequest. Stores `kind` in
// g_nElevationKind before the event is set (the service's answer is read against it), and only
// when the event could be obtained; otherwise shows the error box, drops the request and
// answers false.
bool SignalAddToAdmin(ElevationKind kind);
// Tells the service that the block holds a SettingsRecord.
void SignalSaveSettings();

// The record the settings dialog sends, from its controls' texts: the access period converted
// to the ANSI code page ("300" when that takes 20 bytes or more), identity "1", "2" or "3" (any
// other text means no choice), the first UTF-16 unit of the resuscitate text as one byte ('0'
// when it is empty, '?' when the unit is above U+00FF) and the elevate-at-login box.
SettingsRecord BuildSettingsRecord(const std::wstring& accessPeriod, const std::wstring& identity,
                                   const std::wstring& resuscitate, bool elevateAtLogin);

}  // namespace velmora
