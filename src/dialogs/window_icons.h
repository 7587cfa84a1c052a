// The program's icon at the system's large and small sizes, set on a window. Each window loads
// its own copies and holds them until it goes: the window only draws them, it never frees them.
#pragma once

#include "platform/owned.h"

namespace velmora {

struct WindowIcons {
  OwnedIcon big;
  OwnedIcon small;
};

WindowIcons SetProgramIcons(Hwnd window);

}  // namespace velmora
