#include "platform/win32/win32_service_control.h"

#include <windows.h>

#include <vector>

namespace velmora {
namespace {

// SC_HANDLEs are closed with CloseServiceHandle, not CloseHandle: a small owner of their own.
class ScopedServiceHandle {
 public:
  explicit ScopedServiceHandle(SC_HANDLE handle) : handle_(handle) {}
  ~ScopedServiceHandle() {
    if (handle_ != nullptr) ::CloseServiceHandle(handle_);
  }
  ScopedServiceHandle(const ScopedServiceHandle&) = delete;
  ScopedServiceHandle& operator=(const ScopedServiceHandle&) = delete;
  SC_HANDLE get() const { return handle_; }

 private:
  SC_HANDLE handle_;
};

static_assert(SERVICE_RUNNING == svc::kStateRunning && SERVICE_STOPPED == svc::kStateStopped,
              "service states cross the seam unchanged");

}  // namespace

uint32_t Win32ServiceControl::ServiceState(const std::wstring& name) {
  ScopedServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (manager.get() == nullptr) return svc::kStateUnknown;
  ScopedServiceHandle service(::OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
  if (service.get() == nullptr) return svc::kStateUnknown;
  SERVICE_STATUS status = {};
  if (!::QueryServiceStatus(service.get(), &status)) return svc::kStateUnknown;
  return status.dwCurrentState;
}

bool Win32ServiceControl::ServiceBinaryPath(const std::wstring& name, std::wstring* path) {
  ScopedServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (manager.get() == nullptr) return false;
  ScopedServiceHandle service(::OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_CONFIG));
  if (service.get() == nullptr) return false;
  DWORD needed = 0;
  ::QueryServiceConfigW(service.get(), nullptr, 0, &needed);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) return false;
  // QUERY_SERVICE_CONFIGW holds pointers into the same buffer: keep it pointer-aligned.
  std::vector<uint64_t> buffer((needed + sizeof(uint64_t) - 1) / sizeof(uint64_t));
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!::QueryServiceConfigW(service.get(), config, needed, &needed)) return false;
  *path = config->lpBinaryPathName != nullptr ? config->lpBinaryPathName : L"";
  return true;
}

}  // namespace velmora
