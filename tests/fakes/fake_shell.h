// Records every message box and answers with a scripted button.
#pragma once

#include <map>
#include <mutex>
#include <utility>
#include <string>
#include <vector>

#include "platform/shell.h"

namespace velmora::fakes {

class FakeShell : public Shell {
 public:
  struct Box {
    Hwnd owner;
    std::wstring text;
    std::wstring caption;
    uint32_t type;
  };

  int ShowMessageBox(Hwnd owner, const std::wstring& text, const std::wstring& caption,
                     uint32_t type) override {
    std::lock_guard<std::mutex> lock(mutex_);
    boxes_.push_back(Box{owner, text, caption, type});
    return answer_;
  }

  void OpenWithShell(const std::wstring& target) override {
    std::lock_guard<std::mutex> lock(mutex_);
    opened_.push_back(target);
  }
  std::vector<std::wstring> opened() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return opened_;
  }

  std::wstring LoadStringResource(int id, int capacity) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = strings_.find(id);
    if (it == strings_.end() || capacity <= 0) return std::wstring();
    return it->second.substr(0, static_cast<size_t>(capacity - 1));
  }
  bool DefaultInputLanguage(uint16_t* langId) override {
    if (inputLanguage_ == 0) return false;
    *langId = inputLanguage_;
    return true;
  }
  std::wstring LocaleInfo(uint32_t lcid, uint32_t type) override {
    auto it = localeInfo_.find({lcid, type});
    return it == localeInfo_.end() ? std::wstring() : it->second;
  }

  void SetString(int id, const std::wstring& text) { strings_[id] = text; }
  // 0 makes the query fail.
  void SetDefaultInputLanguage(uint16_t langId) { inputLanguage_ = langId; }
  void SetLocaleInfo(uint32_t lcid, uint32_t type, const std::wstring& text) {
    localeInfo_[{lcid, type}] = text;
  }

  std::vector<Box> boxes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
  }
  void set_answer(int button) { answer_ = button; }

 private:
  mutable std::mutex mutex_;
  std::vector<Box> boxes_;
  std::vector<std::wstring> opened_;
  int answer_ = 1;
  std::map<int, std::wstring> strings_;
  uint16_t inputLanguage_ = 0;
  std::map<std::pair<uint32_t, uint32_t>, std::wstring> localeInfo_;
};

}  // namespace velmora::fakes
