// In-memory kernel objects with Windows semantics: named objects shared by name across
// handles, auto-reset events that release exactly one waiter, real waits across threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/kernel.h"

namespace velmora::fakes {

class FakeKernel : public Kernel {
 public:
  Handle CreateOrOpenEvent(const EventParams& params) override;
  bool SignalEvent(Handle event) override;
  bool ResetEvent(Handle event) override;
  uint32_t WaitForAny(const Handle* handles, size_t count, uint32_t timeoutMs) override;
  Handle CreateNamedMutex(const std::wstring& name, bool initialOwner) override;
  bool ReleaseNamedMutex(Handle mutex) override;
  Handle OpenNamedFileMapping(const std::wstring& name, uint32_t access) override;
  void* MapView(Handle mapping, uint32_t access, size_t length) override;
  bool FlushView(void* view, size_t) override { return views_.count(view) != 0; }
  bool UnmapView(void* view) override;
  void CloseHandle(Handle handle) override;
  // The body never runs: tests drive the thread's work themselves.
  bool StartDetachedThread(std::function<void()>) override { return true; }
  void Sleep(uint32_t ms) override;
  uint32_t TickCount() override { return 0; }
  uint32_t LastError() override;
  void SetLastError(uint32_t error) override;
  void InitializeCom() override {}
  void UninitializeCom() override {}
  void SetThreadLocale(uint32_t) override {}
  void SetThreadUILanguage(uint16_t) override {}
  std::wstring CommandLine() override { return commandLine; }

  std::wstring commandLine = L"\"C:\\Program Files\\Velmora\\VelmoraTray.exe\"";
  // A create of the instance mutex fails with this error when not 0.
  uint32_t mutexCreateError = 0;
  // Another process holds an object of this name (of another type, or the mutex).
  void SquatName(const std::wstring& name);
  void PrecreateMutex(const std::wstring& name);
  // A section the service would create.
  void CreateFileMapping(const std::wstring& name, size_t size);
  std::vector<uint8_t> MappingBytes(const std::wstring& name) const;
  bool IsSignaled(const std::wstring& name) const;
  void SignalByName(const std::wstring& name);
  // Runs on the signalling thread right after SignalEvent, outside the fake's lock: a test
  // can hold the signaller there while a waiter wakes and looks around.
  std::function<void()> afterSignal;

  // Handles and views not yet closed.
  size_t OpenCount() const;
  std::atomic<int> waitCalls{0};

 private:
  enum class Type { kEvent, kMutex, kMapping };
  struct Object {
    Type type;
    bool signaled = false;
    bool manualReset = false;
    std::vector<uint8_t> bytes;
  };

  std::shared_ptr<Object> Lookup(Handle handle) const;
  std::shared_ptr<Object> Named(const std::wstring& name) const;
  Handle Obtain(const std::wstring& name, Type type, bool manualReset, bool initialState);
  std::shared_ptr<Object> Pin(const std::wstring& name, Type type);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<uintptr_t, std::shared_ptr<Object>> handles_;
  std::map<std::wstring, std::weak_ptr<Object>> named_;
  std::vector<std::shared_ptr<Object>> pinned_;  // objects "other processes" keep alive
  std::set<void*> views_;
  uintptr_t nextHandle_ = 0x100;
};

}  // namespace velmora::fakes
