#include "fakes/fake_kernel.h"

#include <chrono>
#include <thread>

#include "platform/types.h"

namespace velmora::fakes {
namespace {
thread_local uint32_t t_lastError = 0;
}

std::shared_ptr<FakeKernel::Object> FakeKernel::Lookup(Handle handle) const {
  const auto it = handles_.find(reinterpret_cast<uintptr_t>(handle));
  return it == handles_.end() ? nullptr : it->second;
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

bool FakeKernel::SignalEvent(Handle event) {
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto object = Lookup(event);
    if (object == nullptr || object->type != Type::kEvent) {
      t_lastError = win::kErrorInvalidHandle;
      return false;
    }
    object->signaled = true;
    changed_.notify_all();
    hook = afterSignal;
  }
  if (hook) hook();
  return true;
}

bool FakeKernel::ResetEvent(Handle event) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto object = Lookup(event);
  if (object == nullptr || object->type != Type::kEvent) {
    t_lastError = win::kErrorInvalidHandle;
    return false;
  }
  object->signaled = false;
  return true;
}

uint32_t FakeKernel::WaitForAny(const Handle* handles, size_t count, uint32_t timeoutMs) {
  ++waitCalls;
  std::unique_lock<std::mutex> lock(mutex_);
  std::vector<std::shared_ptr<Object>> objects;
  for (size_t i = 0; i < count; ++i) {
    objects.push_back(Lookup(handles[i]));
    if (objects.back() == nullptr) {
      t_lastError = win::kErrorInvalidHandle;
      return win::kWaitFailed;
    }
  }
  // The lowest signalled index wins, and an auto-reset event releases only this waiter.
  const auto ready = [&] {
    for (size_t i = 0; i < objects.size(); ++i) {
      if (objects[i]->signaled) return static_cast<int>(i);
    }
    return -1;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int index = ready();
  while (index < 0) {
    if (timeoutMs == win::kInfinite) {
      changed_.wait(lock);
    } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout &&
               ready() < 0) {
      return win::kWaitTimeout;
    }
    index = ready();
  }
  if (!objects[index]->manualReset) objects[index]->signaled = false;
  return win::kWaitObject0 + static_cast<uint32_t>(index);
}

Handle FakeKernel::CreateNamedMutex(const std::wstring& name, bool) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (mutexCreateError != 0) {
    t_lastError = mutexCreateError;
    return nullptr;
  }
  return Obtain(name, Type::kMutex, false, false);
}

bool FakeKernel::ReleaseNamedMutex(Handle mutex) {
  std::lock_guard<std::mutex> lock(mutex_);
  return Lookup(mutex) != nullptr;
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
  const auto object = Lookup(mapping);
  if (object == nullptr || object->type != Type::kMapping || length > object->bytes.size()) {
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

std::shared_ptr<FakeKernel::Object> FakeKernel::Pin(const std::wstring& name, Type type) {
  std::lock_guard<std::mutex> lock(mutex_);
  pinned_.push_back(std::make_shared<Object>(Object{type, false, false, {}}));
  named_[name] = pinned_.back();
  return pinned_.back();
}

void FakeKernel::SquatName(const std::wstring& name) { Pin(name, Type::kMapping); }
void FakeKernel::PrecreateMutex(const std::wstring& name) { Pin(name, Type::kMutex); }
void FakeKernel::CreateFileMapping(const std::wstring& name, size_t size) {
  Pin(name, Type::kMapping)->bytes.assign(size, 0);
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
