#include "app/window_icons.h"

#include "platform/platform.h"
#include "resource.h"

namespace velmora {

WindowIcons SetProgramIcons(Hwnd window) {
  WindowSystem& windows = Windows();
  WindowIcons icons;
  icons.big = windows.LoadIconResource(IDI_VELMORA, windows.SystemMetric(kSmCxIcon),
                                       windows.SystemMetric(kSmCyIcon));
  windows.Send(window, msg::kSetIcon, kIconBig, reinterpret_cast<intptr_t>(icons.big));
  icons.small = windows.LoadIconResource(IDI_VELMORA, windows.SystemMetric(kSmCxSmIcon),
                                         windows.SystemMetric(kSmCySmIcon));
  windows.Send(window, msg::kSetIcon, kIconSmall, reinterpret_cast<intptr_t>(icons.small));
  return icons;
}

}  // namespace velmora
