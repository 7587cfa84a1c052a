// Where settings come from: the policy key before the product key, each in the 64-bit view
// before the 32-bit one, and while managed the document's entries before both; how raw registry
// data and setting texts read; and what the tray writes for the user.
#include <tuple>

#include "settings/managed_settings.h"
#include "settings/settings_store.h"
#include "test_support.h"

namespace velmora::test {
namespace {

using SettingsTest = TrayTest;

// What a read gives: the text, or what it leaves in its output when it finds nothing.
std::wstring Read(bool (*read)(const std::wstring&, std::wstring&, const std::wstring&),
                  const wchar_t* name, const std::wstring& subkey = L"") {
  std::wstring text = L"stale";
  return read(name, text, subkey) ? text : L"<none:" + text + L">";
}
std::wstring Entry(const wchar_t* name) {
  const std::wstring* entry = FindManagedSetting(name);
  return entry ? *entry : L"<none>";
}

TEST_F(SettingsTest, PolicyKeyOutranksProductKeyAnd64BitViewOutranks32) {
  const std::pair<std::wstring, View> places[] = {
      {kPolicy, View::k64}, {kPolicy, View::k32}, {kProduct, View::k64}, {kProduct, View::k32}};
  for (const std::wstring subkey : {L"", L"PreApproved"}) {
    EXPECT_EQ(Read(ReadMachineNumberText, L"Number", subkey), L"<none:>");
    EXPECT_EQ(Read(ReadMachineString, L"Text", subkey), L"<none:stale>");
    // From the last place to the first: each new place must win over the ones set before.
    for (int i = 3; i >= 0; --i) {
      const std::wstring path = places[i].first + (subkey.empty() ? L"" : L"\\" + subkey);
      fake.registry.SetDword(kMachine, places[i].second, path, L"Number", i);
      fake.registry.SetString(kMachine, places[i].second, path, L"Text", std::to_wstring(i));
      EXPECT_EQ(Read(ReadMachineNumberText, L"Number", subkey), std::to_wstring(i));
      EXPECT_EQ(Read(ReadMachineString, L"Text", subkey), std::to_wstring(i));
    }
  }
  // The user's reads search only the user's hive, policy key first.
  std::wstring text;
  EXPECT_FALSE(ReadUserString(L"Text", text));
  fake.registry.SetString(kUser, View::k32, kProduct, L"Text", L"product");
  EXPECT_TRUE(ReadUserString(L"Text", text) && text == L"product");
  fake.registry.SetString(kUser, View::k32, kPolicy, L"Text", L"policy");
  EXPECT_TRUE(ReadUserString(L"Text", text) && text == L"policy");
}

// A number read takes any data of at most four bytes as a signed little-endian number, and a
// text type is logged once per name as the mistake it likely is; a string read takes the data
// up to its first NUL unit, whatever the type.
TEST_F(SettingsTest, ReadsTakeTheRawDataOfAnyTypeAsTheirKindSays) {
  // A read while the log is off is noticed again at the first read with the log on.
  fake.registry.SetRaw(kMachine, View::k64, kPolicy, L"Value", reg::kRegSz, {'1', 0, 0, 0});
  Read(ReadMachineNumberText, L"Value");
  StartLog();
  const std::tuple<uint32_t, std::vector<uint8_t>, std::wstring, std::wstring> cases[] = {
      {reg::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}, L"-1", L"\uFFFF\uFFFF"},
      {reg::kRegSz, {'1', 0, 0, 0}, L"49", L"1"},
      {reg::kRegExpandSz, {}, L"0", L""},
      {reg::kRegMultiSz, {'a', 0, 'b'}, L"6422625", L"ab"},
      {reg::kRegSz, {'1', 0, '2', 0, 0, 0}, L"7", L"12"},  // too long: the product key's 7
      {reg::kRegMultiSz, {'e', 0, 'n', 0, 0, 0, 'd', 0, 0, 0, 0, 0}, L"7", L"en"}};
  SetMachine(L"Value", 7);
  for (const auto& [type, bytes, number, text] : cases) {
    fake.registry.SetRaw(kMachine, View::k64, kPolicy, L"Value", type, bytes);
    EXPECT_EQ(Read(ReadMachineNumberText, L"Value"), number) << bytes.size();
    EXPECT_EQ(Read(ReadMachineString, L"Value"), text) << bytes.size();
  }
  EXPECT_EQ(LogMessages(), std::vector<std::string>{"ReadMachineNumberText. 'Value' is a number "
                                                    "setting stored as text: it reads as 49, the "
                                                    "code of its first character"});
  // A notice set in place of the log hears of every such read, not only the first.
  static int notices = 0;
  SetNumberAsTextNotice([](const std::wstring&, int32_t) { ++notices; });
  fake.registry.SetRaw(kMachine, View::k64, kPolicy, L"Value", reg::kRegSz, {'2', 0});
  Read(ReadMachineNumberText, L"Value");
  Read(ReadMachineNumberText, L"Value");
  SetNumberAsTextNotice(nullptr);
  EXPECT_EQ(notices, 2);
}

TEST_F(SettingsTest, UserStringIsStoredAsSzUpToItsFirstNulAndAFailureShowsOneBox) {
  const std::pair<std::wstring, std::vector<uint8_t>> cases[] = {
      {L"", {0, 0}},
      {std::wstring(L"301\0junk", 8), {'3', 0, '0', 0, '1', 0, 0, 0}}};
  for (const auto& [text, stored] : cases) {
    EXPECT_TRUE(WriteUserString(L"timerEnd", text));
    const auto value = fake.registry.Get(kUser, View::k64, kProduct, L"timerEnd");
    EXPECT_EQ(value->type, reg::kRegSz);
    EXPECT_EQ(value->bytes, stored);
  }
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
}

TEST(SettingConversionTest, TextsSaturateAtTheirRangeOnEveryHost) {
  constexpr int64_t kMax32 = INT32_MAX, kMax = INT64_MAX;
  constexpr int64_t kMin32 = INT32_MIN, kMin = INT64_MIN;
  const std::tuple<std::wstring, int64_t, int64_t> cases[] = {
      {L"  \t\n-45x", -45, -45}, {L"", 0, 0}, {L" + 5", 0, 0}, {L"\u00a012", 0, 0},
      {L"\uff11", 0, 0}, {L"2147483648", kMax32, kMax32 + 1}, {L"-2147483649", kMin32, kMin32 - 1},
      {L"9223372036854775808", kMax32, kMax}, {L"-9223372036854775808", kMin32, kMin},
      {L"-92233720368547758090", kMin32, kMin}};
  for (const auto& [text, asLong, asInt64] : cases) {
    EXPECT_EQ(SettingToLong(text), asLong) << text.size();
    EXPECT_EQ(SettingToInt64(text), asInt64) << text.size();
  }
}

TEST_F(SettingsTest, DocumentRootMustBeOneJsonObjectWhoseKnownStringMembersBecomeEntries) {
  ASSERT_TRUE(ApplyManagedDocument(" \t\r\n{\"audit_win\":\"1\"}\n "));
  for (const std::string& text :
       {std::string(), std::string(R"({"audit_win":"0"} x)"), std::string(R"([{"audit_win":"0"}])"),
        std::string("{\"IOCUrl_win\":\"a\0b\"}", 20), std::string(1000000, '[')}) {
    EXPECT_FALSE(ApplyManagedDocument(text)) << text.substr(0, 30);
  }
  EXPECT_EQ(ManagedSettingCount(), 1u) << "a failure leaves the table alone";
  // Pairs follow no rule; what is not a string becomes empty text; the first duplicate wins;
  // strings are ANSI text (an escape gives UTF-8 bytes) that ends at its first NUL, as does
  // the document; deep nesting cannot exhaust the stack.
  const std::string document =
      R"({"IOCUploadURL_win": "https://up", "Access_Period_Win": "900", "audit_win": true,
          "DisableShellHook_win": "1", "DisableShellHook_win": "0", "language_win": "caf\u00e9",
          "access_period_win": "6\u000000", "ActiveDirectory_win": )" +
      std::string(1000000, '[') + std::string(1000000, ']') + ", \"audit_url_win\": \"caf\xE9\"}";
  ASSERT_TRUE(ApplyManagedDocument(document + std::string("\0garbage", 8)));
  const std::pair<const wchar_t*, std::wstring> entries[] = {
      {L"IOCUploadUrl", L"https://up"}, {L"IOCUploadURL", L"<none>"},      {L"Audit", L""},
      {L"DisableShellHook", L"1"},      {L"Language", L"caf\u00c3\u00a9"}, {L"AccessPeriod", L"6"},
      {L"ActiveDirectory", L""},        {L"AuditURL", L"caf\u00e9"}};
  for (const auto& [name, entry] : entries) EXPECT_EQ(Entry(name), entry) << name;
  EXPECT_EQ(ManagedSettingCount(), 7u);
}

// The service leaves the document as its bytes XOR 0x0E, in ANSI text; it is read only while
// "Managed" is exactly 1, and its entries then answer by exact name before the registry.
TEST_F(SettingsTest, ManagedDocumentIsReadOnlyWhenManagedIsExactlyOneAndThenAnswersFirst) {
  const std::string on = "Managed value is set. Reading cached settings (should be already "
                         "downloaded by the service)";
  const std::string read = "Cached json read successfully";
  // "Managed"; the document cached (null: none); the entries it gives; the log.
  const std::tuple<uint32_t, const char*, size_t, std::vector<std::string>> cases[] = {
      {1, nullptr, 0, {on}},
      {1, "", 0, {on}},
      {1, "{} x", 0, {on, read, "Failed to parse json"}},
      {2, "{}", 0, {}},
      {1,
       "{\"language_win\":\"caf\xE9\",\"access_period_win\":\"600\",\"audit_win\":\"\","
       "\"DisableManualElevation_win\":\"1\"}",
       4, {on, read, "Parsing json OK"}}};
  for (const auto& [managed, document, entries, logged] : cases) {
    fake.files.SetFile(FakePlatform::kLogPath, "");
    StartLog();
    SetMachine(L"Managed", managed, kPolicy);
    if (document) {
      std::string scrambled = document;
      for (char& ch : scrambled) ch = static_cast<char>(ch ^ 0x0E);
      SetMachineString(L"Managed settings", fake.codePage.AnsiToWide(scrambled), kPolicy);
    }
    LoadManagedSettings(true);
    EXPECT_EQ(IsManagedMode(), managed == 1) << managed;
    EXPECT_EQ(ManagedSettingCount(), entries) << managed;
    EXPECT_EQ(LogMessages(), logged);
    LoadManagedSettings(false);
    EXPECT_EQ(LogMessages(), logged) << "a load without logging writes nothing";
  }
  EXPECT_EQ(Entry(L"Language"), L"caf\u00e9");

  // GetSetting: an entry by exact name, even an empty one and whatever the subkey, else the
  // registry.
  SetMachine(L"AccessPeriod", 300, kPolicy);
  SetMachine(L"Audit", 1, kPolicy);
  SetMachine(L"DisableManualElevation", 0, kPolicy + L"\\PreApproved");
  const auto number = SettingKind::kNumber;
  const std::tuple<bool, std::wstring, SettingKind, std::wstring, std::wstring> reads[] = {
      {true, L"AccessPeriod", number, L"", L"600"},
      {true, L"Audit", number, L"", L""},  // hides the registry's 1
      {true, L"DisableManualElevation", number, L"PreApproved", L"1"},
      {true, L"accessperiod", number, L"", L"300"},
      {false, L"AccessPeriod", number, L"", L"300"},
      {false, L"Missing", SettingKind::kString, L"", L""}};
  for (const auto& [managed, name, kind, subkey, text] : reads) {
    SetManagedMode(managed);
    std::wstring out = L"stale";
    EXPECT_EQ(GetSetting(name, out, kind, subkey), name != L"Missing");
    EXPECT_EQ(out, text) << name;
  }
}

}  // namespace
}  // namespace velmora::test
