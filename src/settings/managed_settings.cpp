#include "settings/managed_settings.h"

#include <rapidjson/document.h>

#include <map>

#include "log/log.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

namespace velmora {
namespace {

struct ManagedKey {
  const char* member;
  const wchar_t* valueName;
};

// Member names and registry names are paired as the service publishes them; they follow no
// rule (note IOCUploadURL_win / IOCUploadUrl).
constexpr ManagedKey kManagedKeyTable[] = {
    {"access_period_win", L"AccessPeriod"},
    {"audit_win", L"Audit"},
    {"audit_elevated_files_win", L"AuditElevatedFiles"},
    {"audit_programs_win", L"AuditPrograms"},
    {"audit_refresh_interval_win", L"AuditRefresh"},
    {"enable_reason_win", L"AuditRFE"},
    {"audit_url_win", L"AuditURL"},
    {"remote_verbose_interval_win", L"RemoteVerboseInterval"},
    {"language_win", L"Language"},
    {"verbose_logging_win", L"VerboseLogging"},
    {"IOC_win", L"IOC"},
    {"IOCUploadURL_win", L"IOCUploadUrl"},
    {"IOCUrl_win", L"IOCUrl"},
    {"ManagedURL_win", L"ManagedURL"},
    {"DisableManualElevation_win", L"DisableManualElevation"},
    {"DisableShellHook_win", L"DisableShellHook"},
    {"FileIntegrity_win", L"FileIntegrity"},
    {"PreApprovedApps_win", L"PreApprovedPaths"},
    {"SecureAdministratorPaths_win", L"SecureAdministratorPaths"},
    {"CleanLocalAdmins_win", L"CleanLocalAdmins"},
    {"ActiveDirectory_win", L"ActiveDirectory"},
    {"ActiveDirectoryCache_win", L"ActiveDirectoryCache"},
    {"ActiveDirectoryGroup_win", L"ActiveDirectoryGroup"},
    {"ActiveDirectoryRefresh_win", L"ActiveDirectoryRefresh"},
};

constexpr unsigned char kScrambleKey = 0x0E;

// Written only during start-up, before any worker thread exists; read-only afterwards, so the
// thread starts order every later read after these writes.
bool g_bManagedMode = false;
std::map<std::wstring, std::wstring> g_managedTable;

}  // namespace

bool IsManagedMode() { return g_bManagedMode; }

void SetManagedMode(bool on) { g_bManagedMode = on; }

const std::wstring* FindManagedSetting(const std::wstring& name) {
  const auto it = g_managedTable.find(name);
  return it == g_managedTable.end() ? nullptr : &it->second;
}

size_t ManagedSettingCount() { return g_managedTable.size(); }

void ResetManagedSettings() {
  g_bManagedMode = false;
  g_managedTable.clear();
}

bool ApplyManagedDocument(const std::string& text) {
  rapidjson::Document document;
  // The document ends at its first NUL, as for any C string. The iterative parser accepts
  // exactly what the default one does but keeps its nesting on the heap, so a deeply nested
  // document cannot exhaust the thread's stack.
  document.Parse<rapidjson::kParseDefaultFlags | rapidjson::kParseIterativeFlag>(text.c_str());
  if (document.HasParseError() || !document.IsObject()) return false;

  for (const ManagedKey& row : kManagedKeyTable) {
    const auto member = document.FindMember(row.member);
    if (member == document.MemberEnd()) continue;
    std::wstring value;
    if (member->value.IsString()) {
      // An escaped \u0000 ends the text, as a NUL ends every registry string.
      const std::string narrow(member->value.GetString(), member->value.GetStringLength());
      value = AnsiCodePage().AnsiToWide(narrow.substr(0, narrow.find('\0')));
    }
    g_managedTable[row.valueName] = std::move(value);
  }
  return true;
}

void LoadManagedSettings(bool log) {
  g_bManagedMode = false;
  // A later load (the service reads policy at every request) must not keep members of a
  // document that has since lost them.
  g_managedTable.clear();
  std::wstring managed;
  if (!ReadMachineNumberText(L"Managed", managed) || managed != L"1") return;
  if (log) {
    Log("Managed value is set. Reading cached settings (should be already downloaded by the "
        "service)");
  }
  g_bManagedMode = true;

  std::wstring cached;
  if (!ReadMachineString(L"Managed settings", cached) || cached.empty()) return;
  if (log) Log("Cached json read successfully");

  std::string document = AnsiCodePage().WideToAnsi(cached);
  for (char& c : document) {
    c = static_cast<char>(static_cast<unsigned char>(c) ^ kScrambleKey);
  }
  const bool parsed = ApplyManagedDocument(document);
  if (log) Log(parsed ? "Parsing json OK" : "Failed to parse json");
}

}  // namespace velmora
