// Service states by name; a service that was never set is unknown to the manager. No service
// has a binary path: the logic under test never asks for one.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "platform/service_control.h"

namespace velmora::fakes {

class FakeServiceControl : public ServiceControl {
 public:
  uint32_t ServiceState(const std::wstring& name) override {
    ++queries_;
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = states_.find(name);
    return it == states_.end() ? svc::kStateUnknown : it->second;
  }
  bool ServiceBinaryPath(const std::wstring&, std::wstring*) override { return false; }

  void SetState(const std::wstring& name, uint32_t state) {
    std::lock_guard<std::mutex> lock(mutex_);
    states_[name] = state;
  }
  int queries() const { return queries_.load(); }

 private:
  std::mutex mutex_;
  std::map<std::wstring, uint32_t> states_;
  std::atomic<int> queries_{0};
};

}  // namespace velmora::fakes
