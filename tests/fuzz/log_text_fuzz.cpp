// Arbitrary bytes as text that reaches the service's log: as UTF-16 units (pairs of bytes, the
// way names and reasons arrive) and as narrow bytes of unknown encoding (the settings record's
// text). Whatever the text, the escaped form is one safe line and loses nothing: undoing the
// escapes gives the units back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_checks.h"
#include "log_text.h"

namespace {

using velmora::fuzz::Require;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

uint32_t ReadHex(const std::string& text, size_t at, size_t digits) {
  Require(at + digits <= text.size());
  uint32_t value = 0;
  for (size_t i = 0; i < digits; ++i) {
    const int digit = HexValue(text[at + i]);
    Require(digit >= 0);
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  return value;
}

void AppendUnits(std::u16string& out, uint32_t cp) {
  if (cp >= 0x10000) {
    out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

// The escaped text read back: \\, \", \xHH and \uHHHH undone, UTF-8 decoded.
std::u16string Unescape(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead == '\\') {
      Require(i + 1 < text.size());
      const char kind = text[i + 1];
      if (kind == 'x') {
        out.push_back(static_cast<char16_t>(ReadHex(text, i + 2, 2)));
        i += 4;
      } else if (kind == 'u') {
        out.push_back(static_cast<char16_t>(ReadHex(text, i + 2, 4)));
        i += 6;
      } else {
        out.push_back(static_cast<char16_t>(kind));
        i += 2;
      }
      continue;
    }
    const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    uint32_t cp = length == 1 ? lead : lead & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) cp = (cp << 6) | (text[i + k] & 0x3F);
    AppendUnits(out, cp);
    i += length;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string units;
  for (size_t i = 0; i + 1 < size; i += 2) {
    units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  const std::string escaped = velmora::service::EscapeForLog(units);
  Require(velmora::fuzz::IsSafeLogText(escaped));
  Require(Unescape(escaped) == units);

  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string narrow = velmora::service::EscapeBytesForLog(bytes);
  Require(velmora::fuzz::IsSafeLogText(narrow));
  std::u16string expected(bytes.begin(), bytes.end());
  for (char16_t& unit : expected) unit &= 0xFF;
  Require(Unescape(narrow) == expected);
  return 0;
}
