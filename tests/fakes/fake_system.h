// The system's stores in memory, with the semantics of the calls they stand in for: kernel
// objects, the registry and files.
#pragma once

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <tuple>
#include <utility>

#include "platform/code_page.h"
#include "platform/files.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "text/utf16.h"

namespace velmora::fakes {

// A scripted answer: false when there is none.
inline bool Answer(const std::optional<std::wstring>& value, std::wstring* out) {
  if (value) *out = *value;
  return value.has_value();
}

// A name in lower case, as Windows compares names; A to Z is enough for the names tests use.
inline std::wstring Fold(std::wstring text) {
  for (wchar_t& c : text) c = c >= L'A' && c <= L'Z' ? c + 0x20 : c;
  return text;
}

// A name is shared by every handle to it and refused to another type; an event wakes one wait
// and resets. Objects outlive their handles, as when the service holds its own. Nothing blocks:
// a wait that finds nothing signalled runs onBlock (the test's next move) once, then times out,
// or fails when it was infinite.
class FakeKernel : public Kernel {
 public:
  enum class Type { kEvent, kMutex, kMapping };
  struct Object {
    Type type;
    bool signaled = false;
    std::vector<uint8_t> bytes;  // a mapping's contents
  };
  struct Stopped {};  // thrown by a sleep to end a thread that would run for ever

  // An object another process made: the service's block, a name taken by another type.
  Object& Put(const std::wstring& name, Type type, size_t size = 0) {
    named[name] = std::make_shared<Object>(Object{type, false, std::vector<uint8_t>(size)});
    return *named[name];
  }
  bool Signaled(const std::wstring& name) { return named.count(name) && named[name]->signaled; }
  void Signal(const std::wstring& name) { named.at(name)->signaled = true; }
  size_t OpenCount() const { return handles_.size() + views_.size(); }

  Handle CreateOrOpenEvent(const EventParams& params) override {
    return Obtain(params.name, Type::kEvent);
  }
  bool SignalEvent(Handle event) override {
    if (!SetSignal(event, true)) return false;
    if (afterSignal) afterSignal();
    return true;
  }
  bool ResetEvent(Handle event) override { return SetSignal(event, false); }
  uint32_t WaitForAny(const Handle* handles, size_t count, uint32_t timeoutMs) override {
    ++waits;
    for (int pass = 0; pass < 2; ++pass) {
      if (pass == 1 && onBlock) onBlock();
      for (uint32_t i = 0; i < count; ++i) {
        Object* object = Find(handles[i], Type::kEvent);
        if (object == nullptr) return win::kWaitFailed;
        if (std::exchange(object->signaled, false)) return win::kWaitObject0 + i;
      }
    }
    return timeoutMs == win::kInfinite ? win::kWaitFailed : win::kWaitTimeout;
  }
  Handle CreateNamedMutex(const std::wstring& name, bool) override {
    return Obtain(name, Type::kMutex);
  }
  bool ReleaseNamedMutex(Handle) override { return true; }
  Handle OpenNamedFileMapping(const std::wstring& name, uint32_t) override {
    return named.count(name) ? Obtain(name, Type::kMapping) : Failed(win::kErrorFileNotFound);
  }
  void* MapView(Handle mapping, uint32_t, size_t length) override {
    Object* object = Find(mapping, Type::kMapping);
    if (object == nullptr || length > object->bytes.size()) return Failed(win::kErrorAccessDenied);
    return *views_.insert(object->bytes.data()).first;
  }
  bool FlushView(void*, size_t) override { return true; }
  bool UnmapView(void* view) override { return views_.erase(view) != 0; }
  void CloseHandle(Handle handle) override { handles_.erase(handle); }
  // The body is kept, never run: tests drive a thread's work themselves.
  bool StartDetachedThread(std::function<void()> run) override { return (thread = run) != nullptr; }
  // The sleep numbered sleepsToStop (0: none) stops the thread by throwing Stopped.
  void Sleep(uint32_t ms) override {
    slept.push_back(ms);
    if (slept.size() == sleepsToStop) throw Stopped();
  }
  uint32_t TickCount() override { return 0; }
  uint32_t LastError() override { return lastError_; }
  void SetLastError(uint32_t error) override { lastError_ = error; }
  void InitializeCom() override {}
  void UninitializeCom() override {}
  void SetThreadLocale(uint32_t) override {}
  void SetThreadUILanguage(uint16_t) override {}
  std::wstring CommandLine() override { return commandLine; }
  bool ComputerName(std::wstring* name) override { return Answer(computerName, name); }
  // The scripted numbers in turn, then 0.
  uint32_t RandomNumber() override {
    if (randomNumbers.empty()) return 0;
    const uint32_t value = randomNumbers.front();
    randomNumbers.pop_front();
    return value;
  }

  std::map<std::wstring, std::shared_ptr<Object>> named;
  std::function<void()> afterSignal;  // runs inside SignalEvent, right after the signal
  std::function<void()> onBlock;
  std::function<void()> thread;  // the last one started
  std::vector<uint32_t> slept;   // milliseconds
  size_t sleepsToStop = 0;
  int waits = 0;
  std::wstring commandLine = L"\"C:\\Program Files\\Velmora\\VelmoraTray.exe\"";
  std::optional<std::wstring> computerName = L"WORKSTATION";
  std::deque<uint32_t> randomNumbers;

 private:
  std::nullptr_t Failed(uint32_t error) {
    lastError_ = error;
    return nullptr;
  }
  Handle Obtain(const std::wstring& name, Type type) {
    std::shared_ptr<Object>& object = named[name];
    if (object != nullptr && object->type != type) return Failed(win::kErrorInvalidHandle);
    lastError_ = object != nullptr ? win::kErrorAlreadyExists : 0;
    if (object == nullptr) object = std::make_shared<Object>(Object{type});
    handles_[reinterpret_cast<Handle>(nextHandle_ += 4)] = object;
    return reinterpret_cast<Handle>(nextHandle_);
  }
  Object* Find(Handle handle, Type type) {
    const auto it = handles_.find(handle);
    if (it != handles_.end() && it->second->type == type) return it->second.get();
    return Failed(win::kErrorInvalidHandle);
  }
  bool SetSignal(Handle event, bool signaled) {
    Object* object = Find(event, Type::kEvent);
    if (object != nullptr) object->signaled = signaled;
    return object != nullptr;
  }

  std::map<Handle, std::shared_ptr<Object>> handles_;
  std::set<void*> views_;
  uint32_t lastError_ = 0;
  uintptr_t nextHandle_ = 0x100;
};

// RegOpenKeyExW/RegQueryValueExW semantics. The 64-bit and 32-bit views are separate stores for
// both hives (as HKLM\Software is on 64-bit Windows); an access mask without KEY_WOW64_32KEY
// uses the 64-bit view. Paths and names ignore case.
class FakeRegistry : public Registry {
 public:
  enum class View { k64, k32 };
  enum class Op { kOpen, kCreate, kSet };
  struct Value {
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
  };

  // The key is created as needed; its parents are not, as nothing opens them.
  void SetRaw(Hive hive, View view, const std::wstring& path, const std::wstring& name,
              uint32_t type, std::vector<uint8_t> bytes) {
    keys_[Place(hive, view, Fold(path))][Fold(name)] = Value{type, std::move(bytes)};
  }
  void SetDword(Hive hive, View view, const std::wstring& path, const std::wstring& name,
                uint32_t value) {
    SetRaw(hive, view, path, name, reg::kRegDword,
           {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)});
  }
  // REG_SZ with its terminating NUL, as RegSetValueExW stores it.
  void SetString(Hive hive, View view, const std::wstring& path, const std::wstring& name,
                 const std::wstring& text) {
    SetRaw(hive, view, path, name, reg::kRegSz, ToUtf16LeBytes(text, true));
  }
  std::optional<Value> Get(Hive hive, View view, const std::wstring& path,
                           const std::wstring& name) const {
    const auto key = keys_.find(Place(hive, view, Fold(path)));
    if (key == keys_.end() || key->second.count(Fold(name)) == 0) return std::nullopt;
    return key->second.at(Fold(name));
  }
  // The operation on that key path (either view) answers status; 0 takes the failure back.
  void Fail(Op op, Hive hive, const std::wstring& path, int32_t status) {
    failures_[{op, hive, Fold(path)}] = status;
  }
  // Keys opened or created and not yet closed, plus closes of keys that were not open.
  size_t Unbalanced() const { return open_.size() + badCloses_; }

  int32_t OpenKey(Hive hive, const std::wstring& path, uint32_t access, Key* key) override {
    return Obtain(Op::kOpen, hive, path, access, key);
  }
  int32_t CreateKey(Hive hive, const std::wstring& path, uint32_t access, Key* key) override {
    return Obtain(Op::kCreate, hive, path, access, key);
  }
  void CloseKey(Key key) override { badCloses_ += open_.erase(key) == 0 ? 1 : 0; }
  int32_t QueryValue(Key key, const std::wstring& name, uint32_t* type, uint8_t* data,
                     uint32_t* size) override {
    if (open_.count(key) == 0) return win::kErrorInvalidHandle;
    if ((open_[key].second & kKeyQueryValue) == 0) return win::kErrorAccessDenied;
    auto& values = keys_[open_[key].first];
    if (values.count(Fold(name)) == 0) return win::kErrorFileNotFound;
    const Value& value = values[Fold(name)];
    if (type != nullptr) *type = value.type;
    const uint32_t room = std::exchange(*size, static_cast<uint32_t>(value.bytes.size()));
    if (data == nullptr) return 0;
    if (room < value.bytes.size()) return win::kErrorMoreData;
    std::copy(value.bytes.begin(), value.bytes.end(), data);
    return 0;
  }
  int32_t SetValue(Key key, const std::wstring& name, uint32_t type, const uint8_t* data,
                   uint32_t size) override {
    if (open_.count(key) == 0) return win::kErrorInvalidHandle;
    const auto& [place, access] = open_[key];
    if (int32_t failure = failures_[{Op::kSet, std::get<0>(place), std::get<2>(place)}]) {
      return failure;
    }
    if ((access & kKeySetValue) == 0) return win::kErrorAccessDenied;
    keys_[place][Fold(name)] = Value{type, std::vector<uint8_t>(data, data + size)};
    return 0;
  }
  int32_t DeleteKeyValue(Hive hive, const std::wstring& path, const std::wstring& name) override {
    const auto key = keys_.find(Place(hive, View::k64, Fold(path)));
    return key != keys_.end() && key->second.erase(Fold(name)) ? 0 : win::kErrorFileNotFound;
  }

 private:
  using Place = std::tuple<Hive, View, std::wstring>;  // path case-folded
  // Rights a handle must carry for the value calls, as Windows checks them.
  static constexpr uint32_t kKeyQueryValue = 0x0001;
  static constexpr uint32_t kKeySetValue = 0x0002;

  int32_t Obtain(Op op, Hive hive, const std::wstring& path, uint32_t access, Key* key) {
    const Place place(hive, access & reg::kWow64Key32 ? View::k32 : View::k64, Fold(path));
    if (const int32_t failure = failures_[{op, hive, Fold(path)}]) return failure;
    if (op == Op::kCreate) keys_[place];
    if (keys_.count(place) == 0) return win::kErrorFileNotFound;
    open_[*key = nextKey_++] = {place, access};
    return 0;
  }

  std::map<Place, std::map<std::wstring, Value>> keys_;  // value names case-folded
  std::map<Key, std::pair<Place, uint32_t>> open_;       // and the handle's access
  Key nextKey_ = 0x1000;
  std::map<std::tuple<Op, Hive, std::wstring>, int32_t> failures_;
  size_t badCloses_ = 0;
};

// Path -> bytes, compared case-insensitively as on Windows. Safe to use from several threads;
// the scripting fields are set while none runs.
class FakeFiles : public Files {
 public:
  int64_t SizeOf(const std::wstring& path) override {
    const Call call(this);
    return files_.count(Fold(path)) ? static_cast<int64_t>(files_[Fold(path)].size()) : -1;
  }
  bool ReadAll(const std::wstring& path, std::vector<uint8_t>* out) override {
    const Call call(this);
    if (files_.count(Fold(path))) out->assign(files_[Fold(path)].begin(), files_[Fold(path)].end());
    return files_.count(Fold(path)) != 0;
  }
  bool Append(const std::wstring& path, const void* data, size_t length) override {
    const Call call(this);
    ++appendCalls;
    files_[Fold(path)].append(static_cast<const char*>(data), length);
    return true;
  }
  // MoveFileW never replaces an existing file.
  bool Move(const std::wstring& from, const std::wstring& to) override {
    const Call call(this);
    if (moveFails || files_.count(Fold(from)) == 0 || files_.count(Fold(to)) != 0) return false;
    files_[Fold(to)] = std::move(files_[Fold(from)]);
    return files_.erase(Fold(from)) != 0;
  }
  bool Delete(const std::wstring& path) override {
    const Call call(this);
    return !deleteFails && files_.erase(Fold(path)) != 0;
  }
  uint32_t Attributes(const std::wstring& path) override {
    const Call call(this);
    return files_.count(Fold(path)) != 0 ? 0x80 : win::kInvalidFileAttributes;
  }
  // %NAME% of a known name is replaced; an unknown one stays as written.
  uint32_t ExpandEnvironment(const std::wstring& text, std::wstring* out) override {
    const Call call(this);
    if (expandFails) return 0;
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
      const size_t close = text[i] == L'%' ? text.find(L'%', i + 1) : std::wstring::npos;
      const auto it = close == std::wstring::npos
                          ? environment_.end()
                          : environment_.find(Fold(text.substr(i + 1, close - i - 1)));
      *out += it == environment_.end() ? text.substr(i, 1) : it->second;
      if (it != environment_.end()) i = close;
    }
    return static_cast<uint32_t>(out->size() + 1);
  }
  std::wstring ModulePath() override { return modulePath; }

  void SetFile(const std::wstring& path, const std::string& bytes) {
    const Call call(this);
    files_[Fold(path)] = bytes;
  }
  // Empty when there is no such file.
  std::string Contents(const std::wstring& path) const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return files_.count(Fold(path)) != 0 ? files_.at(Fold(path)) : std::string();
  }
  void SetEnvironment(const std::wstring& name, const std::wstring& value) {
    environment_[Fold(name)] = value;
  }

  bool moveFails = false;
  bool deleteFails = false;
  bool expandFails = false;
  std::wstring modulePath;
  std::atomic<int> appendCalls{0};
  // The most calls that were ever inside the fake at once: callers that should serialise
  // their calls show up here.
  std::atomic<int> maxConcurrentCalls{0};

 private:
  // Counted before the lock is taken; the yield widens the window for an overlap.
  struct Call {
    explicit Call(FakeFiles* files) : files(files) {
      const int now = ++files->inside_;
      int seen = files->maxConcurrentCalls.load();
      while (now > seen && !files->maxConcurrentCalls.compare_exchange_weak(seen, now)) {
      }
      std::this_thread::yield();
      files->mutex_.lock();
    }
    ~Call() {
      files->mutex_.unlock();
      --files->inside_;
    }
    FakeFiles* files;
  };

  mutable std::mutex mutex_;
  std::map<std::wstring, std::string> files_;
  std::map<std::wstring, std::wstring> environment_;
  std::atomic<int> inside_{0};
};

// The ANSI code page as Windows-1252 gives the characters the tests use: Latin-1 as it is, the
// euro sign at 0x80 (the bytes 0x81 to 0x9F stand for themselves), '?' for a character without a
// byte, one '?' for a whole surrogate pair (a Windows wchar_t holds half of one).
class FakeCodePage : public CodePage {
 public:
  std::string WideToAnsi(const std::wstring& text) override {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
      const wchar_t c = text[i];
      out += c == 0x20AC ? '\x80' : c <= 0xFF && c != 0x80 ? static_cast<char>(c) : '?';
      i += c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
           text[i + 1] <= 0xDFFF;
    }
    return out;
  }
  std::wstring AnsiToWide(const std::string& text) override {
    std::wstring out;
    for (char c : text) out += c == '\x80' ? L'\u20AC' : static_cast<wchar_t>(uint8_t(c));
    return out;
  }
};

}  // namespace velmora::fakes
