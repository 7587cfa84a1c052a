#include "settings/managed_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fake_platform_settings.h"
#include "settings/settings_store.h"

namespace velmora {
namespace {

using fakes::FakeRegistry;
using View = FakeRegistry::View;

constexpr Hive kMachine = Hive::kLocalMachine;
const std::wstring kPolicy = kPolicyKeyPath;
const std::wstring kProduct = kProductKeyPath;
const char kManagedOnLine[] =
    "Managed value is set. Reading cached settings (should be already downloaded by the service)";

class ManagedSettingsTest : public fakes::SettingsTestBase {
 protected:
  // What the service leaves in the registry: the document's bytes XOR 0x0E, as text of the
  // ANSI code page.
  void CacheDocument(const std::wstring& path, const std::string& json) {
    std::string scrambled = json;
    for (char& c : scrambled) c = static_cast<char>(static_cast<unsigned char>(c) ^ 0x0E);
    registry_.SetString(kMachine, View::k64, path, L"Managed settings",
                        platform_.codePage.AnsiToWide(scrambled));
  }
  void SetManaged(uint32_t value) {
    registry_.SetDword(kMachine, View::k64, kPolicy, L"Managed", value);
  }

  static std::wstring Entry(const wchar_t* name) {
    const std::wstring* entry = FindManagedSetting(name);
    return entry ? *entry : L"<none>";
  }
  static bool TableIsEmpty() { return ManagedSettingCount() == 0; }
};

TEST_F(ManagedSettingsTest, RootMustBeOneJsonObjectWithNothingButWhiteSpaceAround) {
  const std::vector<std::string> rejected = {
      "",
      "not json",
      R"({"access_period_win":"600"} x)",
      R"({"access_period_win":"600"}{})",
      R"([{"access_period_win":"600"}])",
      R"("access_period_win")",
      "600",
      R"({"access_period_win":"600",})",
      R"({'access_period_win':'600'})",
  };
  for (const std::string& text : rejected) {
    EXPECT_FALSE(ApplyManagedDocument(text)) << text;
    EXPECT_TRUE(TableIsEmpty()) << text;
  }
  EXPECT_TRUE(ApplyManagedDocument("{}"));
  EXPECT_TRUE(TableIsEmpty());
  EXPECT_TRUE(ApplyManagedDocument(" \t\r\n{\"audit_win\":\"1\"}\n "));
  EXPECT_EQ(Entry(L"Audit"), L"1");
}

TEST_F(ManagedSettingsTest, FailedDocumentLeavesEarlierEntriesAlone) {
  ASSERT_TRUE(ApplyManagedDocument(R"({"audit_win":"1"})"));
  EXPECT_FALSE(ApplyManagedDocument(R"({"audit_win":"0"} trailing)"));
  EXPECT_EQ(Entry(L"Audit"), L"1");
}

TEST_F(ManagedSettingsTest, MembersMapToTheirRegistryNamesExactlyAsPaired) {
  ASSERT_TRUE(ApplyManagedDocument(R"({
      "IOCUploadURL_win": "https://up",
      "PreApprovedApps_win": "C:\\Tools",
      "enable_reason_win": "1",
      "audit_refresh_interval_win": "30",
      "ActiveDirectoryRefresh_win": "15",
      "unknown_win": "x",
      "Access_Period_Win": "900",
      "language_WIN": "German"})"));
  EXPECT_EQ(Entry(L"IOCUploadUrl"), L"https://up");
  EXPECT_EQ(Entry(L"IOCUploadURL"), L"<none>");
  EXPECT_EQ(Entry(L"PreApprovedPaths"), L"C:\\Tools");
  EXPECT_EQ(Entry(L"AuditRFE"), L"1");
  EXPECT_EQ(Entry(L"AuditRefresh"), L"30");
  EXPECT_EQ(Entry(L"ActiveDirectoryRefresh"), L"15");
  EXPECT_EQ(Entry(L"AccessPeriod"), L"<none>");
  EXPECT_EQ(Entry(L"Language"), L"<none>");
  EXPECT_EQ(FindManagedSetting(L"unknown_win"), nullptr);
  EXPECT_EQ(FindManagedSetting(L"auditrfe"), nullptr);
}

TEST_F(ManagedSettingsTest, NonStringValuesBecomeEmptyTextAndTheFirstDuplicateWins) {
  ASSERT_TRUE(ApplyManagedDocument(R"({
      "access_period_win": 600,
      "audit_win": true,
      "enable_reason_win": null,
      "language_win": {"name": "German"},
      "verbose_logging_win": ["1"],
      "DisableShellHook_win": "1",
      "DisableShellHook_win": "0",
      "ActiveDirectory_win": 1.5e3})"));
  for (const wchar_t* name : {L"AccessPeriod", L"Audit", L"AuditRFE", L"Language",
                              L"VerboseLogging", L"ActiveDirectory"}) {
    EXPECT_EQ(Entry(name), L"") << name;
  }
  EXPECT_EQ(Entry(L"DisableShellHook"), L"1");
}

TEST_F(ManagedSettingsTest, StringBytesAreReadInTheAnsiCodePage) {
  // The escape gives UTF-8 bytes C3 A9, which Windows-1252 reads as two characters; the raw
  // byte E9 is already the code page's letter.
  ASSERT_TRUE(
      ApplyManagedDocument("{\"language_win\":\"caf\\u00e9\",\"audit_url_win\":\"caf\xE9\"}"));
  EXPECT_EQ(Entry(L"Language"), L"caf\u00c3\u00a9");
  EXPECT_EQ(Entry(L"AuditURL"), L"caf\u00e9");
}

TEST_F(ManagedSettingsTest, TextEndsAtTheFirstNulInsideOrAfterTheDocument) {
  ASSERT_TRUE(ApplyManagedDocument(R"({"access_period_win":"6\u000000","audit_win":"\u0000"})"));
  EXPECT_EQ(Entry(L"AccessPeriod"), L"6");
  EXPECT_EQ(Entry(L"Audit"), L"");

  // Whatever follows a NUL byte is not part of the document.
  const char afterEnd[] = "{\"language_win\":\"German\"}\0garbage";
  EXPECT_TRUE(ApplyManagedDocument(std::string(afterEnd, sizeof(afterEnd) - 1)));
  EXPECT_EQ(Entry(L"Language"), L"German");
  const char insideString[] = "{\"IOC_win\":\"a\0b\"}";
  EXPECT_FALSE(ApplyManagedDocument(std::string(insideString, sizeof(insideString) - 1)));
  EXPECT_EQ(FindManagedSetting(L"IOC"), nullptr);
}

TEST_F(ManagedSettingsTest, HugeAndDeeplyNestedDocumentsAreHandled) {
  const std::string big(1 << 20, 'a');
  ASSERT_TRUE(ApplyManagedDocument("{\"IOC_win\":\"" + big + "\",\"x\":\"" + big + "\"}"));
  EXPECT_EQ(Entry(L"IOC").size(), big.size());

  // Deep enough to overflow the stack of a recursive parser.
  const size_t depth = 1000000;
  EXPECT_FALSE(ApplyManagedDocument(std::string(depth, '[')));
  EXPECT_TRUE(ApplyManagedDocument("{\"audit_win\":" + std::string(depth, '[') +
                                   std::string(depth, ']') + "}"));
  EXPECT_EQ(Entry(L"Audit"), L"");
}

TEST_F(ManagedSettingsTest, LoadUnscramblesTheCachedDocumentAndOverridesTheRegistry) {
  SetManaged(1);
  registry_.SetDword(kMachine, View::k64, kPolicy, L"AccessPeriod", 300);
  registry_.SetDword(kMachine, View::k64, kProduct, L"AccessPeriod", 60);
  registry_.SetDword(kMachine, View::k64, kProduct, L"Audit", 1);
  CacheDocument(kProduct, "{\"access_period_win\":\"600\",\"language_win\":\"caf\xE9\"}");

  LoadManagedSettings(true);
  EXPECT_TRUE(IsManagedMode());
  std::wstring text;
  EXPECT_TRUE(GetSetting(L"AccessPeriod", text, SettingKind::kNumber));
  EXPECT_EQ(text, L"600");
  EXPECT_TRUE(GetSetting(L"Language", text, SettingKind::kString));
  EXPECT_EQ(text, L"caf\u00e9");
  EXPECT_TRUE(GetSetting(L"Audit", text, SettingKind::kNumber));
  EXPECT_EQ(text, L"1");
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{
                               kManagedOnLine, "Cached json read successfully", "Parsing json OK",
                               "Managed=1", "Retrieving setting 'AccessPeriod': 600", "Managed=1",
                               "Retrieving setting 'Language': caf\xE9", "Managed=0",
                               "Retrieving setting 'Audit': 1"}));
}

TEST_F(ManagedSettingsTest, PolicyDocumentWinsAndANumberValueHidesTheRegistry) {
  SetManaged(1);
  registry_.SetDword(kMachine, View::k64, kPolicy, L"AccessPeriod", 300);
  CacheDocument(kPolicy, R"({"access_period_win":600})");
  CacheDocument(kProduct, R"({"access_period_win":"900"})");
  LoadManagedSettings(true);
  std::wstring text = L"stale";
  EXPECT_TRUE(GetSetting(L"AccessPeriod", text, SettingKind::kNumber));
  EXPECT_EQ(text, L"");
}

TEST_F(ManagedSettingsTest, UnparsableDocumentKeepsManagedModeWithAnEmptyTable) {
  SetManaged(1);
  CacheDocument(kPolicy, R"({"access_period_win":"600"} trailing)");
  LoadManagedSettings(true);
  EXPECT_TRUE(IsManagedMode());
  EXPECT_TRUE(TableIsEmpty());
  EXPECT_EQ(LogMessages(),
            (std::vector<std::string>{kManagedOnLine, "Cached json read successfully",
                                      "Failed to parse json"}));
}

TEST_F(ManagedSettingsTest, MissingOrEmptyDocumentKeepsManagedModeWithAnEmptyTable) {
  SetManaged(1);
  LoadManagedSettings(true);
  EXPECT_TRUE(IsManagedMode());
  registry_.SetString(kMachine, View::k64, kPolicy, L"Managed settings", L"");
  LoadManagedSettings(true);
  EXPECT_TRUE(IsManagedMode());
  EXPECT_TRUE(TableIsEmpty());
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{kManagedOnLine, kManagedOnLine}));
}

TEST_F(ManagedSettingsTest, ManagedSwitchMustReadExactlyOne) {
  CacheDocument(kPolicy, R"({"access_period_win":"600"})");
  // REG_SZ "1" reads as the number 49; no data reads as 0.
  const std::vector<std::pair<uint32_t, std::vector<uint8_t>>> values = {
      {reg::kRegSz, {'1', 0, 0, 0}}, {reg::kRegDword, {2, 0, 0, 0}}, {reg::kRegBinary, {}}};
  for (const auto& value : values) {
    SetManagedMode(true);
    registry_.SetRaw(kMachine, View::k64, kPolicy, L"Managed", value.first, value.second);
    LoadManagedSettings(true);
    EXPECT_FALSE(IsManagedMode());
  }
  EXPECT_TRUE(TableIsEmpty());
  EXPECT_EQ(LogMessages(), std::vector<std::string>{"ReadMachineDword. 'Managed' is a number "
                                                    "setting stored as text: it reads as 49, the "
                                                    "code of its first character"});
}

TEST_F(ManagedSettingsTest, LoadWithoutLoggingWritesNoLines) {
  SetManaged(1);
  CacheDocument(kPolicy, R"({"audit_win":"1"})");
  LoadManagedSettings(false);
  EXPECT_TRUE(IsManagedMode());
  EXPECT_EQ(Entry(L"Audit"), L"1");
  EXPECT_TRUE(LogMessages().empty());
}

}  // namespace
}  // namespace velmora
