#include "fakes/fake_files.h"

#include <thread>

#include "platform/types.h"

namespace velmora::fakes {

// Counted before the fake's own lock is taken; the yield widens the window for an overlap.
class FakeFiles::CallScope {
 public:
  explicit CallScope(FakeFiles* files) : files_(files) {
    const int now = ++files_->inside_;
    int seen = files_->maxConcurrentCalls.load();
    while (now > seen && !files_->maxConcurrentCalls.compare_exchange_weak(seen, now)) {
    }
    std::this_thread::yield();
  }
  ~CallScope() { --files_->inside_; }

 private:
  FakeFiles* files_;
};

std::wstring FakeFiles::Key(const std::wstring& path) {
  std::wstring key = path;
  for (wchar_t& c : key) {
    if (c == L'/') c = L'\\';
    if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c += 0x20;
  }
  return key;
}

int64_t FakeFiles::SizeOf(const std::wstring& path) {
  CallScope scope(this);
  std::lock_guard<std::mutex> guard(mutex_);
  const auto it = files_.find(Key(path));
  return it == files_.end() ? -1 : static_cast<int64_t>(it->second.size());
}

bool FakeFiles::ReadAll(const std::wstring& path, std::vector<uint8_t>* out) {
  CallScope scope(this);
  std::lock_guard<std::mutex> guard(mutex_);
  const auto it = files_.find(Key(path));
  if (it == files_.end()) return false;
  out->assign(it->second.begin(), it->second.end());
  return true;
}

bool FakeFiles::Append(const std::wstring& path, const void* data, size_t length) {
  CallScope scope(this);
  std::lock_guard<std::mutex> guard(mutex_);
  ++appendCalls;
  if (!appendFails) files_[Key(path)].append(static_cast<const char*>(data), length);
  return !appendFails;
}

bool FakeFiles::Move(const std::wstring& from, const std::wstring& to) {
  CallScope scope(this);
  std::lock_guard<std::mutex> guard(mutex_);
  ++moveCalls;
  const auto it = files_.find(Key(from));
  // MoveFileW never replaces an existing file.
  if (moveFails || it == files_.end() || files_.count(Key(to))) return false;
  files_[Key(to)] = std::move(it->second);
  files_.erase(it);
  return true;
}

bool FakeFiles::Delete(const std::wstring& path) {
  CallScope scope(this);
  std::lock_guard<std::mutex> guard(mutex_);
  return !deleteFails && files_.erase(Key(path)) != 0;
}

uint32_t FakeFiles::Attributes(const std::wstring& path) {
  CallScope scope(this);
  std::lock_guard<std::mutex> guard(mutex_);
  return files_.count(Key(path)) ? 0x80 : win::kInvalidFileAttributes;
}

uint32_t FakeFiles::ExpandEnvironment(const std::wstring& text, std::wstring* out) {
  CallScope scope(this);
  if (expandFails) return 0;
  out->clear();
  for (size_t i = 0; i < text.size();) {
    const size_t close = text[i] == L'%' ? text.find(L'%', i + 1) : std::wstring::npos;
    const auto it = close == std::wstring::npos
                        ? environment_.end()
                        : environment_.find(Key(text.substr(i + 1, close - i - 1)));
    if (it != environment_.end()) {
      *out += it->second;
      i = close + 1;
    } else {
      out->push_back(text[i++]);  // an unknown name stays as written
    }
  }
  return static_cast<uint32_t>(out->size() + 1);
}

void FakeFiles::SetFile(const std::wstring& path, const std::string& bytes) {
  std::lock_guard<std::mutex> guard(mutex_);
  files_[Key(path)] = bytes;
}

std::string FakeFiles::Contents(const std::wstring& path) const {
  std::lock_guard<std::mutex> guard(mutex_);
  const auto it = files_.find(Key(path));
  return it == files_.end() ? std::string() : it->second;
}

}  // namespace velmora::fakes
