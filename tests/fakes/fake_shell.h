// Records notification-area calls, shown menus, message boxes (answered with OK) and shell
// opens; serves scripted string resources, locale answers and menu choices.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/shell.h"

namespace velmora::fakes {

class FakeShell : public Shell {
 public:
  struct NotifyCall {
    uint32_t action;
    NotifyIconData data;
  };
  struct Box {
    Hwnd owner;
    std::wstring text;
    std::wstring caption;
    uint32_t type;
  };

  bool NotifyIcon(uint32_t action, const NotifyIconData& data) override {
    notifyCalls.push_back(NotifyCall{action, data});
    return !(action == nim::kAdd && failAdd);
  }
  MenuHandle CreatePopupMenu() override {
    MenuHandle menu = reinterpret_cast<MenuHandle>(nextMenu_ += 0x10);
    menus_[menu];
    return menu;
  }
  // Items are recorded as their text, with a leading '~' when greyed.
  void AppendMenuItem(MenuHandle menu, uint32_t, const std::wstring& text, bool grey) override {
    menus_.at(menu).push_back((grey ? L"~" : L"") + text);
  }
  void DestroyMenu(MenuHandle menu) override { badMenuDestroys += menus_.erase(menu) == 0; }
  uint32_t TrackMenuAtCursor(MenuHandle menu, Hwnd) override {
    shownMenus.push_back(menus_.at(menu));
    return menuAnswer;
  }
  bool IsKeyDown(int key) override { return key == kVkControl && controlDown; }
  int ShowMessageBox(Hwnd owner, const std::wstring& text, const std::wstring& caption,
                     uint32_t type) override {
    boxes.push_back(Box{owner, text, caption, type});
    return win::kIdOk;
  }
  void OpenWithShell(const std::wstring& target) override { opened.push_back(target); }
  // Answers the scripted outcome; an installed hook stays until it is removed.
  HookInstall InstallCbtHook(const std::wstring& library, const char*, HookHandle* hook,
                             uint32_t* error) override {
    hookLibrary = library;
    if (hookOutcome == HookInstall::kHookFailed) *error = 1428;  // ERROR_HOOK_NEEDS_HMOD
    if (hookOutcome == HookInstall::kInstalled) *hook = installedHook = &hookOutcome;
    return hookOutcome;
  }
  bool RemoveHook(HookHandle hook) override {
    if (hook != installedHook) return false;
    installedHook = nullptr;
    return true;
  }
  std::wstring LoadStringResource(int id, int capacity) override {
    const auto it = strings.find(id);
    if (it == strings.end() || capacity <= 0) return std::wstring();
    return it->second.substr(0, static_cast<size_t>(capacity - 1));
  }
  bool DefaultInputLanguage(uint16_t* langId) override {
    *langId = inputLanguage;
    return inputLanguage != 0;
  }
  std::wstring LocaleInfo(uint32_t lcid, uint32_t type) override {
    const auto it = localeInfo.find({lcid, type});
    return it == localeInfo.end() ? std::wstring() : it->second;
  }
  bool FileProductVersion(const std::wstring& path, uint32_t* most, uint32_t* least) override {
    const auto it = productVersions.find(path);
    if (it == productVersions.end()) return false;
    *most = it->second.first;
    *least = it->second.second;
    return true;
  }
  bool ResourceBytes(const std::wstring& type, int id, std::string* bytes) override {
    const auto it = resources.find({type, id});
    if (it == resources.end()) return false;
    *bytes = it->second;
    return true;
  }

  bool failAdd = false;
  HookInstall hookOutcome = HookInstall::kInstalled;
  HookHandle installedHook = nullptr;
  std::wstring hookLibrary;
  bool controlDown = false;
  uint32_t menuAnswer = 0;
  std::map<int, std::wstring> strings;
  uint16_t inputLanguage = 0;  // 0: the query fails
  std::map<std::pair<uint32_t, uint32_t>, std::wstring> localeInfo;
  // Files with version information: path -> (dwProductVersionMS, dwProductVersionLS).
  std::map<std::wstring, std::pair<uint32_t, uint32_t>> productVersions;
  std::map<std::pair<std::wstring, int>, std::string> resources;

  std::vector<NotifyCall> notifyCalls;
  std::vector<std::vector<std::wstring>> shownMenus;
  std::vector<Box> boxes;
  std::vector<std::wstring> opened;
  int badMenuDestroys = 0;
  size_t LiveMenus() const { return menus_.size(); }

 private:
  std::map<MenuHandle, std::vector<std::wstring>> menus_;
  uintptr_t nextMenu_ = 0x700000;
};

}  // namespace velmora::fakes
