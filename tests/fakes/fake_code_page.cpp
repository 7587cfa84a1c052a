#include "fakes/fake_code_page.h"

#include <cstdint>

namespace velmora::fakes {
namespace {

// Bytes 0x80..0x9F.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool IsHigh(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::string FakeCodePage::WideToAnsi(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const uint32_t u = static_cast<uint32_t>(text[i]);
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
      out.push_back(static_cast<char>(u));
      continue;
    }
    char byte = '?';
    for (int b = 0; b < 32; ++b) {
      if (kHigh[b] == u) {
        byte = static_cast<char>(0x80 + b);
        break;
      }
    }
    if (byte == '?' && IsHigh(u) && i + 1 < text.size() &&
        IsLow(static_cast<uint32_t>(text[i + 1]))) {
      ++i;
    }
    out.push_back(byte);
  }
  return out;
}

std::wstring FakeCodePage::AnsiToWide(const std::string& text) {
  std::wstring out;
  out.reserve(text.size());
  for (char c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    out.push_back(b >= 0x80 && b <= 0x9F ? static_cast<wchar_t>(kHigh[b - 0x80])
                                          : static_cast<wchar_t>(b));
  }
  return out;
}

}  // namespace velmora::fakes
