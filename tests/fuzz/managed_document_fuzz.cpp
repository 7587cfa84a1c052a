// Arbitrary bytes as the managed document the service leaves in "Managed settings". The first
// byte picks the form: even, the rest is the document's plain text, scrambled and stored as a
// well-formed REG_SZ; odd, the rest is the value's raw registry data (odd lengths, no NUL, any
// type). Loading it must never fail but by leaving the table empty, and every entry it makes is
// one of the table's names.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_checks.h"
#include "fuzz_platform.h"
#include "settings/managed_settings.h"
#include "text/utf16.h"

namespace {

using velmora::fuzz::Require;

constexpr const wchar_t* kNames[] = {L"AccessPeriod",
                                     L"Audit",
                                     L"AuditElevatedFiles",
                                     L"AuditPrograms",
                                     L"AuditRefresh",
                                     L"AuditRFE",
                                     L"AuditURL",
                                     L"RemoteVerboseInterval",
                                     L"Language",
                                     L"VerboseLogging",
                                     L"IOC",
                                     L"IOCUploadUrl",
                                     L"IOCUrl",
                                     L"ManagedURL",
                                     L"DisableManualElevation",
                                     L"DisableShellHook",
                                     L"FileIntegrity",
                                     L"PreApprovedPaths",
                                     L"SecureAdministratorPaths",
                                     L"CleanLocalAdmins",
                                     L"ActiveDirectory",
                                     L"ActiveDirectoryCache",
                                     L"ActiveDirectoryGroup",
                                     L"ActiveDirectoryRefresh"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  velmora::fuzz::FuzzRegistry& registry = velmora::fuzz::InstallFuzzPlatform();
  registry.values.clear();
  registry.values[L"Managed"] = {velmora::reg::kRegDword, {1, 0, 0, 0}};
  if (data[0] & 1) {
    registry.values[L"Managed settings"] = {static_cast<uint32_t>(data[0] >> 1),
                                            std::vector<uint8_t>(data + 1, data + size)};
  } else {
    std::wstring scrambled;
    for (size_t i = 1; i < size; ++i) scrambled.push_back(static_cast<wchar_t>(data[i] ^ 0x0E));
    registry.values[L"Managed settings"] = {velmora::reg::kRegSz,
                                            velmora::ToUtf16LeBytes(scrambled, true)};
  }
  velmora::LoadManagedSettings(false);
  Require(velmora::IsManagedMode());
  size_t found = 0;
  for (const wchar_t* name : kNames) {
    if (const std::wstring* entry = velmora::FindManagedSetting(name)) {
      ++found;
      Require(entry->find(L'\0') == std::wstring::npos);
    }
  }
  Require(found == velmora::ManagedSettingCount());

  // The settings readers see the document's entry before the registry.
  std::wstring text;
  if (const std::wstring* period = velmora::FindManagedSetting(L"AccessPeriod")) {
    Require(velmora::GetSetting(L"AccessPeriod", text, velmora::SettingKind::kNumber));
    Require(text == *period);
  }
  return 0;
}
