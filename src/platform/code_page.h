// Conversions between UTF-16 text and the calling thread's ANSI code page (CP_THREAD_ACP).
// Characters the code page cannot hold become its default character.
#pragma once

#include <string>

namespace velmora {

class CodePage {
 public:
  virtual ~CodePage() = default;
  virtual std::string WideToAnsi(const std::wstring& text) = 0;
  virtual std::wstring AnsiToWide(const std::string& text) = 0;
};

}  // namespace velmora
