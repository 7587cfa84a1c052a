#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_platform_settings.h"
#include "settings/managed_settings.h"

namespace velmora {
namespace {

using fakes::FakeRegistry;
using View = FakeRegistry::View;
using Op = FakeRegistry::Op;

constexpr Hive kMachine = Hive::kLocalMachine;
constexpr Hive kUser = Hive::kCurrentUser;
const std::wstring kPolicy = kPolicyKeyPath;
const std::wstring kProduct = kProductKeyPath;

class SettingsStoreTest : public fakes::SettingsTestBase {
 protected:
  std::vector<std::pair<std::wstring, View>> OpenedPlaces() const {
    std::vector<std::pair<std::wstring, View>> places;
    for (const auto& call : registry_.CallsOf(Op::kOpen)) places.emplace_back(call.path, call.view);
    return places;
  }

  // All four places exist, so every miss below is a missing value, not a missing key.
  void CreateAllPlaces() {
    for (View view : {View::k64, View::k32}) {
      registry_.CreateKeyPath(kMachine, view, kPolicy);
      registry_.CreateKeyPath(kMachine, view, kProduct);
    }
  }
};

TEST_F(SettingsStoreTest, ReadsVisitPolicyThenProductEachIn64ThenIn32BitView) {
  CreateAllPlaces();
  registry_.SetDword(kMachine, View::k32, kProduct, L"ElevateForXDays", 3);
  registry_.SetString(kMachine, View::k32, kProduct, L"AccessGroup", L"Helpdesk");
  const std::vector<std::pair<std::wstring, View>> fourPlaces = {
      {kPolicy, View::k64}, {kPolicy, View::k32}, {kProduct, View::k64}, {kProduct, View::k32}};

  std::wstring text;
  EXPECT_TRUE(ReadMachineNumberText(L"ElevateForXDays", text));
  EXPECT_EQ(text, L"3");
  EXPECT_EQ(OpenedPlaces(), fourPlaces);
  for (const auto& open : registry_.CallsOf(Op::kOpen)) {
    EXPECT_EQ(open.hive, kMachine);
    EXPECT_EQ(open.access, open.view == View::k64 ? 0x20119u : 0x20219u);
  }

  registry_.ClearCalls();
  EXPECT_TRUE(ReadMachineString(L"AccessGroup", text));
  EXPECT_EQ(text, L"Helpdesk");
  EXPECT_EQ(OpenedPlaces(), fourPlaces);
}

TEST_F(SettingsStoreTest, FirstPlaceThatYieldsWinsAndLaterPlacesAreNotVisited) {
  // The policy key's 32-bit view outranks the product key's 64-bit view.
  registry_.SetDword(kMachine, View::k32, kPolicy, L"AccessPeriod", 600);
  registry_.SetDword(kMachine, View::k64, kProduct, L"AccessPeriod", 60);
  registry_.SetString(kMachine, View::k64, kPolicy, L"Language", L"German");
  registry_.SetString(kMachine, View::k64, kProduct, L"Language", L"French");

  std::wstring text;
  EXPECT_TRUE(ReadMachineNumberText(L"AccessPeriod", text));
  EXPECT_EQ(text, L"600");
  EXPECT_EQ(registry_.CallsOf(Op::kOpen).size(), 2u);

  registry_.ClearCalls();
  EXPECT_TRUE(ReadMachineString(L"Language", text));
  EXPECT_EQ(text, L"German");
  EXPECT_EQ(registry_.CallsOf(Op::kOpen).size(), 1u);
}

TEST_F(SettingsStoreTest, SubkeyIsAppendedToBothSettingsKeys) {
  registry_.SetDword(kMachine, View::k64, kProduct + L"\\PreApproved", L"DisableManualElevation",
                     1);
  registry_.SetString(kMachine, View::k32, kPolicy + L"\\Connector", L"ActiveDirectory", L"1");
  registry_.SetDword(kMachine, View::k64, kProduct, L"DisableManualElevation", 0);

  std::wstring text;
  EXPECT_TRUE(ReadMachineNumberText(L"DisableManualElevation", text, L"PreApproved"));
  EXPECT_EQ(text, L"1");
  EXPECT_EQ(registry_.CallsOf(Op::kOpen).front().path, kPolicy + L"\\PreApproved");
  EXPECT_TRUE(ReadMachineString(L"ActiveDirectory", text, L"Connector"));
  EXPECT_EQ(text, L"1");
  EXPECT_FALSE(ReadMachineString(L"ActiveDirectory", text));
}

TEST_F(SettingsStoreTest, NumberReadTakesAnyDataOfAtMostFourBytesAsSignedLittleEndian) {
  struct Case {
    const char* what;
    uint32_t type;
    std::vector<uint8_t> bytes;
    const wchar_t* expected;  // nullptr: not found at the policy key, product key's 7 wins
  };
  const std::vector<Case> cases = {
      {"all bits set", reg::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}, L"-1"},
      {"most negative", reg::kRegDword, {0x00, 0x00, 0x00, 0x80}, L"-2147483648"},
      {"REG_SZ \"1\"", reg::kRegSz, {'1', 0, 0, 0}, L"49"},
      {"empty REG_SZ", reg::kRegSz, {0, 0}, L"0"},
      {"no data", reg::kRegBinary, {}, L"0"},
      {"short binary", reg::kRegBinary, {0x34, 0x12}, L"4660"},
      {"REG_SZ \"12\"", reg::kRegSz, {'1', 0, '2', 0, 0, 0}, nullptr},
      {"8-byte binary", reg::kRegBinary, {1, 0, 0, 0, 0, 0, 0, 0}, nullptr},
      {"REG_QWORD", reg::kRegQword, {5, 0, 0, 0, 0, 0, 0, 0}, nullptr},
  };
  registry_.SetDword(kMachine, View::k32, kProduct, L"Resuscitate", 7);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    registry_.SetRaw(kMachine, View::k64, kPolicy, L"Resuscitate", c.type, c.bytes);
    std::wstring text = L"stale";
    EXPECT_TRUE(ReadMachineNumberText(L"Resuscitate", text));
    EXPECT_EQ(text, c.expected ? c.expected : L"7");
  }
}

TEST_F(SettingsStoreTest, ReadsThatFindNothingTreatOutAsTheContractSays) {
  registry_.CreateKeyPath(kMachine, View::k64, kPolicy);
  std::wstring text = L"previous";
  EXPECT_FALSE(ReadMachineNumberText(L"VisibleCountDown", text));
  EXPECT_EQ(text, L"");

  text = L"previous";
  EXPECT_FALSE(ReadMachineString(L"TokenElevation", text));
  EXPECT_EQ(text, L"previous");
  EXPECT_FALSE(ReadUserString(L"timerEnd", text));
  EXPECT_EQ(text, L"previous");
  EXPECT_FALSE(ReadRegistryString(kUser, L"Control Panel\\Desktop", L"PreferredUILanguages", text));
  EXPECT_EQ(text, L"previous");
}

TEST_F(SettingsStoreTest, UnreadablePlacesAreSkippedSilently) {
  registry_.SetDword(kMachine, View::k64, kPolicy, L"UserConfig", 2);
  registry_.FailOpen(kMachine, kPolicy, 5);
  registry_.SetDword(kMachine, View::k32, kProduct, L"UserConfig", 1);
  std::wstring text;
  EXPECT_TRUE(ReadMachineNumberText(L"UserConfig", text));
  EXPECT_EQ(text, L"1");
  EXPECT_TRUE(shell_.boxes().empty());
}

TEST_F(SettingsStoreTest, StringReadTakesTheDataUpToItsFirstNulWhateverItsType) {
  struct Case {
    const char* what;
    uint32_t type;
    std::vector<uint8_t> bytes;
    std::wstring expected;
  };
  const std::vector<Case> cases = {
      {"empty REG_SZ", reg::kRegSz, {0, 0}, L""},
      {"no data", reg::kRegSz, {}, L""},
      {"multi-string", reg::kRegMultiSz, {'e', 0, 'n', 0, 0, 0, 'd', 0, 'e', 0, 0, 0, 0, 0}, L"en"},
      {"no terminator", reg::kRegSz, {'a', 0, 'b', 0}, L"ab"},
      {"odd length", reg::kRegSz, {'a', 0, 'b'}, L"ab"},
      {"dword", reg::kRegDword, {'A', 0, 0, 0}, L"A"},
      {"surrogate pair", reg::kRegSz, {0x3D, 0xD8, 0x00, 0xDE, 0, 0}, std::wstring(L"\U0001F600")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    registry_.SetRaw(kMachine, View::k64, kProduct, L"SharedToken", c.type, c.bytes);
    std::wstring text = L"stale";
    EXPECT_TRUE(ReadMachineString(L"SharedToken", text));
    EXPECT_EQ(text, c.expected);
  }
}

TEST_F(SettingsStoreTest, NamesAndPathsAreCaseInsensitiveAndLargeValuesReadWhole) {
  const std::wstring big(1 << 20, L'x');
  registry_.SetString(kMachine, View::k64, L"software\\ostrand\\VELMORA", L"accessgroup", big);
  std::wstring text;
  EXPECT_TRUE(ReadMachineString(L"AccessGroup", text));
  EXPECT_EQ(text, big);
}

TEST_F(SettingsStoreTest, UserReadsSearchOnlyTheUserHiveWithoutSubkey) {
  registry_.SetString(kMachine, View::k64, kProduct, L"timerEnd", L"machine");
  registry_.SetString(kUser, View::k32, kProduct, L"timerEnd", L"1767225600");
  registry_.SetString(kUser, View::k32, kPolicy, L"RFELINK", L"policy link");
  registry_.SetString(kUser, View::k64, kProduct, L"RFELINK", L"product link");

  std::wstring text;
  EXPECT_TRUE(ReadUserString(L"timerEnd", text));
  EXPECT_EQ(text, L"1767225600");
  EXPECT_TRUE(ReadUserString(L"RFELINK", text));
  EXPECT_EQ(text, L"policy link");
  for (const auto& open : registry_.CallsOf(Op::kOpen)) EXPECT_EQ(open.hive, kUser);
}

TEST_F(SettingsStoreTest, ReadRegistryStringReadsOnePathInBothViews) {
  registry_.SetRaw(kUser, View::k32, L"Control Panel\\Desktop", L"PreferredUILanguages",
                   reg::kRegMultiSz, {'d', 0, 'e', 0, '-', 0, 'D', 0, 'E', 0, 0, 0, 0, 0});
  std::wstring text;
  EXPECT_TRUE(ReadRegistryString(kUser, L"Control Panel\\Desktop", L"PreferredUILanguages", text));
  EXPECT_EQ(text, L"de-DE");
  EXPECT_EQ(OpenedPlaces(),
            (std::vector<std::pair<std::wstring, View>>{{L"Control Panel\\Desktop", View::k64},
                                                        {L"Control Panel\\Desktop", View::k32}}));
}

TEST_F(SettingsStoreTest, WriteUserStringStoresSzWithItsNulInTheUserProductKey) {
  EXPECT_TRUE(WriteUserString(L"timerEnd", L"1767225600"));
  EXPECT_TRUE(WriteUserString(L"hwid", L""));
  EXPECT_TRUE(WriteUserString(L"timerEnd", L"42"));

  const auto created = registry_.CallsOf(Op::kCreate);
  ASSERT_EQ(created.size(), 3u);
  EXPECT_EQ(created[0].hive, kUser);
  EXPECT_EQ(created[0].path, kProduct);
  EXPECT_EQ(created[0].access, 0x20106u);

  const auto timerEnd = registry_.Get(kUser, View::k64, kProduct, L"timerEnd");
  ASSERT_TRUE(timerEnd.has_value());
  EXPECT_EQ(timerEnd->type, reg::kRegSz);
  EXPECT_EQ(timerEnd->bytes, (std::vector<uint8_t>{'4', 0, '2', 0, 0, 0}));
  const auto hwid = registry_.Get(kUser, View::k64, kProduct, L"hwid");
  ASSERT_TRUE(hwid.has_value());
  EXPECT_EQ(hwid->bytes.size(), 2u);

  std::wstring text;
  EXPECT_TRUE(ReadUserString(L"timerEnd", text));
  EXPECT_EQ(text, L"42");
  EXPECT_TRUE(shell_.boxes().empty());
}

TEST_F(SettingsStoreTest, WriteUserStringCountsUtf16UnitsAndStopsAtAnEmbeddedNul) {
  EXPECT_TRUE(WriteUserString(L"setting1", L"\U0001F600"));
  EXPECT_EQ(registry_.Get(kUser, View::k64, kProduct, L"setting1")->bytes.size(), 6u);
  EXPECT_TRUE(WriteUserString(L"setting2", std::wstring(L"301\0junk", 8)));
  EXPECT_EQ(registry_.Get(kUser, View::k64, kProduct, L"setting2")->bytes,
            (std::vector<uint8_t>{'3', 0, '0', 0, '1', 0, 0, 0}));
}

TEST_F(SettingsStoreTest, FailedCreateShowsOneBoxAndStoresNothing) {
  registry_.FailCreate(kUser, kProduct, 5);
  kernel_.SetLastError(1450);
  EXPECT_FALSE(WriteUserString(L"timerEnd", L"1767225600"));

  const auto boxes = shell_.boxes();
  ASSERT_EQ(boxes.size(), 1u);
  const auto& box = boxes[0];
  EXPECT_EQ(box.text, L"RegCreateKeyEx error: 5. LastError: 1450");
  EXPECT_EQ(box.caption, L"");
  EXPECT_EQ(box.type, win::kMbOk);
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_TRUE(registry_.CallsOf(Op::kSet).empty());
}

TEST_F(SettingsStoreTest, FailedStoreShowsItsBoxWithSignedCodesAndClosesTheKey) {
  registry_.FailSet(kUser, kProduct, 1018);
  kernel_.SetLastError(0xFFFFFFFFu);
  EXPECT_FALSE(WriteUserString(L"checkpoint1", L"133"));

  ASSERT_EQ(shell_.boxes().size(), 1u);
  EXPECT_EQ(shell_.boxes()[0].text, L"RegSetValueEx error: 1018. LastError: -1");
  EXPECT_FALSE(registry_.Get(kUser, View::k64, kProduct, L"checkpoint1").has_value());
  // The fixture checks that no key stays open.
}

TEST_F(SettingsStoreTest, DeleteUserValueRemovesAndIgnoresWhatIsMissing) {
  ASSERT_TRUE(WriteUserString(L"timerEnd", L"1"));
  DeleteUserValue(L"timerEnd");
  EXPECT_FALSE(registry_.Get(kUser, View::k64, kProduct, L"timerEnd").has_value());
  DeleteUserValue(L"timerEnd");
  DeleteUserValue(L"neverWritten");
  const auto deletes = registry_.CallsOf(Op::kDelete);
  ASSERT_EQ(deletes.size(), 3u);
  EXPECT_EQ(deletes[0].hive, kUser);
  EXPECT_EQ(deletes[0].path, kProduct);
  EXPECT_TRUE(shell_.boxes().empty());
}

TEST_F(SettingsStoreTest, GetSettingReadsByKindAndLogsTheRead) {
  registry_.SetDword(kMachine, View::k64, kPolicy, L"AccessPeriod", 300);
  registry_.SetString(kMachine, View::k64, kProduct, L"Language", L"Espa\u00f1ol");

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

TEST_F(SettingsStoreTest, ManagedEntriesOverrideTheRegistryByExactNameOnly) {
  registry_.SetDword(kMachine, View::k64, kPolicy, L"AccessPeriod", 300);
  registry_.SetDword(kMachine, View::k64, kPolicy, L"Audit", 1);
  registry_.SetDword(kMachine, View::k64, kPolicy + L"\\PreApproved", L"DisableManualElevation", 0);
  ASSERT_TRUE(ApplyManagedDocument(
      R"({"access_period_win":"600","audit_win":"","DisableManualElevation_win":"1"})"));
  SetManagedMode(true);

  std::wstring text;
  EXPECT_TRUE(GetSetting(L"AccessPeriod", text, SettingKind::kNumber));
  EXPECT_EQ(text, L"600");
  // An empty entry still answers and hides the registry's 1.
  EXPECT_TRUE(GetSetting(L"Audit", text, SettingKind::kNumber));
  EXPECT_EQ(text, L"");
  EXPECT_TRUE(GetSetting(L"DisableManualElevation", text, SettingKind::kNumber, L"PreApproved"));
  EXPECT_EQ(text, L"1");
  EXPECT_TRUE(registry_.Calls().empty());

  // The registry forgives case; the managed table does not.
  EXPECT_TRUE(GetSetting(L"accessperiod", text, SettingKind::kNumber));
  EXPECT_EQ(text, L"300");
  EXPECT_EQ(LogMessages(),
            (std::vector<std::string>{"Managed=1", "Retrieving setting 'AccessPeriod': 600",
                                      "Managed=1", "Retrieving setting 'Audit': ", "Managed=1",
                                      "Retrieving setting 'DisableManualElevation': 1", "Managed=0",
                                      "Retrieving setting 'accessperiod': 300"}));
}

TEST_F(SettingsStoreTest, ManagedTableIsIgnoredWhileManagedModeIsOff) {
  registry_.SetDword(kMachine, View::k64, kPolicy, L"AccessPeriod", 300);
  ASSERT_TRUE(ApplyManagedDocument(R"({"access_period_win":"600"})"));
  std::wstring text;
  EXPECT_TRUE(GetSetting(L"AccessPeriod", text, SettingKind::kNumber));
  EXPECT_EQ(text, L"300");
}

// The store's tests lean on these RegOpenKeyExW/RegQueryValueExW details of the fake.
TEST(FakeRegistryTest, BehavesLikeTheWindowsCalls) {
  FakeRegistry registry;
  registry.SetRaw(kMachine, View::k32, L"A\\B\\C", L"v", reg::kRegBinary, {1, 2, 3});
  Registry::Key key = 0;
  EXPECT_EQ(registry.OpenKey(kMachine, L"a\\b\\c", reg::kKeyRead, &key), 2);  // native 64
  EXPECT_EQ(registry.OpenKey(kMachine, L"A\\B\\D", reg::kKeyRead | reg::kWow64Key32, &key), 2);
  registry.SetNativeView(View::k32);
  ASSERT_EQ(registry.OpenKey(kMachine, L"a\\b", reg::kKeyRead, &key), 0);  // parents exist
  registry.CloseKey(key);
  ASSERT_EQ(registry.OpenKey(kMachine, L"a\\b\\c", reg::kKeyRead, &key), 0);

  uint32_t type = 0;
  uint32_t size = 0;
  EXPECT_EQ(registry.QueryValue(key, L"V", &type, nullptr, &size), 0);
  EXPECT_EQ(type, reg::kRegBinary);
  EXPECT_EQ(size, 3u);
  uint8_t buffer[4] = {9, 9, 9, 9};
  size = 2;
  EXPECT_EQ(registry.QueryValue(key, L"v", nullptr, buffer, &size), 234);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(buffer[0], 9);
  size = 4;
  EXPECT_EQ(registry.QueryValue(key, L"v", nullptr, buffer, &size), 0);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(buffer[2], 3);
  EXPECT_EQ(buffer[3], 9);
  EXPECT_EQ(registry.QueryValue(key, L"w", nullptr, nullptr, &size), 2);
  EXPECT_EQ(registry.SetValue(key, L"v", reg::kRegDword, buffer, 4), 5);  // read-only handle
  registry.CloseKey(key);
  registry.CloseKey(key);
  EXPECT_EQ(registry.OpenKeyCount(), 0u);
  EXPECT_EQ(registry.BadCloseCount(), 1u);
}

TEST(SettingConversionTest, LongSaturatesAtThe32BitRangeOnEveryHost) {
  const std::vector<std::pair<std::wstring, long>> cases = {
      {L"120", 120},
      {L"  \t\n-45x", -45},
      {L"+7", 7},
      {L"0042", 42},
      {L"", 0},
      {L"abc", 0},
      {L"-", 0},
      {L" + 5", 0},
      {L"2147483647", 2147483647L},
      {L"2147483648", 2147483647L},
      {L"99999999999999999999999", 2147483647L},
      {L"-2147483648", -2147483647L - 1},
      {L"-2147483649", -2147483647L - 1},
      {L"\u00a012", 0},
      {L"\uff11", 0},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(SettingToLong(cases[i].first), cases[i].second) << "case " << i;
  }
}

TEST(SettingConversionTest, Int64SaturatesAtThe64BitRange) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  EXPECT_EQ(SettingToInt64(L"1767225600"), 1767225600);
  EXPECT_EQ(SettingToInt64(L" -133000000000000000"), -133000000000000000);
  EXPECT_EQ(SettingToInt64(L"9223372036854775807"), kMax);
  EXPECT_EQ(SettingToInt64(L"9223372036854775808"), kMax);
  EXPECT_EQ(SettingToInt64(L"-9223372036854775808"), kMin);
  EXPECT_EQ(SettingToInt64(L"-92233720368547758090"), kMin);
  EXPECT_EQ(SettingToInt64(L"12:30"), 12);
  EXPECT_EQ(SettingToInt64(L"x1"), 0);
}

}  // namespace
}  // namespace velmora
