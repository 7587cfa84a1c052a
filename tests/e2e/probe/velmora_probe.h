// velmora_probe.dll: the driver runs its export inside the tray on a remote thread, because a
// menu belongs to its process and Wine refuses GetMenuItemCount from another one.
#pragma once

#include <windows.h>

#include <cstdint>

namespace velmora_probe {

struct MenuItemInfo {
  uint32_t id;
  uint32_t state;
  RECT rect;  // screen coordinates
  wchar_t text[128];
};

// Fixed-width handles: the block is copied between processes as it is.
struct MenuBlock {
  uint64_t menu;
  uint64_t window;
  int32_t count;
  MenuItemInfo items[32];
};

constexpr char kReadMenuExport[] = "VelmoraProbeReadMenu";

}  // namespace velmora_probe
