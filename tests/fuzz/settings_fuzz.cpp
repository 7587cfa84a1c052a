// Arbitrary bytes as registry data the settings code reads. The first byte is the type of a
// setting's value, the rest its data, read as a number and as a string; the base-10 conversions
// of the texts must match the C library's strtoll on the same ASCII text, saturated.
// The same bytes are the managed document the service leaves in "Managed settings": an even
// first byte makes the rest the document's plain text (to its first scrambled NUL), scrambled
// and stored as a well-formed REG_SZ, so that the parser sees JSON; an odd one makes the rest
// the value's raw data, of type first byte / 2.
#include <climits>

#include "fuzz_support.h"
#include "settings/managed_settings.h"
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
  const std::vector<uint8_t> bytes(data + 1, data + size);
  platform.Set(L"Value", data[0], bytes);
  std::wstring number, text;
  ReadMachineNumberText(L"Value", number);
  ReadMachineString(L"Value", text);
  CheckConversions(std::wstring(bytes.begin(), bytes.end()));

  std::string scrambled(data + 1, std::find(data + 1, data + size, 0x0E));
  for (char& c : scrambled) c ^= 0x0E;
  platform.Set(L"Managed", reg::kRegDword, {1, 0, 0, 0});
  platform.Set(L"Managed settings", data[0] & 1 ? data[0] >> 1 : reg::kRegSz,
               data[0] & 1 ? bytes : ToUtf16LeBytes(platform.codePage.AnsiToWide(scrambled), true));
  LoadManagedSettings(false);
  return 0;
}
