// The service control manager, as far as the tray asks it about the privileged service.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

namespace svc {
constexpr uint32_t kStateUnknown = 0;  // the manager, the service or the query failed
constexpr uint32_t kStateStopped = 1;
constexpr uint32_t kStateRunning = 4;
}  // namespace svc

class ServiceControl {
 public:
  virtual ~ServiceControl() = default;
  // dwCurrentState of QueryServiceStatus (SC_MANAGER_CONNECT, SERVICE_QUERY_STATUS), or
  // svc::kStateUnknown when any step fails.
  virtual uint32_t ServiceState(const std::wstring& name) = 0;
  // lpBinaryPathName of QueryServiceConfigW (SERVICE_QUERY_CONFIG). False on failure.
  virtual bool ServiceBinaryPath(const std::wstring& name, std::wstring* path) = 0;
};

}  // namespace velmora
