#include "win32/service_log.h"

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <vector>

#include "log/log.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_clock.h"

namespace velmora::service {
namespace {

// With refusals counted rather than written beyond an hourly budget, 4 MiB and one backup hold
// days of history even while the channel is flooded.
constexpr LONGLONG kRotateAtBytes = 4 << 20;
// Full control for SYSTEM and Administrators, nothing inherited, nobody else.
constexpr wchar_t kFileDacl[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";

struct LocalDeleter {
  void operator()(void* p) const { LocalFree(p); }
};

// The DACL of an existing file as SDDL; empty when it cannot be read.
std::wstring FileDacl(const std::wstring& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return {};
  }
  const std::unique_ptr<void, LocalDeleter> owner(descriptor);
  LPWSTR text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
    return {};
  }
  const std::unique_ptr<void, LocalDeleter> textOwner(text);
  return text;
}

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

std::string Stamp() { return LogTimeStamp(Win32Clock().LocalNow()); }

}  // namespace

ServiceLog::ServiceLog() {
  const std::wstring folder = ModuleFolder();
  path_ = folder + L"VelmoraFrameworkService.log";
  backup_ = folder + L"VelmoraFrameworkService.lo_";
  ConvertStringSecurityDescriptorToSecurityDescriptorW(kFileDacl, SDDL_REVISION_1, &descriptor_,
                                                       nullptr);
}

bool ServiceLog::Protect() {
  // The log exists by now: the start-up line was written into it.
  PACL dacl = nullptr;
  BOOL present = FALSE, defaulted = FALSE;
  if (descriptor_ == nullptr ||
      !GetSecurityDescriptorDacl(descriptor_, &present, &dacl, &defaulted)) {
    Write("Log. Cannot build the log's security descriptor: error " +
          std::to_string(GetLastError()) + ".");
    return false;
  }
  bool ok = true;
  for (const std::wstring& path : {path_, backup_}) {
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
    const DWORD set =
        SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, dacl, nullptr);
    const std::wstring found = FileDacl(path);
    if (set != ERROR_SUCCESS || found != kFileDacl) {
      Write("Log. " + ToUtf8(path) + " is not protected as it must be (" + ToUtf8(kFileDacl) +
            "): error " + std::to_string(set) + ", DACL \"" + ToUtf8(found) + "\".");
      ok = false;
    }
  }
  if (ok) {
    Write(
        "Log. The log and its backup can be read and written by SYSTEM and Administrators "
        "only (" +
        ToUtf8(kFileDacl) + ").");
  }
  return ok;
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
  // A file created here (the first, or after a rotation) gets the protected DACL at once.
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor_, FALSE};
  UniqueKernelHandle file(CreateFileW(
      path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      descriptor_ != nullptr ? &attributes : nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD written = 0;
  WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace velmora::service
