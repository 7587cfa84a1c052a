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

// The text a machine read gives, "<none>" when it finds nothing.
std::wstring Read(bool (*read)(const std::wstring&, std::wstring&, const std::wstring&),
                  const wchar_t* name) {
  std::wstring text;
  return read(name, text, L"") ? text : L"<none>";
}

TEST_F(SettingsTest, PolicyKeyOutranksProductKeyAnd64BitViewOutranks32) {
  const std::pair<std::wstring, View> places[] = {
      {kPolicy, View::k64}, {kPolicy, View::k32}, {kProduct, View::k64}, {kProduct, View::k32}};
  // From the last place to the first: each new place must win over the ones set before.
  for (int i = 3; i >= 0; --i) {
    const auto& [path, view] = places[i];
    fake.registry.SetDword(kMachine, view, path, L"Number", i);
    fake.registry.SetString(kMachine, view, path, L"Text", std::to_wstring(i));
    EXPECT_EQ(Read(ReadMachineNumberText, L"Number"), std::to_wstring(i));
    EXPECT_EQ(Read(ReadMachineString, L"Text"), std::to_wstring(i));
  }
  // The user's reads search the user's hive, policy key first.
  fake.registry.SetString(kUser, View::k32, kProduct, L"Text", L"product");
  fake.registry.SetString(kUser, View::k32, kPolicy, L"Text", L"policy");
  std::wstring text;
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
      {reg::kRegSz, {'1', 0, '2', 0, 0, 0}, L"7", L"12"},  // too long: the product key's 7
      {reg::kRegMultiSz, {'a', 0, 'b'}, L"6422625", L"ab"}};
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
  Read(ReadMachineNumberText, L"Value");
  SetNumberAsTextNotice(nullptr);
  EXPECT_EQ(notices, 1);
}

TEST_F(SettingsTest, UserStringIsStoredAsSzUpToItsFirstNulAndAFailureShowsOneBox) {
  EXPECT_TRUE(WriteUserString(L"timerEnd", std::wstring(L"301\0junk", 8)));
  const auto value = fake.registry.Get(kUser, View::k64, kProduct, L"timerEnd");
  EXPECT_EQ(value->type, reg::kRegSz);
  EXPECT_EQ(value->bytes, Bytes({'3', 0, '0', 0, '1', 0, 0, 0}));
  fake.registry.Fail(fakes::FakeRegistry::Op::kSet, kUser, kProduct, 1018);
  fake.kernel.SetLastError(0xFFFFFFFFu);
  EXPECT_FALSE(WriteUserString(L"checkpoint1", L"133"));
  fake.registry.Fail(fakes::FakeRegistry::Op::kCreate, kUser, kProduct, 5);
  fake.kernel.SetLastError(1450);
  EXPECT_FALSE(WriteUserString(L"timerEnd", L"1767225600"));
  EXPECT_EQ(fake.shell.boxes,
            L": RegSetValueEx error: 1018. LastError: -1 (0)"
            L": RegCreateKeyEx error: 5. LastError: 1450 (0)");
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

// The service leaves the document as its bytes XOR 0x0E, in ANSI text; it is read only while
// "Managed" is exactly 1, and its entries then answer by exact name before the registry.
TEST_F(SettingsTest, ManagedDocumentIsReadOnlyWhenManagedIsExactlyOneAndThenAnswersFirst) {
  const std::string on = "Managed value is set. Reading cached settings (should be already "
                         "downloaded by the service)";
  const std::string read = "Cached json read successfully";
  // "Managed"; the document cached (none: not cached); the entries it gives; the log. Only an
  // object is a document; what is not a string becomes empty text; a string ends at its first
  // NUL; deep nesting cannot exhaust the stack; the cached text is narrowed through the code
  // page (0x8E scrambles to 0x80, the euro sign in the cache).
  const std::tuple<uint32_t, std::optional<std::string>, size_t, std::vector<std::string>> cases[] =
      {{1, std::nullopt, 0, {on}},
       {1, "", 0, {on}},
       {1, "{} x", 0, {on, read, "Failed to parse json"}},
       {1, R"([{"audit_win":"1"}])", 0, {on, read, "Failed to parse json"}},
       {2, "{}", 0, {}},
       {1,
        "{\"language_win\":\"caf\x8E\",\"access_period_win\":\"600\\u00000\",\"audit_win\":true,"
        "\"DisableManualElevation_win\":\"1\",\"ActiveDirectory_win\":" +
            std::string(1000000, '[') + std::string(1000000, ']') + "}",
        5,
        {on, read, "Parsing json OK"}}};
  for (const auto& [managed, document, entries, logged] : cases) {
    fake.files.SetFile(FakePlatform::kLogPath, "");
    StartLog();
    SetMachine(L"Managed", managed, kPolicy);
    if (document) CacheDocument(*document);
    LoadManagedSettings(false);  // the silent reload logs nothing
    LoadManagedSettings(true);
    EXPECT_EQ(IsManagedMode(), managed == 1) << managed;
    EXPECT_EQ(ManagedSettingCount(), entries) << managed;
    EXPECT_EQ(LogMessages(), logged);
  }

  // GetSetting: an entry by exact name, even an empty one and whatever the subkey, else the
  // registry.
  SetMachine(L"AccessPeriod", 300, kPolicy);
  SetMachine(L"Audit", 1, kPolicy);
  const std::tuple<bool, std::wstring, SettingKind, std::wstring, std::wstring> reads[] = {
      {true, L"AccessPeriod", SettingKind::kNumber, L"", L"600"},
      {true, L"Audit", SettingKind::kNumber, L"", L""},  // hides the registry's 1
      {true, L"DisableManualElevation", SettingKind::kNumber, L"PreApproved", L"1"},
      {true, L"accessperiod", SettingKind::kNumber, L"", L"300"},
      {true, L"Language", SettingKind::kString, L"", L"caf\u008E"},
      {false, L"AccessPeriod", SettingKind::kNumber, L"", L"300"},
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
