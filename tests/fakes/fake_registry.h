// In-memory registry with RegOpenKeyExW/RegQueryValueExW semantics. The 64-bit and 32-bit
// views are separate stores for both hives (as HKLM\Software is on 64-bit Windows); an access
// mask without KEY_WOW64_32KEY uses the 64-bit view. Paths and names ignore case.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/registry.h"

namespace velmora::fakes {

class FakeRegistry : public Registry {
 public:
  enum class View { k64, k32 };
  enum class Op { kOpen, kCreate, kSet };
  struct Value {
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
  };

  // The key and its parents are created as needed.
  void SetRaw(Hive hive, View view, const std::wstring& path, const std::wstring& name,
              uint32_t type, std::vector<uint8_t> bytes);
  void SetDword(Hive hive, View view, const std::wstring& path, const std::wstring& name,
                uint32_t value);
  // REG_SZ with its terminating NUL, as RegSetValueExW stores it.
  void SetString(Hive hive, View view, const std::wstring& path, const std::wstring& name,
                 const std::wstring& text);
  std::optional<Value> Get(Hive hive, View view, const std::wstring& path,
                           const std::wstring& name) const;
  // The operation on that key path (either view) answers status; 0 takes the failure back.
  void Fail(Op op, Hive hive, const std::wstring& path, int32_t status) {
    failures_[{op, hive, Fold(path)}] = status;
  }
  // Keys opened or created and not yet closed, and closes of keys that were not open.
  size_t OpenKeyCount() const;
  size_t badCloses = 0;

  int32_t OpenKey(Hive hive, const std::wstring& path, uint32_t access, Key* key) override {
    return Obtain(Op::kOpen, hive, path, access, key);
  }
  int32_t CreateKey(Hive hive, const std::wstring& path, uint32_t access, Key* key) override {
    return Obtain(Op::kCreate, hive, path, access, key);
  }
  void CloseKey(Key key) override;
  int32_t QueryValue(Key key, const std::wstring& name, uint32_t* type, uint8_t* data,
                     uint32_t* size) override;
  int32_t SetValue(Key key, const std::wstring& name, uint32_t type, const uint8_t* data,
                   uint32_t size) override;
  int32_t DeleteKeyValue(Hive hive, const std::wstring& path, const std::wstring& name) override;

 private:
  using Place = std::tuple<Hive, View, std::wstring>;  // path case-folded
  struct OpenHandle {
    Place place;
    uint32_t access;
  };

  static std::wstring Fold(const std::wstring& text);
  void CreatePlace(const Place& place);
  int32_t Failure(Op op, Hive hive, const std::wstring& path) const;
  int32_t Obtain(Op op, Hive hive, const std::wstring& path, uint32_t access, Key* key);

  mutable std::mutex mutex_;
  std::map<Place, std::map<std::wstring, Value>> keys_;  // value names case-folded
  std::map<Key, OpenHandle> open_;
  Key nextKey_ = 0x1000;
  std::map<std::tuple<Op, Hive, std::wstring>, int32_t> failures_;
};

}  // namespace velmora::fakes
