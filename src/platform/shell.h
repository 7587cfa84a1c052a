// The shell-facing user interface: message boxes now; the notification icon, popup menus,
// key state and shell "open" join as their features land.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace velmora {

class Shell {
 public:
  virtual ~Shell() = default;
  // MessageBoxW; owner may be null. Answers the button id.
  virtual int ShowMessageBox(Hwnd owner, const std::wstring& text, const std::wstring& caption,
                             uint32_t type) = 0;
};

}  // namespace velmora
