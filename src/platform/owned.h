// Move-only owners of what the seam creates, released through the seam that made it. The logic
// holds every event, mutex, mapping, key, menu, created icon and GDI object in one of these, so
// no path has to remember to close anything.
#pragma once

#include <utility>

#include "platform/platform.h"

namespace velmora {

template <typename Traits>
class Owned {
 public:
  using Handle = typename Traits::Handle;

  Owned() noexcept = default;
  explicit Owned(Handle handle) noexcept : handle_(handle) {}
  ~Owned() { reset(); }

  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : handle_(other.release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != Handle{}; }

  [[nodiscard]] Handle release() noexcept { return std::exchange(handle_, Handle{}); }

  // Keeps the platform's last error: a caller that resets on a failure path still reports the
  // error of the call that failed, not of the close.
  void reset(Handle handle = Handle{}) noexcept {
    if (handle == handle_) return;
    const Handle old = std::exchange(handle_, handle);
    if (old != Handle{}) {
      const uint32_t error = Kern().LastError();
      Traits::Close(old);
      Kern().SetLastError(error);
    }
  }

  // For seam calls that hand the new object back through an out-parameter.
  Handle* receive() noexcept {
    reset();
    return &handle_;
  }

 private:
  Handle handle_{};
};

struct KernelObjectTraits {
  using Handle = velmora::Handle;
  static void Close(Handle h) { Kern().CloseHandle(h); }
};
struct RegKeyTraits {
  using Handle = Registry::Key;
  static void Close(Handle h) { Reg().CloseKey(h); }
};
struct MenuTraits {
  using Handle = MenuHandle;
  static void Close(Handle h) { ShellUi().DestroyMenu(h); }
};
// Created icons only: a shared one destroyed here would vanish from every window showing it.
struct IconTraits {
  using Handle = IconHandle;
  static void Close(Handle h) { Windows().DestroyIcon(h); }
};
// Bitmaps and fonts; never one still selected into a DC (see ScopedSelection).
struct GdiObjectTraits {
  using Handle = Gdi::Object;
  static void Close(Handle h) { Graphics().DeleteGdiObject(h); }
};
struct MappedViewTraits {
  using Handle = void*;
  static void Close(Handle h) { Kern().UnmapView(h); }
};
// The directory's system-information and bound objects.
struct DirectoryObjectTraits {
  using Handle = Directory::Object;
  static void Close(Handle h) { Dir().ReleaseObject(h); }
};
struct MemoryDcTraits {
  using Handle = Gdi::Dc;
  static void Close(Handle h) { Graphics().DeleteMemoryDc(h); }
};

using OwnedHandle = Owned<KernelObjectTraits>;
using OwnedRegKey = Owned<RegKeyTraits>;
using OwnedMenu = Owned<MenuTraits>;
using OwnedIcon = Owned<IconTraits>;
using OwnedGdiObject = Owned<GdiObjectTraits>;
using OwnedMemoryDc = Owned<MemoryDcTraits>;
using OwnedView = Owned<MappedViewTraits>;
using OwnedDirectoryObject = Owned<DirectoryObjectTraits>;

// A window's DC, borrowed with GetDC and given back with ReleaseDC.
class WindowDc {
 public:
  explicit WindowDc(Hwnd window) : window_(window), dc_(Graphics().GetWindowDc(window)) {}
  ~WindowDc() {
    if (dc_ != nullptr) Graphics().ReleaseWindowDc(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  Gdi::Dc get() const { return dc_; }

 private:
  Hwnd window_;
  Gdi::Dc dc_;
};

// An object selected into a DC for one scope; the DC's previous object goes back at the end,
// so the object can be deleted afterwards.
class ScopedSelection {
 public:
  ScopedSelection(Gdi::Dc dc, Gdi::Object object) : dc_(dc), previous_(Graphics().Select(dc, object)) {}
  ~ScopedSelection() { Graphics().Select(dc_, previous_); }
  ScopedSelection(const ScopedSelection&) = delete;
  ScopedSelection& operator=(const ScopedSelection&) = delete;

 private:
  Gdi::Dc dc_;
  Gdi::Object previous_;
};

}  // namespace velmora
