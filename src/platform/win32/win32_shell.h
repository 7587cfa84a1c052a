// The shell-facing user interface over user32/shell32.
#pragma once

#include "platform/shell.h"

namespace velmora {

class Win32Shell final : public Shell {
 public:
  // Resources (string table) are loaded from this module.
  explicit Win32Shell(void* instance) : instance_(instance) {}

  bool NotifyIcon(uint32_t action, const NotifyIconData& data) override;
  MenuHandle CreatePopupMenu() override;
  void AppendMenuItem(MenuHandle menu, uint32_t id, const std::wstring& text,
                      bool grayed) override;
  void DestroyMenu(MenuHandle menu) override;
  uint32_t TrackMenuAtCursor(MenuHandle menu, Hwnd owner) override;
  bool IsKeyDown(int virtualKey) override;
  int ShowMessageBox(Hwnd owner, const std::wstring& text, const std::wstring& caption,
                     uint32_t type) override;
  void OpenWithShell(const std::wstring& target) override;
  HookInstall InstallCbtHook(const std::wstring& library, const char* procedure,
                             HookHandle* hook, uint32_t* error) override;
  bool RemoveHook(HookHandle hook) override;
  std::wstring LoadStringResource(int id, int capacity) override;
  bool DefaultInputLanguage(uint16_t* langId) override;
  std::wstring LocaleInfo(uint32_t lcid, uint32_t type) override;
  bool FileProductVersion(const std::wstring& path, uint32_t* mostSignificant,
                          uint32_t* leastSignificant) override;
  bool ResourceBytes(const std::wstring& type, int id, std::string* bytes) override;

 private:
  void* instance_;
};

}  // namespace velmora
