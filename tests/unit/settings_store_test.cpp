#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "settings/managed_settings.h"
#include "test_support.h"

namespace velmora::test {
namespace {

using SettingsStoreTest = TrayTest;

TEST_F(SettingsStoreTest, PolicyKeyOutranksProductKeyAnd64BitViewOutranks32) {
  const std::pair<std::wstring, View> places[] = {
      {kPolicy, View::k64}, {kPolicy, View::k32}, {kProduct, View::k64}, {kProduct, View::k32}};
  for (const std::wstring subkey : {L"", L"PreApproved"}) {
    const std::wstring tail = subkey.empty() ? L"" : L"\\" + subkey;
    std::wstring text;
    EXPECT_FALSE(ReadMachineNumberText(L"Number", text, subkey));
    EXPECT_FALSE(ReadMachineString(L"Text", text, subkey));
    // From the last place to the first: each new place must win over the ones set before.
    for (int i = 3; i >= 0; --i) {
      SCOPED_TRACE(testing::Message() << i << " " << subkey.size());
      fake.registry.SetDword(kMachine, places[i].second, places[i].first + tail, L"Number", i + 1);
      fake.registry.SetString(kMachine, places[i].second, places[i].first + tail, L"Text",
                              L"place " + std::to_wstring(i));
      EXPECT_TRUE(ReadMachineNumberText(L"Number", text, subkey));
      EXPECT_EQ(text, std::to_wstring(i + 1));
      EXPECT_TRUE(ReadMachineString(L"Text", text, subkey));
      EXPECT_EQ(text, L"place " + std::to_wstring(i));
    }
  }
  // A subkey is not searched without being named.
  std::wstring text;
  fake.registry.SetString(kMachine, View::k64, kPolicy + L"\\Connector", L"AD", L"1");
  EXPECT_FALSE(ReadMachineString(L"AD", text));
}

// A number read takes any data of at most four bytes as a signed little-endian number; a
// string read takes the data up to its first NUL unit, whatever the type.
TEST_F(SettingsStoreTest, ReadsTakeTheRawDataOfAnyTypeAsTheirKindSays) {
  const struct {
    uint32_t type;
    std::vector<uint8_t> bytes;
    const wchar_t* number;  // nullptr: not found at the policy key, the product key's 7 wins
    std::wstring text;
  } cases[] = {
      {reg::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}, L"-1", L"\uFFFF\uFFFF"},
      {reg::kRegDword, {0x00, 0x00, 0x00, 0x80}, L"-2147483648", L""},
      {reg::kRegDword, {'A', 0, 0, 0}, L"65", L"A"},
      {reg::kRegSz, {'1', 0, 0, 0}, L"49", L"1"},
      {reg::kRegSz, {0, 0}, L"0", L""},
      {reg::kRegSz, {}, L"0", L""},
      {reg::kRegBinary, {0x34, 0x12}, L"4660", L"\u1234"},
      {reg::kRegSz, {'a', 0, 'b'}, L"6422625", L"ab"},
      {reg::kRegSz, {'1', 0, '2', 0, 0, 0}, nullptr, L"12"},
      {reg::kRegQword, {5, 0, 0, 0, 0, 0, 0, 0}, nullptr, L"\u0005"},
      {reg::kRegMultiSz, {'e', 0, 'n', 0, 0, 0, 'd', 0, 'e', 0, 0, 0, 0, 0}, nullptr, L"en"},
      {reg::kRegSz, {0x3D, 0xD8, 0x00, 0xDE, 0, 0}, nullptr, FromUtf16(u"\U0001F600")}};
  SetMachine(L"Value", 7);
  for (const auto& c : cases) {
    fake.registry.SetRaw(kMachine, View::k64, kPolicy, L"Value", c.type, c.bytes);
    std::wstring text = L"stale";
    EXPECT_TRUE(ReadMachineNumberText(L"Value", text));
    EXPECT_EQ(text, c.number ? c.number : L"7") << c.bytes.size();
    EXPECT_TRUE(ReadMachineString(L"Value", text));
    EXPECT_EQ(text, c.text) << c.bytes.size();
  }
  // Names and paths ignore case; a large value is read whole.
  const std::wstring big(1 << 20, L'x');
  fake.registry.SetString(kMachine, View::k32, L"software\\ostrand\\VELMORA", L"accessgroup", big);
  std::wstring text;
  EXPECT_TRUE(ReadMachineString(L"AccessGroup", text));
  EXPECT_EQ(text, big);
}

TEST_F(SettingsStoreTest, ReadsThatFindNothingOrCannotOpenAKeyFailSilently) {
  fake.registry.Fail(fakes::FakeRegistry::Op::kOpen, kMachine, kPolicy, 5);
  SetMachine(L"UserConfig", 2, kPolicy);
  std::wstring text = L"previous";
  EXPECT_FALSE(ReadMachineNumberText(L"UserConfig", text));
  EXPECT_EQ(text, L"");
  text = L"previous";
  EXPECT_FALSE(ReadMachineString(L"TokenElevation", text));
  EXPECT_FALSE(ReadUserString(L"timerEnd", text));
  EXPECT_EQ(text, L"previous");
  SetMachine(L"UserConfig", 1);
  EXPECT_TRUE(ReadMachineNumberText(L"UserConfig", text));
  EXPECT_EQ(text, L"1");
  EXPECT_TRUE(fake.shell.boxes.empty());
}

TEST_F(SettingsStoreTest, UserReadsSearchOnlyTheUserHive) {
  SetMachineString(L"timerEnd", L"machine");
  fake.registry.SetString(kUser, View::k32, kProduct, L"timerEnd", L"1767225600");
  fake.registry.SetString(kUser, View::k32, kPolicy, L"RFELINK", L"policy link");
  SetUserString(L"RFELINK", L"product link");
  std::wstring text;
  EXPECT_TRUE(ReadUserString(L"timerEnd", text));
  EXPECT_EQ(text, L"1767225600");
  EXPECT_TRUE(ReadUserString(L"RFELINK", text));
  EXPECT_EQ(text, L"policy link");
}

TEST_F(SettingsStoreTest, WriteUserStringStoresSzUpToItsFirstNulWithTheNulCounted) {
  const struct {
    std::wstring text;
    std::vector<uint8_t> stored;
  } cases[] = {{L"42", {'4', 0, '2', 0, 0, 0}},
               {L"", {0, 0}},
               {std::wstring(L"301\0junk", 8), {'3', 0, '0', 0, '1', 0, 0, 0}},
               {FromUtf16(u"\U0001F600"), {0x3D, 0xD8, 0x00, 0xDE, 0, 0}}};
  for (const auto& c : cases) {
    EXPECT_TRUE(WriteUserString(L"timerEnd", c.text));
    const auto value = fake.registry.Get(kUser, View::k64, kProduct, L"timerEnd");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->type, reg::kRegSz);
    EXPECT_EQ(value->bytes, c.stored);
  }
  DeleteUserValue(L"timerEnd");
  EXPECT_FALSE(UserString(L"timerEnd"));
  DeleteUserValue(L"timerEnd");
  EXPECT_TRUE(fake.shell.boxes.empty());
}

TEST_F(SettingsStoreTest, FailedWriteShowsOneBoxWithSignedCodesAndStoresNothing) {
  using Op = fakes::FakeRegistry::Op;
  fake.registry.Fail(Op::kCreate, kUser, kProduct, 5);
  fake.kernel.SetLastError(1450);
  EXPECT_FALSE(WriteUserString(L"timerEnd", L"1767225600"));
  fake.registry.Fail(Op::kCreate, kUser, kProduct, 0);
  fake.registry.Fail(Op::kSet, kUser, kProduct, 1018);
  fake.kernel.SetLastError(0xFFFFFFFFu);
  EXPECT_FALSE(WriteUserString(L"checkpoint1", L"133"));

  EXPECT_EQ(Boxes(fake),
            L": RegCreateKeyEx error: 5. LastError: 1450 (0)"
            L": RegSetValueEx error: 1018. LastError: -1 (0)");
  EXPECT_FALSE(UserString(L"timerEnd"));
  EXPECT_FALSE(UserString(L"checkpoint1"));
}

TEST_F(SettingsStoreTest, GetSettingReadsByKindAndLogsTheRead) {
  StartLog();
  SetMachine(L"AccessPeriod", 300, kPolicy);
  SetMachineString(L"Language", L"Espa\u00f1ol");
  std::wstring text = L"stale";
  EXPECT_TRUE(GetSetting(L"AccessPeriod", text, SettingKind::kNumber));
  EXPECT_EQ(text, L"300");
  EXPECT_TRUE(GetSetting(L"Language", text, SettingKind::kString));
  EXPECT_EQ(text, L"Espa\u00f1ol");
  EXPECT_FALSE(GetSetting(L"Audit", text, SettingKind::kNumber));
  EXPECT_EQ(text, L"");
  EXPECT_EQ(LogMessages(),
            (std::vector<std::string>{"Managed=0", "Retrieving setting 'AccessPeriod': 300",
                                      "Managed=0", "Retrieving setting 'Language': Espa\xF1ol",
                                      "Managed=0", "Retrieving setting 'Audit': "}));
}

TEST_F(SettingsStoreTest, ManagedEntriesOverrideTheRegistryByExactNameWhileManaged) {
  StartLog();
  SetMachine(L"AccessPeriod", 300, kPolicy);
  SetMachine(L"Audit", 1, kPolicy);
  SetMachine(L"DisableManualElevation", 0, kPolicy + L"\\PreApproved");
  ASSERT_TRUE(ApplyManagedDocument(
      R"({"access_period_win":"600","audit_win":"","DisableManualElevation_win":"1"})"));
  std::wstring text;
  EXPECT_TRUE(GetSetting(L"AccessPeriod", text, SettingKind::kNumber));
  EXPECT_EQ(text, L"300");  // managed mode is off
  SetManagedMode(true);
  EXPECT_TRUE(GetSetting(L"AccessPeriod", text, SettingKind::kNumber));
  EXPECT_EQ(text, L"600");
  // An empty entry still answers and hides the registry's 1.
  EXPECT_TRUE(GetSetting(L"Audit", text, SettingKind::kNumber));
  EXPECT_EQ(text, L"");
  EXPECT_TRUE(GetSetting(L"DisableManualElevation", text, SettingKind::kNumber, L"PreApproved"));
  EXPECT_EQ(text, L"1");
  // The registry forgives case; the managed table does not.
  EXPECT_TRUE(GetSetting(L"accessperiod", text, SettingKind::kNumber));
  EXPECT_EQ(text, L"300");
  const std::vector<std::string> lines = LogMessages();
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.end()),
            (std::vector<std::string>{"Managed=1", "Retrieving setting 'AccessPeriod': 600",
                                      "Managed=1", "Retrieving setting 'Audit': ", "Managed=1",
                                      "Retrieving setting 'DisableManualElevation': 1", "Managed=0",
                                      "Retrieving setting 'accessperiod': 300"}));
}

TEST(SettingConversionTest, TextsSaturateAtTheirRangeOnEveryHost) {
  constexpr int64_t kMax32 = std::numeric_limits<int32_t>::max();
  constexpr int64_t kMin32 = std::numeric_limits<int32_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  const struct {
    std::wstring text;
    int64_t asLong, asInt64;
  } cases[] = {{L"120", 120, 120},
               {L"  \t\n-45x", -45, -45},
               {L"+7", 7, 7},
               {L"0042", 42, 42},
               {L"", 0, 0},
               {L"abc", 0, 0},
               {L"-", 0, 0},
               {L" + 5", 0, 0},
               {L"\u00a012", 0, 0},
               {L"\uff11", 0, 0},
               {L"12:30", 12, 12},
               {L"2147483647", kMax32, kMax32},
               {L"2147483648", kMax32, kMax32 + 1},
               {L"-2147483649", kMin32, kMin32 - 1},
               {L"9223372036854775807", kMax32, kMax},
               {L"9223372036854775808", kMax32, kMax},
               {L"-9223372036854775808", kMin32, kMin},
               {L"-92233720368547758090", kMin32, kMin}};
  for (const auto& c : cases) {
    EXPECT_EQ(SettingToLong(c.text), c.asLong) << c.text.size();
    EXPECT_EQ(SettingToInt64(c.text), c.asInt64) << c.text.size();
  }
}

}  // namespace
}  // namespace velmora::test
