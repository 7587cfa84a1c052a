// Records every message box and answers with a scripted button.
#pragma once

#include <mutex>
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

  std::vector<Box> boxes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
  }
  void set_answer(int button) { answer_ = button; }

 private:
  mutable std::mutex mutex_;
  std::vector<Box> boxes_;
  int answer_ = 1;
};

}  // namespace velmora::fakes
