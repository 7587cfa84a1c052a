// File operations with the C runtime's shared-open semantics, plus the environment expansion
// and module path the logic needs to find its files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

class Files {
 public:
  virtual ~Files() = default;

  // Size of the file opened for shared binary reading, or -1 when it does not open.
  virtual int64_t SizeOf(const std::wstring& path) = 0;
  virtual bool ReadAll(const std::wstring& path, std::vector<uint8_t>* out) = 0;
  // Opens for shared binary appending (creating the file), writes the bytes in one write and
  // closes; false when the file does not open or the write is short.
  virtual bool Append(const std::wstring& path, const void* data, size_t length) = 0;
  virtual bool Move(const std::wstring& from, const std::wstring& to) = 0;
  virtual bool Delete(const std::wstring& path) = 0;
  // GetFileAttributesW: win::kInvalidFileAttributes when the file cannot be found.
  virtual uint32_t Attributes(const std::wstring& path) = 0;
  // ExpandEnvironmentStringsW: the full expansion in *out and its length in characters with
  // the terminating NUL (what a buffer must hold); 0 on failure.
  virtual uint32_t ExpandEnvironment(const std::wstring& text, std::wstring* out) = 0;
  // Full path of the running program file.
  virtual std::wstring ModulePath() = 0;
};

}  // namespace velmora
