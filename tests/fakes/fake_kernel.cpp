#include "fakes/fake_kernel.h"

#include <chrono>
#include <thread>

#include "platform/types.h"

namespace velmora::fakes {
namespace {
thread_local uint32_t t_lastError = 0;
}

Handle FakeKernel::NewHandle(const std::shared_ptr<Object>& object) {
  const uintptr_t id = nextHandle_;
  nextHandle_ += 4;
  handles_[id] = HandleEntry{object};
  return reinterpret_cast<Handle>(id);
}

std::shared_ptr<FakeKernel::Object> FakeKernel::Lookup(Handle handle) const {
  auto it = handles_.find(reinterpret_cast<uintptr_t>(handle));
  return it == handles_.end() ? nullptr : it->second.object;
}

std::shared_ptr<FakeKernel::Object> FakeKernel::FindNamed(const std::wstring& name) const {
  auto it = named_.find(name);
  return it == named_.end() ? nullptr : it->second.lock();
}

Handle FakeKernel::CreateOrOpenEvent(const EventParams& params) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (squatted_.count(params.name) != 0) {
    t_lastError = win::kErrorInvalidHandle;
    return nullptr;
  }
  std::shared_ptr<Object> object = params.name.empty() ? nullptr : FindNamed(params.name);
  EventRecord record{params, object != nullptr};
  if (object != nullptr && object->type != Type::kEvent) {
    t_lastError = win::kErrorInvalidHandle;
    return nullptr;
  }
  if (object == nullptr) {
    object = std::make_shared<Object>();
    object->type = Type::kEvent;
    object->name = params.name;
    object->signaled = params.initialState;
    object->manualReset = params.manualReset;
    if (!params.name.empty()) named_[params.name] = object;
    t_lastError = 0;
  } else {
    t_lastError = win::kErrorAlreadyExists;
  }
  eventsObtained_.push_back(record);
  return NewHandle(object);
}

bool FakeKernel::SignalEvent(Handle event) {
  std::function<void(const std::wstring&)> hook;
  std::wstring name;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto object = Lookup(event);
    if (object == nullptr || object->type != Type::kEvent) {
      t_lastError = win::kErrorInvalidHandle;
      return false;
    }
    object->signaled = true;
    changed_.notify_all();
    hook = afterSignal_;
    name = object->name;
  }
  if (hook && !name.empty()) hook(name);
  return true;
}

bool FakeKernel::ResetEvent(Handle event) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto object = Lookup(event);
  if (object == nullptr || object->type != Type::kEvent) {
    t_lastError = win::kErrorInvalidHandle;
    return false;
  }
  object->signaled = false;
  return true;
}

uint32_t FakeKernel::WaitForAny(const Handle* handles, size_t count, uint32_t timeoutMs) {
  ++waitCalls_;
  std::unique_lock<std::mutex> lock(mutex_);
  std::vector<std::shared_ptr<Object>> objects;
  for (size_t i = 0; i < count; ++i) {
    auto object = Lookup(handles[i]);
    if (object == nullptr) {
      t_lastError = win::kErrorInvalidHandle;
      return win::kWaitFailed;
    }
    objects.push_back(object);
  }
  auto ready = [&]() -> int {
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
    } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      index = ready();
      if (index < 0) return win::kWaitTimeout;
      break;
    }
    index = ready();
  }
  // The lowest signalled index wins, and an auto-reset event releases only this waiter.
  if (!objects[index]->manualReset) objects[index]->signaled = false;
  return win::kWaitObject0 + static_cast<uint32_t>(index);
}

Handle FakeKernel::CreateNamedMutex(const std::wstring& name, bool) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (mutexCreateError_ != 0) {
    t_lastError = mutexCreateError_;
    return nullptr;
  }
  std::shared_ptr<Object> object = FindNamed(name);
  if (object != nullptr && object->type != Type::kMutex) {
    t_lastError = win::kErrorInvalidHandle;
    return nullptr;
  }
  if (object == nullptr) {
    object = std::make_shared<Object>();
    object->type = Type::kMutex;
    object->name = name;
    named_[name] = object;
    t_lastError = 0;
  } else {
    t_lastError = win::kErrorAlreadyExists;
  }
  return NewHandle(object);
}

bool FakeKernel::ReleaseNamedMutex(Handle mutex) {
  std::lock_guard<std::mutex> lock(mutex_);
  return Lookup(mutex) != nullptr;
}

Handle FakeKernel::OpenNamedFileMapping(const std::wstring& name, uint32_t) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto object = FindNamed(name);
  if (object == nullptr || object->type != Type::kMapping) {
    t_lastError = win::kErrorFileNotFound;
    return nullptr;
  }
  return NewHandle(object);
}

void* FakeKernel::MapView(Handle mapping, uint32_t, size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto object = Lookup(mapping);
  if (object == nullptr || object->type != Type::kMapping || length > object->bytes.size()) {
    t_lastError = win::kErrorAccessDenied;
    return nullptr;
  }
  void* view = object->bytes.data();
  views_[view] = object;
  return view;
}

bool FakeKernel::FlushView(void* view, size_t) {
  std::lock_guard<std::mutex> lock(mutex_);
  return views_.count(view) != 0;
}

bool FakeKernel::UnmapView(void* view) {
  std::lock_guard<std::mutex> lock(mutex_);
  return views_.erase(view) != 0;
}

void FakeKernel::CloseHandle(Handle handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = handles_.find(reinterpret_cast<uintptr_t>(handle));
  if (it == handles_.end()) return;
  closed_.push_back(it->second.object->name);
  handles_.erase(it);
}

void FakeKernel::Sleep(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

uint32_t FakeKernel::TickCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return tick_ += 16;
}

uint32_t FakeKernel::LastError() { return t_lastError; }
void FakeKernel::SetLastError(uint32_t error) { t_lastError = error; }

void FakeKernel::SquatName(const std::wstring& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  squatted_.insert(name);
}

void FakeKernel::PrecreateMutex(const std::wstring& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto object = std::make_shared<Object>();
  object->type = Type::kMutex;
  object->name = name;
  named_[name] = object;
  pinned_.push_back(object);
}

void FakeKernel::CreateFileMapping(const std::wstring& name, size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto object = std::make_shared<Object>();
  object->type = Type::kMapping;
  object->name = name;
  object->bytes.assign(size, 0);
  named_[name] = object;
  pinned_.push_back(object);
}

std::vector<uint8_t> FakeKernel::MappingBytes(const std::wstring& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto object = FindNamed(name);
  return object == nullptr ? std::vector<uint8_t>() : object->bytes;
}

bool FakeKernel::IsSignaled(const std::wstring& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto object = FindNamed(name);
  return object != nullptr && object->signaled;
}

void FakeKernel::SignalByName(const std::wstring& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto object = FindNamed(name);
  if (object == nullptr) return;
  object->signaled = true;
  changed_.notify_all();
}

void FakeKernel::set_after_signal(std::function<void(const std::wstring& name)> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  afterSignal_ = std::move(hook);
}

size_t FakeKernel::MappedViewCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return views_.size();
}

std::vector<std::wstring> FakeKernel::ClosedNames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

size_t FakeKernel::OpenHandleCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return handles_.size();
}

bool FakeKernel::MutexHeld(const std::wstring& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto object = FindNamed(name);
  return object != nullptr && object->type == Type::kMutex;
}

}  // namespace velmora::fakes
