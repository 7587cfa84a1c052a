// In-memory registry with RegOpenKeyExW/RegQueryValueExW semantics. The 64-bit and 32-bit
// views are separate stores for both hives (as HKLM\Software is on 64-bit Windows); an access
// mask without a KEY_WOW64_* bit uses the configurable native view. Every call is recorded so
// that tests can assert which places were visited and what was written, and failures can be
// injected per key path.
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
  enum class Op { kOpen, kCreate, kQuery, kSet, kDelete };

  struct Value {
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
  };

  // One call of the Registry interface. For kQuery and kSet the key's place is filled in from
  // the handle; view is the view the call resolved to.
  struct Call {
    Op op;
    Hive hive;
    View view;
    std::wstring path;
    uint32_t access;
  };

  FakeRegistry() = default;

  void SetNativeView(View view);

  // Test set-up; the key and its parents are created as needed.
  void SetDword(Hive hive, View view, const std::wstring& path, const std::wstring& name,
                uint32_t value);
  // REG_SZ with its terminating NUL, as RegSetValueExW stores it.
  void SetString(Hive hive, View view, const std::wstring& path, const std::wstring& name,
                 const std::wstring& text);
  void SetRaw(Hive hive, View view, const std::wstring& path, const std::wstring& name,
              uint32_t type, std::vector<uint8_t> bytes);
  void CreateKeyPath(Hive hive, View view, const std::wstring& path);

  std::optional<Value> Get(Hive hive, View view, const std::wstring& path,
                           const std::wstring& name) const;
  // The value's text up to its first NUL, when it exists (whatever its type).
  std::optional<std::wstring> GetString(Hive hive, View view, const std::wstring& path,
                                        const std::wstring& name) const;

  // Failure injection: the operation on that key path (either view) answers status.
  void FailOpen(Hive hive, const std::wstring& path, int32_t status);
  void FailCreate(Hive hive, const std::wstring& path, int32_t status);
  void FailSet(Hive hive, const std::wstring& path, int32_t status);

  std::vector<Call> Calls() const;
  std::vector<Call> CallsOf(Op op) const;
  void ClearCalls();
  // Keys opened or created and not yet closed.
  size_t OpenKeyCount() const;
  // CloseKey calls with a handle that was not open (double close, never-opened value).
  size_t BadCloseCount() const;

  int32_t OpenKey(Hive hive, const std::wstring& path, uint32_t access, Key* key) override;
  int32_t CreateKey(Hive hive, const std::wstring& path, uint32_t access, Key* key) override;
  void CloseKey(Key key) override;
  int32_t QueryValue(Key key, const std::wstring& name, uint32_t* type, uint8_t* data,
                     uint32_t* size) override;
  int32_t SetValue(Key key, const std::wstring& name, uint32_t type, const uint8_t* data,
                   uint32_t size) override;
  int32_t DeleteKeyValue(Hive hive, const std::wstring& path, const std::wstring& name) override;

 private:
  using Place = std::tuple<Hive, View, std::wstring>;  // path case-folded
  using FailKey = std::pair<Hive, std::wstring>;
  struct KeyData {
    std::map<std::wstring, Value> values;  // name case-folded
  };
  struct OpenHandle {
    Place place;
    std::wstring path;  // as the caller spelled it
    uint32_t access;
  };

  View ViewOf(uint32_t access) const;
  void CreatePlaceLocked(const Place& place);
  const Value* FindLocked(const Place& place, const std::wstring& name) const;
  void RecordLocked(Op op, const Place& place, const std::wstring& path, uint32_t access);
  static std::wstring Fold(const std::wstring& text);
  static std::optional<int32_t> FailureFor(const std::map<FailKey, int32_t>& failures, Hive hive,
                                           const std::wstring& path);

  mutable std::mutex mutex_;
  View native_ = View::k64;
  std::map<Place, KeyData> keys_;
  std::map<Key, OpenHandle> open_;
  Key nextKey_ = 0x1000;
  size_t badCloses_ = 0;
  std::map<FailKey, int32_t> failOpen_;
  std::map<FailKey, int32_t> failCreate_;
  std::map<FailKey, int32_t> failSet_;
  std::vector<Call> calls_;
};

}  // namespace velmora::fakes
