#include "win32/service_log.h"

#include <vector>

#include "log/log.h"
#include "platform/win32/unique_handle.h"

namespace velmora::service {
namespace {

constexpr LONGLONG kRotateAtBytes = 1 << 20;

std::wstring ModuleFolder() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      std::wstring path(buffer.data(), length);
      const size_t slash = path.find_last_of(L"\\/");
      return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string Stamp() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  LocalTime t;
  t.year = now.wYear;
  t.month = now.wMonth;
  t.day = now.wDay;
  t.hour = now.wHour;
  t.minute = now.wMinute;
  t.second = now.wSecond;
  return LogTimeStamp(t);
}

}  // namespace

ServiceLog::ServiceLog() {
  const std::wstring folder = ModuleFolder();
  path_ = folder + L"VelmoraFrameworkService.log";
  backup_ = folder + L"VelmoraFrameworkService.lo_";
}

void ServiceLog::Write(const std::string& message) {
  // Formatted before the lock; the size check, the move and the append happen under it.
  const std::string line = Stamp() + message + "\r\n";
  std::lock_guard<std::mutex> guard(lock_);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data)) {
    const LONGLONG size = (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (size >= kRotateAtBytes)
      MoveFileExW(path_.c_str(), backup_.c_str(), MOVEFILE_REPLACE_EXISTING);
  }
  UniqueKernelHandle file(CreateFileW(path_.c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD written = 0;
  WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace velmora::service
