#include "fakes/fake_registry.h"

#include <cstring>
#include <cwctype>

#include "platform/types.h"
#include "text/utf16.h"

namespace velmora::fakes {
namespace {

// Rights a handle must carry for the value calls, as Windows checks them.
constexpr uint32_t kKeyQueryValue = 0x0001;
constexpr uint32_t kKeySetValue = 0x0002;
constexpr int32_t kNotFound = static_cast<int32_t>(win::kErrorFileNotFound);

}  // namespace

std::wstring FakeRegistry::Fold(const std::wstring& text) {
  std::wstring folded(text);
  for (wchar_t& c : folded) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return folded;
}

void FakeRegistry::CreatePlace(const Place& place) {
  const std::wstring& path = std::get<2>(place);
  for (size_t at = path.find(L'\\'); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
    keys_[Place(std::get<0>(place), std::get<1>(place), path.substr(0, at))];
  }
  keys_[place];
}

void FakeRegistry::SetRaw(Hive hive, View view, const std::wstring& path, const std::wstring& name,
                          uint32_t type, std::vector<uint8_t> bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Place place(hive, view, Fold(path));
  CreatePlace(place);
  keys_[place][Fold(name)] = Value{type, std::move(bytes)};
}

void FakeRegistry::SetDword(Hive hive, View view, const std::wstring& path,
                            const std::wstring& name, uint32_t value) {
  std::vector<uint8_t> bytes(4);
  std::memcpy(bytes.data(), &value, 4);  // the hosts are little-endian, as Windows is
  SetRaw(hive, view, path, name, reg::kRegDword, bytes);
}

void FakeRegistry::SetString(Hive hive, View view, const std::wstring& path,
                             const std::wstring& name, const std::wstring& text) {
  SetRaw(hive, view, path, name, reg::kRegSz, ToUtf16LeBytes(text, true));
}

std::optional<FakeRegistry::Value> FakeRegistry::Get(Hive hive, View view, const std::wstring& path,
                                                     const std::wstring& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto key = keys_.find(Place(hive, view, Fold(path)));
  if (key == keys_.end() || !key->second.count(Fold(name))) return std::nullopt;
  return key->second.at(Fold(name));
}

int32_t FakeRegistry::Failure(Op op, Hive hive, const std::wstring& path) const {
  const auto it = failures_.find({op, hive, Fold(path)});
  return it == failures_.end() ? 0 : it->second;
}

size_t FakeRegistry::OpenKeyCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_.size();
}

int32_t FakeRegistry::Obtain(Op op, Hive hive, const std::wstring& path, uint32_t access,
                             Key* key) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Place place(hive, access & reg::kWow64Key32 ? View::k32 : View::k64, Fold(path));
  if (const int32_t failure = Failure(op, hive, path)) return failure;
  if (op == Op::kCreate) CreatePlace(place);
  if (keys_.count(place) == 0) return kNotFound;
  *key = nextKey_++;
  open_[*key] = OpenHandle{place, access};
  return 0;
}

void FakeRegistry::CloseKey(Key key) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (open_.erase(key) == 0) ++badCloses;
}

int32_t FakeRegistry::QueryValue(Key key, const std::wstring& name, uint32_t* type, uint8_t* data,
                                 uint32_t* size) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto handle = open_.find(key);
  if (handle == open_.end()) return static_cast<int32_t>(win::kErrorInvalidHandle);
  if ((handle->second.access & kKeyQueryValue) == 0) {
    return static_cast<int32_t>(win::kErrorAccessDenied);
  }
  const auto& values = keys_[handle->second.place];
  const auto value = values.find(Fold(name));
  if (value == values.end()) return kNotFound;
  if (type != nullptr) *type = value->second.type;
  const uint32_t length = static_cast<uint32_t>(value->second.bytes.size());
  const uint32_t room = *size;
  *size = length;
  if (data == nullptr) return 0;
  if (room < length) return static_cast<int32_t>(win::kErrorMoreData);
  if (length != 0) std::memcpy(data, value->second.bytes.data(), length);
  return 0;
}

int32_t FakeRegistry::SetValue(Key key, const std::wstring& name, uint32_t type,
                               const uint8_t* data, uint32_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto handle = open_.find(key);
  if (handle == open_.end()) return static_cast<int32_t>(win::kErrorInvalidHandle);
  const Place& place = handle->second.place;
  if (const int32_t failure = Failure(Op::kSet, std::get<0>(place), std::get<2>(place))) {
    return failure;
  }
  if ((handle->second.access & kKeySetValue) == 0) {
    return static_cast<int32_t>(win::kErrorAccessDenied);
  }
  keys_[place][Fold(name)] = Value{type, std::vector<uint8_t>(data, data + size)};
  return 0;
}

int32_t FakeRegistry::DeleteKeyValue(Hive hive, const std::wstring& path,
                                     const std::wstring& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto key = keys_.find(Place(hive, View::k64, Fold(path)));
  return key != keys_.end() && key->second.erase(Fold(name)) != 0 ? 0 : kNotFound;
}

}  // namespace velmora::fakes
