// Static storage for an object that is never destroyed. The platform implementations live
// so: detached worker threads may still call into them while the C runtime runs the static
// destructors at exit, and a destroyed object would leave them a vtable of pure virtuals.
#pragma once

#include <new>
#include <utility>

namespace velmora {

template <typename T>
class NoDestructor {
 public:
  template <typename... Args>
  explicit NoDestructor(Args&&... args) {
    new (storage_) T(std::forward<Args>(args)...);
  }
  NoDestructor(const NoDestructor&) = delete;
  NoDestructor& operator=(const NoDestructor&) = delete;

  T* get() { return std::launder(reinterpret_cast<T*>(storage_)); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace velmora
