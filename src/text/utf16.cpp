#include "text/utf16.h"

namespace velmora {

std::u16string ToUtf16(const std::wstring& text) {
  std::u16string out;
  out.reserve(text.size());
  for (wchar_t wc : text) {
    const uint32_t c = static_cast<uint32_t>(wc);
    if (c > 0xFFFF && c <= 0x10FFFF) {
      const uint32_t v = c - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else if (c > 0x10FFFF) {
      out.push_back(u'\xFFFD');
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::wstring FromUtf16(const char16_t* units, size_t count) {
  std::wstring out;
  out.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const uint32_t u = units[i];
    if (sizeof(wchar_t) == 4 && u >= 0xD800 && u <= 0xDBFF && i + 1 < count &&
        units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      const uint32_t low = units[i + 1];
      out.push_back(static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00)));
      ++i;
    } else {
      out.push_back(static_cast<wchar_t>(u));
    }
  }
  return out;
}

std::vector<uint8_t> ToUtf16LeBytes(const std::wstring& text, bool withNul) {
  std::u16string units = ToUtf16(text);
  if (withNul) units.push_back(u'\0');
  std::vector<uint8_t> bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t u : units) {
    bytes.push_back(static_cast<uint8_t>(u & 0xFF));
    bytes.push_back(static_cast<uint8_t>(u >> 8));
  }
  return bytes;
}

namespace {

std::wstring DecodeUtf16Le(const uint8_t* data, size_t byteCount, bool stopAtNul) {
  std::u16string units;
  units.reserve(byteCount / 2);
  for (size_t i = 0; i + 1 < byteCount; i += 2) {
    const char16_t u = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (u == 0 && stopAtNul) break;
    units.push_back(u);
  }
  return FromUtf16(units);
}

}  // namespace

std::wstring FromUtf16LeBytes(const uint8_t* data, size_t byteCount) {
  return DecodeUtf16Le(data, byteCount, true);
}

std::wstring FromUtf16LeBytesWhole(const uint8_t* data, size_t byteCount) {
  return DecodeUtf16Le(data, byteCount, false);
}

}  // namespace velmora
