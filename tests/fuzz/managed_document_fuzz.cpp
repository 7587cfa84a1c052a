// Arbitrary bytes as the managed document the service leaves in "Managed settings". The first
// byte picks the form: even, the rest is the document's plain text (to its first scrambled NUL),
// scrambled and stored as a well-formed REG_SZ; odd, the rest is the value's raw registry data
// (odd lengths, no NUL, any type). Loading it must never fail but by leaving the table empty,
// every entry it makes is one of the names documents publish, a scrambled document means what
// its plain text does, and the settings readers see an entry before the registry.
#include <algorithm>
#include <map>
#include <sstream>

#include "fuzz_support.h"
#include "settings/managed_settings.h"
#include "text/utf16.h"

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
  platform.Set(L"Managed", reg::kRegDword, {1, 0, 0, 0});
  const std::string plain(data + 1, std::find(data + 1, data + size, 0x0E));
  std::string scrambled = plain;
  for (char& c : scrambled) c ^= 0x0E;
  const std::wstring stored = platform.codePage.AnsiToWide(scrambled);
  platform.Set(
      L"Managed settings", (data[0] & 1) ? data[0] >> 1 : reg::kRegSz,
      (data[0] & 1) ? std::vector<uint8_t>(data + 1, data + size) : ToUtf16LeBytes(stored, true));
  LoadManagedSettings(false);
  Require(IsManagedMode());
  const auto table = Table();
  std::wstring text;
  if (const std::wstring* period = FindManagedSetting(L"AccessPeriod")) {
    Require(GetSetting(L"AccessPeriod", text, SettingKind::kNumber) && text == *period);
  }
  if (data[0] & 1) return 0;
  ResetManagedSettings();
  ApplyManagedDocument(plain);
  Require(Table() == table);
  return 0;
}
