// Arbitrary bytes as a registry value that a setting is read from: the first byte is the
// value's type, the rest its data. The number and string readers and the base-10 conversions
// of their texts must agree with the rules: a number read is the signed 32-bit value of data
// of at most 4 bytes, a string read is the data's units up to the first NUL, and the
// conversions match the C library's strtoll on the same ASCII text, saturated.
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_checks.h"
#include "fuzz_platform.h"
#include "text/utf16.h"

namespace {

using velmora::fuzz::Require;

void CheckConversions(const std::wstring& text) {
  std::string ascii;
  for (const wchar_t c : text) {
    if (c == 0 || c > 0x7F) return;  // strtoll would read further than the rules, or differ
    ascii.push_back(static_cast<char>(c));
  }
  errno = 0;
  const long long expected = std::strtoll(ascii.c_str(), nullptr, 10);
  Require(velmora::SettingToInt64(text) == expected);
  const long long narrow = expected < INT32_MIN   ? INT32_MIN
                           : expected > INT32_MAX ? INT32_MAX
                                                  : expected;
  Require(velmora::SettingToLong(text) == narrow);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  velmora::fuzz::FuzzRegistry& registry = velmora::fuzz::InstallFuzzPlatform();
  const std::vector<uint8_t> bytes(data + 1, data + size);
  registry.values.clear();
  registry.values[L"Value"] = {data[0], bytes};

  std::wstring number;
  const bool numberFound = velmora::ReadMachineNumberText(L"Value", number);
  Require(numberFound == (bytes.size() <= 4));
  if (numberFound) {
    uint32_t bits = 0;
    for (size_t i = 0; i < bytes.size(); ++i) bits |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    Require(number == std::to_wstring(static_cast<int32_t>(bits)));
  }

  std::wstring text = L"unchanged";
  Require(velmora::ReadMachineString(L"Value", text));
  // The reader's buffer has zero bytes after the data: an odd last byte is a unit's low byte.
  std::vector<uint8_t> even = bytes;
  if (even.size() % 2 != 0) even.push_back(0);
  const std::wstring units = velmora::FromUtf16LeBytesWhole(even.data(), even.size());
  Require(text == units.substr(0, units.find(L'\0')));
  CheckConversions(text);

  const std::wstring raw(bytes.begin(), bytes.end());
  CheckConversions(raw);
  return 0;
}
