#include "platform/win32/win32_shell.h"

#include <windows.h>

#include <shellapi.h>

#include <iterator>
#include <vector>

#include "platform/types.h"
#include "text/format.h"

namespace velmora {

static_assert(MB_OK == win::kMbOk && MB_ICONERROR == win::kMbIconError &&
                  MB_ICONWARNING == win::kMbIconWarning && IDOK == win::kIdOk,
              "message box values cross the seam unchanged");

static_assert(NIM_ADD == nim::kAdd && NIM_MODIFY == nim::kModify &&
                  NIM_SETVERSION == nim::kSetVersion && NIF_MESSAGE == nim::kFlagMessage &&
                  NIF_ICON == nim::kFlagIcon && NIF_TIP == nim::kFlagTip &&
                  NIF_INFO == nim::kFlagInfo && NIIF_INFO == nim::kInfoIconInfo &&
                  VK_CONTROL == kVkControl,
              "notification-area values cross the seam unchanged");

bool Win32Shell::NotifyIcon(uint32_t action, const NotifyIconData& data) {
  NOTIFYICONDATAW native = {};
  native.cbSize = sizeof(native);
  native.hWnd = static_cast<HWND>(data.window);
  native.uID = data.id;
  native.uFlags = data.flags;
  native.uCallbackMessage = data.callbackMessage;
  native.hIcon = static_cast<HICON>(data.icon);
  CopyTruncated(native.szTip, std::size(native.szTip), data.tip);
  CopyTruncated(native.szInfoTitle, std::size(native.szInfoTitle), data.infoTitle);
  CopyTruncated(native.szInfo, std::size(native.szInfo), data.info);
  native.dwInfoFlags = data.infoFlags;
  native.uVersion = data.timeoutOrVersion;
  return ::Shell_NotifyIconW(action, &native) != FALSE;
}

MenuHandle Win32Shell::CreatePopupMenu() { return ::CreatePopupMenu(); }

void Win32Shell::AppendMenuItem(MenuHandle menu, uint32_t id, const std::wstring& text,
                                bool grayed) {
  ::AppendMenuW(static_cast<HMENU>(menu), MF_STRING | (grayed ? MF_GRAYED : 0), id,
                text.c_str());
}

void Win32Shell::DestroyMenu(MenuHandle menu) { ::DestroyMenu(static_cast<HMENU>(menu)); }

uint32_t Win32Shell::TrackMenuAtCursor(MenuHandle menu, Hwnd owner) {
  POINT cursor = {};
  ::GetCursorPos(&cursor);
  ::SetForegroundWindow(static_cast<HWND>(owner));
  const BOOL command =
      ::TrackPopupMenuEx(static_cast<HMENU>(menu), TPM_RETURNCMD | TPM_RIGHTBUTTON, cursor.x,
                         cursor.y, static_cast<HWND>(owner), nullptr);
  return command > 0 ? static_cast<uint32_t>(command) : 0;
}

bool Win32Shell::IsKeyDown(int virtualKey) {
  return (::GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

int Win32Shell::ShowMessageBox(Hwnd owner, const std::wstring& text, const std::wstring& caption,
                               uint32_t type) {
  return ::MessageBoxW(static_cast<HWND>(owner), text.c_str(), caption.c_str(), type);
}

void Win32Shell::OpenWithShell(const std::wstring& target) {
  ::ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::wstring Win32Shell::LoadStringResource(int id, int capacity) {
  if (capacity <= 0) return std::wstring();
  std::vector<wchar_t> buffer(static_cast<size_t>(capacity), L'\0');
  const int length = ::LoadStringW(static_cast<HINSTANCE>(instance_), static_cast<UINT>(id),
                                   buffer.data(), capacity);
  return std::wstring(buffer.data(), length > 0 ? static_cast<size_t>(length) : 0);
}

bool Win32Shell::DefaultInputLanguage(uint16_t* langId) {
  HKL layout = nullptr;
  if (!::SystemParametersInfoW(SPI_GETDEFAULTINPUTLANG, 0, &layout, 0)) return false;
  *langId = static_cast<uint16_t>(reinterpret_cast<uintptr_t>(layout) & 0xFFFF);
  return true;
}

std::wstring Win32Shell::LocaleInfo(uint32_t lcid, uint32_t type) {
  wchar_t buffer[100] = {};
  const int length = ::GetLocaleInfoW(lcid, type, buffer, 100);
  if (length <= 0) return std::wstring();
  return std::wstring(buffer);
}

bool Win32Shell::FileProductVersion(const std::wstring& path, uint32_t* mostSignificant,
                                    uint32_t* leastSignificant) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<uint8_t> data(size);
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return false;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) ||
      info == nullptr || length < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  *mostSignificant = info->dwProductVersionMS;
  *leastSignificant = info->dwProductVersionLS;
  return true;
}

bool Win32Shell::ResourceBytes(const std::wstring& type, int id, std::string* bytes) {
  const auto module = static_cast<HMODULE>(instance_);
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), type.c_str());
  if (found == nullptr) return false;
  const DWORD size = ::SizeofResource(module, found);
  HGLOBAL loaded = ::LoadResource(module, found);
  const void* locked = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (locked == nullptr || size == 0) return false;
  bytes->assign(static_cast<const char*>(locked), size);
  return true;
}

HookInstall Win32Shell::InstallCbtHook(const std::wstring& library, const char* procedure,
                                       HookHandle* hook, uint32_t* error) {
  HMODULE module = LoadLibraryW(library.c_str());
  if (module == nullptr) return HookInstall::kLibraryNotLoaded;
  auto proc = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(module, procedure)));
  if (proc == nullptr) return HookInstall::kProcedureNotFound;
  HHOOK installed = SetWindowsHookExW(WH_CBT, proc, module, 0);
  if (installed == nullptr) {
    *error = GetLastError();
    return HookInstall::kHookFailed;
  }
  *hook = installed;
  return HookInstall::kInstalled;
}

bool Win32Shell::RemoveHook(HookHandle hook) {
  return UnhookWindowsHookEx(static_cast<HHOOK>(hook)) != FALSE;
}

}  // namespace velmora
