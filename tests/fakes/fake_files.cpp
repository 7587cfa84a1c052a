#include "fakes/fake_files.h"

#include <thread>

#include "platform/types.h"

namespace velmora::fakes {

namespace {
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeNormal = 0x80;
}  // namespace

// Counts the calls inside the object before its mutex is taken, so that callers that forget
// their own serialisation show up as overlap. The yield widens the window for that.
class FakeFiles::CallScope {
 public:
  explicit CallScope(FakeFiles* files) : files_(files) {
    const int now = ++files_->inside_;
    int seen = files_->maxInside_.load();
    while (now > seen && !files_->maxInside_.compare_exchange_weak(seen, now)) {
    }
    std::this_thread::yield();
  }
  ~CallScope() { --files_->inside_; }
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  FakeFiles* files_;
};

std::wstring FakeFiles::Key(const std::wstring& path) {
  std::wstring key = path;
  for (wchar_t& c : key) {
    const uint32_t u = static_cast<uint32_t>(c);
    if (u == '/') {
      c = L'\\';
    } else if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) {
      c = static_cast<wchar_t>(u + 0x20);
    }
  }
  return key;
}

bool FakeFiles::FolderExists(const std::wstring& path) const {
  if (folders_.empty()) return true;
  const std::wstring key = Key(path);
  const size_t slash = key.rfind(L'\\');
  return slash != std::wstring::npos && folders_.count(key.substr(0, slash)) != 0;
}

int64_t FakeFiles::SizeOf(const std::wstring& path) {
  CallScope scope(this);
  std::lock_guard<std::mutex> guard(mutex_);
  const std::wstring key = Key(path);
  auto it = files_.find(key);
  if (it == files_.end() || locked_.count(key)) return -1;
  return static_cast<int64_t>(it->second.bytes.size());
}

bool FakeFiles::ReadAll(const std::wstring& path, std::vector<uint8_t>* out) {
  CallScope scope(this);
  std::lock_guard<std::mutex> guard(mutex_);
  const std::wstring key = Key(path);
  auto it = files_.find(key);
  if (it == files_.end() || locked_.count(key)) return false;
  out->assign(it->second.bytes.begin(), it->second.bytes.end());
  return true;
}

bool FakeFiles::Append(const std::wstring& path, const void* data, size_t length) {
  CallScope scope(this);
  std::lock_guard<std::mutex> guard(mutex_);
  ++appendCalls_;
  journal_.push_back(L"Append " + path);
  const std::wstring key = Key(path);
  if (locked_.count(key)) return false;
  auto it = files_.find(key);
  if (it == files_.end()) {
    if (!FolderExists(path)) return false;
    it = files_.emplace(key, File{path, std::string()}).first;
  }
  it->second.bytes.append(static_cast<const char*>(data), length);
  return true;
}

bool FakeFiles::Move(const std::wstring& from, const std::wstring& to) {
  CallScope scope(this);
  std::lock_guard<std::mutex> guard(mutex_);
  ++moveCalls_;
  journal_.push_back(L"Move " + from + L" -> " + to);
  const std::wstring fromKey = Key(from);
  const std::wstring toKey = Key(to);
  auto it = files_.find(fromKey);
  if (moveFails_ || it == files_.end() || locked_.count(fromKey) || !FolderExists(to)) {
    return false;
  }
  // MoveFileW never replaces an existing file, but renaming a file to itself is allowed.
  if (toKey != fromKey && files_.count(toKey)) return false;
  File moved{to, std::move(it->second.bytes)};
  files_.erase(it);
  files_[toKey] = std::move(moved);
  return true;
}

bool FakeFiles::Delete(const std::wstring& path) {
  CallScope scope(this);
  std::lock_guard<std::mutex> guard(mutex_);
  journal_.push_back(L"Delete " + path);
  const std::wstring key = Key(path);
  if (deleteFails_ || locked_.count(key)) return false;
  return files_.erase(key) != 0;
}

uint32_t FakeFiles::Attributes(const std::wstring& path) {
  CallScope scope(this);
  std::lock_guard<std::mutex> guard(mutex_);
  const std::wstring key = Key(path);
  if (files_.count(key)) return kAttributeNormal;
  if (folders_.count(key)) return kAttributeDirectory;
  return win::kInvalidFileAttributes;
}

uint32_t FakeFiles::ExpandEnvironment(const std::wstring& text, std::wstring* out) {
  CallScope scope(this);
  std::lock_guard<std::mutex> guard(mutex_);
  if (expandFails_) return 0;
  std::wstring result;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != L'%') {
      result.push_back(text[i++]);
      continue;
    }
    const size_t close = text.find(L'%', i + 1);
    if (close == std::wstring::npos) {
      result.append(text, i, std::wstring::npos);
      break;
    }
    const std::wstring name = text.substr(i + 1, close - i - 1);
    auto it = name.empty() ? environment_.end() : environment_.find(Key(name));
    if (it != environment_.end()) {
      result += it->second;
      i = close + 1;
    } else {
      // Like Windows: an unknown name stays as written and its closing '%' may open the next.
      result.append(text, i, close - i);
      i = close;
    }
  }
  *out = result;
  return static_cast<uint32_t>(result.size() + 1);
}

std::wstring FakeFiles::ModulePath() {
  std::lock_guard<std::mutex> guard(mutex_);
  return modulePath_;
}

void FakeFiles::SetFile(const std::wstring& path, const std::string& bytes) {
  std::lock_guard<std::mutex> guard(mutex_);
  files_[Key(path)] = File{path, bytes};
}

bool FakeFiles::Exists(const std::wstring& path) const {
  std::lock_guard<std::mutex> guard(mutex_);
  return files_.count(Key(path)) != 0;
}

std::string FakeFiles::Contents(const std::wstring& path) const {
  std::lock_guard<std::mutex> guard(mutex_);
  auto it = files_.find(Key(path));
  return it == files_.end() ? std::string() : it->second.bytes;
}

std::vector<std::wstring> FakeFiles::Paths() const {
  std::lock_guard<std::mutex> guard(mutex_);
  std::vector<std::wstring> paths;
  for (const auto& entry : files_) paths.push_back(entry.second.path);
  return paths;
}

void FakeFiles::AddFolder(const std::wstring& path) {
  std::lock_guard<std::mutex> guard(mutex_);
  std::wstring key = Key(path);
  while (!key.empty() && key.back() == L'\\') key.pop_back();
  folders_.insert(key);
}

void FakeFiles::SetLocked(const std::wstring& path, bool locked) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (locked) {
    locked_.insert(Key(path));
  } else {
    locked_.erase(Key(path));
  }
}

void FakeFiles::SetMoveFails(bool fails) {
  std::lock_guard<std::mutex> guard(mutex_);
  moveFails_ = fails;
}

void FakeFiles::SetDeleteFails(bool fails) {
  std::lock_guard<std::mutex> guard(mutex_);
  deleteFails_ = fails;
}

void FakeFiles::SetExpandFails(bool fails) {
  std::lock_guard<std::mutex> guard(mutex_);
  expandFails_ = fails;
}

void FakeFiles::SetEnvironment(const std::wstring& name, const std::wstring& value) {
  std::lock_guard<std::mutex> guard(mutex_);
  environment_[Key(name)] = value;
}

void FakeFiles::SetModulePath(const std::wstring& path) {
  std::lock_guard<std::mutex> guard(mutex_);
  modulePath_ = path;
}

int FakeFiles::AppendCalls() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return appendCalls_;
}

int FakeFiles::MoveCalls() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return moveCalls_;
}

std::vector<std::wstring> FakeFiles::Journal() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return journal_;
}

int FakeFiles::MaxConcurrentCalls() const { return maxInside_.load(); }

}  // namespace velmora::fakes
