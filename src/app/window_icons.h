// The program's icon at the system's large and small sizes, set on a window. The icons are the
// caller's: each window loads its own copies and destroys them when it goes.
#pragma once

#include "platform/types.h"

namespace velmora {

struct WindowIcons {
  IconHandle big = nullptr;
  IconHandle small = nullptr;
};

WindowIcons SetProgramIcons(Hwnd window);

}  // namespace velmora
