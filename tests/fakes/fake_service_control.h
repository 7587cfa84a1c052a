// Service states and paths by name; a service that was never set is unknown to the manager.
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
  bool ServiceBinaryPath(const std::wstring& name, std::wstring* path) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = paths_.find(name);
    if (it == paths_.end()) return false;
    *path = it->second;
    return true;
  }

  void SetState(const std::wstring& name, uint32_t state) {
    std::lock_guard<std::mutex> lock(mutex_);
    states_[name] = state;
  }
  void SetBinaryPath(const std::wstring& name, const std::wstring& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    paths_[name] = path;
  }
  int queries() const { return queries_.load(); }

 private:
  std::mutex mutex_;
  std::map<std::wstring, uint32_t> states_;
  std::map<std::wstring, std::wstring> paths_;
  std::atomic<int> queries_{0};
};

}  // namespace velmora::fakes
