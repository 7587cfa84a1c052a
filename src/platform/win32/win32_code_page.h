// UTF-16 <-> multibyte conversions with the thread's ANSI code page, plus the same conversion
// for any code page, which the kernel side needs for the narrow event names.
#pragma once

#include <string>

#include "platform/code_page.h"

namespace velmora {

// Whole-string conversions (embedded NULs kept); an empty result when the text cannot be
// converted at all.
std::string WideToMultiByte(unsigned codePage, const std::wstring& text);
std::wstring MultiByteToWide(unsigned codePage, const std::string& text);

class Win32CodePage final : public CodePage {
 public:
  std::string WideToAnsi(const std::wstring& text) override;
  std::wstring AnsiToWide(const std::string& text) override;
};

}  // namespace velmora
