// Move-only owner of kernel handles for the Win32 code (the service, the hook library, the
// thin platform side). The logic holds what the seam returns in the owners of platform/owned.h.
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

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;

}  // namespace velmora
