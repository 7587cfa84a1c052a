// In-memory Files: path -> bytes, compared case-insensitively and with '/' equal to '\' as on
// Windows. Safe to use from several threads; the scripting fields are set while none runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/files.h"

namespace velmora::fakes {

class FakeFiles : public Files {
 public:
  int64_t SizeOf(const std::wstring& path) override;
  bool ReadAll(const std::wstring& path, std::vector<uint8_t>* out) override;
  bool Append(const std::wstring& path, const void* data, size_t length) override;
  bool Move(const std::wstring& from, const std::wstring& to) override;
  bool Delete(const std::wstring& path) override;
  uint32_t Attributes(const std::wstring& path) override;
  uint32_t ExpandEnvironment(const std::wstring& text, std::wstring* out) override;
  std::wstring ModulePath() override { return modulePath; }

  void SetFile(const std::wstring& path, const std::string& bytes);
  std::string Contents(const std::wstring& path) const;  // empty when there is no such file
  void SetEnvironment(const std::wstring& name, const std::wstring& value) {
    environment_[Key(name)] = value;
  }

  bool appendFails = false;
  bool moveFails = false;
  bool deleteFails = false;
  bool expandFails = false;
  std::wstring modulePath;

  std::atomic<int> appendCalls{0};
  std::atomic<int> moveCalls{0};
  // The most calls that were ever inside the fake at once: callers that should serialise
  // their calls show up here.
  std::atomic<int> maxConcurrentCalls{0};

 private:
  class CallScope;
  static std::wstring Key(const std::wstring& path);

  mutable std::mutex mutex_;
  std::map<std::wstring, std::string> files_;
  std::map<std::wstring, std::wstring> environment_;
  std::atomic<int> inside_{0};
};

}  // namespace velmora::fakes
