// The directory in memory: the system-information object's two names, objects at their exact
// "LDAP://" paths with their attributes, and a failure that any one step can be told to answer.
// As on Windows, a call made while COM is not initialised on the thread fails. Counts the
// objects not yet released and every release or uninitialisation that had no partner.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "platform/directory.h"

namespace velmora::fakes {

class FakeDirectory : public Directory {
 public:
  enum class Step { kCom, kSystemInfo, kComputerName, kUserName, kBind, kRead };
  static constexpr int32_t kServerDown = static_cast<int32_t>(0x8007203AU);
  static constexpr int32_t kNoSuchObject = static_cast<int32_t>(0x80072030U);
  static constexpr int32_t kNoSuchAttribute = static_cast<int32_t>(0x8000500DU);
  static constexpr int32_t kTypeMismatch = static_cast<int32_t>(0x80020005U);
  static constexpr int32_t kComNotInitialised = static_cast<int32_t>(0x800401F0U);

  // The computer's and the user's distinguished names.
  void SetNames(std::wstring computer, std::wstring user) {
    computer_ = std::move(computer);
    user_ = std::move(user);
  }
  // Creates the object at path when needed.
  void SetAttribute(const std::wstring& path, const std::wstring& attribute, DirectoryValue value) {
    objects_[path][attribute] = std::move(value);
  }
  // kCom: the thread is already in another apartment (COM works, but is not this check's).
  void FailAt(Step step, int32_t result = kServerDown) { failures_[step] = result; }

  size_t live_objects() const { return live_.size(); }
  int unpaired_calls() const { return unpaired_; }

  bool BeginCom() override {
    if (failures_.count(Step::kCom) != 0) {
      foreignApartment_ = true;
      return false;
    }
    ++comDepth_;
    return true;
  }
  void EndCom() override {
    if (comDepth_ == 0) {
      ++unpaired_;
    } else {
      --comDepth_;
    }
  }
  int32_t CreateSystemInfo(Object* info) override {
    if (const int32_t failure = Check(Step::kSystemInfo)) return failure;
    *info = NewObject(L"ADSystemInfo");
    return 0;
  }
  int32_t ComputerName(Object, std::wstring* name) override {
    if (const int32_t failure = Check(Step::kComputerName)) return failure;
    *name = computer_;
    return 0;
  }
  int32_t UserName(Object, std::wstring* name) override {
    if (const int32_t failure = Check(Step::kUserName)) return failure;
    *name = user_;
    return 0;
  }
  int32_t BindObject(const std::wstring& path, Object* object) override {
    if (const int32_t failure = Check(Step::kBind)) return failure;
    if (objects_.count(path) == 0) return kNoSuchObject;
    *object = NewObject(path);
    return 0;
  }
  int32_t GetText(Object object, const std::wstring& attribute, std::wstring* text) override {
    DirectoryValue value;
    if (const int32_t failure = Read(object, attribute, &value)) return failure;
    if (value.type != dir::kTypeString) return kTypeMismatch;
    *text = value.text;
    return 0;
  }
  int32_t GetValues(Object object, const std::wstring& attribute, DirectoryValue* value) override {
    return Read(object, attribute, value);
  }
  void ReleaseObject(Object object) override {
    if (live_.erase(object) == 0) ++unpaired_;
  }

 private:
  int32_t Check(Step step) const {
    if (comDepth_ == 0 && !foreignApartment_) return kComNotInitialised;
    const auto failure = failures_.find(step);
    return failure == failures_.end() ? 0 : failure->second;
  }
  Object NewObject(const std::wstring& path) {
    Object object = reinterpret_cast<Object>(nextObject_++);
    live_[object] = path;
    return object;
  }
  int32_t Read(Object object, const std::wstring& attribute, DirectoryValue* value) const {
    if (const int32_t failure = Check(Step::kRead)) return failure;
    const auto bound = live_.find(object);
    if (bound == live_.end()) return kNoSuchObject;
    const auto& attributes = objects_.at(bound->second);
    const auto found = attributes.find(attribute);
    if (found == attributes.end()) return kNoSuchAttribute;
    *value = found->second;
    return 0;
  }

  std::wstring computer_;
  std::wstring user_;
  std::map<std::wstring, std::map<std::wstring, DirectoryValue>> objects_;
  std::map<Step, int32_t> failures_;
  std::map<Object, std::wstring> live_;
  uintptr_t nextObject_ = 0x5000;
  int comDepth_ = 0;
  bool foreignApartment_ = false;
  int unpaired_ = 0;
};

}  // namespace velmora::fakes
