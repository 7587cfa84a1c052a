// Registry over the real advapi32 calls; a Key is the HKEY itself.
#pragma once

#include "platform/registry.h"

namespace velmora {

class Win32Registry final : public Registry {
 public:
  int32_t OpenKey(Hive hive, const std::wstring& path, uint32_t access, Key* key) override;
  int32_t CreateKey(Hive hive, const std::wstring& path, uint32_t access, Key* key) override;
  void CloseKey(Key key) override;
  int32_t QueryValue(Key key, const std::wstring& name, uint32_t* type, uint8_t* data,
                     uint32_t* size) override;
  int32_t SetValue(Key key, const std::wstring& name, uint32_t type, const uint8_t* data,
                   uint32_t size) override;
  int32_t DeleteKeyValue(Hive hive, const std::wstring& path, const std::wstring& name) override;
};

}  // namespace velmora
