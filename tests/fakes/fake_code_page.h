// The ANSI code page as Windows-1252, both ways, as WideCharToMultiByte with no best-fit and
// MultiByteToWideChar give it: the five bytes 1252 leaves undefined map to the C1 controls of
// the same value, and a character without a byte becomes '?' (a surrogate pair one '?').
#pragma once

#include <string>

#include "platform/code_page.h"

namespace velmora::fakes {

class FakeCodePage : public CodePage {
 public:
  std::string WideToAnsi(const std::wstring& text) override {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
      const wchar_t c = text[i];
      char byte = c < 0x80 || (c >= 0xA0 && c <= 0xFF) ? static_cast<char>(c) : '?';
      for (int b = 0x80; b < 0xA0; ++b) {
        if (Wide(static_cast<unsigned char>(b)) == c) byte = static_cast<char>(b);
      }
      const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
                        text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
      i += pair ? 1 : 0;
      out.push_back(byte);
    }
    return out;
  }
  std::wstring AnsiToWide(const std::string& text) override {
    std::wstring out;
    for (char c : text) out.push_back(Wide(static_cast<unsigned char>(c)));
    return out;
  }

 private:
  static wchar_t Wide(unsigned char b) {
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    return b >= 0x80 && b <= 0x9F ? static_cast<wchar_t>(kHigh[b - 0x80]) : static_cast<wchar_t>(b);
  }
};

}  // namespace velmora::fakes
