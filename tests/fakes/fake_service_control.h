// Service states and program paths by name; a service never set is unknown to the manager.
#pragma once

#include <map>
#include <string>

#include "platform/service_control.h"

namespace velmora::fakes {

class FakeServiceControl : public ServiceControl {
 public:
  uint32_t ServiceState(const std::wstring& name) override {
    const auto it = states.find(name);
    return it == states.end() ? svc::kStateUnknown : it->second;
  }
  bool ServiceBinaryPath(const std::wstring& name, std::wstring* path) override {
    const auto it = binaryPaths.find(name);
    if (it == binaryPaths.end()) return false;
    *path = it->second;
    return true;
  }

  std::map<std::wstring, uint32_t> states;
  std::map<std::wstring, std::wstring> binaryPaths;
};

}  // namespace velmora::fakes
