// Kernel objects, threads and the process-wide odds and ends of the Win32 API.
// Handle-returning calls answer nullptr on failure and leave the reason in LastError().
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/types.h"

namespace velmora {

namespace kern {
constexpr uint32_t kFileMapWrite = 0x0002;
constexpr uint32_t kFileMapAllAccess = 0xF001F;
}  // namespace kern

// How a named event is obtained: the channel's events carry a NULL DACL so that the service
// and every process of the user can open them; the shell-hook events use the narrow API.
struct EventParams {
  std::wstring name;
  bool manualReset = false;
  bool initialState = false;
  bool nullDacl = true;
  bool narrowName = false;
};

class Kernel {
 public:
  virtual ~Kernel() = default;

  virtual Handle CreateOrOpenEvent(const EventParams& params) = 0;
  virtual bool SignalEvent(Handle event) = 0;
  virtual bool ResetEvent(Handle event) = 0;
  // WaitForMultipleObjects(count, handles, FALSE, timeout): kWaitObject0 + index, kWaitTimeout
  // or kWaitFailed.
  virtual uint32_t WaitForAny(const Handle* handles, size_t count, uint32_t timeoutMs) = 0;

  virtual Handle CreateNamedMutex(const std::wstring& name, bool initialOwner) = 0;
  virtual bool ReleaseNamedMutex(Handle mutex) = 0;

  virtual Handle OpenNamedFileMapping(const std::wstring& name, uint32_t access) = 0;
  virtual void* MapView(Handle mapping, uint32_t access, size_t length) = 0;
  virtual bool FlushView(void* view, size_t length) = 0;
  virtual bool UnmapView(void* view) = 0;

  virtual void CloseHandle(Handle handle) = 0;

  // Starts a thread whose handle is closed at once; false when it could not start.
  virtual bool StartDetachedThread(std::function<void()> body) = 0;
  virtual void Sleep(uint32_t ms) = 0;
  virtual uint32_t TickCount() = 0;
  virtual uint32_t LastError() = 0;
  virtual void SetLastError(uint32_t error) = 0;

  virtual void InitializeCom() = 0;
  virtual void UninitializeCom() = 0;
  virtual void SetThreadLocale(uint32_t lcid) = 0;
  virtual void SetThreadUILanguage(uint16_t langId) = 0;

  // The process's full command line, as GetCommandLineW gives it.
  virtual std::wstring CommandLine() = 0;

  // GetComputerNameW into a buffer of 200 characters. False on failure.
  virtual bool ComputerName(std::wstring* name) = 0;
  // A number from the system's random generator; never the same sequence twice.
  virtual uint32_t RandomNumber() = 0;
};

}  // namespace velmora
