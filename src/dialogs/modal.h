// What every dialog of the tray does the same way.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace velmora {

// Dialogs open modally over the thread's active window, as the menu and the request flow expect.
inline intptr_t RunModalOverActiveWindow(int templateId, WindowHandler* handler) {
  WindowSystem& windows = Windows();
  return windows.RunModalDialog(templateId, windows.ActiveWindow(), handler);
}

// The control id of a WM_COMMAND, from the low word of its wParam.
inline int CommandId(uintptr_t wParam) { return static_cast<int>(wParam & 0xFFFF); }

}  // namespace velmora
