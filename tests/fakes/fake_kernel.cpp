#include "fakes/fake_kernel.h"

#include <chrono>
#include <thread>

#include "platform/types.h"

namespace velmora::fakes {
namespace {
thread_local uint32_t t_lastError = 0;
}

// Caller holds the lock; null (with the error set) when the handle is not of that type.
std::shared_ptr<FakeKernel::Object> FakeKernel::Lookup(Handle handle, Type type,
                                                       uint32_t error) const {
  const auto it = handles_.find(reinterpret_cast<uintptr_t>(handle));
  if (it != handles_.end() && it->second->type == type) return it->second;
  t_lastError = error;
  return nullptr;
}

std::shared_ptr<FakeKernel::Object> FakeKernel::Named(const std::wstring& name) const {
  const auto it = named_.find(name);
  return it == named_.end() ? nullptr : it->second.lock();
}

// Create-or-open by name; an object of another type under the name fails the call.
Handle FakeKernel::Obtain(const std::wstring& name, Type type, bool manualReset,
                          bool initialState) {
  std::shared_ptr<Object> object = name.empty() ? nullptr : Named(name);
  if (object != nullptr && object->type != type) {
    t_lastError = win::kErrorInvalidHandle;
    return nullptr;
  }
  t_lastError = object != nullptr ? win::kErrorAlreadyExists : 0;
  if (object == nullptr) {
    object = std::make_shared<Object>(Object{type, initialState, manualReset, {}});
    if (!name.empty()) named_[name] = object;
  }
  handles_[nextHandle_ += 4] = object;
  return reinterpret_cast<Handle>(nextHandle_);
}

Handle FakeKernel::CreateOrOpenEvent(const EventParams& params) {
  std::lock_guard<std::mutex> lock(mutex_);
  return Obtain(params.name, Type::kEvent, params.manualReset, params.initialState);
}

bool FakeKernel::SetSignal(Handle event, bool signaled) {
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto object = Lookup(event, Type::kEvent, win::kErrorInvalidHandle);
    if (object == nullptr) return false;
    object->signaled = signaled;
    changed_.notify_all();
    if (signaled) hook = afterSignal;
  }
  if (hook) hook();
  return true;
}

uint32_t FakeKernel::WaitForAny(const Handle* handles, size_t count, uint32_t timeoutMs) {
  ++waitCalls;
  std::unique_lock<std::mutex> lock(mutex_);
  std::vector<std::shared_ptr<Object>> objects;
  for (size_t i = 0; i < count; ++i) {
    objects.push_back(Lookup(handles[i], Type::kEvent, win::kErrorInvalidHandle));
    if (objects.back() == nullptr) return win::kWaitFailed;
  }
  // The lowest signalled index wins, and an auto-reset event releases only this waiter.
  const auto ready = [&] {
    for (size_t i = 0; i < objects.size(); ++i) {
      if (objects[i]->signaled) return static_cast<int>(i);
    }
    return -1;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int index;
  while ((index = ready()) < 0) {
    if (timeoutMs == win::kInfinite) {
      changed_.wait(lock);
    } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout && ready() < 0) {
      return win::kWaitTimeout;
    }
  }
  if (!objects[index]->manualReset) objects[index]->signaled = false;
  return win::kWaitObject0 + static_cast<uint32_t>(index);
}

Handle FakeKernel::CreateNamedMutex(const std::wstring& name, bool) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (mutexCreateError != 0) t_lastError = mutexCreateError;
  return mutexCreateError != 0 ? nullptr : Obtain(name, Type::kMutex, false, false);
}

Handle FakeKernel::OpenNamedFileMapping(const std::wstring& name, uint32_t) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto object = Named(name);
  if (object == nullptr || object->type != Type::kMapping) {
    t_lastError = win::kErrorFileNotFound;
    return nullptr;
  }
  return Obtain(name, Type::kMapping, false, false);
}

void* FakeKernel::MapView(Handle mapping, uint32_t, size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto object = Lookup(mapping, Type::kMapping, win::kErrorAccessDenied);
  if (object == nullptr || length > object->bytes.size()) {
    t_lastError = win::kErrorAccessDenied;
    return nullptr;
  }
  views_.insert(object->bytes.data());
  return object->bytes.data();
}

bool FakeKernel::UnmapView(void* view) {
  std::lock_guard<std::mutex> lock(mutex_);
  return views_.erase(view) != 0;
}

void FakeKernel::CloseHandle(Handle handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  handles_.erase(reinterpret_cast<uintptr_t>(handle));
}

void FakeKernel::Sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
uint32_t FakeKernel::LastError() { return t_lastError; }
void FakeKernel::SetLastError(uint32_t error) { t_lastError = error; }

std::shared_ptr<FakeKernel::Object> FakeKernel::Pin(const std::wstring& name, Type type,
                                                    size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  pinned_.push_back(std::make_shared<Object>(Object{type, false, false, {}}));
  pinned_.back()->bytes.assign(size, 0);
  named_[name] = pinned_.back();
  return pinned_.back();
}

std::vector<uint8_t> FakeKernel::MappingBytes(const std::wstring& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto object = Named(name);
  return object == nullptr ? std::vector<uint8_t>() : object->bytes;
}

bool FakeKernel::IsSignaled(const std::wstring& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto object = Named(name);
  return object != nullptr && object->signaled;
}

void FakeKernel::SignalByName(const std::wstring& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (const auto object = Named(name)) object->signaled = true;
  changed_.notify_all();
}

size_t FakeKernel::OpenCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return handles_.size() + views_.size();
}

}  // namespace velmora::fakes
