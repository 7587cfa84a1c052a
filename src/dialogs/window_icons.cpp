#include "dialogs/window_icons.h"

#include "platform/platform.h"
#include "resource.h"

namespace velmora {

WindowIcons SetProgramIcons(Hwnd window) {
  WindowSystem& windows = Windows();
  WindowIcons icons;
  icons.big.reset(windows.LoadIconResource(IDI_VELMORA, windows.SystemMetric(kSmCxIcon),
                                           windows.SystemMetric(kSmCyIcon)));
  windows.Send(window, msg::kSetIcon, kIconBig, reinterpret_cast<intptr_t>(icons.big.get()));
  icons.small.reset(windows.LoadIconResource(IDI_VELMORA, windows.SystemMetric(kSmCxSmIcon),
                                             windows.SystemMetric(kSmCySmIcon)));
  windows.Send(window, msg::kSetIcon, kIconSmall, reinterpret_cast<intptr_t>(icons.small.get()));
  return icons;
}

}  // namespace velmora
