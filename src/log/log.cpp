#include "log/log.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>

#include "platform/platform.h"
#include "platform/types.h"

namespace velmora {
namespace {

constexpr int64_t kRotateAboveBytes = 5000000;
// ExpandEnvironmentStringsW's buffer, its terminating NUL included.
constexpr uint32_t kPathBufferChars = 260;

struct LogState {
  std::mutex mutex;
  bool lockAlive = false;          // guarded by mutex
  std::wstring path;               // guarded by mutex
  std::set<std::string> onceKeys;  // guarded by mutex
  // lockAlive && !path.empty(), readable without the lock for the early-out.
  std::atomic<bool> writable{false};

  void Update() { writable.store(lockAlive && !path.empty(), std::memory_order_relaxed); }
};

// Deliberately never destroyed: detached workers may still log while static objects are torn
// down at exit.
LogState& State() {
  static LogState* const state = new LogState;
  return *state;
}

void AppendPadded(std::string* out, int value, int width) {
  unsigned magnitude = static_cast<unsigned>(value);
  if (value < 0) {
    out->push_back('-');
    magnitude = 0u - magnitude;
  }
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  for (int i = n; i < width; ++i) out->push_back('0');
  while (n > 0) out->push_back(digits[--n]);
}

}  // namespace

std::string LogTimeStamp(const LocalTime& t) {
  std::string s = "[";
  AppendPadded(&s, t.day, 2);
  s += '.';
  AppendPadded(&s, t.month, 2);
  s += '.';
  AppendPadded(&s, t.year, 4);
  s += ' ';
  AppendPadded(&s, t.hour, 2);
  s += ':';
  AppendPadded(&s, t.minute, 2);
  s += ':';
  AppendPadded(&s, t.second, 2);
  s += "] ";
  return s;
}

namespace {

// Caller holds the lock. Failures are ignored on purpose: the line then goes to the big file
// and the next line tries again.
void RotateIfLarge(const std::wstring& path) {
  if (Fs().SizeOf(path) <= kRotateAboveBytes) return;
  const std::wstring backup = LogBackupPath(path);
  if (Fs().Attributes(backup) != win::kInvalidFileAttributes) Fs().Delete(backup);
  Fs().Move(path, backup);
}

void WriteLine(const std::string& line, const std::string* onceKey = nullptr) {
  LogState& state = State();
  std::lock_guard<std::mutex> guard(state.mutex);
  if (!state.lockAlive || state.path.empty()) return;
  if (onceKey != nullptr && !state.onceKeys.insert(*onceKey).second) return;
  RotateIfLarge(state.path);
  Fs().Append(state.path, line.data(), line.size());
}

}  // namespace

void CreateLogLock() {
  LogState& state = State();
  std::lock_guard<std::mutex> guard(state.mutex);
  state.lockAlive = true;
  state.Update();
}

void DestroyLogLock() {
  LogState& state = State();
  std::lock_guard<std::mutex> guard(state.mutex);
  state.lockAlive = false;
  state.Update();
}

bool SetDefaultLogFilePath() {
  std::wstring expanded;
  const uint32_t needed = Fs().ExpandEnvironment(L"%TEMP%\\VelmoraTray.log", &expanded);
  // Never log to a cut path: it would name some other file.
  if (needed == 0 || needed > kPathBufferChars || expanded.size() >= kPathBufferChars) {
    expanded.clear();
  }
  LogState& state = State();
  std::lock_guard<std::mutex> guard(state.mutex);
  state.path = expanded;
  state.onceKeys.clear();
  state.Update();
  return !state.path.empty();
}

void ClearLogFilePath() {
  LogState& state = State();
  std::lock_guard<std::mutex> guard(state.mutex);
  state.path.clear();
  state.onceKeys.clear();
  state.Update();
}

bool IsLogging() { return State().writable.load(std::memory_order_relaxed); }

std::wstring LogBackupPath(const std::wstring& logPath) {
  std::wstring backup = logPath;
  for (wchar_t& c : backup) {
    // ASCII only: the same on every host and thread locale; the file system ignores case.
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  // Only the file name: a ".log" in a folder name (a user called "Ann.Logan") would send the
  // backup into a folder that does not exist, and the log would never rotate again.
  const size_t slash = backup.find_last_of(L"\\/");
  const size_t nameStart = slash == std::wstring::npos ? 0 : slash + 1;
  for (size_t at = backup.find(L".log", nameStart); at != std::wstring::npos;
       at = backup.find(L".log", at + 4)) {
    backup[at + 3] = L'_';
  }
  return backup;
}

void LogFormatted(const std::string& format, FormatArgs args) {
  if (!IsLogging()) return;
  std::string line = LogTimeStamp(Time().LocalNow());
  line += FormatNarrow(format, args);
  line += "\r\n";
  WriteLine(line);
}

void LogFormattedOnce(const std::string& key, const std::string& format, FormatArgs args) {
  if (!IsLogging()) return;
  std::string line = LogTimeStamp(Time().LocalNow());
  line += FormatNarrow(format, args);
  line += "\r\n";
  WriteLine(line, &key);
}

void LogFormattedW(const std::wstring& format, FormatArgs args) {
  if (!IsLogging()) return;
  const std::string stamp = LogTimeStamp(Time().LocalNow());
  std::wstring line(stamp.begin(), stamp.end());
  line += FormatWide(format, args);
  line += L"\r\n";
  WriteLine(AnsiCodePage().WideToAnsi(line));
}

}  // namespace velmora
