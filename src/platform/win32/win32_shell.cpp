#include "platform/win32/win32_shell.h"

#include <windows.h>

#include "platform/types.h"

namespace velmora {

static_assert(MB_OK == win::kMbOk && MB_ICONERROR == win::kMbIconError &&
                  MB_ICONWARNING == win::kMbIconWarning && IDOK == win::kIdOk,
              "message box values cross the seam unchanged");

int Win32Shell::ShowMessageBox(Hwnd owner, const std::wstring& text, const std::wstring& caption,
                               uint32_t type) {
  return ::MessageBoxW(static_cast<HWND>(owner), text.c_str(), caption.c_str(), type);
}

}  // namespace velmora
