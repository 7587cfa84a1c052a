// The ANSI code page as Windows-1252, both ways, as WideCharToMultiByte with no best-fit and
// MultiByteToWideChar give it: the five bytes 1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) map to the C1 controls of the same value, and any character without a byte becomes
// '?' (a surrogate pair becomes one '?').
#pragma once

#include <string>

#include "platform/code_page.h"

namespace velmora::fakes {

class FakeCodePage : public CodePage {
 public:
  std::string WideToAnsi(const std::wstring& text) override;
  std::wstring AnsiToWide(const std::string& text) override;
};

}  // namespace velmora::fakes
