// The service control manager over advapi32.
#pragma once

#include "platform/service_control.h"

namespace velmora {

class Win32ServiceControl final : public ServiceControl {
 public:
  uint32_t ServiceState(const std::wstring& name) override;
  bool ServiceBinaryPath(const std::wstring& name, std::wstring* path) override;
};

}  // namespace velmora
