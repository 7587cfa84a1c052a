// The directory in memory: the system-information object's two names, objects at their exact
// "LDAP://" paths with their attributes, and one step that fails. As on Windows, a call made
// while COM is not initialised on the thread fails. Counts what was not given back.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/directory.h"

namespace velmora::fakes {

class FakeDirectory : public Directory {
 public:
  enum Step { kNone, kCom, kSystemInfo, kComputerName, kUserName, kBind, kRead };
  static constexpr int32_t kFailure = static_cast<int32_t>(0x8007203AU);  // server down

  std::wstring computer;  // distinguished names
  std::wstring user;
  std::map<std::wstring, std::map<std::wstring, DirectoryValue>> objects;  // by path
  Step failing = kNone;  // kCom: the thread is already in another apartment
  std::map<Object, std::wstring> live;  // objects not released, with their paths
  int comDepth = 0;  // initialisations not yet balanced
  int unpaired = 0;  // releases and uninitialisations without a partner

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

}  // namespace velmora::fakes
