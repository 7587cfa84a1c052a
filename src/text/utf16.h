// Explicit UTF-16LE at every byte boundary (registry data, the shared block, language files):
// wchar_t is 16 bits on Windows and 32 on Linux, so the logic never reinterprets bytes as
// wchar_t directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

std::u16string ToUtf16(const std::wstring& text);
// Unpaired surrogates are kept as they are, so no input is lost on a round trip.
std::wstring FromUtf16(const char16_t* units, size_t count);
inline std::wstring FromUtf16(const std::u16string& units) {
  return FromUtf16(units.data(), units.size());
}

// Little-endian code units, optionally followed by a NUL unit.
std::vector<uint8_t> ToUtf16LeBytes(const std::wstring& text, bool withNul);
// Decodes whole code units up to the first NUL unit or the end; an odd last byte is ignored.
std::wstring FromUtf16LeBytes(const uint8_t* data, size_t byteCount);
// Decodes every whole code unit, NUL units included (file contents, where a NUL is data and
// must not hide what follows it); an odd last byte is ignored.
std::wstring FromUtf16LeBytesWhole(const uint8_t* data, size_t byteCount);

}  // namespace velmora
