// Arbitrary bytes as registry data the settings code reads. The first byte is the type of a
// setting's value, the rest its data: the number and string readers and the base-10 conversions
// of their texts must agree with the rules (a number read is the signed 32-bit value of data of
// at most 4 bytes, a string read is the data's units up to the first NUL, and the conversions
// match the C library's strtoll on the same ASCII text, saturated).
// The same bytes are the managed document the service leaves in "Managed settings": an even
// first byte makes the rest the document's plain text (to its first scrambled NUL), scrambled
// and stored as a well-formed REG_SZ; an odd one makes the rest the value's raw data, of type
// first byte / 2. Loading it never fails but by leaving the table empty, every entry it makes is
// one of the names documents publish, and a scrambled document means what its plain text does.
#include <climits>
#include <sstream>

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

// The table under every name a member is published as; an entry under another name, or one
// holding a NUL, makes the count disagree.
static std::map<std::wstring, std::wstring> Table() {
  std::wistringstream names(
      L"AccessPeriod Audit AuditElevatedFiles AuditPrograms AuditRefresh AuditRFE AuditURL "
      L"RemoteVerboseInterval Language VerboseLogging IOC IOCUploadUrl IOCUrl ManagedURL "
      L"DisableManualElevation DisableShellHook FileIntegrity PreApprovedPaths "
      L"SecureAdministratorPaths CleanLocalAdmins ActiveDirectory ActiveDirectoryCache "
      L"ActiveDirectoryGroup ActiveDirectoryRefresh");
  std::map<std::wstring, std::wstring> table;
  for (std::wstring name; names >> name;) {
    const std::wstring* entry = FindManagedSetting(name);
    if (entry && entry->find(L'\0') == std::wstring::npos) table[name] = *entry;
  }
  Require(table.size() == ManagedSettingCount());
  return table;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FuzzPlatform platform;
  std::vector<uint8_t> bytes(data + 1, data + size);
  platform.Set(L"Value", data[0], bytes);
  uint32_t bits = 0;
  for (size_t i = 0; i < bytes.size() && i < 4; ++i) bits |= uint32_t{bytes[i]} << (8 * i);
  std::wstring number, text = L"unchanged";
  Require(ReadMachineNumberText(L"Value", number) == (bytes.size() <= 4));
  Require(number == (bytes.size() <= 4 ? std::to_wstring(static_cast<int32_t>(bits)) : L""));
  CheckConversions(std::wstring(bytes.begin(), bytes.end()));
  // The reader's buffer has zero bytes after the data: an odd last byte is a unit's low byte.
  bytes.push_back(0);
  Require(ReadMachineString(L"Value", text) &&
          text == FromUtf16LeBytes(bytes.data(), bytes.size()));
  CheckConversions(text);

  const bool raw = data[0] & 1;
  std::string plain(data + 1, std::find(data + 1, data + size, 0x0E)), scrambled = plain;
  for (char& c : scrambled) c ^= 0x0E;
  platform.Set(L"Managed", reg::kRegDword, {1, 0, 0, 0});
  platform.Set(L"Managed settings", raw ? data[0] >> 1 : reg::kRegSz,
               raw ? std::vector<uint8_t>(data + 1, data + size)
                   : ToUtf16LeBytes(platform.codePage.AnsiToWide(scrambled), true));
  LoadManagedSettings(false);
  Require(IsManagedMode());
  const auto table = Table();
  ResetManagedSettings();
  Require(raw || (ApplyManagedDocument(plain), Table() == table));
  return 0;
}
