// Where settings come from: the policy key before the product key, each in the 64-bit view
// before the 32-bit one, and while managed the document's entries before both; how raw registry
// data and setting texts read; and what the tray writes for the user.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "settings/managed_settings.h"
#include "settings/settings_store.h"
#include "test_support.h"

namespace velmora::test {
namespace {

using SettingsTest = TrayTest;

std::wstring Entry(const wchar_t* name) {
  const std::wstring* entry = FindManagedSetting(name);
  return entry ? *entry : L"<none>";
}

TEST_F(SettingsTest, PolicyKeyOutranksProductKeyAnd64BitViewOutranks32) {
  const std::pair<std::wstring, View> places[] = {
      {kPolicy, View::k64}, {kPolicy, View::k32}, {kProduct, View::k64}, {kProduct, View::k32}};
  std::wstring text;
  for (const std::wstring subkey : {L"", L"PreApproved"}) {
    EXPECT_FALSE(ReadMachineNumberText(L"Number", text, subkey) ||
                 ReadMachineString(L"Text", text, subkey));
    // From the last place to the first: each new place must win over the ones set before.
    for (int i = 3; i >= 0; --i) {
      const std::wstring path = places[i].first + (subkey.empty() ? L"" : L"\\" + subkey);
      fake.registry.SetDword(kMachine, places[i].second, path, L"Number", i + 1);
      fake.registry.SetString(kMachine, places[i].second, path, L"Text", std::to_wstring(i));
      EXPECT_TRUE(ReadMachineNumberText(L"Number", text, subkey));
      EXPECT_EQ(text, std::to_wstring(i + 1)) << subkey.size();
      EXPECT_TRUE(ReadMachineString(L"Text", text, subkey));
      EXPECT_EQ(text, std::to_wstring(i)) << subkey.size();
    }
  }
  // A subkey is searched only when named; the user's reads search only the user's hive.
  EXPECT_FALSE(ReadMachineString(L"Text", text, L"Connector"));
  EXPECT_FALSE(ReadUserString(L"Text", text));
  fake.registry.SetString(kUser, View::k32, kProduct, L"Text", L"product");
  EXPECT_TRUE(ReadUserString(L"Text", text));
  EXPECT_EQ(text, L"product");
  fake.registry.SetString(kUser, View::k32, kPolicy, L"Text", L"policy");
  EXPECT_TRUE(ReadUserString(L"Text", text));
  EXPECT_EQ(text, L"policy");
}

// A number read takes any data of at most four bytes as a signed little-endian number; a
// string read takes the data up to its first NUL unit, whatever the type.
TEST_F(SettingsTest, ReadsTakeTheRawDataOfAnyTypeAsTheirKindSays) {
  const struct {
    uint32_t type;
    std::vector<uint8_t> bytes;
    const wchar_t* number;  // nullptr: not found at the policy key, the product key's 7 wins
    std::wstring text;
  } cases[] = {
      {reg::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}, L"-1", L"\uFFFF\uFFFF"},
      {reg::kRegDword, {0x00, 0x00, 0x00, 0x80}, L"-2147483648", L""},
      {reg::kRegSz, {'1', 0, 0, 0}, L"49", L"1"},
      {reg::kRegSz, {}, L"0", L""},
      {reg::kRegBinary, {0x34, 0x12}, L"4660", L"\u1234"},
      {reg::kRegSz, {'a', 0, 'b'}, L"6422625", L"ab"},
      {reg::kRegSz, {'1', 0, '2', 0, 0, 0}, nullptr, L"12"},
      {reg::kRegMultiSz, {'e', 0, 'n', 0, 0, 0, 'd', 0, 'e', 0, 0, 0, 0, 0}, nullptr, L"en"},
      {reg::kRegSz, {0x3D, 0xD8, 0x00, 0xDE, 0, 0}, nullptr, FromUtf16(u"\U0001F600")}};
  SetMachine(L"Value", 7);
  std::wstring text;
  for (const auto& c : cases) {
    fake.registry.SetRaw(kMachine, View::k64, kPolicy, L"Value", c.type, c.bytes);
    EXPECT_TRUE(ReadMachineNumberText(L"Value", text));
    EXPECT_EQ(text, c.number ? c.number : L"7") << c.bytes.size();
    EXPECT_TRUE(ReadMachineString(L"Value", text));
    EXPECT_EQ(text, c.text) << c.bytes.size();
  }
  // Names and paths ignore case; a large value is read whole; a key that cannot be opened is
  // passed over silently.
  const std::wstring big(1 << 20, L'x');
  fake.registry.SetString(kMachine, View::k32, L"software\\ostrand\\VELMORA", L"accessgroup", big);
  fake.registry.Fail(fakes::FakeRegistry::Op::kOpen, kMachine, kPolicy, 5);
  EXPECT_TRUE(ReadMachineString(L"AccessGroup", text));
  EXPECT_EQ(text, big);
  EXPECT_FALSE(ReadMachineNumberText(L"Missing", text));
  EXPECT_EQ(text, L"");
  EXPECT_TRUE(fake.shell.boxes.empty());
}

TEST_F(SettingsTest, NumberStoredAsTextIsLoggedOncePerNameOrToTheInstalledNotice) {
  StartLog();
  const std::pair<const wchar_t*, uint32_t> values[] = {{L"ElevateAtLogin", reg::kRegSz},
                                                        {L"Countdown", reg::kRegExpandSz},
                                                        {L"Language", reg::kRegMultiSz},
                                                        {L"Resuscitate", reg::kRegDword},
                                                        {L"UserConfig", reg::kRegBinary}};
  std::wstring text;
  for (const auto& [name, type] : values) {
    fake.registry.SetRaw(kMachine, View::k64, kProduct, name, type, {'1', 0, 0, 0});
  }
  for (int round = 0; round < 2; ++round) {
    for (const auto& value : values) ReadMachineNumberText(value.first, text);
  }
  const std::string reads =
      "' is a number setting stored as text: it reads as 49, the code of its first character";
  EXPECT_EQ(LogMessages(),
            (std::vector<std::string>{"ReadMachineNumberText. 'ElevateAtLogin" + reads,
                                      "ReadMachineNumberText. 'Countdown" + reads,
                                      "ReadMachineNumberText. 'Language" + reads}));
  static std::wstring noticed;
  SetNumberAsTextNotice([](const std::wstring& name, int32_t value) {
    noticed += name + L"=" + std::to_wstring(value) + L" ";
  });
  for (const auto& value : values) ReadMachineNumberText(value.first, text);
  SetNumberAsTextNotice(nullptr);
  EXPECT_EQ(noticed, L"ElevateAtLogin=49 Countdown=49 Language=49 ");
  EXPECT_EQ(LogMessages().size(), 3u);
}

TEST_F(SettingsTest, UserStringIsStoredAsSzUpToItsFirstNulAndAFailureShowsOneBox) {
  const std::pair<std::wstring, std::vector<uint8_t>> cases[] = {
      {L"42", {'4', 0, '2', 0, 0, 0}},
      {L"", {0, 0}},
      {std::wstring(L"301\0junk", 8), {'3', 0, '0', 0, '1', 0, 0, 0}},
      {FromUtf16(u"\U0001F600"), {0x3D, 0xD8, 0x00, 0xDE, 0, 0}}};
  for (const auto& [text, stored] : cases) {
    EXPECT_TRUE(WriteUserString(L"timerEnd", text));
    const auto value = fake.registry.Get(kUser, View::k64, kProduct, L"timerEnd");
    EXPECT_EQ(value->type, reg::kRegSz);
    EXPECT_EQ(value->bytes, stored);
  }
  DeleteUserValue(L"timerEnd");
  DeleteUserValue(L"timerEnd");
  EXPECT_FALSE(UserString(L"timerEnd"));

  fake.registry.Fail(fakes::FakeRegistry::Op::kCreate, kUser, kProduct, 5);
  fake.kernel.SetLastError(1450);
  EXPECT_FALSE(WriteUserString(L"timerEnd", L"1767225600"));
  fake.registry.Fail(fakes::FakeRegistry::Op::kCreate, kUser, kProduct, 0);
  fake.registry.Fail(fakes::FakeRegistry::Op::kSet, kUser, kProduct, 1018);
  fake.kernel.SetLastError(0xFFFFFFFFu);
  EXPECT_FALSE(WriteUserString(L"checkpoint1", L"133"));
  EXPECT_EQ(Boxes(fake),
            L": RegCreateKeyEx error: 5. LastError: 1450 (0)"
            L": RegSetValueEx error: 1018. LastError: -1 (0)");
  EXPECT_FALSE(UserString(L"timerEnd") || UserString(L"checkpoint1"));
}

TEST_F(SettingsTest, ManagedEntriesOverrideTheRegistryByExactNameWhileManaged) {
  StartLog();
  SetMachine(L"AccessPeriod", 300, kPolicy);
  SetMachine(L"Audit", 1, kPolicy);
  SetMachine(L"DisableManualElevation", 0, kPolicy + L"\\PreApproved");
  SetMachineString(L"Language", L"de-DE");
  ASSERT_TRUE(ApplyManagedDocument(
      R"({"access_period_win":"600","audit_win":"","DisableManualElevation_win":"1"})"));
  const auto number = SettingKind::kNumber;
  const struct {
    bool managed;
    std::string name;
    SettingKind kind;
    const wchar_t* subkey;
    bool found;
    std::string text;
    bool fromDocument;
  } cases[] = {{false, "AccessPeriod", number, L"", true, "300", false},
               {false, "Language", SettingKind::kString, L"", true, "de-DE", false},
               {false, "Missing", number, L"", false, "", false},
               {true, "AccessPeriod", number, L"", true, "600", true},
               {true, "Audit", number, L"", true, "", true},  // hides the registry's 1
               {true, "DisableManualElevation", number, L"PreApproved", true, "1", true},
               {true, "accessperiod", number, L"", true, "300", false},
               {true, "Language", SettingKind::kString, L"", true, "de-DE", false}};
  std::vector<std::string> logged;
  for (const auto& c : cases) {
    SetManagedMode(c.managed);
    std::wstring text = L"stale";
    EXPECT_EQ(GetSetting({c.name.begin(), c.name.end()}, text, c.kind, c.subkey), c.found);
    EXPECT_EQ(text, std::wstring(c.text.begin(), c.text.end())) << c.name;
    logged.push_back(c.fromDocument ? "Managed=1" : "Managed=0");
    logged.push_back("Retrieving setting '" + c.name + "': " + c.text);
  }
  EXPECT_EQ(LogMessages(), logged);
}

TEST(SettingConversionTest, TextsSaturateAtTheirRangeOnEveryHost) {
  constexpr int64_t kMax32 = std::numeric_limits<int32_t>::max();
  constexpr int64_t kMin32 = std::numeric_limits<int32_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  const std::tuple<std::wstring, int64_t, int64_t> cases[] = {
      {L"120", 120, 120},
      {L"  \t\n-45x", -45, -45},
      {L"+7", 7, 7},
      {L"0042", 42, 42},
      {L"", 0, 0},
      {L"-", 0, 0},
      {L" + 5", 0, 0},
      {L"\u00a012", 0, 0},
      {L"\uff11", 0, 0},
      {L"2147483647", kMax32, kMax32},
      {L"2147483648", kMax32, kMax32 + 1},
      {L"-2147483649", kMin32, kMin32 - 1},
      {L"9223372036854775808", kMax32, kMax},
      {L"-9223372036854775808", kMin32, kMin},
      {L"-92233720368547758090", kMin32, kMin}};
  for (const auto& [text, asLong, asInt64] : cases) {
    EXPECT_EQ(SettingToLong(text), asLong) << text.size();
    EXPECT_EQ(SettingToInt64(text), asInt64) << text.size();
  }
}

TEST_F(SettingsTest, DocumentRootMustBeOneJsonObjectWhoseKnownStringMembersBecomeEntries) {
  ASSERT_TRUE(ApplyManagedDocument(" \t\r\n{\"audit_win\":\"1\"}\n "));
  for (const std::string& text : std::vector<std::string>{
           "", "not json", R"({"audit_win":"0"} x)", R"({"audit_win":"0"}{})",
           R"([{"audit_win":"0"}])", "600", R"({"audit_win":"0",})", R"({'audit_win':'0'})",
           std::string("{\"IOCUrl_win\":\"a\0b\"}", 20), std::string(1000000, '[')}) {
    EXPECT_FALSE(ApplyManagedDocument(text)) << text.substr(0, 30);
  }
  EXPECT_EQ(ManagedSettingCount(), 1u) << "a failure leaves the table alone";

  // Pairs follow no rule; what is not a string becomes empty text; the first duplicate wins;
  // strings are ANSI text (an escape gives UTF-8 bytes) that ends at its first NUL, as does
  // the document; deep nesting cannot exhaust the stack.
  const std::string big(1 << 20, 'a');
  const std::string document =
      R"({"IOCUploadURL_win": "https://up", "PreApprovedApps_win": "C:\\T", "unknown_win": "x",
          "enable_reason_win": "1", "Access_Period_Win": "900", "audit_win": true,
          "verbose_logging_win": ["1"], "DisableShellHook_win": "1", "DisableShellHook_win": "0",
          "language_win": "caf\u00e9", "access_period_win": "6\u000000", "ActiveDirectory_win": )" +
      std::string(1000000, '[') + std::string(1000000, ']') +
      ", \"audit_url_win\": \"caf\xE9\", \"IOC_win\": \"" + big + "\"}";
  ASSERT_TRUE(ApplyManagedDocument(document + std::string("\0garbage", 8)));
  const std::pair<const wchar_t*, std::wstring> entries[] = {
      {L"IOCUploadUrl", L"https://up"},
      {L"IOCUploadURL", L"<none>"},
      {L"PreApprovedPaths", L"C:\\T"},
      {L"unknown_win", L"<none>"},
      {L"AuditRFE", L"1"},
      {L"auditrfe", L"<none>"},
      {L"Audit", L""},
      {L"VerboseLogging", L""},
      {L"DisableShellHook", L"1"},
      {L"Language", L"caf\u00c3\u00a9"},
      {L"AccessPeriod", L"6"},
      {L"ActiveDirectory", L""},
      {L"AuditURL", L"caf\u00e9"},
      {L"IOC", std::wstring(big.size(), L'a')}};
  for (const auto& [name, entry] : entries) EXPECT_EQ(Entry(name), entry) << name;
  EXPECT_EQ(ManagedSettingCount(), 11u);
}

TEST_F(SettingsTest, LoadReadsTheCachedDocumentOnlyWhenManagedIsExactlyOne) {
  const std::string on =
      "Managed value is set. Reading cached settings (should be already "
      "downloaded by the service)";
  const std::string read = "Cached json read successfully";
  const struct {
    uint32_t type;
    std::vector<uint8_t> managed;
    const char* document;  // nullptr: none cached
    bool managedMode;
    const wchar_t* language;
    std::vector<std::string> logged;
  } cases[] = {
      {reg::kRegDword, {1, 0, 0, 0}, nullptr, true, L"<none>", {on}},
      {reg::kRegDword,
       {1, 0, 0, 0},
       "{\"language_win\":\"caf\xE9\"}",
       true,
       L"caf\u00e9",
       {on, read, "Parsing json OK"}},
      {reg::kRegDword, {1, 0, 0, 0}, "", true, L"<none>", {on}},
      {reg::kRegDword, {1, 0, 0, 0}, "{} x", true, L"<none>", {on, read, "Failed to parse json"}},
      {reg::kRegSz,
       {'1', 0, 0, 0},
       "{}",
       false,
       L"<none>",
       {"ReadMachineNumberText. 'Managed' is a number setting stored as text: it reads as 49, "
        "the code of its first character"}},
      {reg::kRegDword, {2, 0, 0, 0}, "{}", false, L"<none>", {}},
      {reg::kRegBinary, {}, "{}", false, L"<none>", {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    fake.files.SetFile(FakePlatform::kLogPath, "");
    StartLog();
    fake.registry.SetRaw(kMachine, View::k64, kPolicy, L"Managed", c.type, c.managed);
    if (c.document) {
      // What the service leaves: the document's bytes XOR 0x0E, as ANSI text.
      std::string scrambled = c.document;
      for (char& ch : scrambled) ch = static_cast<char>(ch ^ 0x0E);
      SetMachineString(L"Managed settings", fake.codePage.AnsiToWide(scrambled), kPolicy);
    }
    LoadManagedSettings(true);
    EXPECT_EQ(IsManagedMode(), c.managedMode);
    EXPECT_EQ(Entry(L"Language"), c.language);
    EXPECT_EQ(LogMessages(), c.logged);
    LoadManagedSettings(false);
    EXPECT_EQ(LogMessages(), c.logged) << "a load without logging writes nothing";
  }
}

}  // namespace
}  // namespace velmora::test
