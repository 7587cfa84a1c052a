// Every fake of the seam in one bundle, installed for the life of a test, with the
// process-wide state of the program put back to that of a fresh process.
#pragma once

#include <atomic>
#include <map>
#include <optional>
#include <string>
#include <vector>

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

// Local accounts. A group that is absent cannot be queried; nullopt names make their query fail.
class FakeAccounts : public Accounts {
 public:
  bool AdministratorsGroupName(std::wstring* name) override { return Answer(groupName, name); }
  bool LocalGroupMembers(const std::wstring& group, std::vector<std::wstring>* members) override {
    const auto it = groups.find(group);
    if (it == groups.end()) return false;
    members->insert(members->end(), it->second.begin(), it->second.end());
    return true;
  }
  bool UserName(std::wstring* name) override { return Answer(userName, name); }
  bool DisplayName(std::wstring* name) override { return Answer(displayName, name); }

  std::optional<std::wstring> groupName = L"Administrators";
  std::map<std::wstring, std::vector<std::wstring>> groups = {
      {L"Administrators", {L"WORKSTATION\\Administrator"}}};
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

// The directory in memory: the system-information object's two names, objects at their exact
// "LDAP://" paths with their attributes, and one step that fails. As on Windows, a call made
// while COM is not initialised on the thread fails. Counts what was not given back.
class FakeDirectory : public Directory {
 public:
  enum Step { kNone, kCom, kSystemInfo, kComputerName, kUserName, kBind, kRead };
  static constexpr int32_t kFailure = static_cast<int32_t>(0x8007203AU);  // server down

  std::wstring computer;  // distinguished names
  std::wstring user;
  std::map<std::wstring, std::map<std::wstring, DirectoryValue>> objects;  // by path
  Step failing = kNone;                 // kCom: the thread is already in another apartment
  std::map<Object, std::wstring> live;  // objects not released, with their paths
  int comDepth = 0;                     // initialisations not yet balanced
  int unpaired = 0;                     // releases and uninitialisations without a partner

  bool BeginCom() override {
    if (failing == kCom) return false;
    ++comDepth;
    return true;
  }
  void EndCom() override { comDepth > 0 ? --comDepth : ++unpaired; }
  int32_t CreateSystemInfo(Object* info) override { return Obtain(kSystemInfo, L"", info); }
  int32_t ComputerName(Object, std::wstring* name) override {
    return Copy(kComputerName, computer, name);
  }
  int32_t UserName(Object, std::wstring* name) override { return Copy(kUserName, user, name); }
  int32_t BindObject(const std::wstring& path, Object* object) override {
    return objects.count(path) != 0 ? Obtain(kBind, path, object) : kFailure;
  }
  int32_t GetText(Object object, const std::wstring& attribute, std::wstring* text) override {
    DirectoryValue value;
    if (const int32_t failure = GetValues(object, attribute, &value)) return failure;
    if (value.type != dir::kTypeString) return kFailure;
    *text = value.text;
    return 0;
  }
  int32_t GetValues(Object object, const std::wstring& attribute, DirectoryValue* value) override {
    const auto bound = live.find(object);
    if (Fails(kRead) || bound == live.end()) return kFailure;
    const auto& attributes = objects[bound->second];
    const auto found = attributes.find(attribute);
    if (found == attributes.end()) return kFailure;
    *value = found->second;
    return 0;
  }
  void ReleaseObject(Object object) override { unpaired += live.erase(object) == 0 ? 1 : 0; }

 private:
  bool Fails(Step step) const { return failing == step || (comDepth == 0 && failing != kCom); }
  int32_t Obtain(Step step, const std::wstring& path, Object* object) {
    if (Fails(step)) return kFailure;
    *object = reinterpret_cast<Object>(++lastObject_);
    live[*object] = path;
    return 0;
  }
  int32_t Copy(Step step, const std::wstring& from, std::wstring* to) const {
    if (Fails(step)) return kFailure;
    *to = from;
    return 0;
  }

  uintptr_t lastObject_ = 0x5000;
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

}  // namespace velmora::fakes
