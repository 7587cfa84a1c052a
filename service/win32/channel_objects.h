// The channel's global kernel objects, created by the service before any user can create them,
// with an explicit DACL: SYSTEM and Administrators full access, interactive users exactly what
// the tray asks for when it opens them (EVENT_ALL_ACCESS on the events, FILE_MAP_ALL_ACCESS on
// the block). Nobody else, services of other accounts and network logons included, can open
// them.
#pragma once

#include <windows.h>

#include <cstdint>

#include "elevation/channel_records.h"
#include "platform/win32/unique_handle.h"
#include "win32/service_log.h"

namespace velmora::service {

class ChannelObjects {
 public:
  enum EventId { kStart, kExpire, kForbid, kEmergencyStart, kAddToAdmin, kSaveSettings, kCount };

  ChannelObjects() = default;
  ~ChannelObjects();
  ChannelObjects(const ChannelObjects&) = delete;
  ChannelObjects& operator=(const ChannelObjects&) = delete;

  // Creates the block and the six events. A name that already exists is used only when SYSTEM
  // or Administrators own the object (an earlier run of the service left it while a tray still
  // holds it); its DACL is then set anew. Anything else means that someone else made the
  // object: the service must not serve through it. Returns 0 or the Win32 error, after logging.
  DWORD Create(ServiceLog& log);

  HANDLE Event(EventId id) const { return events_[id].get(); }

  // Each read copies the record out of the block once; every check runs on the copy, so a
  // writer changing the block meanwhile cannot make the service see two different records.
  channel::ElevationRequest ReadElevationRequest() const;
  channel::SettingsRecord ReadSettingsRecord() const;

 private:
  UniqueKernelHandle mapping_;
  const void* view_ = nullptr;
  UniqueKernelHandle events_[kCount];
};

}  // namespace velmora::service
