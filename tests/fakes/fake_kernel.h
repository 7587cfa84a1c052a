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
  struct EventRecord {
    EventParams params;
    bool opened = false;  // the name existed already
  };

  Handle CreateOrOpenEvent(const EventParams& params) override;
  bool SignalEvent(Handle event) override;
  bool ResetEvent(Handle event) override;
  uint32_t WaitForAny(const Handle* handles, size_t count, uint32_t timeoutMs) override;
  Handle CreateNamedMutex(const std::wstring& name, bool initialOwner) override;
  bool ReleaseNamedMutex(Handle mutex) override;
  Handle OpenNamedFileMapping(const std::wstring& name, uint32_t access) override;
  void* MapView(Handle mapping, uint32_t access, size_t length) override;
  bool FlushView(void* view, size_t length) override;
  bool UnmapView(void* view) override;
  void CloseHandle(Handle handle) override;
  // The body never runs: tests drive the thread's work themselves.
  bool StartDetachedThread(std::function<void()>) override { return true; }
  void Sleep(uint32_t ms) override;
  uint32_t TickCount() override;
  uint32_t LastError() override;
  void SetLastError(uint32_t error) override;
  void InitializeCom() override { ++comInits_; }
  void UninitializeCom() override { ++comUninits_; }
  void SetThreadLocale(uint32_t lcid) override { threadLocale_ = lcid; }
  void SetThreadUILanguage(uint16_t langId) override { threadUiLanguage_ = langId; }
  std::wstring CommandLine() override { return commandLine_; }

  // Scripting.
  void set_command_line(const std::wstring& line) { commandLine_ = line; }
  // Another process already holds an object of this name: CreateOrOpenEvent fails with
  // ERROR_INVALID_HANDLE, as Windows does for a name of another object type.
  void SquatName(const std::wstring& name);
  // Another process already holds the mutex: a create answers it with ERROR_ALREADY_EXISTS.
  void PrecreateMutex(const std::wstring& name);
  void FailMutexCreate(uint32_t error) { mutexCreateError_ = error; }
  // A section the service would create.
  void CreateFileMapping(const std::wstring& name, size_t size);
  std::vector<uint8_t> MappingBytes(const std::wstring& name);
  bool IsSignaled(const std::wstring& name);
  void SignalByName(const std::wstring& name);
  // Called on the signalling thread right after SignalEvent sets a named event, outside the
  // fake's lock: a test can hold the signaller there while a waiter wakes and looks around.
  void set_after_signal(std::function<void(const std::wstring& name)> hook);

  // Records.
  const std::vector<EventRecord>& events_obtained() const { return eventsObtained_; }
  std::vector<std::wstring> ClosedNames() const;
  size_t OpenHandleCount() const;
  size_t MappedViewCount() const;
  int wait_calls() const { return waitCalls_.load(); }
  uint32_t thread_locale() const { return threadLocale_; }
  uint16_t thread_ui_language() const { return threadUiLanguage_; }
  int com_inits() const { return comInits_; }
  int com_uninits() const { return comUninits_; }
  bool MutexHeld(const std::wstring& name) const;

 private:
  enum class Type { kEvent, kMutex, kMapping };
  struct Object {
    Type type;
    std::wstring name;
    bool signaled = false;
    bool manualReset = false;
    std::vector<uint8_t> bytes;
    int refs = 0;
  };
  struct HandleEntry {
    std::shared_ptr<Object> object;
  };

  Handle NewHandle(const std::shared_ptr<Object>& object);
  std::shared_ptr<Object> Lookup(Handle handle) const;
  std::shared_ptr<Object> FindNamed(const std::wstring& name) const;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<uintptr_t, HandleEntry> handles_;
  std::map<std::wstring, std::weak_ptr<Object>> named_;
  std::vector<std::shared_ptr<Object>> pinned_;  // objects "other processes" keep alive
  std::set<std::wstring> squatted_;
  std::map<void*, std::shared_ptr<Object>> views_;
  std::vector<std::wstring> closed_;
  std::vector<EventRecord> eventsObtained_;
  std::function<void(const std::wstring&)> afterSignal_;
  uintptr_t nextHandle_ = 0x100;
  uint32_t mutexCreateError_ = 0;
  uint32_t tick_ = 1000;
  std::wstring commandLine_ = L"\"C:\\Program Files\\Velmora\\VelmoraTray.exe\"";
  uint32_t threadLocale_ = 0;
  uint16_t threadUiLanguage_ = 0;
  int comInits_ = 0;
  int comUninits_ = 0;
  std::atomic<int> waitCalls_{0};
};

}  // namespace velmora::fakes
