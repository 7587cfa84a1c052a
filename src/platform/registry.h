// Registry access with RegOpenKeyExW/RegQueryValueExW semantics: calls return Windows status
// codes, views are chosen by the KEY_WOW64_* bits of the access mask, values keep their type
// and raw bytes. Key paths and value names compare case-insensitively.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

enum class Hive { kLocalMachine, kCurrentUser };

namespace reg {
constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyWrite = 0x20006;
constexpr uint32_t kWow64Key64 = 0x0100;
constexpr uint32_t kWow64Key32 = 0x0200;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;
constexpr uint32_t kRegQword = 11;
}  // namespace reg

class Registry {
 public:
  using Key = uintptr_t;

  virtual ~Registry() = default;

  virtual int32_t OpenKey(Hive hive, const std::wstring& path, uint32_t access, Key* key) = 0;
  virtual int32_t CreateKey(Hive hive, const std::wstring& path, uint32_t access, Key* key) = 0;
  virtual void CloseKey(Key key) = 0;
  // As RegQueryValueExW: with data null only *size is set; a buffer smaller than the data
  // answers ERROR_MORE_DATA with *size set to the data size. type may be null.
  virtual int32_t QueryValue(Key key, const std::wstring& name, uint32_t* type, uint8_t* data,
                             uint32_t* size) = 0;
  virtual int32_t SetValue(Key key, const std::wstring& name, uint32_t type, const uint8_t* data,
                           uint32_t size) = 0;
  // As RegDeleteKeyValueW in the default view.
  virtual int32_t DeleteKeyValue(Hive hive, const std::wstring& path, const std::wstring& name) = 0;
};

}  // namespace velmora
