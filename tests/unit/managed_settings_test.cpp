#include "settings/managed_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace velmora::test {
namespace {

const char kManagedOnLine[] =
    "Managed value is set. Reading cached settings (should be already downloaded by the service)";

class ManagedSettingsTest : public TrayTest {
 protected:
  void SetUp() override { StartLog(); }

  // What the service leaves in the registry: the document's bytes XOR 0x0E, as text of the
  // ANSI code page.
  void CacheDocument(const std::wstring& path, const std::string& json) {
    std::string scrambled = json;
    for (char& c : scrambled) c = static_cast<char>(c ^ 0x0E);
    SetMachineString(L"Managed settings", fake.codePage.AnsiToWide(scrambled), path);
  }
  static std::wstring Entry(const wchar_t* name) {
    const std::wstring* entry = FindManagedSetting(name);
    return entry ? *entry : L"<none>";
  }
};

TEST_F(ManagedSettingsTest, RootMustBeOneJsonObjectAndAFailureLeavesTheTableAlone) {
  ASSERT_TRUE(ApplyManagedDocument(" \t\r\n{\"audit_win\":\"1\"}\n "));
  for (const std::string text : {"", "not json", R"({"audit_win":"0"} x)", R"({"audit_win":"0"}{})",
                                 R"([{"audit_win":"0"}])", R"("audit_win")", "600",
                                 R"({"audit_win":"0",})", R"({'audit_win':'0'})"}) {
    EXPECT_FALSE(ApplyManagedDocument(text)) << text;
  }
  EXPECT_EQ(ManagedSettingCount(), 1u);
  EXPECT_EQ(Entry(L"Audit"), L"1");
}

TEST_F(ManagedSettingsTest, MembersMapToTheirRegistryNamesExactlyAsPaired) {
  ASSERT_TRUE(ApplyManagedDocument(R"({
      "IOCUploadURL_win": "https://up", "PreApprovedApps_win": "C:\\Tools",
      "enable_reason_win": "1", "audit_refresh_interval_win": "30",
      "ActiveDirectoryRefresh_win": "15", "unknown_win": "x",
      "Access_Period_Win": "900", "language_WIN": "German",
      "audit_win": true, "verbose_logging_win": ["1"], "ActiveDirectory_win": 1.5e3,
      "DisableShellHook_win": "1", "DisableShellHook_win": "0"})"));
  const std::pair<const wchar_t*, const wchar_t*> entries[] = {
      {L"IOCUploadUrl", L"https://up"},
      {L"IOCUploadURL", L"<none>"},
      {L"PreApprovedPaths", L"C:\\Tools"},
      {L"AuditRFE", L"1"},
      {L"auditrfe", L"<none>"},
      {L"AuditRefresh", L"30"},
      {L"ActiveDirectoryRefresh", L"15"},
      {L"AccessPeriod", L"<none>"},
      {L"Language", L"<none>"},
      {L"unknown_win", L"<none>"},
      // Values that are not strings become empty text; the first duplicate wins.
      {L"Audit", L""},
      {L"VerboseLogging", L""},
      {L"ActiveDirectory", L""},
      {L"DisableShellHook", L"1"}};
  for (const auto& entry : entries) EXPECT_EQ(Entry(entry.first), entry.second) << entry.first;
  EXPECT_EQ(ManagedSettingCount(), 9u);
}

TEST_F(ManagedSettingsTest, StringsAreAnsiTextThatEndsAtTheFirstNul) {
  // The escape gives UTF-8 bytes C3 A9, which Windows-1252 reads as two characters.
  ASSERT_TRUE(
      ApplyManagedDocument("{\"language_win\":\"caf\\u00e9\",\"audit_url_win\":\"caf\xE9\","
                           R"("access_period_win":"6\u000000","audit_win":"\u0000"})"));
  EXPECT_EQ(Entry(L"Language"), L"caf\u00c3\u00a9");
  EXPECT_EQ(Entry(L"AuditURL"), L"caf\u00e9");
  EXPECT_EQ(Entry(L"AccessPeriod"), L"6");
  EXPECT_EQ(Entry(L"Audit"), L"");

  // Whatever follows a NUL byte is not part of the document.
  const char afterEnd[] = "{\"IOC_win\":\"x\"}\0garbage";
  EXPECT_TRUE(ApplyManagedDocument(std::string(afterEnd, sizeof(afterEnd) - 1)));
  EXPECT_EQ(Entry(L"IOC"), L"x");
  const char insideString[] = "{\"IOCUrl_win\":\"a\0b\"}";
  EXPECT_FALSE(ApplyManagedDocument(std::string(insideString, sizeof(insideString) - 1)));
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
}

TEST_F(ManagedSettingsTest, LoadUnscramblesThePolicyDocumentFirstAndLogsEachStep) {
  SetMachine(L"Managed", 1, kPolicy);
  SetMachine(L"AccessPeriod", 300, kPolicy);
  SetMachine(L"Audit", 1);
  CacheDocument(kPolicy, "{\"access_period_win\":\"600\",\"language_win\":\"caf\xE9\"}");
  CacheDocument(kProduct, R"({"access_period_win":"900"})");
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

TEST_F(ManagedSettingsTest, DocumentThatIsMissingEmptyOrBrokenKeepsManagedModeWithNoEntries) {
  SetMachine(L"Managed", 1, kPolicy);
  LoadManagedSettings(true);
  EXPECT_TRUE(IsManagedMode());
  SetMachineString(L"Managed settings", L"", kPolicy);
  LoadManagedSettings(true);
  CacheDocument(kPolicy, R"({"access_period_win":"600"} trailing)");
  LoadManagedSettings(true);
  EXPECT_TRUE(IsManagedMode());
  EXPECT_EQ(ManagedSettingCount(), 0u);
  EXPECT_EQ(LogMessages(),
            (std::vector<std::string>{kManagedOnLine, kManagedOnLine, kManagedOnLine,
                                      "Cached json read successfully", "Failed to parse json"}));
  // Without logging the same load writes nothing.
  CacheDocument(kPolicy, R"({"audit_win":"1"})");
  LoadManagedSettings(false);
  EXPECT_EQ(Entry(L"Audit"), L"1");
  EXPECT_EQ(LogMessages().size(), 5u);
}

TEST_F(ManagedSettingsTest, ManagedSwitchMustReadExactlyOne) {
  CacheDocument(kPolicy, R"({"access_period_win":"600"})");
  // REG_SZ "1" reads as the number 49; no data reads as 0.
  const std::pair<uint32_t, std::vector<uint8_t>> values[] = {
      {reg::kRegSz, {'1', 0, 0, 0}}, {reg::kRegDword, {2, 0, 0, 0}}, {reg::kRegBinary, {}}};
  for (const auto& value : values) {
    SetManagedMode(true);
    fake.registry.SetRaw(kMachine, View::k64, kPolicy, L"Managed", value.first, value.second);
    LoadManagedSettings(true);
    EXPECT_FALSE(IsManagedMode());
  }
  EXPECT_EQ(ManagedSettingCount(), 0u);
  EXPECT_EQ(LogMessages(), std::vector<std::string>{"ReadMachineNumberText. 'Managed' is a number "
                                                    "setting stored as text: it reads as 49, the "
                                                    "code of its first character"});
}

}  // namespace
}  // namespace velmora::test
