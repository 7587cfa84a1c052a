// Arbitrary bytes as a registry value that a setting is read from: the first byte is the
// value's type, the rest its data. The number and string readers and the base-10 conversions
// of their texts must agree with the rules: a number read is the signed 32-bit value of data
// of at most 4 bytes, a string read is the data's units up to the first NUL, and the
// conversions match the C library's strtoll on the same ASCII text, saturated.
#include <algorithm>
#include <climits>

#include "fuzz_support.h"
#include "text/utf16.h"

static void CheckConversions(const std::wstring& text) {
  std::string ascii;
  for (const wchar_t c : text) {
    if (c == 0 || c > 0x7F) return;  // strtoll would read further than the rules, or differ
    ascii.push_back(static_cast<char>(c));
  }
  const long long expected = std::strtoll(ascii.c_str(), nullptr, 10);
  Require(SettingToInt64(text) == expected);
  Require(SettingToLong(text) == std::clamp<long long>(expected, INT32_MIN, INT32_MAX));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FuzzPlatform platform;
  std::vector<uint8_t> bytes(data + 1, data + size);
  platform.Set(L"Value", data[0], bytes);
  std::wstring number, text = L"unchanged";
  const bool numberFound = ReadMachineNumberText(L"Value", number);
  Require(numberFound == (bytes.size() <= 4));
  uint32_t bits = 0;
  for (size_t i = 0; i < bytes.size() && i < 4; ++i) bits |= uint32_t{bytes[i]} << (8 * i);
  Require(!numberFound || number == std::to_wstring(static_cast<int32_t>(bits)));

  Require(ReadMachineString(L"Value", text));
  // The reader's buffer has zero bytes after the data: an odd last byte is a unit's low byte.
  const std::wstring raw(bytes.begin(), bytes.end());
  bytes.push_back(0);
  const std::wstring units = FromUtf16LeBytesWhole(bytes.data(), bytes.size());
  Require(text == units.substr(0, units.find(L'\0')));
  CheckConversions(text);
  CheckConversions(raw);
  return 0;
}
