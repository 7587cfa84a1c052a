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
constexpr int32_t kErrorInvalidParameter = 87;

int32_t Status(uint32_t error) { return static_cast<int32_t>(error); }

}  // namespace

std::wstring FakeRegistry::Fold(const std::wstring& text) {
  std::wstring folded(text);
  for (wchar_t& c : folded) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return folded;
}

std::optional<int32_t> FakeRegistry::FailureFor(const std::map<FailKey, int32_t>& failures,
                                                Hive hive, const std::wstring& path) {
  const auto it = failures.find(FailKey(hive, Fold(path)));
  if (it == failures.end()) return std::nullopt;
  return it->second;
}

FakeRegistry::View FakeRegistry::ViewOf(uint32_t access) const {
  if (access & reg::kWow64Key64) return View::k64;
  if (access & reg::kWow64Key32) return View::k32;
  return native_;
}

void FakeRegistry::SetNativeView(View view) {
  std::lock_guard<std::mutex> lock(mutex_);
  native_ = view;
}

void FakeRegistry::CreatePlaceLocked(const Place& place) {
  const std::wstring& path = std::get<2>(place);
  for (size_t pos = path.find(L'\\'); pos != std::wstring::npos; pos = path.find(L'\\', pos + 1)) {
    keys_[Place(std::get<0>(place), std::get<1>(place), path.substr(0, pos))];
  }
  keys_[place];
}

void FakeRegistry::CreateKeyPath(Hive hive, View view, const std::wstring& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  CreatePlaceLocked(Place(hive, view, Fold(path)));
}

void FakeRegistry::SetRaw(Hive hive, View view, const std::wstring& path, const std::wstring& name,
                          uint32_t type, std::vector<uint8_t> bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Place place(hive, view, Fold(path));
  CreatePlaceLocked(place);
  keys_[place].values[Fold(name)] = Value{type, std::move(bytes)};
}

void FakeRegistry::SetDword(Hive hive, View view, const std::wstring& path,
                            const std::wstring& name, uint32_t value) {
  SetRaw(hive, view, path, name, reg::kRegDword,
         {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)});
}

void FakeRegistry::SetString(Hive hive, View view, const std::wstring& path,
                             const std::wstring& name, const std::wstring& text) {
  SetRaw(hive, view, path, name, reg::kRegSz, ToUtf16LeBytes(text, true));
}

const FakeRegistry::Value* FakeRegistry::FindLocked(const Place& place,
                                                    const std::wstring& name) const {
  const auto key = keys_.find(place);
  if (key == keys_.end()) return nullptr;
  const auto value = key->second.values.find(Fold(name));
  return value == key->second.values.end() ? nullptr : &value->second;
}

std::optional<FakeRegistry::Value> FakeRegistry::Get(Hive hive, View view, const std::wstring& path,
                                                     const std::wstring& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Value* value = FindLocked(Place(hive, view, Fold(path)), name);
  if (value == nullptr) return std::nullopt;
  return *value;
}

std::optional<std::wstring> FakeRegistry::GetString(Hive hive, View view, const std::wstring& path,
                                                    const std::wstring& name) const {
  const std::optional<Value> value = Get(hive, view, path, name);
  if (!value) return std::nullopt;
  return FromUtf16LeBytes(value->bytes.data(), value->bytes.size());
}

void FakeRegistry::FailOpen(Hive hive, const std::wstring& path, int32_t status) {
  std::lock_guard<std::mutex> lock(mutex_);
  failOpen_[FailKey(hive, Fold(path))] = status;
}

void FakeRegistry::FailCreate(Hive hive, const std::wstring& path, int32_t status) {
  std::lock_guard<std::mutex> lock(mutex_);
  failCreate_[FailKey(hive, Fold(path))] = status;
}

void FakeRegistry::FailSet(Hive hive, const std::wstring& path, int32_t status) {
  std::lock_guard<std::mutex> lock(mutex_);
  failSet_[FailKey(hive, Fold(path))] = status;
}

std::vector<FakeRegistry::Call> FakeRegistry::Calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::vector<FakeRegistry::Call> FakeRegistry::CallsOf(Op op) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Call> matching;
  for (const Call& call : calls_) {
    if (call.op == op) matching.push_back(call);
  }
  return matching;
}

void FakeRegistry::ClearCalls() {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.clear();
}

size_t FakeRegistry::OpenKeyCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_.size();
}

size_t FakeRegistry::BadCloseCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return badCloses_;
}

void FakeRegistry::RecordLocked(Op op, const Place& place, const std::wstring& path,
                                uint32_t access) {
  calls_.push_back(Call{op, std::get<0>(place), std::get<1>(place), path, access});
}

int32_t FakeRegistry::OpenKey(Hive hive, const std::wstring& path, uint32_t access, Key* key) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Place place(hive, ViewOf(access), Fold(path));
  int32_t status = Status(win::kErrorSuccess);
  if (const auto failure = FailureFor(failOpen_, hive, path)) {
    status = *failure;
  } else if (keys_.count(place) == 0) {
    status = Status(win::kErrorFileNotFound);
  } else {
    *key = nextKey_++;
    open_[*key] = OpenHandle{place, path, access};
  }
  RecordLocked(Op::kOpen, place, path, access);
  return status;
}

int32_t FakeRegistry::CreateKey(Hive hive, const std::wstring& path, uint32_t access, Key* key) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Place place(hive, ViewOf(access), Fold(path));
  int32_t status = Status(win::kErrorSuccess);
  if (const auto failure = FailureFor(failCreate_, hive, path)) {
    status = *failure;
  } else {
    CreatePlaceLocked(place);
    *key = nextKey_++;
    open_[*key] = OpenHandle{place, path, access};
  }
  RecordLocked(Op::kCreate, place, path, access);
  return status;
}

void FakeRegistry::CloseKey(Key key) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (open_.erase(key) == 0) ++badCloses_;
}

int32_t FakeRegistry::QueryValue(Key key, const std::wstring& name, uint32_t* type, uint8_t* data,
                                 uint32_t* size) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto handle = open_.find(key);
  if (handle == open_.end()) return Status(win::kErrorInvalidHandle);
  const OpenHandle& open = handle->second;
  int32_t status = Status(win::kErrorSuccess);
  const Value* value = FindLocked(open.place, name);
  if ((open.access & kKeyQueryValue) == 0) {
    status = Status(win::kErrorAccessDenied);
  } else if (data != nullptr && size == nullptr) {
    status = kErrorInvalidParameter;
  } else if (value == nullptr) {
    status = Status(win::kErrorFileNotFound);
  } else {
    if (type != nullptr) *type = value->type;
    const uint32_t length = static_cast<uint32_t>(value->bytes.size());
    if (data != nullptr && *size < length) {
      status = Status(win::kErrorMoreData);
    } else if (data != nullptr && length != 0) {
      std::memcpy(data, value->bytes.data(), length);
    }
    if (size != nullptr) *size = length;
  }
  RecordLocked(Op::kQuery, open.place, open.path, open.access);
  return status;
}

int32_t FakeRegistry::SetValue(Key key, const std::wstring& name, uint32_t type,
                               const uint8_t* data, uint32_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto handle = open_.find(key);
  if (handle == open_.end()) return Status(win::kErrorInvalidHandle);
  const OpenHandle& open = handle->second;
  int32_t status = Status(win::kErrorSuccess);
  if (const auto failure = FailureFor(failSet_, std::get<0>(open.place), open.path)) {
    status = *failure;
  } else if ((open.access & kKeySetValue) == 0) {
    status = Status(win::kErrorAccessDenied);
  } else if (data == nullptr && size != 0) {
    status = kErrorInvalidParameter;
  } else {
    Value& stored = keys_[open.place].values[Fold(name)];
    stored.type = type;
    stored.bytes.assign(data, data + size);
  }
  RecordLocked(Op::kSet, open.place, open.path, open.access);
  return status;
}

int32_t FakeRegistry::DeleteKeyValue(Hive hive, const std::wstring& path,
                                     const std::wstring& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Place place(hive, native_, Fold(path));
  int32_t status = Status(win::kErrorSuccess);
  const auto key = keys_.find(place);
  if (key == keys_.end() || key->second.values.erase(Fold(name)) == 0) {
    status = Status(win::kErrorFileNotFound);
  }
  RecordLocked(Op::kDelete, place, path, 0);
  return status;
}

}  // namespace velmora::fakes
