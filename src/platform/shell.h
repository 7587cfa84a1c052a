// The shell-facing user interface: the notification icon, popup menus, key state, message
// boxes, shell "open", string resources and locale queries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/types.h"

namespace velmora {

// The fields of NOTIFYICONDATAW the tray fills; the rest of the structure stays zero. Texts
// longer than their fields (tip 127, title 63, text 255 units) are cut, never overrun.
struct NotifyIconData {
  Hwnd window = nullptr;
  uint32_t id = 0;
  uint32_t flags = 0;
  uint32_t callbackMessage = 0;
  IconHandle icon = nullptr;
  std::wstring tip;
  std::wstring infoTitle;
  std::wstring info;
  uint32_t infoFlags = 0;
  uint32_t timeoutOrVersion = 0;  // the union of uTimeout and uVersion
};

namespace nim {
constexpr uint32_t kAdd = 0;
constexpr uint32_t kModify = 1;
constexpr uint32_t kSetVersion = 4;
constexpr uint32_t kFlagMessage = 0x1;
constexpr uint32_t kFlagIcon = 0x2;
constexpr uint32_t kFlagTip = 0x4;
constexpr uint32_t kFlagInfo = 0x10;
constexpr uint32_t kInfoIconInfo = 0x1;
constexpr size_t kTipUnits = 127;
constexpr size_t kInfoTitleUnits = 63;
constexpr size_t kInfoUnits = 255;
}  // namespace nim

constexpr int kVkControl = 0x11;

using MenuHandle = void*;
using HookHandle = void*;

// How far installing a hook from a library got.
enum class HookInstall { kInstalled, kLibraryNotLoaded, kProcedureNotFound, kHookFailed };

class Shell {
 public:
  virtual ~Shell() = default;

  // Shell_NotifyIconW with a zeroed NOTIFYICONDATAW of its full size holding these fields.
  virtual bool NotifyIcon(uint32_t action, const NotifyIconData& data) = 0;

  // Popup menus: plain text items, optionally greyed.
  virtual MenuHandle CreatePopupMenu() = 0;
  virtual void AppendMenuItem(MenuHandle menu, uint32_t id, const std::wstring& text,
                              bool grayed) = 0;
  virtual void DestroyMenu(MenuHandle menu) = 0;
  // At the cursor, owned by `owner` (brought to the foreground first, or the menu would not
  // close when the user clicks away), TPM_RETURNCMD | TPM_RIGHTBUTTON: the chosen command, 0
  // when dismissed.
  virtual uint32_t TrackMenuAtCursor(MenuHandle menu, Hwnd owner) = 0;
  // GetAsyncKeyState's high bit: the key is down at this moment.
  virtual bool IsKeyDown(int virtualKey) = 0;
  // MessageBoxW; owner may be null. Answers the button id.
  virtual int ShowMessageBox(Hwnd owner, const std::wstring& text, const std::wstring& caption,
                             uint32_t type) = 0;

  // ShellExecuteW with the "open" verb, no parameters or working folder, shown normally.
  virtual void OpenWithShell(const std::wstring& target) = 0;

  // LoadLibraryW(library) by its plain name (the process restricted the search to its own
  // folder and the system's at start), GetProcAddress(procedure), then
  // SetWindowsHookExW(WH_CBT, procedure, library, 0) for every thread of the desktop. On
  // kHookFailed, *error holds GetLastError. The library stays loaded for the process's life.
  virtual HookInstall InstallCbtHook(const std::wstring& library, const char* procedure,
                                     HookHandle* hook, uint32_t* error) = 0;
  // UnhookWindowsHookEx.
  virtual bool RemoveHook(HookHandle hook) = 0;

  // LoadStringW of a string-table entry of the program into a buffer of `capacity` characters
  // (so a longer resource text comes back cut to capacity-1). Empty when there is none.
  virtual std::wstring LoadStringResource(int id, int capacity) = 0;
  // SystemParametersInfoW(SPI_GETDEFAULTINPUTLANG): the low 16 bits of the default input
  // language's keyboard layout. False when the call fails.
  virtual bool DefaultInputLanguage(uint16_t* langId) = 0;
  // GetLocaleInfoW into a buffer of 100 characters; empty when the query fails.
  virtual std::wstring LocaleInfo(uint32_t lcid, uint32_t type) = 0;

  // The product version of a file's fixed version information (VS_FIXEDFILEINFO's
  // dwProductVersionMS and LS). False when the file has none or cannot be read.
  virtual bool FileProductVersion(const std::wstring& path, uint32_t* mostSignificant,
                                  uint32_t* leastSignificant) = 0;
  // The bytes of a custom resource of the program (FindResourceW by type name and id). False
  // when it is missing or cannot be loaded.
  virtual bool ResourceBytes(const std::wstring& type, int id, std::string* bytes) = 0;
};

namespace locale_info {
constexpr uint32_t kSystemDefault = 0x800;
constexpr uint32_t kIso639LangName = 0x59;
constexpr uint32_t kIso3166CtryName = 0x5A;
}  // namespace locale_info

}  // namespace velmora
