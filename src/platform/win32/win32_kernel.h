// Kernel objects, threads and process odds and ends over kernel32/advapi32/ole32.
#pragma once

#include "platform/kernel.h"

namespace velmora {

class Win32Kernel final : public Kernel {
 public:
  Handle CreateOrOpenEvent(const EventParams& event) override;
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

  bool StartDetachedThread(std::function<void()> body) override;
  void Sleep(uint32_t ms) override;
  uint32_t TickCount() override;
  uint32_t LastError() override;
  void SetLastError(uint32_t error) override;

  void InitializeCom() override;
  void UninitializeCom() override;
  void SetThreadLocale(uint32_t lcid) override;
  void SetThreadUILanguage(uint16_t langId) override;

  std::wstring CommandLine() override;
  bool ComputerName(std::wstring* name) override;
  uint32_t RandomNumber() override;
};

}  // namespace velmora
