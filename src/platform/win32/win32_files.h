// Files through the C runtime's shared opens (_wfsopen with _SH_DENYNO, so that a log being
// written by one thread can be sized and rotated from another) and kernel32's file calls.
#pragma once

#include "platform/files.h"

namespace velmora {

class Win32Files final : public Files {
 public:
  int64_t SizeOf(const std::wstring& path) override;
  bool ReadAll(const std::wstring& path, std::vector<uint8_t>* out) override;
  bool Append(const std::wstring& path, const void* data, size_t length) override;
  bool Move(const std::wstring& from, const std::wstring& to) override;
  bool Delete(const std::wstring& path) override;
  uint32_t Attributes(const std::wstring& path) override;
  uint32_t ExpandEnvironment(const std::wstring& text, std::wstring* out) override;
  std::wstring ModulePath() override;
};

}  // namespace velmora
