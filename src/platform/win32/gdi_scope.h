// Scope guards for GDI state that is borrowed rather than owned: a window's DC and an object
// selected into a DC. Both restore on every path, including early returns.
#pragma once

#include <windows.h>

namespace velmora {

class ScopedGetDC {
 public:
  explicit ScopedGetDC(HWND hwnd) noexcept : hwnd_(hwnd), hdc_(::GetDC(hwnd)) {}
  ~ScopedGetDC() {
    if (hdc_ != nullptr) ::ReleaseDC(hwnd_, hdc_);
  }
  ScopedGetDC(const ScopedGetDC&) = delete;
  ScopedGetDC& operator=(const ScopedGetDC&) = delete;

  HDC get() const noexcept { return hdc_; }

 private:
  HWND hwnd_;
  HDC hdc_;
};

// The previous object must be back in the DC before the selected one is deleted or the DC
// released: GDI refuses to delete an object that is still selected.
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC hdc, HGDIOBJ object) noexcept
      : hdc_(hdc), previous_(::SelectObject(hdc, object)) {}
  ~ScopedSelectObject() {
    if (previous_ != nullptr && previous_ != HGDI_ERROR) ::SelectObject(hdc_, previous_);
  }
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

 private:
  HDC hdc_;
  HGDIOBJ previous_;
};

}  // namespace velmora
