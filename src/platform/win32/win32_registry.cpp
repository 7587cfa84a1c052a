#include "platform/win32/win32_registry.h"

#include <windows.h>

namespace velmora {
namespace {

HKEY RootOf(Hive hive) {
  return hive == Hive::kLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

HKEY ToHkey(Registry::Key key) { return reinterpret_cast<HKEY>(key); }

}  // namespace

int32_t Win32Registry::OpenKey(Hive hive, const std::wstring& path, uint32_t access, Key* key) {
  HKEY opened = nullptr;
  const LSTATUS status = ::RegOpenKeyExW(RootOf(hive), path.c_str(), 0, access, &opened);
  if (status == ERROR_SUCCESS) *key = reinterpret_cast<Key>(opened);
  return status;
}

int32_t Win32Registry::CreateKey(Hive hive, const std::wstring& path, uint32_t access, Key* key) {
  HKEY created = nullptr;
  const LSTATUS status = ::RegCreateKeyExW(RootOf(hive), path.c_str(), 0, nullptr,
                                           REG_OPTION_NON_VOLATILE, access, nullptr, &created,
                                           nullptr);
  if (status == ERROR_SUCCESS) *key = reinterpret_cast<Key>(created);
  return status;
}

void Win32Registry::CloseKey(Key key) { ::RegCloseKey(ToHkey(key)); }

int32_t Win32Registry::QueryValue(Key key, const std::wstring& name, uint32_t* type,
                                  uint8_t* data, uint32_t* size) {
  // DWORD is unsigned long: 32 bits on Windows, but not the same type as uint32_t.
  DWORD valueType = 0;
  DWORD valueSize = size != nullptr ? *size : 0;
  const LSTATUS status =
      ::RegQueryValueExW(ToHkey(key), name.c_str(), nullptr, type != nullptr ? &valueType : nullptr,
                         data, size != nullptr ? &valueSize : nullptr);
  // ERROR_MORE_DATA still reports the type and the size the data needs.
  if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    if (type != nullptr) *type = valueType;
    if (size != nullptr) *size = valueSize;
  }
  return status;
}

int32_t Win32Registry::SetValue(Key key, const std::wstring& name, uint32_t type,
                                const uint8_t* data, uint32_t size) {
  return ::RegSetValueExW(ToHkey(key), name.c_str(), 0, type, data, size);
}

int32_t Win32Registry::DeleteKeyValue(Hive hive, const std::wstring& path,
                                      const std::wstring& name) {
  return ::RegDeleteKeyValueW(RootOf(hive), path.c_str(), name.c_str());
}

}  // namespace velmora
