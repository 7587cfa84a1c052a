// Every fake of the seam in one bundle, installed for the life of a test, with the
// process-wide state of the program put back to that of a fresh process.
#pragma once

#include <atomic>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fakes/fake_directory.h"
#include "fakes/fake_system.h"
#include "fakes/fake_windows.h"
#include "platform/platform.h"

namespace velmora::fakes {

// A clock that only moves when told. Local time is set on its own, for log stamps; the local
// file time follows `now` in a zone at UTC.
class FakeClock : public Clock {
 public:
  int64_t NowSeconds() override { return now; }
  LocalTime LocalNow() override { return local; }
  int64_t LocalFileTime() override { return (now + 11644473600) * 10000000; }

  std::atomic<int64_t> now{0};
  LocalTime local;
};

// Local accounts. A group that is absent, or present without a member list, cannot be
// queried; nullopt names make their query fail.
class FakeAccounts : public Accounts {
 public:
  bool AdministratorsGroupName(std::wstring* name) override { return Answer(groupName, name); }
  bool LocalGroupMembers(const std::wstring& group, std::vector<std::wstring>* members) override {
    const auto it = groups.find(group);
    if (it == groups.end() || !it->second) return false;
    members->insert(members->end(), it->second->begin(), it->second->end());
    return true;
  }
  bool UserName(std::wstring* name) override { return Answer(userName, name); }
  bool DisplayName(std::wstring* name) override { return Answer(displayName, name); }

  std::optional<std::wstring> groupName = L"Administrators";
  std::map<std::wstring, std::optional<std::vector<std::wstring>>> groups = {
      {L"Administrators", std::vector<std::wstring>{L"WORKSTATION\\Administrator"}}};
  std::optional<std::wstring> userName = L"user";
  std::optional<std::wstring> displayName = L"Test User";
};

// Service states and program paths by name; a service never set is unknown to the manager, and
// a path never set (or nullopt) cannot be read.
class FakeServiceControl : public ServiceControl {
 public:
  uint32_t ServiceState(const std::wstring& name) override {
    return states.count(name) != 0 ? states[name] : svc::kStateUnknown;
  }
  bool ServiceBinaryPath(const std::wstring& name, std::wstring* path) override {
    return Answer(binaryPaths[name], path);
  }

  std::map<std::wstring, uint32_t> states;
  std::map<std::wstring, std::optional<std::wstring>> binaryPaths;
};

// A FakePlatform made while another is installed gives that one back when it goes.
class FakePlatform {
 public:
  FakePlatform();
  ~FakePlatform();
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  FakeRegistry registry;
  FakeKernel kernel;
  FakeClock clock;
  FakeFiles files;
  FakeCodePage codePage;
  FakeShell shell;
  FakeGdi gdi;
  FakeWindows windows{gdi};
  FakeAccounts accounts;
  FakeServiceControl services;
  FakeDirectory directory;

  // Where the log lands with the default environment.
  static constexpr const wchar_t* kLogPath =
      L"C:\\Users\\user\\AppData\\Local\\Temp\\VelmoraTray.log";

 private:
  Platform outer_ = GetPlatform();
};

// The program's own English string table (resource id -> text), read from resources/resource.h
// and the .rc, so that the fake shell serves exactly the strings the real program carries.
const std::map<int, std::wstring>& ProgramStringTable();

}  // namespace velmora::fakes
