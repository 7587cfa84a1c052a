#include "platform/win32/win32_shell.h"

#include <windows.h>

#include <shellapi.h>

#include <vector>

#include "platform/types.h"

namespace velmora {

static_assert(MB_OK == win::kMbOk && MB_ICONERROR == win::kMbIconError &&
                  MB_ICONWARNING == win::kMbIconWarning && IDOK == win::kIdOk,
              "message box values cross the seam unchanged");

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

}  // namespace velmora
