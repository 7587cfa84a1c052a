// Move-only owners of Win32 handles this process created. Shared handles (LoadIcon or
// LR_SHARED icons, stock objects) must never be destroyed; borrowed DCs and selections have
// their own guards in gdi_scope.h.
#pragma once

#include <windows.h>

namespace velmora {

template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
  ~UniqueHandle() { reset(); }

  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Handle get() const noexcept { return handle_; }
  bool is_valid() const noexcept { return Traits::IsValid(handle_); }
  explicit operator bool() const noexcept { return is_valid(); }

  [[nodiscard]] Handle release() noexcept {
    Handle handle = handle_;
    handle_ = Traits::Invalid();
    return handle;
  }

  // Closing keeps the last error: callers reset on a failure path and then report
  // GetLastError() of the call that failed, not of the close.
  void reset(Handle handle = Traits::Invalid()) noexcept {
    if (handle == handle_) return;
    Handle old = handle_;
    handle_ = handle;
    if (Traits::IsValid(old)) {
      const DWORD error = ::GetLastError();
      Traits::Close(old);
      ::SetLastError(error);
    }
  }

 private:
  Handle handle_ = Traits::Invalid();
};

// Kernel objects: some creators fail with null, file and snapshot creators with
// INVALID_HANDLE_VALUE; neither may reach CloseHandle.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return nullptr; }
  static bool IsValid(Handle h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) noexcept { ::CloseHandle(h); }
};

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() noexcept { return nullptr; }
  static bool IsValid(Handle h) noexcept { return h != nullptr; }
  static void Close(Handle h) noexcept { ::RegCloseKey(h); }
};

struct MenuTraits {
  using Handle = HMENU;
  static Handle Invalid() noexcept { return nullptr; }
  static bool IsValid(Handle h) noexcept { return h != nullptr; }
  static void Close(Handle h) noexcept { ::DestroyMenu(h); }
};

// Icons from CreateIconIndirect or LoadImage without LR_SHARED; a shared icon destroyed here
// would vanish from every window that still shows it.
struct IconTraits {
  using Handle = HICON;
  static Handle Invalid() noexcept { return nullptr; }
  static bool IsValid(Handle h) noexcept { return h != nullptr; }
  static void Close(Handle h) noexcept { ::DestroyIcon(h); }
};

// Bitmaps, brushes, fonts, pens; never one still selected into a DC.
template <typename GdiHandle>
struct GdiObjectTraits {
  using Handle = GdiHandle;
  static Handle Invalid() noexcept { return nullptr; }
  static bool IsValid(Handle h) noexcept { return h != nullptr; }
  static void Close(Handle h) noexcept { ::DeleteObject(h); }
};

// DCs from CreateCompatibleDC; window DCs from GetDC go back with ReleaseDC instead.
struct MemoryDcTraits {
  using Handle = HDC;
  static Handle Invalid() noexcept { return nullptr; }
  static bool IsValid(Handle h) noexcept { return h != nullptr; }
  static void Close(Handle h) noexcept { ::DeleteDC(h); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueMenu = UniqueHandle<MenuTraits>;
using UniqueIcon = UniqueHandle<IconTraits>;
template <typename GdiHandle>
using UniqueGdiObject = UniqueHandle<GdiObjectTraits<GdiHandle>>;
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;

}  // namespace velmora
