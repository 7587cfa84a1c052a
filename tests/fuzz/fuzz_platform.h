// The smallest platform under which the settings code runs in a fuzz target: a registry of
// values under the policy key in the 64-bit view, a single-byte code page (Latin-1, with '?'
// for what it lacks) and a kernel that only keeps the last error. Nothing else of the platform is
// reachable from the code fuzzed.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/registry.h"
#include "settings/settings_store.h"

namespace velmora::fuzz {

class FuzzRegistry final : public Registry {
 public:
  struct Value {
    uint32_t type;
    std::vector<uint8_t> bytes;
  };
  std::map<std::wstring, Value> values;  // by value name, under the policy key, 64-bit view

  int32_t OpenKey(Hive hive, const std::wstring& path, uint32_t access, Key* key) override {
    if (hive != Hive::kLocalMachine || path != kPolicyKeyPath || !(access & reg::kWow64Key64)) {
      return 2;  // ERROR_FILE_NOT_FOUND
    }
    *key = 1;
    return 0;
  }
  int32_t CreateKey(Hive, const std::wstring&, uint32_t, Key*) override { return 5; }
  void CloseKey(Key) override {}
  int32_t QueryValue(Key, const std::wstring& name, uint32_t* type, uint8_t* data,
                     uint32_t* size) override {
    const auto it = values.find(name);
    if (it == values.end()) return 2;
    const std::vector<uint8_t>& bytes = it->second.bytes;
    if (type != nullptr) *type = it->second.type;
    const uint32_t needed = static_cast<uint32_t>(bytes.size());
    if (data != nullptr && *size < needed) {
      *size = needed;
      return 234;  // ERROR_MORE_DATA
    }
    if (data != nullptr && needed != 0) std::memcpy(data, bytes.data(), needed);
    *size = needed;
    return 0;
  }
  int32_t SetValue(Key, const std::wstring&, uint32_t, const uint8_t*, uint32_t) override {
    return 5;
  }
  int32_t DeleteKeyValue(Hive, const std::wstring&, const std::wstring&) override { return 2; }
};

class Latin1CodePage final : public CodePage {
 public:
  std::string WideToAnsi(const std::wstring& text) override {
    std::string out;
    for (const wchar_t c : text) out.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
    return out;
  }
  std::wstring AnsiToWide(const std::string& text) override {
    std::wstring out;
    for (const char c : text) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return out;
  }
};

// Only the last error, which the registry key owners keep across a close.
class LastErrorKernel final : public Kernel {
 public:
  Handle CreateOrOpenEvent(const EventParams&) override { return nullptr; }
  bool SignalEvent(Handle) override { return false; }
  bool ResetEvent(Handle) override { return false; }
  uint32_t WaitForAny(const Handle*, size_t, uint32_t) override { return 0xFFFFFFFF; }
  Handle CreateNamedMutex(const std::wstring&, bool) override { return nullptr; }
  bool ReleaseNamedMutex(Handle) override { return false; }
  Handle OpenNamedFileMapping(const std::wstring&, uint32_t) override { return nullptr; }
  void* MapView(Handle, uint32_t, size_t) override { return nullptr; }
  bool FlushView(void*, size_t) override { return false; }
  bool UnmapView(void*) override { return false; }
  void CloseHandle(Handle) override {}
  bool StartDetachedThread(std::function<void()>) override { return false; }
  void Sleep(uint32_t) override {}
  uint32_t TickCount() override { return 0; }
  uint32_t LastError() override { return error_; }
  void SetLastError(uint32_t error) override { error_ = error; }
  void InitializeCom() override {}
  void UninitializeCom() override {}
  void SetThreadLocale(uint32_t) override {}
  void SetThreadUILanguage(uint16_t) override {}
  std::wstring CommandLine() override { return {}; }
  bool ComputerName(std::wstring*) override { return false; }
  uint32_t RandomNumber() override { return 0; }

 private:
  uint32_t error_ = 0;
};

// Installs the three once per process; the registry's values are the caller's to set.
inline FuzzRegistry& InstallFuzzPlatform() {
  static FuzzRegistry* const registry = new FuzzRegistry;
  static CodePage* const codePage = new Latin1CodePage;
  static Kernel* const kernel = new LastErrorKernel;
  static const bool installed = [] {
    Platform platform;
    platform.registry = registry;
    platform.codePage = codePage;
    platform.kernel = kernel;
    InstallPlatform(platform);
    return true;
  }();
  (void)installed;
  return *registry;
}

}  // namespace velmora::fuzz
