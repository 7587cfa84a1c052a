#include "platform/win32/win32_code_page.h"

#include <windows.h>

#include <climits>

namespace velmora {

// Best-fit mapping would turn characters the code page lacks into look-alikes (a fullwidth
// backslash into a real one); the code page's default character is the honest answer. Code
// pages that cannot lack a character (UTF-8 as the ANSI code page, UTF-7, GB18030, the ISO-2022
// family) refuse every flag with ERROR_INVALID_FLAGS: they are converted without any.
std::string WideToMultiByte(unsigned codePage, const std::wstring& text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return std::string();
  const int length = static_cast<int>(text.size());
  DWORD flags = WC_NO_BEST_FIT_CHARS;
  int needed =
      ::WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0 && ::GetLastError() == ERROR_INVALID_FLAGS) {
    flags = 0;
    needed =
        ::WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  }
  if (needed <= 0) return std::string();
  std::string out(static_cast<size_t>(needed), '\0');
  const int written =
      ::WideCharToMultiByte(codePage, flags, text.data(), length, &out[0], needed, nullptr,
                            nullptr);
  if (written <= 0) return std::string();
  out.resize(static_cast<size_t>(written));
  return out;
}

std::wstring MultiByteToWide(unsigned codePage, const std::string& text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return std::wstring();
  const int length = static_cast<int>(text.size());
  const int needed = ::MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(needed), L'\0');
  const int written = ::MultiByteToWideChar(codePage, 0, text.data(), length, &out[0], needed);
  if (written <= 0) return std::wstring();
  out.resize(static_cast<size_t>(written));
  return out;
}

std::string Win32CodePage::WideToAnsi(const std::wstring& text) {
  return WideToMultiByte(CP_THREAD_ACP, text);
}

std::wstring Win32CodePage::AnsiToWide(const std::string& text) {
  return MultiByteToWide(CP_THREAD_ACP, text);
}

}  // namespace velmora
