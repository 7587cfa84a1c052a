// The shell-facing user interface over user32/shell32.
#pragma once

#include "platform/shell.h"

namespace velmora {

class Win32Shell final : public Shell {
 public:
  int ShowMessageBox(Hwnd owner, const std::wstring& text, const std::wstring& caption,
                     uint32_t type) override;
};

}  // namespace velmora
