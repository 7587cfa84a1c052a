// Records notification-area calls, menus, message boxes (answered with OK) and shell opens;
// serves scripted string resources and locale answers.
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
  struct NotifyCall {
    uint32_t action;
    NotifyIconData data;
  };
  struct MenuItem {
    std::wstring text;
    bool grayed;
  };

  bool NotifyIcon(uint32_t action, const NotifyIconData& data) override {
    std::lock_guard<std::mutex> lock(mutex_);
    notifyCalls_.push_back(NotifyCall{action, data});
    return !(action == nim::kAdd && failAdd_);
  }
  MenuHandle CreatePopupMenu() override {
    std::lock_guard<std::mutex> lock(mutex_);
    MenuHandle menu = reinterpret_cast<MenuHandle>(nextMenu_);
    nextMenu_ += 0x10;
    menus_[menu];
    return menu;
  }
  void AppendMenuItem(MenuHandle menu, uint32_t, const std::wstring& text,
                      bool grayed) override {
    std::lock_guard<std::mutex> lock(mutex_);
    menus_[menu].push_back(MenuItem{text, grayed});
  }
  void DestroyMenu(MenuHandle menu) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (menus_.erase(menu) == 0) ++badMenuDestroys_;
  }
  uint32_t TrackMenuAtCursor(MenuHandle menu, Hwnd) override {
    std::lock_guard<std::mutex> lock(mutex_);
    tracked_.push_back(menus_[menu]);
    return menuAnswer_;
  }
  bool IsKeyDown(int virtualKey) override { return virtualKey == kVkControl && controlDown_; }

  // Scripting and records of the notification area and menus.
  void set_fail_add(bool fail) { failAdd_ = fail; }
  void set_menu_answer(uint32_t command) { menuAnswer_ = command; }
  void set_control_down(bool down) { controlDown_ = down; }
  std::vector<NotifyCall> notify_calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return notifyCalls_;
  }
  void clear_notify_calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    notifyCalls_.clear();
  }
  // Items of every menu shown, in order.
  std::vector<std::vector<MenuItem>> tracked() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return tracked_;
  }
  size_t live_menus() const { return menus_.size(); }
  int bad_menu_destroys() const { return badMenuDestroys_; }

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
    return win::kIdOk;
  }

  void OpenWithShell(const std::wstring& target) override {
    std::lock_guard<std::mutex> lock(mutex_);
    opened_.push_back(target);
  }
  std::vector<std::wstring> opened() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return opened_;
  }
  void clear_opened() {
    std::lock_guard<std::mutex> lock(mutex_);
    opened_.clear();
  }

  // Answers the scripted outcome; a hook that is installed stays until it is removed.
  HookInstall InstallCbtHook(const std::wstring& library, const char*, HookHandle* hook,
                             uint32_t* error) override {
    std::lock_guard<std::mutex> lock(mutex_);
    hookLibrary_ = library;
    if (hookOutcome_ == HookInstall::kHookFailed) *error = 1428;  // ERROR_HOOK_NEEDS_HMOD
    if (hookOutcome_ == HookInstall::kInstalled) *hook = installedHook_ = &hookOutcome_;
    return hookOutcome_;
  }
  bool RemoveHook(HookHandle hook) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (hook != installedHook_) return false;
    installedHook_ = nullptr;
    return true;
  }
  void SetHookOutcome(HookInstall outcome) { hookOutcome_ = outcome; }
  const std::wstring& hookLibrary() const { return hookLibrary_; }
  bool hookInstalled() const { return installedHook_ != nullptr; }

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

 private:
  mutable std::mutex mutex_;
  std::vector<Box> boxes_;
  std::vector<std::wstring> opened_;
  std::vector<NotifyCall> notifyCalls_;
  std::map<MenuHandle, std::vector<MenuItem>> menus_;
  std::vector<std::vector<MenuItem>> tracked_;
  uintptr_t nextMenu_ = 0x700000;
  uint32_t menuAnswer_ = 0;
  int badMenuDestroys_ = 0;
  bool failAdd_ = false;
  bool controlDown_ = false;
  std::map<int, std::wstring> strings_;
  uint16_t inputLanguage_ = 0;
  std::map<std::pair<uint32_t, uint32_t>, std::wstring> localeInfo_;
  HookInstall hookOutcome_ = HookInstall::kInstalled;
  HookHandle installedHook_ = nullptr;
  std::wstring hookLibrary_;
};

}  // namespace velmora::fakes
