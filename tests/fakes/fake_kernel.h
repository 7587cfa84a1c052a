// In-memory kernel objects with Windows semantics: named objects shared by name across
// handles, auto-reset events that release exactly one waiter, real waits across threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/kernel.h"

namespace velmora::fakes {

class FakeKernel : public Kernel {
 public:
  Handle CreateOrOpenEvent(const EventParams& params) override;
  bool SignalEvent(Handle event) override { return SetSignal(event, true); }
  bool ResetEvent(Handle event) override { return SetSignal(event, false); }
  uint32_t WaitForAny(const Handle* handles, size_t count, uint32_t timeoutMs) override;
  Handle CreateNamedMutex(const std::wstring& name, bool initialOwner) override;
  bool ReleaseNamedMutex(Handle) override { return true; }
  Handle OpenNamedFileMapping(const std::wstring& name, uint32_t access) override;
  void* MapView(Handle mapping, uint32_t access, size_t length) override;
  bool FlushView(void*, size_t) override { return true; }
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
  bool ComputerName(std::wstring* name) override {
    if (computerName) *name = *computerName;
    return computerName.has_value();
  }
  // The scripted numbers in turn, then 0.
  uint32_t RandomNumber() override {
    if (randomNumbers.empty()) return 0;
    const uint32_t value = randomNumbers.front();
    randomNumbers.pop_front();
    return value;
  }

  std::optional<std::wstring> computerName = L"WORKSTATION";
  std::deque<uint32_t> randomNumbers;

  std::wstring commandLine = L"\"C:\\Program Files\\Velmora\\VelmoraTray.exe\"";
  uint32_t mutexCreateError = 0;  // a create of the instance mutex fails with it when not 0
  // Objects other processes hold: a name taken by another type, the mutex, the shared block.
  void SquatName(const std::wstring& name) { Pin(name, Type::kMapping, 0); }
  void PrecreateMutex(const std::wstring& name) { Pin(name, Type::kMutex, 0); }
  void CreateFileMapping(const std::wstring& name, size_t size) { Pin(name, Type::kMapping, size); }
  std::vector<uint8_t> MappingBytes(const std::wstring& name) const;
  bool IsSignaled(const std::wstring& name) const;
  void SignalByName(const std::wstring& name);
  // Runs on the signalling thread right after SignalEvent, outside the fake's lock: a test
  // can hold the signaller there while a waiter wakes and looks around.
  std::function<void()> afterSignal;

  size_t OpenCount() const;  // handles and views not yet closed
  std::atomic<int> waitCalls{0};

 private:
  enum class Type { kEvent, kMutex, kMapping };
  struct Object {
    Type type;
    bool signaled;
    bool manualReset;
    std::vector<uint8_t> bytes;
  };

  bool SetSignal(Handle event, bool signaled);
  std::shared_ptr<Object> Lookup(Handle handle, Type type, uint32_t error) const;
  std::shared_ptr<Object> Named(const std::wstring& name) const;
  Handle Obtain(const std::wstring& name, Type type, bool manualReset, bool initialState);
  std::shared_ptr<Object> Pin(const std::wstring& name, Type type, size_t size);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<uintptr_t, std::shared_ptr<Object>> handles_;
  std::map<std::wstring, std::weak_ptr<Object>> named_;
  std::vector<std::shared_ptr<Object>> pinned_;
  std::set<void*> views_;
  uintptr_t nextHandle_ = 0x100;
};

}  // namespace velmora::fakes
