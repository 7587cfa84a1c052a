// The shell-facing user interface: message boxes now; the notification icon, popup menus,
// key state and shell "open" join as their features land.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace velmora {

class Shell {
 public:
  virtual ~Shell() = default;
  // MessageBoxW; owner may be null. Answers the button id.
  virtual int ShowMessageBox(Hwnd owner, const std::wstring& text, const std::wstring& caption,
                             uint32_t type) = 0;

  // ShellExecuteW with the "open" verb, no parameters or working folder, shown normally.
  virtual void OpenWithShell(const std::wstring& target) = 0;

  // LoadStringW of a string-table entry of the program into a buffer of `capacity` characters
  // (so a longer resource text comes back cut to capacity-1). Empty when there is none.
  virtual std::wstring LoadStringResource(int id, int capacity) = 0;
  // SystemParametersInfoW(SPI_GETDEFAULTINPUTLANG): the low 16 bits of the default input
  // language's keyboard layout. False when the call fails.
  virtual bool DefaultInputLanguage(uint16_t* langId) = 0;
  // GetLocaleInfoW into a buffer of 100 characters; empty when the query fails.
  virtual std::wstring LocaleInfo(uint32_t lcid, uint32_t type) = 0;
};

namespace locale_info {
constexpr uint32_t kSystemDefault = 0x800;
constexpr uint32_t kIso639LangName = 0x59;
constexpr uint32_t kIso3166CtryName = 0x5A;
}  // namespace locale_info

}  // namespace velmora
